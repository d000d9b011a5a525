/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_PREEMPT_H
#define KHOST_LINUX_PREEMPT_H
#include <khost/sched.h>
#endif

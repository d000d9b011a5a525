/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_TIMER_H
#define KHOST_LINUX_TIMER_H
#include <khost/sched.h>
#endif

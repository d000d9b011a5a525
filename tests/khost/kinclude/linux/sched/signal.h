/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_SCHED_SIGNAL_H
#define KHOST_LINUX_SCHED_SIGNAL_H
#include <khost/sched.h>
#endif

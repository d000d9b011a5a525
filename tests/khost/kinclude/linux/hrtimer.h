/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_HRTIMER_H
#define KHOST_LINUX_HRTIMER_H
#include <khost/sched.h>
#endif

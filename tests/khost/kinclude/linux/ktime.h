/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_KTIME_H
#define KHOST_LINUX_KTIME_H
#include <khost/sched.h>
#endif

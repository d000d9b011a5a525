/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_TIMEKEEPING_H
#define KHOST_LINUX_TIMEKEEPING_H
#include <khost/sched.h>
#endif

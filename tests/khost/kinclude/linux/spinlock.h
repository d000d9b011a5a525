/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_SPINLOCK_H
#define KHOST_LINUX_SPINLOCK_H
#include <khost/sched.h>
#endif

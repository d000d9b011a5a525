/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_MUTEX_H
#define KHOST_LINUX_MUTEX_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_SEMAPHORE_H
#define KHOST_LINUX_SEMAPHORE_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_KTHREAD_H
#define KHOST_LINUX_KTHREAD_H
#include <khost/sched.h>
#endif

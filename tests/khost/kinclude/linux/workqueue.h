/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_WORKQUEUE_H
#define KHOST_LINUX_WORKQUEUE_H
#include <khost/sched.h>
#endif

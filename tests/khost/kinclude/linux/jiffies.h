/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_JIFFIES_H
#define KHOST_LINUX_JIFFIES_H
#include <khost/sched.h>
#endif

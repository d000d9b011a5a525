/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_IRQFLAGS_H
#define KHOST_LINUX_IRQFLAGS_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_SMP_H
#define KHOST_LINUX_SMP_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_SCHED_TYPES_H
#define KHOST_LINUX_SCHED_TYPES_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_CAPABILITY_H
#define KHOST_LINUX_CAPABILITY_H
#include <khost/sched.h>
#endif

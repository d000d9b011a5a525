/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_TIME_H
#define KHOST_LINUX_TIME_H
#include <khost/sched.h>
#endif

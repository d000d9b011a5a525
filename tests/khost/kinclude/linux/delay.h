/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_DELAY_H
#define KHOST_LINUX_DELAY_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_WAIT_H
#define KHOST_LINUX_WAIT_H
#include <khost/sched.h>
#endif

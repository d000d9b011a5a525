/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_RCUPDATE_H
#define KHOST_LINUX_RCUPDATE_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_LOCKDEP_H
#define KHOST_LINUX_LOCKDEP_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_RWSEM_H
#define KHOST_LINUX_RWSEM_H
#include <khost/sched.h>
#endif

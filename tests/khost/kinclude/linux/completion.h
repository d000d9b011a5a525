/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_COMPLETION_H
#define KHOST_LINUX_COMPLETION_H
#include <khost/sched.h>
#endif

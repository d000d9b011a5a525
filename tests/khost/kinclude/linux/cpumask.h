/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_CPUMASK_H
#define KHOST_LINUX_CPUMASK_H
#include <khost/sched.h>
#include <khost/extra.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_TIMEX_H
#define KHOST_LINUX_TIMEX_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_USER_NAMESPACE_H
#define KHOST_LINUX_USER_NAMESPACE_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_CRED_H
#define KHOST_LINUX_CRED_H
#include <khost/sched.h>
#endif

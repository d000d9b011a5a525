/* Host kernel: see khost/sched.h. */
#ifndef KHOST_LINUX_INTERRUPT_CTX_H
#define KHOST_LINUX_INTERRUPT_CTX_H
#include <khost/sched.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_ATOMIC_H
#define KHOST_LINUX_ATOMIC_H
#include <khost/base.h>
#endif

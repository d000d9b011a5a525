/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_KERNEL_H
#define KHOST_LINUX_KERNEL_H
#include <khost/base.h>
#endif

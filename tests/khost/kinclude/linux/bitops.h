/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_BITOPS_H
#define KHOST_LINUX_BITOPS_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_BITS_H
#define KHOST_LINUX_BITS_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_BYTEORDER_GENERIC_H
#define KHOST_LINUX_BYTEORDER_GENERIC_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_SIZES_H
#define KHOST_LINUX_SIZES_H
#include <khost/base.h>
#endif

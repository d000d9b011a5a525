/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_ERRNO_H
#define KHOST_LINUX_ERRNO_H
#include <khost/base.h>
#endif

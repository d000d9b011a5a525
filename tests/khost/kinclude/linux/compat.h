/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_COMPAT_H
#define KHOST_LINUX_COMPAT_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_BUILD_BUG_H
#define KHOST_LINUX_BUILD_BUG_H
#include <khost/base.h>
#endif

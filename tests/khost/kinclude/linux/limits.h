/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_LIMITS_H
#define KHOST_LINUX_LIMITS_H
#include <khost/base.h>
#endif

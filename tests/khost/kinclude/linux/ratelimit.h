/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_RATELIMIT_H
#define KHOST_LINUX_RATELIMIT_H
#include <khost/base.h>
#endif

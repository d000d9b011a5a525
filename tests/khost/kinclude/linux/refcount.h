/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_REFCOUNT_H
#define KHOST_LINUX_REFCOUNT_H
#include <khost/base.h>
#endif

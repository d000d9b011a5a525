/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_KREF_H
#define KHOST_LINUX_KREF_H
#include <khost/base.h>
#endif

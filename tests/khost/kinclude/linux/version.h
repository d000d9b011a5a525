/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_VERSION_H
#define KHOST_LINUX_VERSION_H
#include <khost/base.h>
#endif

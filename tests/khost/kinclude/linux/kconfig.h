/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_KCONFIG_H
#define KHOST_LINUX_KCONFIG_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_OF_PLATFORM_H
#define KHOST_LINUX_OF_PLATFORM_H
#include <khost/dev.h>
#endif

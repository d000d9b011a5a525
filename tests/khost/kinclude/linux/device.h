/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_DEVICE_H
#define KHOST_LINUX_DEVICE_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_OF_DEVICE_H
#define KHOST_LINUX_OF_DEVICE_H
#include <khost/dev.h>
#include <khost/extra.h>
#endif

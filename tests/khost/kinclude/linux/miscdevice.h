/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_MISCDEVICE_H
#define KHOST_LINUX_MISCDEVICE_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_CDEV_H
#define KHOST_LINUX_CDEV_H
#include <khost/dev.h>
#endif

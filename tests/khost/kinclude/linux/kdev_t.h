/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_KDEV_T_H
#define KHOST_LINUX_KDEV_T_H
#include <khost/dev.h>
#endif

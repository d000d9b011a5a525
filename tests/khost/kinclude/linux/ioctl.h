/* Host kernel: see khost/fb.h. */
#ifndef KHOST_LINUX_IOCTL_H
#define KHOST_LINUX_IOCTL_H
#include <khost/fb.h>
#endif

/* Host kernel: see khost/fb.h. */
#ifndef KHOST_LINUX_FB_H
#define KHOST_LINUX_FB_H
#include <khost/fb.h>
#endif

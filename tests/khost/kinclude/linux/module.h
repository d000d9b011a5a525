/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_MODULE_H
#define KHOST_LINUX_MODULE_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_FDTABLE_H
#define KHOST_LINUX_FDTABLE_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_MODULEPARAM_H
#define KHOST_LINUX_MODULEPARAM_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_PM_H
#define KHOST_LINUX_PM_H
#include <khost/dev.h>
#endif

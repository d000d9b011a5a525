/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_MOD_DEVICETABLE_H
#define KHOST_LINUX_MOD_DEVICETABLE_H
#include <khost/dev.h>
#endif

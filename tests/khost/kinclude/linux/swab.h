/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_SWAB_H
#define KHOST_LINUX_SWAB_H
#include <khost/base.h>
#endif

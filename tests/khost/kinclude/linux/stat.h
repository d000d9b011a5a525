/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_STAT_H
#define KHOST_LINUX_STAT_H
#include <khost/base.h>
#endif

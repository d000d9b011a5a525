/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_MINMAX_H
#define KHOST_LINUX_MINMAX_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_OVERFLOW_H
#define KHOST_LINUX_OVERFLOW_H
#include <khost/base.h>
#endif

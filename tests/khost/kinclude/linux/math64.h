/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_MATH64_H
#define KHOST_LINUX_MATH64_H
#include <khost/base.h>
#endif

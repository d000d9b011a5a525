/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_COMPILER_TYPES_H
#define KHOST_LINUX_COMPILER_TYPES_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_MM_TYPES_H
#define KHOST_LINUX_MM_TYPES_H
#include <khost/mm.h>
#endif

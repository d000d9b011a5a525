/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_OF_RESERVED_MEM_H
#define KHOST_LINUX_OF_RESERVED_MEM_H
#include <khost/dev.h>
#endif

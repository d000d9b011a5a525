/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_VMALLOC_H
#define KHOST_LINUX_VMALLOC_H
#include <khost/mm.h>
#endif

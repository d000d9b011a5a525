/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_HIGHMEM_H
#define KHOST_LINUX_HIGHMEM_H
#include <khost/mm.h>
#endif

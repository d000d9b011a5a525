/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_SLAB_H
#define KHOST_LINUX_SLAB_H
#include <khost/mm.h>
#endif

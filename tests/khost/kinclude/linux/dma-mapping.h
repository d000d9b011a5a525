/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_DMA_MAPPING_H
#define KHOST_LINUX_DMA_MAPPING_H
#include <khost/dev.h>
#endif

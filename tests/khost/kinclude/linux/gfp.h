/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_GFP_H
#define KHOST_LINUX_GFP_H
#include <khost/mm.h>
#endif

/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_PFN_H
#define KHOST_LINUX_PFN_H
#include <khost/mm.h>
#endif

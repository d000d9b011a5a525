/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_PGTABLE_H
#define KHOST_LINUX_PGTABLE_H
#include <khost/mm.h>
#endif

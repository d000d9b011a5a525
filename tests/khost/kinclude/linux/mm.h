/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_MM_H
#define KHOST_LINUX_MM_H
#include <khost/mm.h>
#include <khost/extra.h>
#endif

/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_IO_H
#define KHOST_LINUX_IO_H
#include <khost/mm.h>
#endif

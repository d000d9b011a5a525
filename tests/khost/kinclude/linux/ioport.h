/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_IOPORT_H
#define KHOST_LINUX_IOPORT_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_IRQ_H
#define KHOST_LINUX_IRQ_H
#include <khost/dev.h>
#endif

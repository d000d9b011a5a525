/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_INTERRUPT_H
#define KHOST_LINUX_INTERRUPT_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_OF_ADDRESS_H
#define KHOST_LINUX_OF_ADDRESS_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_UUID_H
#define KHOST_LINUX_UUID_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_STRINGIFY_H
#define KHOST_LINUX_STRINGIFY_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_INIT_H
#define KHOST_LINUX_INIT_H
#include <khost/base.h>
#endif

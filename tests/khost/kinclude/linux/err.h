/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_ERR_H
#define KHOST_LINUX_ERR_H
#include <khost/base.h>
#endif

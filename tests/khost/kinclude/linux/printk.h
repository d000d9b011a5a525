/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_PRINTK_H
#define KHOST_LINUX_PRINTK_H
#include <khost/base.h>
#endif

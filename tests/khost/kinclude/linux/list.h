/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_LIST_H
#define KHOST_LINUX_LIST_H
#include <khost/base.h>
#endif

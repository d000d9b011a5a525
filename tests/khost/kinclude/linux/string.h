/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_STRING_H
#define KHOST_LINUX_STRING_H
#include <khost/base.h>
#endif

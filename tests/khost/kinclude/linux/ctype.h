/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_CTYPE_H
#define KHOST_LINUX_CTYPE_H
#include <khost/base.h>
#endif

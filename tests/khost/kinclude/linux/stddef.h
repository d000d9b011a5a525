/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_STDDEF_H
#define KHOST_LINUX_STDDEF_H
#include <khost/base.h>
#endif

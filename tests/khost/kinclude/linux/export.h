/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_EXPORT_H
#define KHOST_LINUX_EXPORT_H
#include <khost/base.h>
#endif

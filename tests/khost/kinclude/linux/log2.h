/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_LOG2_H
#define KHOST_LINUX_LOG2_H
#include <khost/base.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_DEBUGFS_H
#define KHOST_LINUX_DEBUGFS_H
#include <khost/dev.h>
#endif

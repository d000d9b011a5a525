/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_FILE_H
#define KHOST_LINUX_FILE_H
#include <khost/dev.h>
#endif

/* Host kernel: see khost/extra.h. */
#ifndef KHOST_LINUX_FCNTL_H
#define KHOST_LINUX_FCNTL_H
#include <khost/dev.h>
#include <khost/extra.h>
#endif

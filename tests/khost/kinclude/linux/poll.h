/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_POLL_H
#define KHOST_LINUX_POLL_H
#include <khost/dev.h>
#endif

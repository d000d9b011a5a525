/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_NOTIFIER_H
#define KHOST_LINUX_NOTIFIER_H
#include <khost/dev.h>
#endif

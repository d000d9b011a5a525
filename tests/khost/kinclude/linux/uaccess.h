/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_UACCESS_H
#define KHOST_LINUX_UACCESS_H
#include <khost/mm.h>
#endif

/* Host kernel: see khost/dev.h. */
#ifndef KHOST_LINUX_SEQ_FILE_H
#define KHOST_LINUX_SEQ_FILE_H
#include <khost/dev.h>
#endif

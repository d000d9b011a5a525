/* Host kernel: see khost/dmabuf.h. */
#include <khost/dmabuf.h>
#include <khost/extra.h>

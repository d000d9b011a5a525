/* Host kernel: see khost/dmabuf.h. */
#include <khost/dmabuf.h>

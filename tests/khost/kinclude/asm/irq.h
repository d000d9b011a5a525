/* Host kernel: see khost/dev.h. */
#include <khost/dev.h>

/* Host kernel: see khost/base.h. */
#include <khost/base.h>

/* Host kernel: see khost/mm.h. */
#include <khost/mm.h>

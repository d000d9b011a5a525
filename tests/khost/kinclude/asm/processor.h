/* Host kernel: see khost/sched.h. */
#include <khost/sched.h>

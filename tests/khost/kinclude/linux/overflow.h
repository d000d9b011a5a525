/* Host kernel: see khost/base.h. */
#ifndef KHOST_LINUX_OVERFLOW_H
#define KHOST_LINUX_OVERFLOW_H
#include <khost/base.h>

/* As the kernel's: true when the result does not fit *d (which gets it wrapped). */
#ifndef check_add_overflow
#define check_add_overflow(a, b, d) __builtin_add_overflow(a, b, d)
#endif
#ifndef check_sub_overflow
#define check_sub_overflow(a, b, d) __builtin_sub_overflow(a, b, d)
#endif
#ifndef check_mul_overflow
#define check_mul_overflow(a, b, d) __builtin_mul_overflow(a, b, d)
#endif
#endif

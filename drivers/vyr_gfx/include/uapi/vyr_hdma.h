/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * HDMA engine: ioctl commands of the "crkhdma" device. Copies and fills are
 * run only by kernel callers; user space reads the staging buffer's address
 * and words (it can also mmap the buffer) and runs the built-in self-tests.
 * The driver dispatches on the command's number byte only; every argument
 * is one 32-bit word.
 */
#ifndef VYR_HDMA_UAPI_H
#define VYR_HDMA_UAPI_H

#include <linux/types.h>
#include <linux/ioctl.h>

#define KHDMA_IO_TYPE 0x68
#define KHDMA_IO_NR(cmd) ((cmd) & 0xFF)

/* Refused (returns 0 without a transfer). */
#define KHDMA_IO_COPY _IOW(KHDMA_IO_TYPE, 2, __u32)
#define KHDMA_IO_FILL _IOW(KHDMA_IO_TYPE, 5, __u32)
/* Low 32 bits of the staging buffer's physical address. */
#define KHDMA_IO_GET_CMA_PADDR _IOR(KHDMA_IO_TYPE, 3, __u32)
/* In: word index; out: that word of the staging buffer. */
#define KHDMA_IO_READ_CMA_WORD _IOWR(KHDMA_IO_TYPE, 4, __u32)
/* In: self-test number 0-5. */
#define KHDMA_IO_SELF_TEST _IOW(KHDMA_IO_TYPE, 7, __u32)

#endif /* VYR_HDMA_UAPI_H */

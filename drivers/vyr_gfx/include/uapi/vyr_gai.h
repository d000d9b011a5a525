/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * GAI data device "crkgai": the secure world copies a capture result into a
 * caller's buffer, or converts 8-bit values to 32-bit floats in a dma-buf.
 *
 * The device dispatches on the command's number byte; the size field gives
 * the record's length. Bit 31 of the command asks for the record to be copied
 * in before the command and bit 30 for it to be copied back after it, so
 * both commands are defined with both bits set.
 */
#ifndef VYR_GAI_UAPI_H
#define VYR_GAI_UAPI_H

#ifdef __KERNEL__
#include <linux/types.h>
#include <linux/ioctl.h>
#else
#include <linux/types.h>
#include <sys/ioctl.h>
#endif

/* Number 1: copy the secure capture result into the user buffer. */
typedef struct ST_GAI_COPY_RESULT {
	__s32 s32Fd;		/* dma-buf the secure world reads from */
	__u32 u32Reserved;
	__u64 u64UserPtr;	/* destination; 32 bits for 32-bit callers */
	__u32 u32Size;		/* bytes, at most 4096 */
	__u32 u32Copied;	/* out */
} ST_GAI_COPY_RESULT;

/* Number 2: 8-bit to 32-bit float conversion into the dma-buf. */
typedef struct ST_GAI_DATA_PROC {
	__s32 s32Fd;
	__u32 u32WordA;
	__u32 u32WordB;
} ST_GAI_DATA_PROC;

#ifndef VYR_UAPI_ASSERT
#ifdef __cplusplus
#define VYR_UAPI_ASSERT static_assert
#else
#define VYR_UAPI_ASSERT _Static_assert
#endif
#endif
VYR_UAPI_ASSERT(sizeof(ST_GAI_COPY_RESULT) == 24, "ST_GAI_COPY_RESULT is 24 bytes");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_GAI_COPY_RESULT, u64UserPtr) == 8, "user pointer at 8");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_GAI_COPY_RESULT, u32Size) == 16, "size at 16");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_GAI_COPY_RESULT, u32Copied) == 20, "bytes copied at 20");
VYR_UAPI_ASSERT(sizeof(ST_GAI_DATA_PROC) == 12, "ST_GAI_DATA_PROC is 12 bytes");

#define GAI_IOC_TYPE		'g'
#define GAI_IOC_NR(cmd)		((cmd) & 0xFF)
#define GAI_IOC_COPY_IN		0x80000000u
#define GAI_IOC_COPY_OUT	0x40000000u
#define GAI_IOC_COPY_RESULT	_IOWR(GAI_IOC_TYPE, 1, ST_GAI_COPY_RESULT)
#define GAI_IOC_DATA_PROC	_IOWR(GAI_IOC_TYPE, 2, ST_GAI_DATA_PROC)

#endif /* VYR_GAI_UAPI_H */

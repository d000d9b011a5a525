/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * 2D graphics engine device "crkgpu": ioctl commands and the records they
 * carry, shared by the vyr_gfx kernel module and user space.
 *
 * The driver dispatches on the command's number byte only; the type byte is
 * not checked, and the size field only where a command says so. Unknown
 * numbers fail with -524 (the kernel's "operation not supported" code, which
 * user space sees as "Unknown error 524").
 */
#ifndef VYR_GPU_UAPI_H
#define VYR_GPU_UAPI_H

#ifdef __KERNEL__
#include <linux/types.h>
#include <linux/ioctl.h>
#else
#include <linux/types.h>
#include <sys/ioctl.h>
#endif

#define KGPU_IOC_TYPE 'g'
#define KGPU_IOC_NR(cmd) ((cmd) & 0xFF)

/* ioctl 34, 35 and one entry of 36: sync a bus-address range. */
#define KGPU_SYNC_FOR_CPU 1	/* device to memory; any other value: for the device */
typedef struct {
	__u64 u64Addr;
	__u32 u32Size;
	__u32 u32Direction;
} ST_KGPU_SYNC_RANGE;

/* ioctl 36: a user array of count ranges. */
typedef struct {
	__u64 u64Ranges;	/* user pointer to ST_KGPU_SYNC_RANGE[count] */
	__u16 u16Count;
	__u16 u16Pad[3];
} ST_KGPU_SYNC_RANGES;

/* ioctl 36 from a 32-bit process. */
typedef struct {
	__u32 u32Ranges;
	__u16 u16Count;
	__u16 u16Pad;
} ST_KGPU_SYNC_RANGES32;

/* ioctl 66: allocation request (in and out). */
#define KGPU_MEM_PROVIDER_DMA	0	/* contiguous DMA memory */
#define KGPU_MEM_PROVIDER_PAGES	1	/* whole pages */
typedef struct {
	__u32 u32Provider;
	__u32 u32Reserved;
	__u32 u32Request;	/* kept with the allocation */
	__u32 u32Size;		/* requested bytes */
	__u32 u32AllocatedSize;	/* out */
	__u32 u32Pad;
	__u64 u64PhyAddr;	/* out */
	__u64 u64VirAddr;	/* out; 0 for the page provider */
} ST_KGPU_MEM_ALLOC;

/* ioctl 74: engine status (hardware with "OLD_HW" only). */
typedef struct {
	__s32 s32Result;
	__u32 u32Done;
	__u32 u32Reserved[4];
} ST_KGPU_STATUS;

/* ioctl 81: dma-buf export (count > 0) or resolve (count 0, descriptor set). */
#define KGPU_BUF_PLANES 3
typedef struct {
	__u32 u32PlaneNum;
	__u32 u32Reserved0;
	__u64 u64PlaneAddr[KGPU_BUF_PLANES];
	__u32 u32PlaneSize[KGPU_BUF_PLANES];
	__u32 u32ExportFlags;
	__s32 s32DmaBufFd;
	__u32 u32Reserved1;
} ST_KGPU_BUF_EXCHANGE;

/* ---- ioctl 80: exec record ---- */

enum {
	KGPU_EXEC_FILL = 0,
	KGPU_EXEC_COPY = 1,
	KGPU_EXEC_SCALE = 2,
	KGPU_EXEC_BLEND = 3,
	KGPU_EXEC_ROTATE = 4,
	KGPU_EXEC_BATCH_FILL = 5,
	KGPU_EXEC_BATCH_COPY = 6,
	KGPU_EXEC_BATCH_SCALE = 7,
	KGPU_EXEC_BATCH_BLEND = 8,
	KGPU_EXEC_TYPE_NUM
};

#define KGPU_BUF_SRC_PHYS	0	/* u64Addr[] are physical addresses */
#define KGPU_BUF_SRC_DMABUF	1	/* s32Fd[] are dma-buf descriptors */

typedef struct {
	__u8 u8Format;
	__u8 u8FormatFlag;	/* formats 15-18: three planes; 3, 7, 20: 24-bit mode */
	__u8 u8AlphaA;
	__u8 u8AlphaB;
	__u16 u16PlaneHalf;
	__u16 u16Pad;
	__u32 u32PlaneWord;
	__u32 u32BufSrcType;
	union {
		__u64 u64Addr[3];
		struct {
			__s32 s32Fd[3];
			__u32 u32Offset[3];
		};
	};
	__u16 u16Stride[3];
	__u16 u16Width;
	__u16 u16Height;
	__s16 s16X;
	__s16 s16Y;
	__u16 u16Pad2;
} ST_KGPU_EXEC_PLANE;

typedef struct {
	__u32 u32Mode;		/* 0 solid, 1 gradient */
	union {
		__u32 u32Color;
		__u8 u8Gradient[36];
	};
} ST_KGPU_EXEC_FILL;

#define KGPU_EXEC_SCALE_HW_MARKER	0x2A3
#define KGPU_EXEC_PARTIAL_MARKER	0xDFB
typedef struct {
	union {
		__u32 u32OpMode;
		struct {
			__u16 u16Marker;	/* KGPU_EXEC_SCALE_HW_MARKER */
			__u16 u16OpMode;
		};
	};
	union {
		__u32 u32LowPass;
		struct {
			__u16 u16Reserved;
			__u16 u16LowPass;
		};
	};
	__u32 u32Reserved8;
	__u32 u32Param1;
	__u32 u32Param2;
	__u32 u32Reserved20[2];
	__u16 u16PartialMarker;		/* KGPU_EXEC_PARTIAL_MARKER */
	__s16 s16X1;
	__s16 s16X2;
	__s16 s16Y1;
	__s16 s16Y2;
	__u16 u16Reserved38;
} ST_KGPU_EXEC_SCALE;

typedef struct {
	__u32 u32Control;	/* first byte nonzero: a fill blends */
	__u32 u32Param;
	__u32 u32Flags;
	__u8 u8Xor;
	__u8 u8Demultiply;
	__u16 u16Reserved;
	__u32 u32SrcColorKey;
	__u32 u32DstColorKey;
	__u32 u32ConstColor;
} ST_KGPU_EXEC_BLEND;

typedef struct {
	__u32 u32Type;
	__u32 u32Reserved4;
	ST_KGPU_EXEC_PLANE stSrc1;
	ST_KGPU_EXEC_PLANE stSrc2;
	ST_KGPU_EXEC_PLANE stDst;
	__u8 u8Reserved176[8];
	ST_KGPU_EXEC_FILL stFill;
	ST_KGPU_EXEC_SCALE stScale;
	ST_KGPU_EXEC_BLEND stBlend;
	__u8 u8Reserved292[8];
	__u8 u8RotateMode;
	__u8 u8Reserved301;
	__u8 u8RunLenEnable;
	__u8 u8RunLenMode;
	__u32 u32RunLen;	/* boundary in, run-length size out */
	__u8 u8Reserved308[12];
	__s32 s32BatchNum;
	__u32 u32Reserved324;
	__u64 u64BatchEntries;	/* user pointer */
} ST_KGPU_EXEC;

/* Batch entries (u16 fields). */
typedef struct { __u16 w, h, x, y; } ST_KGPU_BATCH_FILL;
typedef struct { __u16 w, h, src_x, src_y, dst_x, dst_y; } ST_KGPU_BATCH_COPY;
typedef struct { __u16 src_x, src_y, src_w, src_h, dst_x, dst_y, dst_w, dst_h; } ST_KGPU_BATCH_SCALE;
typedef struct { __u16 w, h, src1_x, src1_y, src2_x, src2_y, dst_x, dst_y; } ST_KGPU_BATCH_BLEND;

#ifdef __cplusplus
#define KGPU_UAPI_ASSERT(e, m) static_assert(e, m)
#else
#define KGPU_UAPI_ASSERT(e, m) _Static_assert(e, m)
#endif
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_SYNC_RANGE) == 16, "sync range is 16 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_SYNC_RANGES) == 16, "sync ranges record is 16 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_SYNC_RANGES32) == 8, "compat sync ranges record is 8 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_MEM_ALLOC) == 40, "allocation record is 40 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_STATUS) == 24, "status record is 24 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_BUF_EXCHANGE) == 56, "buffer-exchange record is 56 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_EXEC_PLANE) == 56, "exec plane is 56 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_EXEC_FILL) == 40, "fill settings are 40 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_EXEC_SCALE) == 40, "scale settings are 40 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_EXEC_BLEND) == 28, "blend settings are 28 bytes");
KGPU_UAPI_ASSERT(sizeof(ST_KGPU_EXEC) == 336, "exec record is 336 bytes");
KGPU_UAPI_ASSERT(__builtin_offsetof(ST_KGPU_EXEC, stFill) == 184, "fill at 184");
KGPU_UAPI_ASSERT(__builtin_offsetof(ST_KGPU_EXEC, u8RotateMode) == 300, "rotate mode at 300");
KGPU_UAPI_ASSERT(__builtin_offsetof(ST_KGPU_EXEC, u32RunLen) == 304, "run length at 304");
KGPU_UAPI_ASSERT(__builtin_offsetof(ST_KGPU_EXEC, s32BatchNum) == 320, "batch count at 320");
KGPU_UAPI_ASSERT(__builtin_offsetof(ST_KGPU_EXEC, u64BatchEntries) == 328, "batch entries at 328");
KGPU_UAPI_ASSERT(__builtin_offsetof(ST_KGPU_EXEC_PLANE, u16Stride) == 40, "strides at 40");

#define KGPU_IOC_GET_CHIP_ID	_IOR(KGPU_IOC_TYPE, 31, __u32)
#define KGPU_IOC_SYNC		_IOW(KGPU_IOC_TYPE, 34, ST_KGPU_SYNC_RANGE)
#define KGPU_IOC_SYNC_OWN	_IOW(KGPU_IOC_TYPE, 35, ST_KGPU_SYNC_RANGE)
#define KGPU_IOC_SYNC_RANGES	_IOW(KGPU_IOC_TYPE, 36, ST_KGPU_SYNC_RANGES)
#define KGPU_IOC_SYNC_RANGES32	_IOW(KGPU_IOC_TYPE, 36, ST_KGPU_SYNC_RANGES32)
#define KGPU_IOC_FLUSH_ALL	_IO(KGPU_IOC_TYPE, 37)
#define KGPU_IOC_LOCK		_IO(KGPU_IOC_TYPE, 64)
#define KGPU_IOC_UNLOCK		_IO(KGPU_IOC_TYPE, 65)
#define KGPU_IOC_MEM_ALLOC	_IOWR(KGPU_IOC_TYPE, 66, ST_KGPU_MEM_ALLOC)
#define KGPU_IOC_MEM_FREE	_IOW(KGPU_IOC_TYPE, 67, __u64)
#define KGPU_IOC_MEM_SHOW	_IO(KGPU_IOC_TYPE, 68)
#define KGPU_IOC_STATUS		_IOR(KGPU_IOC_TYPE, 74, ST_KGPU_STATUS)
#define KGPU_IOC_EXEC		_IOWR(KGPU_IOC_TYPE, 80, ST_KGPU_EXEC)
#define KGPU_IOC_BUF_EXCHANGE	_IOWR(KGPU_IOC_TYPE, 81, ST_KGPU_BUF_EXCHANGE)

#endif /* VYR_GPU_UAPI_H */

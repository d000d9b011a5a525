/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * DispAge engine: the plane record that kernel callers of the exported
 * operations fill, and the self-test record of the "crkdispage" device.
 *
 * The device dispatches on the command's number byte only; the size field
 * of the command bounds the copy of the self-test record (at most 208 bytes,
 * the rest is taken as zero). Nothing is copied back.
 */
#ifndef VYR_DISPAGE_UAPI_H
#define VYR_DISPAGE_UAPI_H

#ifdef __KERNEL__
#include <linux/types.h>
#include <linux/ioctl.h>
#else
#include <linux/types.h>
#include <sys/ioctl.h>
#endif

/* Pixel formats (FormatMode). */
#define KDISPAGE_FMT_ARGB8888	3
#define KDISPAGE_FMT_RGB565	4
#define KDISPAGE_FMT_ARGB1555	5
#define KDISPAGE_FMT_ARGB4444	6
#define KDISPAGE_FMT_RGBA8888	7
#define KDISPAGE_FMT_RGBA5551	8
#define KDISPAGE_FMT_RGBA4444	9
#define KDISPAGE_FMT_AYUV8888	11
#define KDISPAGE_FMT_AYUV1555	12
#define KDISPAGE_FMT_YUV655	13
#define KDISPAGE_FMT_YUV888	14
#define KDISPAGE_FMT_YUV420	15
#define KDISPAGE_FMT_YUV422	16
#define KDISPAGE_FMT_YUV440	17
#define KDISPAGE_FMT_YUV444	18
#define KDISPAGE_FMT_BGR888	20
#define KDISPAGE_FMT_YUV400	26

typedef struct ST_KDISPAGE_PLANE {
	__u8 FormatMode;
	__u8 SeparateUV;	/* 1: Y, U and V in three planes (formats 15-18) */
	__u8 Apha_1;
	__u8 Apha_2;
	__u8 Reserved0[4];
	__u64 Buf_Address[3];	/* physical: Y or packed, chroma (UV or U), V */
	__u32 Buf_Stride[3];	/* bytes per line; [0] a multiple of 8 */
	__u16 Width;
	__u16 Height;
	__u8 ClipOn;
	__u8 Reserved1;
	__u16 ClipX;
	__u16 ClipY;
	__u8 Aux0;
	__u8 ColorStd;		/* source: 0 BT.601, otherwise BT.709 */
	__u8 Aux1;
	__u8 Aux2;
	__u8 Aux3;
	__u8 Aux4;
	__u8 RgbOrder;		/* destination channel order 0-5 */
	__u8 Reserved2[3];
} ST_KDISPAGE_PLANE;

#define KDISPAGE_BAT_FILL	0
#define KDISPAGE_BAT_TRANSFORM	1

typedef struct ST_KDISPAGE_BAT {
	__u32 Mode;
	__u32 Reserved0;
	__u32 FillColor;
	__u32 Reserved1;
	ST_KDISPAGE_PLANE FillDst;
	ST_KDISPAGE_PLANE Src;
	ST_KDISPAGE_PLANE Dst;
} ST_KDISPAGE_BAT;

#ifndef VYR_UAPI_ASSERT
#ifdef __cplusplus
#define VYR_UAPI_ASSERT static_assert
#else
#define VYR_UAPI_ASSERT _Static_assert
#endif
#endif
VYR_UAPI_ASSERT(sizeof(ST_KDISPAGE_PLANE) == 64, "ST_KDISPAGE_PLANE is 64 bytes");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, Buf_Address) == 8, "addresses at 8");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, Buf_Stride) == 32, "strides at 32");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, Width) == 44, "width at 44");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, ClipOn) == 48, "clip flag at 48");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, ClipX) == 50, "clip x at 50");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, Aux0) == 54, "Aux0 at 54");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_PLANE, RgbOrder) == 60, "channel order at 60");
VYR_UAPI_ASSERT(sizeof(ST_KDISPAGE_BAT) == 208, "ST_KDISPAGE_BAT is 208 bytes");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_BAT, FillDst) == 16, "fill plane at 16");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_BAT, Src) == 80, "source plane at 80");
VYR_UAPI_ASSERT(__builtin_offsetof(ST_KDISPAGE_BAT, Dst) == 144, "destination plane at 144");

#define KDISPAGE_IOC_TYPE	'd'
#define KDISPAGE_IOC_NR(cmd)	((cmd) & 0xFF)
/* Runs the built-in self-test; the result is the ioctl's result. */
#define KDISPAGE_IOC_BAT	_IOW(KDISPAGE_IOC_TYPE, 1, ST_KDISPAGE_BAT)

#endif /* VYR_DISPAGE_UAPI_H */

/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * OSD plane framebuffers: vendor ioctl commands and the records they carry.
 * Shared by the vyr_gfx kernel module and user space (fwupdate's framebuffer
 * backend).
 *
 * The driver dispatches on the command's number byte only; type, size and
 * direction are not checked. Scalar set commands (enables, stride, alpha,
 * plane order, trace word) carry their value in the ioctl argument itself,
 * although their numbers encode a write of the scalar's size. Queries and
 * record commands pass a pointer; yes-or-no queries write exactly one byte
 * whatever size their number encodes.
 */
#ifndef VYR_OSD_UAPI_H
#define VYR_OSD_UAPI_H

#ifdef __KERNEL__
#include <linux/types.h>
#include <linux/ioctl.h>
#else
#include <stdint.h>
#include <sys/ioctl.h>
typedef uint8_t __u8;
typedef uint32_t __u32;
#endif

#define KER_OSD_IO_TYPE 0xC8

/* Extracts the number byte the driver dispatches on. */
#define KER_OSD_IO_NR(cmd) ((cmd) & 0xFF)

typedef struct {
	__u32 u32X;
	__u32 u32Y;
	__u32 u32W;
	__u32 u32H;
} ST_RECT;

typedef struct {
	__u32 u32W;
	__u32 u32H;
} ST_SIZE;

/*
 * Display window: stSrcWin.u32X/u32Y are the read offsets into the buffer,
 * stSrcWin.u32W/u32H the source size; stDstWin the destination rectangle.
 */
typedef struct {
	ST_RECT stSrcWin;
	ST_RECT stDstWin;
} ST_DRV_OSD_DISP_WIN;

/*
 * Update request: the first word is 14 for the normal planes and 16 for the
 * cursor plane; bWaitVsync asks for the update with a vsync wait.
 */
typedef struct {
	__u32 u32UpdateMask;
	__u8 bEnable;
	__u8 bWaitVsync;
	__u8 au8Reserved[2];
} ST_DRV_OSD_UPDATE_ENABLE;

#ifdef __cplusplus
static_assert(sizeof(ST_RECT) == 16, "ST_RECT is 16 bytes");
static_assert(sizeof(ST_SIZE) == 8, "ST_SIZE is 8 bytes");
static_assert(sizeof(ST_DRV_OSD_DISP_WIN) == 32, "ST_DRV_OSD_DISP_WIN is 32 bytes");
static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stSrcWin.u32W) == 8, "source width at 8");
static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stSrcWin.u32H) == 12, "source height at 12");
static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stDstWin.u32W) == 24, "destination width at 24");
static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stDstWin.u32H) == 28, "destination height at 28");
static_assert(sizeof(ST_DRV_OSD_UPDATE_ENABLE) == 8, "ST_DRV_OSD_UPDATE_ENABLE is 8 bytes");
#else
_Static_assert(sizeof(ST_RECT) == 16, "ST_RECT is 16 bytes");
_Static_assert(sizeof(ST_SIZE) == 8, "ST_SIZE is 8 bytes");
_Static_assert(sizeof(ST_DRV_OSD_DISP_WIN) == 32, "ST_DRV_OSD_DISP_WIN is 32 bytes");
_Static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stSrcWin.u32W) == 8, "source width at 8");
_Static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stSrcWin.u32H) == 12, "source height at 12");
_Static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stDstWin.u32W) == 24, "destination width at 24");
_Static_assert(__builtin_offsetof(ST_DRV_OSD_DISP_WIN, stDstWin.u32H) == 28, "destination height at 28");
_Static_assert(sizeof(ST_DRV_OSD_UPDATE_ENABLE) == 8, "ST_DRV_OSD_UPDATE_ENABLE is 8 bytes");
#endif

/*
 * Records of the property commands, as the driver's operations take them.
 */
#ifdef __cplusplus
#define VYR_OSD_ASSERT static_assert
#else
#define VYR_OSD_ASSERT _Static_assert
#endif

typedef struct {
	__u8 u8Status;		/* the plane asked */
	__u8 au8Normal[3];	/* OSD_NORMAL1..3 */
} ST_DRV_OSD_UPDATE_STATUS;

typedef struct {
	__u8 bHScaleUp;
	__u8 bVScaleUp;
	__u8 bHScaleDown;
	__u8 bVScaleDown;
} ST_DRV_OSD_SCALE_ENABLE;

typedef struct {
	__u32 u32HFactor;
	__u32 u32VFactor;
	__u32 u32HDownFactor;
	__u32 u32VDownFactor;
} ST_DRV_OSD_SCALE_FACTOR;

typedef struct {
	__u32 au32Sel[3];
} ST_DRV_OSD_SCALE_PATH_SEL;

/* au32Ctrl[4] selects the vertical up mode: 4 means mode 2. */
typedef struct {
	__u32 au32Ctrl[5];
} ST_DRV_OSD_SCALE_UP_CTRL;

#define OSD_SCALE_UP_VMODE2	4

typedef struct {
	__u32 au32Ctrl[11];
} ST_DRV_OSD_SCALE_DOWN_CTRL;

typedef struct {
	__u32 u32BufPhyAddr;
	__u32 u32StartAddr;	/* written by the operation */
	__u32 u32Size;
} ST_DRV_OSD_BUF_PHY_ADDR_SIZE;

typedef struct {
	__u32 u32Match;
	__u32 u32Replace;
	__u32 u32Alpha;		/* RGB565 only */
} ST_DRV_OSD_COLOR_KEY_VALUE;

typedef struct {
	__u8 u8Reserved;
	__u8 u8Status1;		/* 0xfc0d0414 bit 1 */
	__u8 u8Status0;		/* 0xfc0d0414 bit 0 */
} ST_DRV_OSD_PALETTE_STATUS;

typedef struct {
	__u8 u8Status;
	__u8 u8Error;
} ST_DRV_OSD_LBM_STATUS;

typedef struct {
	__u32 u32Start;
	__u32 u32End;
} ST_DRV_OSD_LBM_ADDR;

typedef struct {
	__u32 u32Thrd0;
	__u32 u32Thrd1;
	__u32 u32Thrd2;
} ST_DRV_OSD_LBM_THRD;

typedef struct {
	__u32 u32AlphaThrd;
	__u32 u32HEnd;
} ST_DRV_OSD_PROTECT_AREA;

typedef struct {
	__u32 u32XVariation;
	__u32 u32YVariation;
	__u32 u32Trigger;
} ST_DRV_OSD_SELF_FRAME_WIN;

typedef struct {
	__u32 u32RefA;
	__u32 u32RefB;
} ST_DRV_OSD_DPVDE_REF;

typedef struct {
	__u32 u32PixelValue;
	__u32 u32PaletteIndex;
} ST_DRV_OSD_BIST_MODE;

typedef struct {
	__u32 u32A;
	__u32 u32B;
	__u32 u32C;
} ST_DRV_OSD_REGION_BOUNDARY;

typedef struct {
	__u32 u32DummyByteMask;
	__u32 u32TotalRQuant;
} ST_DRV_OSD_RL_DECODE_CTRL;

typedef struct {
	__u32 u32GainR;
	__u32 u32OffsetR;
	__u32 u32GainG;
	__u32 u32OffsetG;
	__u32 u32GainB;
	__u32 u32OffsetB;
} ST_DRV_OSD_GAIN_OFFSET;

typedef struct {
	__u32 u32Enable;
	__u32 u32Mode;
	__u32 u32Value;
} ST_DRV_OSD_ALPHASUARE_PARAM;

/* The identifiers come with the mask so one record serves every mask command. */
typedef struct {
	__u32 u32LayerID;
	__u32 u32MaskID;
	__u8 bEnable;
	__u8 au8Reserved[3];
	__u32 u32X;
	__u32 u32Y;
	__u32 u32W;
	__u32 u32H;
	__u32 u32Delay;
	__u32 u32Disparity3D;
} ST_DRV_OSD_VIDEO_MASK_CTRL;

typedef struct {
	__u32 au32Value[8];
} ST_DRV_OSD_TIME_GEN;

typedef struct {
	__u8 bEnable;
	__u8 au8Reserved[3];
	__u32 u32Width;
} ST_DRV_OSD_HFLIP_PARAM;

typedef struct {
	__u8 u8A;
	__u8 u8B;
	__u8 au8Reserved[2];
	__u32 u32C;
	__u32 u32D;
} ST_DRV_OSD_VSYNC_EXTEND;

typedef struct {
	__u32 u32Enable;
	__u32 au32Color[4];
	__u32 u32Mode;
	__u32 u32Value;
	__u8 u8Byte;
	__u8 au8Reserved[3];
} ST_DRV_OSD_LBM_TEST_PATTERN;

/*
 * Scroll request: the framebuffer layer copies it into the plane context;
 * the task moves the display window's x offset by u32Step per frame from
 * u32Start and wraps to 0 at u32Limit.
 */
typedef struct {
	__u8 bEnable;
	__u8 au8Reserved[3];
	__u32 u32ScrollStride;
	__u32 u32Step;
	__u32 u32Limit;
	__u32 u32Start;
	__u32 au32Reserved[2];
} ST_DRV_OSD_SCROLL_PARAM;

VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_UPDATE_STATUS) == 4, "update status");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SCALE_ENABLE) == 4, "scale enable");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SCALE_FACTOR) == 16, "scale factor");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SCALE_PATH_SEL) == 12, "scale path");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SCALE_UP_CTRL) == 20, "scale up ctrl");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SCALE_DOWN_CTRL) == 44, "scale down ctrl");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_BUF_PHY_ADDR_SIZE) == 12, "buffer record");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_COLOR_KEY_VALUE) == 12, "colour key");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_PALETTE_STATUS) == 3, "palette status");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_LBM_STATUS) == 2, "lbm status");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_LBM_ADDR) == 8, "lbm addr");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_LBM_THRD) == 12, "lbm thrd");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_PROTECT_AREA) == 8, "protect area");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SELF_FRAME_WIN) == 12, "self frame win");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_DPVDE_REF) == 8, "dpvde ref");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_BIST_MODE) == 8, "bist mode");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_REGION_BOUNDARY) == 12, "region boundary");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_RL_DECODE_CTRL) == 8, "rl decode");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_GAIN_OFFSET) == 24, "gain offset");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_ALPHASUARE_PARAM) == 12, "alpha square");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_VIDEO_MASK_CTRL) == 36, "video mask");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_TIME_GEN) == 32, "time gen");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_HFLIP_PARAM) == 8, "hflip");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_VSYNC_EXTEND) == 12, "vsync extend");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_LBM_TEST_PATTERN) == 32, "lbm test pattern");
VYR_OSD_ASSERT(__builtin_offsetof(ST_DRV_OSD_LBM_TEST_PATTERN, u8Byte) == 28, "byte at 28");
VYR_OSD_ASSERT(sizeof(ST_DRV_OSD_SCROLL_PARAM) == 28, "scroll param");

/* Helpers for the encodings: set scalars of 1 or 4 bytes, records. */
#define _KER_OSD_SET8(nr)     _IOW(KER_OSD_IO_TYPE, nr, __u8)
#define _KER_OSD_SET32(nr)    _IOW(KER_OSD_IO_TYPE, nr, __u32)
#define _KER_OSD_IS(nr)       _IOR(KER_OSD_IO_TYPE, nr, __u32)
#define _KER_OSD_GET(nr, t)   _IOR(KER_OSD_IO_TYPE, nr, t)
#define _KER_OSD_PUT(nr, t)   _IOW(KER_OSD_IO_TYPE, nr, t)
#define _KER_OSD_NONE(nr)     _IO(KER_OSD_IO_TYPE, nr)

/* Power */
#define KER_OSD_IO_PM_SUSPEND                    _KER_OSD_NONE(2)
#define KER_OSD_IO_PM_RESUME                     _KER_OSD_NONE(3)

/* Set commands (taken under the plane's lock by the driver) */
#define KER_OSD_IO_SET_VIDEO_WIN_SIZE            _KER_OSD_PUT(4, ST_SIZE)                   /* 0x4008c804 */
#define KER_OSD_IO_UPDATE_SYNC_BY_ATV_ENABLE     _KER_OSD_SET8(6)
#define KER_OSD_IO_UPDATE_ENABLE                 _KER_OSD_PUT(10, ST_DRV_OSD_UPDATE_ENABLE) /* 0x4008c80a */
#define KER_OSD_IO_SHOW_ENABLE                   _KER_OSD_SET8(12)                          /* 0x4001c80c */
#define KER_OSD_IO_PLANE_SHOW_ENABLE             _KER_OSD_SET8(14)                          /* 0x4001c80e */
#define KER_OSD_IO_AXI_FREEZE_ENABLE             _KER_OSD_SET8(18)
#define KER_OSD_IO_AUTO_MUTE_ENABLE              _KER_OSD_SET8(20)                          /* 0x4001c814 */
#define KER_OSD_IO_DUAL_OUTPUT_ENABLE            _KER_OSD_SET8(25)
#define KER_OSD_IO_SET_PLANE_ORDER               _KER_OSD_SET32(51)
#define KER_OSD_IO_VIDEO_MASK_ENABLE             _IOW(KER_OSD_IO_TYPE, 55, __u8[36])
#define KER_OSD_IO_SET_VIDEO_MASK                _IOW(KER_OSD_IO_TYPE, 57, __u8[36])
#define KER_OSD_IO_PROTECT_AREA_ENABLE           _KER_OSD_SET8(67)
#define KER_OSD_IO_SET_PROTECT_AREA              _IOW(KER_OSD_IO_TYPE, 69, __u8[8])
#define KER_OSD_IO_FLUSH_AXI_READ_ENABLE         _KER_OSD_SET8(71)
#define KER_OSD_IO_SET_FLUSH_AXI_READ_PATTERN    _KER_OSD_SET32(73)
#define KER_OSD_IO_SCALE_ENABLE                  _IOW(KER_OSD_IO_TYPE, 75, __u32)
#define KER_OSD_IO_ALPHA_BLEND_ENABLE            _KER_OSD_SET8(85)
#define KER_OSD_IO_BIST_MODE_ENABLE              _KER_OSD_SET8(93)
#define KER_OSD_IO_SET_BIST_MODE                 _IOW(KER_OSD_IO_TYPE, 95, __u8[8])
#define KER_OSD_IO_REGION_SHOW_ENABLE            _KER_OSD_SET8(99)                          /* 0x4001c863 */
#define KER_OSD_IO_SET_COLOR_MODE                _KER_OSD_SET32(101)
#define KER_OSD_IO_SET_ALPHA                     _KER_OSD_SET32(103)
#define KER_OSD_IO_SET_DISP_WIN                  _KER_OSD_PUT(107, ST_DRV_OSD_DISP_WIN)     /* 0x4020c86b */
#define KER_OSD_IO_SET_STRIDE                    _KER_OSD_SET32(113)                        /* 0x4004c871 */
#define KER_OSD_IO_SET_BUF_PHY_ADDR_SIZE         _IOW(KER_OSD_IO_TYPE, 115, __u8[12])
#define KER_OSD_IO_COLOR_KEY_ENABLE              _IOW(KER_OSD_IO_TYPE, 121, __u8[20])
#define KER_OSD_IO_SET_COLOR_KEY                 _IOW(KER_OSD_IO_TYPE, 123, __u8[20])
#define KER_OSD_IO_SET_PALETTE_DATA              _IOW(KER_OSD_IO_TYPE, 131, __u8[16])
#define KER_OSD_IO_SET_FORCE_BUF_ORDER           _KER_OSD_SET32(152)
#define KER_OSD_IO_SET_SPECIAL_OUTPUT            _KER_OSD_SET32(158)                        /* 0x4004c89e */
#define KER_OSD_IO_SET_APITRACE                  _KER_OSD_SET32(159)
#define KER_OSD_IO_HFLIP_ENABLE                  _IOW(KER_OSD_IO_TYPE, 168, __u8[8])
#define KER_OSD_IO_SKIPALPHA_ENABLE              _KER_OSD_SET8(170)                         /* 0x4001c8aa */
#define KER_OSD_IO_SET_PREALPHA                  _KER_OSD_SET32(172)
#define KER_OSD_IO_TIMING_GEN_ENABLE             _KER_OSD_SET8(174)
#define KER_OSD_IO_XVYCC_TIMING_SELECTION_ENABLE _KER_OSD_SET8(176)
#define KER_OSD_IO_SET_TIME_GEN                  _IOW(KER_OSD_IO_TYPE, 178, __u8[32])
#define KER_OSD_IO_CRC_ENABLE                    _KER_OSD_SET8(180)
#define KER_OSD_IO_SET_XVYCC_UPDATE_CTRL         _KER_OSD_SET32(185)
#define KER_OSD_IO_XVYCC_ENABLE                  _KER_OSD_SET8(186)
#define KER_OSD_IO_SEPARATE_VSYNC_EXTEND_ENABLE  _IOW(KER_OSD_IO_TYPE, 196, __u8[12])
#define KER_OSD_IO_SET_DUMP_FB_WINDOW            _IOW(KER_OSD_IO_TYPE, 198, __u8[284])

/* Queries (answered without the plane's lock) */
#define KER_OSD_IO_GET_VIDEO_WIN_SIZE            _KER_OSD_GET(5, ST_SIZE)
#define KER_OSD_IO_IS_SHOW                       _KER_OSD_IS(13)
#define KER_OSD_IO_IS_PLANE_SHOW                 _KER_OSD_IS(15)
#define KER_OSD_IO_IS_AUTO_MUTE                  _KER_OSD_IS(21)
#define KER_OSD_IO_GET_AUTO_MUTE_STATUS          _KER_OSD_IS(22)
#define KER_OSD_IO_IS_DUAL_OUTPUT                _KER_OSD_IS(26)
#define KER_OSD_IO_IS_PURE_OUTPUT                _KER_OSD_IS(28)
#define KER_OSD_IO_IS_3D_MODE                    _KER_OSD_IS(30)
#define KER_OSD_IO_IS_SELF_FRAME_WIN             _KER_OSD_IS(40)
#define KER_OSD_IO_GET_SELF_FRAME_WIN            _IOR(KER_OSD_IO_TYPE, 42, __u8[12])
#define KER_OSD_IO_SEPARATE_ENABLE               _KER_OSD_SET8(45)
#define KER_OSD_IO_IS_LAYER1_BEHIND_VIDEO        _KER_OSD_IS(54)
#define KER_OSD_IO_IS_VIDEO_MASK                 _IOWR(KER_OSD_IO_TYPE, 56, __u8[36])
#define KER_OSD_IO_GET_VIDEO_MASK                _IOWR(KER_OSD_IO_TYPE, 58, __u8[36])
#define KER_OSD_IO_IS_ALPHA_CAL                  _KER_OSD_IS(63)
#define KER_OSD_IO_GET_ALPHA_CAL_THRD            _KER_OSD_GET(65, __u32)
#define KER_OSD_IO_GET_ALPHA_CAL_COUNT           _KER_OSD_GET(66, __u32)
#define KER_OSD_IO_IS_PROTECT_AREA               _KER_OSD_IS(68)
#define KER_OSD_IO_GET_PROTECT_AREA              _IOR(KER_OSD_IO_TYPE, 70, __u8[8])
#define KER_OSD_IO_IS_ALPHA_BLEND                _KER_OSD_IS(86)
#define KER_OSD_IO_IS_RL_DECODE                  _KER_OSD_IS(88)
#define KER_OSD_IO_GET_RL_DECODE_CTRL            _IOR(KER_OSD_IO_TYPE, 90, __u8[8])
#define KER_OSD_IO_IS_REGION_SHOW                _KER_OSD_IS(100)
#define KER_OSD_IO_GET_COLOR_MODE                _KER_OSD_GET(102, __u32)
#define KER_OSD_IO_GET_ALPHA                     _KER_OSD_GET(104, __u32)
#define KER_OSD_IO_GET_DISP_WIN                  _KER_OSD_GET(108, ST_DRV_OSD_DISP_WIN)     /* 0x8020c86c */
#define KER_OSD_IO_GET_STRIDE                    _KER_OSD_GET(114, __u32)                   /* 0x8004c872 */
#define KER_OSD_IO_GET_BUF_PHY_ADDR_SIZE         _IOR(KER_OSD_IO_TYPE, 116, __u8[12])
#define KER_OSD_IO_IS_VFLIP                      _KER_OSD_IS(118)
#define KER_OSD_IO_IS_COLOR_KEY                  _IOWR(KER_OSD_IO_TYPE, 122, __u8[20])
#define KER_OSD_IO_GET_COLOR_KEY                 _IOWR(KER_OSD_IO_TYPE, 124, __u8[20])
#define KER_OSD_IO_IS_GAIN_OFFSET                _KER_OSD_IS(128)
#define KER_OSD_IO_GET_GAIN_OFFSET               _IOR(KER_OSD_IO_TYPE, 130, __u8[24])
#define KER_OSD_IO_SEPA_LVDS_ENABLE              _KER_OSD_SET8(134)
#define KER_OSD_IO_SET_SEPA_LVDS_CTRL            _KER_OSD_SET32(136)
#define KER_OSD_IO_SET_SEPA_LVDS_FMT             _KER_OSD_SET32(138)
#define KER_OSD_IO_SET_SEPA_LVDS_HFLIP           _KER_OSD_SET8(140)
#define KER_OSD_IO_SET_SEPA_LVDS_DELAY           _KER_OSD_SET32(142)
#define KER_OSD_IO_SET_SEPA_LVDS_CHL             _KER_OSD_SET32(144)
#define KER_OSD_IO_SEPA_TIME_ENABLE              _KER_OSD_SET8(146)
#define KER_OSD_IO_GET_ALPHA_SUQARE              _IOR(KER_OSD_IO_TYPE, 166, __u8[12])
#define KER_OSD_IO_IS_TIMING_GEN                 _KER_OSD_IS(175)                           /* 0x8004c8af */
#define KER_OSD_IO_GET_CRC_RESULT_0              _KER_OSD_GET(182, __u32)
#define KER_OSD_IO_GET_CRC_RESULT_1              _KER_OSD_GET(183, __u32)
#define KER_OSD_IO_GET_CRC_RESULT_2              _KER_OSD_GET(184, __u32)

#endif /* VYR_OSD_UAPI_H */

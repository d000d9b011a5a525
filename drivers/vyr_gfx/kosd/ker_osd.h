/* SPDX-License-Identifier: GPL-2.0 */
/*
 * OSD driver: records, identifiers, the plane context and setting records
 * shared by the framebuffer layer and the hardware layer, and the typed
 * operation table through which the framebuffer layer reaches the hardware.
 */
#ifndef KER_OSD_H
#define KER_OSD_H

#include <linux/types.h>
#include <linux/compiler.h>
#include <linux/semaphore.h>
#include <linux/wait.h>
#include <linux/interrupt.h>
#include <linux/atomic.h>
#include <linux/ratelimit.h>

#include "../include/uapi/vyr_osd.h"

struct fb_info;
struct task_struct;

#ifdef __cplusplus
#define KOSD_STATIC_ASSERT static_assert
#else
#define KOSD_STATIC_ASSERT _Static_assert
#endif

/* ------------------------------------------------------------------ */
/* Identifiers                                                          */
/* ------------------------------------------------------------------ */

typedef enum {
	OSD_NORMAL1 = 0,
	OSD_NORMAL2 = 1,
	OSD_NORMAL3 = 2,
	OSD_CURSOR1 = 3,
	OSD_CURSOR2 = 4,
	OSD_PLANE_MAX = 5,
} EN_DRV_OSD_PLANE_ID;

#define OSD_NORMAL_PLANE_NUM	3
#define OSD_IS_CURSOR(plane)	((u32)(plane) > OSD_NORMAL3)

typedef enum {
	OSD_REGION0 = 0,
	OSD_REGION1 = 1,
	OSD_REGION_MAX = 2,
} EN_DRV_OSD_REGION_ID;

typedef enum {
	OSD_LAYER0 = 0,
	OSD_LAYER1 = 1,
	OSD_LAYER2 = 2,
	OSD_LAYER_MAX = 3,
} EN_DRV_OSD_LAYER_ID;

typedef enum {
	OSD_VIDEO_MASK0 = 0,
	OSD_VIDEO_MASK1 = 1,
	OSD_VIDEO_MASK_MAX = 2,
} EN_DRV_OSD_VIDEO_MASK_ID;

typedef enum {
	OSD_COLOR_KEY0 = 0,
	OSD_COLOR_KEY1 = 1,
	OSD_COLOR_KEY_MAX = 2,
} EN_DRV_OSD_COLOR_KEY_ID;

/* Mixer order of the planes: a 3-bit code for the normal planes, 2 bits for the cursors. */
typedef u32 EN_DRV_OSD_PLANE_ORDER;

/*
 * Which of up to three buffers is shown, and what was shown before:
 * 0-2 front, 3-5 back, 6-8 last, 9 back after last.
 */
typedef enum {
	OSD_BUF_ORDER_0 = 0,
	OSD_BUF_ORDER_9 = 9,
	OSD_BUF_ORDER_MAX = 10,
} EN_DRV_OSD_CURRENT_BUF_ORDER;

/* Colour modes; bits 7:3 of a mode are its bytes per pixel. */
typedef enum {
	OSD_COLOR_PALETTE8 = 0x808,
	OSD_COLOR_RGB565 = 0x10056510,
	OSD_COLOR_ARGB1555 = 0x10155510,
	OSD_COLOR_ARGB4444 = 0x10444410,
	OSD_COLOR_ARGB8888 = 0x10888820,
	OSD_COLOR_RGBA5551 = 0x11155510,
	OSD_COLOR_RGBA4444 = 0x11444410,
	OSD_COLOR_RGBA8888 = 0x11888820,
} EN_COLOR;

#define OSD_COLOR_BPP(mode)	(((u32)(mode) >> 3) & 0x1f)

/* Bits of the trace word gu32APITraceCtl. */
#define OSD_TRACE_WRN		0x1
#define OSD_TRACE_DBG		0x2
#define OSD_TRACE_MSG		0x4
#define OSD_TRACE_PAN_TIME	0x8
#define OSD_TRACE_PAN_WAIT	0x10
#define OSD_TRACE_PAN_NOWAIT	0x20
#define OSD_TRACE_PAN_PID	0x100
#define OSD_TRACE_NO_SEM	0x200
#define OSD_TRACE_FORCE_BUF0	0x1000
#define OSD_TRACE_FORCE_BUF1	0x2000
#define OSD_TRACE_FORCE_BUF2	0x4000

extern u32 gu32APITraceCtl;

#define OSD_ERR_TAG "\033[0;32;41m[ERR_DRV_OSD]\033[0m"

#define OSD_ERR(fmt, ...) printk(OSD_ERR_TAG fmt, ##__VA_ARGS__)
/* An error any caller can bring about again and again: rate-limited. */
#define OSD_ERR_RL(fmt, ...) printk_ratelimited(OSD_ERR_TAG fmt, ##__VA_ARGS__)
#define OSD_TRACE_ON(bit) (READ_ONCE(gu32APITraceCtl) & (bit))
#define OSD_WRN(fmt, ...)						\
	do {								\
		if (OSD_TRACE_ON(OSD_TRACE_WRN))			\
			printk("[WRN_DRV_OSD]" fmt, ##__VA_ARGS__);	\
	} while (0)
#define OSD_DBG(fmt, ...)						\
	do {								\
		if (OSD_TRACE_ON(OSD_TRACE_DBG))			\
			printk("[DBG_DRV_OSD]" fmt, ##__VA_ARGS__);	\
	} while (0)
/* A message at a log level (KERN_INFO, ...): the level goes before the tag. */
#define OSD_MSG_LEVEL(level, fmt, ...)					\
	do {								\
		if (OSD_TRACE_ON(OSD_TRACE_MSG))			\
			printk(level "[MSG_DRV_OSD]" fmt, ##__VA_ARGS__); \
	} while (0)
#define OSD_MSG(fmt, ...) OSD_MSG_LEVEL("", fmt, ##__VA_ARGS__)
#define OSD_ENTER() OSD_DBG("%s() Enter\n", __func__)
#define OSD_LEAVE() OSD_DBG("%s() Leave\n", __func__)

/* ------------------------------------------------------------------ */
/* Records handed to the operations                                     */
/* ------------------------------------------------------------------ */

/* The records the ioctls carry are in the uapi header; these stay inside. */

#define OSD_PALETTE_ENTRIES	256
#define OSD_PALETTE_BYTES	(OSD_PALETTE_ENTRIES * 4)

/* Palette range with the entries in kernel memory (the ioctls copy them in). */
typedef struct {
	u32 u32Start;
	u32 u32Count;
	u32 *pu32Data;
} ST_DRV_OSD_PALETTE_DATA;

/* Framebuffer colour format: length and offset of each component. */
typedef struct {
	u8 u8BitsPerPixel;
	u8 u8RedLength;
	u8 u8RedOffset;
	u8 u8GreenLength;
	u8 u8GreenOffset;
	u8 u8BlueLength;
	u8 u8BlueOffset;
	u8 u8TranspLength;
	u8 u8TranspOffset;
} ST_KER_OSD_COLOR_FMT;

KOSD_STATIC_ASSERT(sizeof(void *) != 8 || sizeof(ST_DRV_OSD_PALETTE_DATA) == 16, "palette data");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_COLOR_FMT) == 9, "colour format");

/* ------------------------------------------------------------------ */
/* Setting records                                                      */
/* ------------------------------------------------------------------ */

/*
 * One record for the normal planes, one for the cursor planes. Values that
 * the operations program for the whole group live here; per-plane values
 * live in the plane context.
 */
typedef struct {
	u8 bUpdateSyncByATV;
	u8 bShow;			/* layer show */
	u8 bDualOutput;
	u8 bDramSaveMode;
	u8 b3DMode;
	u8 bSeparateTiming;
	u8 bPaletteBusy;		/* a palette load is in progress */
	u8 abAlphaBlend[OSD_REGION_MAX];
	u8 au8Reserved[3];
	u32 u32DBLSync;
	u32 u32BootState;		/* 0: protect area on, cursor DBL off */
	u32 au32PaletteMap[4];		/* 0xfc0d0420 bits 29:28, 25:24, 21:20, 17:16 */
	u32 u32VSyncUpdate;		/* set at pre-init: vsync wait ioctl triggers the update first */
	u32 u32UserValue;		/* stored by the framebuffer layer's ioctl */
	u32 u32PlaneOrder;
	u32 u32TimingMode;
} ST_DRV_OSD_GLOBAL_SETTING;

typedef struct {
	u8 bEnable;
	u8 au8Reserved[3];
	u32 u32Ctrl;
	u32 u32Format;
	u32 u32HFlip;
	u32 u32Delay;
	u32 u32Channel;
} ST_DRV_OSD_SEPA_LVDS_SETTING;

typedef struct {
	u8 bEnable;
	u8 au8Reserved[3];
	u32 au32Value[8];
} ST_DRV_OSD_SEPA_TIME_SETTING;

/* ------------------------------------------------------------------ */
/* Plane context (the framebuffer's private part)                       */
/* ------------------------------------------------------------------ */

typedef struct {
	EN_COLOR enColor;
	u32 u32Stride;			/* bytes */
	u32 u32ReadOffset;
	u32 u32TotalRQuant;
	u32 u32Alpha;
	u32 u32StartAddr;		/* first byte shown */
	ST_SIZE stSrcSize;
	ST_RECT stDstWin;
	ST_DRV_OSD_DISP_WIN stDispWin;
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE stBufPhyAddrSize;
	ST_DRV_OSD_SCALE_ENABLE stScaleEnable;
	ST_DRV_OSD_SCALE_FACTOR stScaleFactor;
	ST_DRV_OSD_COLOR_KEY_VALUE astColorKey[OSD_COLOR_KEY_MAX];
	u8 abColorKey[OSD_COLOR_KEY_MAX];
	u8 bRegionShow;
	u8 bVFlip;
	u8 bAlphaBlend;
	u8 bRLDecode;
	u8 au8Reserved[2];
	ST_DRV_OSD_RL_DECODE_CTRL stRLDecodeCtrl;
} ST_KER_OSD_REGION_CTX;

typedef struct {
	u8 bEnable;
	u8 au8Reserved[3];
	u32 u32ScrollStride;
	u32 u32SavedStride;
	u32 u32Offset;
	u32 u32Step;
	u32 u32Limit;
	ST_DRV_OSD_DISP_WIN stDispWin;	/* the window the task moves */
} ST_KER_OSD_SCROLL_CTX;

typedef struct {
	EN_DRV_OSD_PLANE_ID enPlaneID;
	EN_DRV_OSD_REGION_ID enRegionID;
	ST_DRV_OSD_GLOBAL_SETTING *pstGlobalSetting;
	ST_DRV_OSD_SEPA_LVDS_SETTING *pstSepaLvdsSetting;
	ST_DRV_OSD_SEPA_TIME_SETTING *pstSepaTimeSetting;
	const u8 *pu8BootState;		/* boot loader's state byte; NULL reads 0 */

	struct semaphore stSem;		/* serialises the plane's programming */
	u8 bSuspended;
	u8 bInitialized;		/* set by the first accepted check_var */
	u8 bForceHFlip;
	u8 bShowOnFirstPan;

	/* framebuffer layer */
	u32 u32ForceHFlipValue;
	u32 u32BufStart;
	u32 u32BufLen;
	u32 u32ViewW, u32ViewH;		/* virtual size the console took at the last mode set */
	/*
	 * What the plane may scan besides its own buffer, as the framebuffer
	 * layer grants it: an imported buffer while it is held, anything while
	 * a caller with CAP_SYS_RAWIO programs the plane. The hardware layer
	 * refuses any other programming and leaves -EINVAL in s32ScanError.
	 */
	u64 u64ImportStart;
	u64 u64ImportLen;
	u8 bRawCaller;
	/*
	 * Set while the framebuffer layer makes the steps of a setting it has
	 * judged whole, whose last step programs the whole scan: a step the
	 * old scan cannot take on its own is refused without a report.
	 */
	u8 bJudgedWhole;
	u8 au8Reserved0[2];
	int s32ScanError;
	u32 u32CmaMode;
	u32 u32ChangeCount;
	u32 u32LastPanPid;
	u32 u32ForceBufOrder;
	ST_DRV_OSD_UPDATE_ENABLE stLastUpdate;
	u32 au32FbPreset[4];		/* preset to 0, 6, 9, 1 by pre-init */

	/* palette */
	u32 *pu32KeepPalette;		/* OSD_PALETTE_ENTRIES words while in palette mode */
	u32 u32PaletteValid;
	ST_DRV_OSD_PALETTE_DATA stLastPalette;

	/* plane properties as last programmed */
	u8 bPlaneShow;
	u8 bPlaneHidden;		/* also the AXI-freeze state */
	u8 bAutoMute;
	u8 bAlphaCal;
	u8 bUpdateWaitSkip;		/* update enable does not wait for vsync */
	u8 bTimingFlag;			/* 0xfc0d0900 bit 0 at pre-init */
	u8 bPureOutput;
	u8 bSelfFrameWin;
	u8 bLayer1BehindVideo;
	u8 bProtectArea;
	u8 bFlushAXIRead;
	u8 bMultiRegion;
	u8 bBISTMode;
	u8 bGainOffset;
	u8 bHFlip;
	u8 bSkipAlpha;
	u8 bPreAlpha;
	u8 bTimingGen;
	u8 bXVYCCTimingSel;
	u8 bCRC;
	u8 bXVYCC;
	u8 bBitInvert;
	u8 au8Reserved[2];
	u32 u32PlaneField;		/* 0xfc0d0010 bits 6:0 */
	u32 u32AlphaCalThrd;
	u32 u32AXIStatus;		/* bits 21:20 of 0xfc0d00b4 and 0xfc0d00c0 summed */
	u32 u32FlushAXIReadPattern;
	u32 u32CurrentBufOrder;
	u32 u32PlaneOrder;
	u32 u32AXIChannel;
	ST_DRV_OSD_DPVDE_REF stDPVDERef;
	ST_DRV_OSD_SELF_FRAME_WIN stSelfFrameWin;
	ST_DRV_OSD_LBM_ADDR stLBMAddr;
	ST_DRV_OSD_LBM_THRD stLBMThrd;
	ST_DRV_OSD_PROTECT_AREA stProtectArea;
	ST_DRV_OSD_SCALE_PATH_SEL stScalePathSel;
	ST_DRV_OSD_SCALE_UP_CTRL stScaleUpCtrl;
	ST_DRV_OSD_SCALE_DOWN_CTRL stScaleDownCtrl;
	ST_DRV_OSD_BIST_MODE stBISTMode;
	ST_DRV_OSD_REGION_BOUNDARY stRegionBoundary;
	ST_DRV_OSD_GAIN_OFFSET stGainOffset;
	ST_DRV_OSD_HFLIP_PARAM stHFlip;
	ST_DRV_OSD_TIME_GEN stTimeGen;
	ST_DRV_OSD_VIDEO_MASK_CTRL astVideoMask[OSD_LAYER_MAX][OSD_VIDEO_MASK_MAX];

	ST_KER_OSD_REGION_CTX astRegion[OSD_REGION_MAX];
	ST_KER_OSD_SCROLL_CTX stScroll;
} ST_KER_OSD_PLANE_CTX;

/* -EINVAL when the hardware layer refused what the last calls programmed; clears it. */
static inline int osd_refused(ST_KER_OSD_PLANE_CTX *c)
{
	return xchg(&c->s32ScanError, 0) ? -EINVAL : 0;
}

/* ------------------------------------------------------------------ */
/* Register window and shadow                                           */
/* ------------------------------------------------------------------ */

#define OSD_REG_PHYS_BASE	0xfc0d0000u
#define OSD_REG_WINDOW_SIZE	0x10000u
#define OSD_REG(off)		(OSD_REG_PHYS_BASE + (off))

typedef struct {
	u32 u32Addr;
	u32 u32Value;
} ST_KER_OSD_SHADOW_REG;

/* ------------------------------------------------------------------ */
/* Operation table                                                      */
/* ------------------------------------------------------------------ */

#define P_ EN_DRV_OSD_PLANE_ID
#define R_ EN_DRV_OSD_REGION_ID

/*
 * One line per slot, in slot order:
 *   OP(slot, name, operation, return type, (arguments))    operation built
 *   LATER(slot, name, operation, return type, (arguments)) operation still to come
 *   NUL(slot, name, return type, (arguments))              slot left empty
 * A LATER slot is empty in the table until its operation exists; turning it
 * into OP is all it takes to fill it.
 */
#define KER_OSD_DRIVER_SLOTS(OP, LATER, NUL)							\
	OP(0, pfSetSuspend, _ker_osd_Set_Suspend, void, (void))					\
	OP(1, pfSetResume, _ker_osd_Set_Resume, void, (void))					\
	OP(2, pfOpen, _ker_osd_Open, void, (void))						\
	OP(3, pfClose, _ker_osd_Close, void, (void))						\
	OP(4, pfSetFbInfoPointer, _ker_osd_Set_FbInfoPointer, void, (P_, struct fb_info *))	\
	OP(5, pfPreInitSetting, _ker_osd_PreInitSetting, void, (P_, R_))			\
	OP(6, pfSetVideoWinSize, _ker_osd_Set_VideoWinSize, void, (ST_SIZE *))		\
	OP(7, pfGetVideoWinSize, _ker_osd_Get_VideoWinSize, void, (ST_SIZE *))		\
	OP(8, pfUpdateSyncByATVEnable, _ker_osd_UpdateSyncByATV_Enable, void, (P_, u8 *))	\
	OP(9, pfIsUpdateSyncByATV, _ker_osd_IsUpdateSyncByATV, void, (P_, u8 *))		\
	OP(10, pfSetDBLSync, _ker_osd_Set_DBLSync, void, (P_, u32 *))				\
	OP(11, pfGetDBLSync, _ker_osd_Get_DBLSync, void, (P_, u32 *))			\
	OP(12, pfUpdateEnable, _ker_osd_Update_Enable, void, (P_, ST_DRV_OSD_UPDATE_ENABLE *))	\
	OP(13, pfGetUpdateStatus, _ker_osd_Get_UpdateStatus, void, (P_, ST_DRV_OSD_UPDATE_STATUS *)) \
	OP(14, pfShowEnable, _ker_osd_Show_Enable, void, (P_, u8 *))				\
	OP(15, pfIsShow, _ker_osd_IsShow, void, (P_, u8 *))					\
	OP(16, pfPlaneShowEnable, _ker_osd_PlaneShow_Enable, void, (P_, u8 *))		\
	OP(17, pfIsPlaneShow, _ker_osd_IsPlaneShow, void, (P_, u8 *))			\
	NUL(18, pfReserved18, void, (void))							\
	NUL(19, pfReserved19, void, (void))							\
	OP(20, pfAXIFreezeEnable, _ker_osd_AXIFreeze_Enable, void, (P_, u8 *))			\
	OP(21, pfIsAXIFreeze, _ker_osd_IsAXIFreeze, void, (P_, u8 *))			\
	OP(22, pfAutoMuteEnable, _ker_osd_AutoMute_Enable, void, (P_, u8 *))			\
	OP(23, pfIsAutoMute, _ker_osd_IsAutoMuteEnable, void, (P_, u8 *))			\
	OP(24, pfGetAutoMuteStatus, _ker_osd_Get_AutoMuteStatus, void, (P_, u8 *))		\
	OP(25, pfAutoMuteTrigger, _ker_osd_AutoMute_Trigger, void, (P_))			\
	OP(26, pfSetDPVDERef, _ker_osd_Set_DPVDERef, void, (P_, ST_DRV_OSD_DPVDE_REF *))	\
	OP(27, pfGetDPVDERef, _ker_osd_Get_DPVDERef, void, (P_, ST_DRV_OSD_DPVDE_REF *))	\
	OP(28, pfDramSaveModeEnable, _ker_osd_DramSaveMode_Enable, void, (P_, u8 *))		\
	OP(29, pfIsDramSaveMode, _ker_osd_IsDramSaveMode, void, (P_, u8 *))			\
	OP(30, pfDualOutputEnable, _ker_osd_DualOutput_Enable, void, (P_, u8 *))		\
	OP(31, pfIsDualOutput, _ker_osd_IsDualOutput, void, (P_, u8 *))			\
	OP(32, pfPureOutputEnable, _ker_osd_PureOutput_Enable, void, (P_, u8 *))		\
	OP(33, pfIsPureOutput, _ker_osd_IsPureOutput, void, (P_, u8 *))			\
	OP(34, pf3DModeEnable, _ker_osd_3DMode_Enable, void, (P_, void *))			\
	OP(35, pfIs3DMode, _ker_osd_Is3DMode, void, (P_, u8 *))				\
	OP(36, pfSet3DMode, _ker_osd_Set_3DMode, void, (P_, void *))				\
	OP(37, pfGet3DMode, _ker_osd_Get_3DMode, void, (P_, void *))				\
	OP(38, pfSet3DDisparity, _ker_osd_Set_3DDisparity, void, (P_, void *))		\
	OP(39, pfGet3DDisparity, _ker_osd_Get_3DDisparity, void, (P_, void *))		\
	OP(40, pfSet3DHalfCtrl, _ker_osd_Set_3DHalfCtrl, void, (P_, void *))			\
	OP(41, pfGet3DHalfCtrl, _ker_osd_Get_3DHalfCtrl, void, (P_, void *))			\
	NUL(42, pfReserved42, void, (void))							\
	NUL(43, pfReserved43, void, (void))							\
	OP(44, pfSelfFrameWinEnable, _ker_osd_SelfFrameWin_Enable, void, (P_, u8 *))		\
	OP(45, pfIsSelfFrameWin, _ker_osd_IsSelfFrameWin, void, (P_, u8 *))			\
	OP(46, pfSetSelfFrameWin, _ker_osd_Set_SelfFrameWin, void, (P_, ST_DRV_OSD_SELF_FRAME_WIN *)) \
	OP(47, pfGetSelfFrameWin, _ker_osd_Get_SelfFrameWin, void, (P_, ST_DRV_OSD_SELF_FRAME_WIN *)) \
	NUL(48, pfReserved48, void, (void))							\
	NUL(49, pfReserved49, void, (void))							\
	OP(50, pfTransparentKeyEnable, _ker_osd_TransparentKey_Enable, void, (P_, void *))	\
	OP(51, pfIsTransparentKey, _ker_osd_IsTransparentKey, void, (P_, void *))		\
	OP(52, pfSetTransparentKey, _ker_osd_Set_TransparentKey, void, (P_, void *))		\
	OP(53, pfGetTransparentKey, _ker_osd_Get_TransparentKey, void, (P_, void *))		\
	OP(54, pfSetPlaneOrder, _ker_osd_Set_PlaneOrder, void, (P_, EN_DRV_OSD_PLANE_ORDER *))	\
	OP(55, pfGetPlaneOrder, _ker_osd_Get_PlaneOrder, void, (P_, EN_DRV_OSD_PLANE_ORDER *)) \
	OP(56, pfLayer1BehindVideoEnable, _ker_osd_Layer1BehindVideo_Enable, void, (P_, u8 *)) \
	OP(57, pfIsLayer1BehindVideo, _ker_osd_IsLayer1BehindVideo, void, (P_, u8 *))	\
	OP(58, pfVideoMaskEnable, _ker_osd_VideoMask_Enable, void, (P_, EN_DRV_OSD_LAYER_ID, EN_DRV_OSD_VIDEO_MASK_ID, u8 *)) \
	OP(59, pfIsVideoMask, _ker_osd_IsVideoMask, void, (P_, EN_DRV_OSD_LAYER_ID, EN_DRV_OSD_VIDEO_MASK_ID, u8 *)) \
	OP(60, pfSetVideoMask, _ker_osd_Set_VideoMask, void, (P_, EN_DRV_OSD_LAYER_ID, EN_DRV_OSD_VIDEO_MASK_ID, ST_DRV_OSD_VIDEO_MASK_CTRL *)) \
	OP(61, pfGetVideoMask, _ker_osd_Get_VideoMask, void, (P_, EN_DRV_OSD_LAYER_ID, EN_DRV_OSD_VIDEO_MASK_ID, ST_DRV_OSD_VIDEO_MASK_CTRL *)) \
	OP(62, pfSetLBMAddr, _ker_osd_Set_LBMAddr, void, (P_, ST_DRV_OSD_LBM_ADDR *))	\
	OP(63, pfGetLBMAddr, _ker_osd_Get_LBMAddr, void, (P_, ST_DRV_OSD_LBM_ADDR *))	\
	OP(64, pfGetLBMStatus, _ker_osd_Get_LBMStatus, void, (P_, ST_DRV_OSD_LBM_STATUS *))	\
	OP(65, pfAlphaCalEnable, _ker_osd_AlphaCal_Enable, void, (P_, u8 *))			\
	OP(66, pfIsAlphaCal, _ker_osd_IsAlphaCal, void, (P_, u8 *))				\
	OP(67, pfSetAlphaCalThrd, _ker_osd_Set_AlphaCalThrd, void, (P_, u32 *))			\
	OP(68, pfGetAlphaCalThrd, _ker_osd_Get_AlphaCalThrd, void, (P_, u32 *))		\
	OP(69, pfGetAlphaCalCount, _ker_osd_Get_AlphaCalCount, void, (P_, u32 *))		\
	OP(70, pfProtectAreaEnable, _ker_osd_ProtectArea_Enable, void, (P_, u8 *))		\
	OP(71, pfIsProtectArea, _ker_osd_IsProtectArea, void, (P_, u8 *))			\
	OP(72, pfSetProtectArea, _ker_osd_Set_ProtectArea, void, (P_, ST_DRV_OSD_PROTECT_AREA *)) \
	OP(73, pfGetProtectArea, _ker_osd_Get_ProtectArea, void, (P_, ST_DRV_OSD_PROTECT_AREA *)) \
	OP(74, pfFlushAXIReadEnable, _ker_osd_FlushAXIRead_Enable, void, (P_, u8 *))		\
	OP(75, pfIsFlushAXIRead, _ker_osd_IsFlushAXIRead, void, (P_, u8 *))			\
	OP(76, pfSetFlushAXIReadPattern, _ker_osd_Set_FlushAXIReadPattern, void, (P_, u32 *)) \
	OP(77, pfGetFlushAXIReadPattern, _ker_osd_Get_FlushAXIReadPattern, void, (P_, u32 *)) \
	OP(78, pfScaleEnable, _ker_osd_Scale_Enable, void, (P_, R_, ST_DRV_OSD_SCALE_ENABLE *)) \
	OP(79, pfIsScale, _ker_osd_IsScale, void, (P_, R_, ST_DRV_OSD_SCALE_ENABLE *))	\
	OP(80, pfSetScaleFactor, _ker_osd_Set_ScaleFactor, void, (P_, R_, ST_DRV_OSD_SCALE_FACTOR *)) \
	OP(81, pfGetScaleFactor, _ker_osd_Get_ScaleFactor, void, (P_, R_, ST_DRV_OSD_SCALE_FACTOR *)) \
	OP(82, pfSetScaleUpCtrl, _ker_osd_Set_ScaleUpCtrl, void, (P_, ST_DRV_OSD_SCALE_UP_CTRL *)) \
	OP(83, pfGetScaleUpCtrl, _ker_osd_Get_ScaleUpCtrl, void, (P_, ST_DRV_OSD_SCALE_UP_CTRL *)) \
	OP(84, pfSetScaleDownCtrl, _ker_osd_Set_ScaleDownCtrl, void, (P_, ST_DRV_OSD_SCALE_DOWN_CTRL *)) \
	OP(85, pfGetScaleDownCtrl, _ker_osd_Get_ScaleDownCtrl, void, (P_, ST_DRV_OSD_SCALE_DOWN_CTRL *)) \
	OP(86, pfSetScalePathSel, _ker_osd_Set_ScalePathSel, void, (P_, ST_DRV_OSD_SCALE_PATH_SEL *)) \
	OP(87, pfSetScaleFunc, _ker_osd_Set_ScaleFunc, void, (P_, R_, ST_DRV_OSD_DISP_WIN *)) \
	OP(88, pfAlphaBlendEnable, _ker_osd_AlphaBlend_Enable, void, (P_, R_, u8 *))		\
	OP(89, pfIsAlphaBlend, _ker_osd_IsAlphaBlend, void, (P_, R_, u8 *))			\
	OP(90, pfRLDecodeEnable, _ker_osd_RLDecode_Enable, void, (P_, R_, u8 *))		\
	OP(91, pfIsRLDecode, _ker_osd_IsRLDecode, void, (P_, R_, u8 *))			\
	OP(92, pfSetRLDecodeCtrl, _ker_osd_Set_RLDecodeCtrl, void, (P_, R_, ST_DRV_OSD_RL_DECODE_CTRL *)) \
	OP(93, pfGetRLDecodeCtrl, _ker_osd_Get_RLDecodeCtrl, void, (P_, R_, ST_DRV_OSD_RL_DECODE_CTRL *)) \
	OP(94, pfMultiRegionEnable, _ker_osd_MultiRegion_Enable, void, (P_, u8 *))		\
	OP(95, pfIsMultiRegion, _ker_osd_IsMultiRegion, void, (P_, u8 *))			\
	OP(96, pfBISTModeEnable, _ker_osd_BISTMode_Enable, void, (P_, u8 *))			\
	OP(97, pfIsBISTMode, _ker_osd_IsBISTMode, void, (P_, u8 *))				\
	OP(98, pfSetBISTMode, _ker_osd_Set_BISTMode, void, (P_, ST_DRV_OSD_BIST_MODE *))	\
	OP(99, pfGetBISTMode, _ker_osd_Get_BISTMode, void, (P_, ST_DRV_OSD_BIST_MODE *))	\
	OP(100, pfSetRegionBoundary, _ker_osd_Set_RegionBoundary, void, (P_, ST_DRV_OSD_REGION_BOUNDARY *)) \
	OP(101, pfGetRegionBoundary, _ker_osd_Get_RegionBoundary, void, (P_, ST_DRV_OSD_REGION_BOUNDARY *)) \
	OP(102, pfRegionShowEnable, _ker_osd_RegionShow_Enable, void, (P_, R_, u8 *))		\
	OP(103, pfIsRegionShow, _ker_osd_IsRegionShow, void, (P_, R_, u8 *))			\
	OP(104, pfConvertColorFmtToMode, _ker_osd_Convert_ColorFmtToMode, void, (ST_KER_OSD_COLOR_FMT *, EN_COLOR *)) \
	OP(105, pfConvertModeToColorFmt, _ker_osd_Convert_ModeToColorFmt, void, (ST_KER_OSD_COLOR_FMT *, EN_COLOR *)) \
	OP(106, pfSetColorMode, _ker_osd_Set_ColorMode, void, (P_, R_, EN_COLOR *))		\
	OP(107, pfGetColorMode, _ker_osd_Get_ColorMode, void, (P_, R_, EN_COLOR *))		\
	OP(108, pfSetAlpha, _ker_osd_Set_Alpha, void, (P_, R_, u32 *))			\
	OP(109, pfGetAlpha, _ker_osd_Get_Alpha, void, (P_, R_, u32 *))			\
	OP(110, pfSetDstWin, _ker_osd_Set_DstWin, void, (P_, R_, ST_RECT *))			\
	OP(111, pfGetDstWin, _ker_osd_Get_DstWin, void, (P_, R_, ST_RECT *))			\
	OP(112, pfSetDispWin, _ker_osd_Set_DispWin, void, (P_, R_, ST_DRV_OSD_DISP_WIN *))	\
	OP(113, pfGetDispWin, _ker_osd_Get_DispWin, void, (P_, R_, ST_DRV_OSD_DISP_WIN *))	\
	OP(114, pfSetSrcSize, _ker_osd_Set_SrcSize, void, (P_, R_, ST_SIZE *))		\
	OP(115, pfGetSrcSize, _ker_osd_Get_SrcSize, void, (P_, R_, ST_SIZE *))		\
	OP(116, pfSetReadOffset, _ker_osd_Set_ReadOffset, void, (P_, R_, u32 *))		\
	OP(117, pfGetReadOffset, _ker_osd_Get_ReadOffset, void, (P_, R_, u32 *))		\
	OP(118, pfSetStride, _ker_osd_Set_Stride, void, (P_, R_, u32 *))			\
	OP(119, pfGetStride, _ker_osd_Get_Stride, void, (P_, R_, u32 *))			\
	OP(120, pfSetBufPhyAddrSize, _ker_osd_Set_BufPhyAddrSize, void, (P_, R_, ST_DRV_OSD_BUF_PHY_ADDR_SIZE *)) \
	OP(121, pfGetBufPhyAddrSize, _ker_osd_Get_BufPhyAddrSize, void, (P_, R_, ST_DRV_OSD_BUF_PHY_ADDR_SIZE *)) \
	OP(122, pfVFlipEnable, _ker_osd_VFlip_Enable, void, (P_, R_, u8 *))			\
	OP(123, pfIsVFlip, _ker_osd_IsVFlip, void, (P_, R_, u8 *))				\
	OP(124, pfSetTotalRQuant, _ker_osd_Set_TotalRQuant, void, (P_, R_, u32 *))		\
	OP(125, pfGetTotalRQuant, _ker_osd_Get_TotalRQuant, void, (P_, R_, u32 *))		\
	OP(126, pfColorKeyEnable, _ker_osd_ColorKey_Enable, void, (P_, R_, EN_DRV_OSD_COLOR_KEY_ID, u8 *)) \
	OP(127, pfIsColorKey, _ker_osd_IsColorKey, void, (P_, R_, EN_DRV_OSD_COLOR_KEY_ID, u8 *)) \
	OP(128, pfSetColorKey, _ker_osd_Set_ColorKey, void, (P_, R_, EN_DRV_OSD_COLOR_KEY_ID, ST_DRV_OSD_COLOR_KEY_VALUE *)) \
	OP(129, pfGetColorKey, _ker_osd_Get_ColorKey, void, (P_, R_, EN_DRV_OSD_COLOR_KEY_ID, ST_DRV_OSD_COLOR_KEY_VALUE *)) \
	OP(130, pfSetLBMThrd, _ker_osd_Set_LBMThrd, void, (P_, ST_DRV_OSD_LBM_THRD *))		\
	OP(131, pfGetLBMThrd, _ker_osd_Get_LBMThrd, void, (P_, ST_DRV_OSD_LBM_THRD *))	\
	OP(132, pfGainOffsetEnable, _ker_osd_GainOffset_Enable, void, (P_, u8 *))		\
	OP(133, pfIsGainOffset, _ker_osd_IsGainOffset, void, (P_, u8 *))			\
	OP(134, pfSetGainOffset, _ker_osd_Set_GainOffset, void, (P_, ST_DRV_OSD_GAIN_OFFSET *)) \
	OP(135, pfGetGainOffset, _ker_osd_Get_GainOffset, void, (P_, ST_DRV_OSD_GAIN_OFFSET *)) \
	OP(136, pfSetAlphaSquare, _ker_osd_Set_AlphaSquare, void, (P_, ST_DRV_OSD_ALPHASUARE_PARAM *)) \
	OP(137, pfGetAlphaSquare, _ker_osd_Get_AlphaSquare, void, (P_, ST_DRV_OSD_ALPHASUARE_PARAM *)) \
	OP(138, pfSetPaletteAccess, _ker_osd_Set_PaletteAccess, void, (P_))			\
	OP(139, pfSetPaletteCtrl, _ker_osd_Set_PaletteCtrl, void, (P_, u8 *))			\
	OP(140, pfSetPaletteData, _ker_osd_Set_PaletteData, void, (P_, ST_DRV_OSD_PALETTE_DATA *)) \
	OP(141, pfGetPaletteData, _ker_osd_Get_PaletteData, void, (P_, ST_DRV_OSD_PALETTE_DATA *)) \
	OP(142, pfGetPaletteStatus, _ker_osd_Get_PaletteStatus, void, (P_, ST_DRV_OSD_PALETTE_STATUS *)) \
	NUL(143, pfReserved143, void, (void))							\
	NUL(144, pfReserved144, void, (void))							\
	NUL(145, pfReserved145, void, (void))							\
	NUL(146, pfReserved146, void, (void))							\
	NUL(147, pfReserved147, void, (void))							\
	NUL(148, pfReserved148, void, (void))							\
	NUL(149, pfReserved149, void, (void))							\
	NUL(150, pfReserved150, void, (void))							\
	NUL(151, pfReserved151, void, (void))							\
	NUL(152, pfReserved152, void, (void))							\
	NUL(153, pfReserved153, void, (void))							\
	NUL(154, pfReserved154, void, (void))							\
	NUL(155, pfReserved155, void, (void))							\
	NUL(156, pfReserved156, void, (void))							\
	NUL(157, pfReserved157, void, (void))							\
	NUL(158, pfReserved158, void, (void))							\
	NUL(159, pfReserved159, void, (void))							\
	NUL(160, pfReserved160, void, (void))							\
	OP(161, pfSetCurrentBufOrder, _ker_osd_Set_CurrentBufOrder, void, (P_, EN_DRV_OSD_CURRENT_BUF_ORDER *)) \
	OP(162, pfGetCurrentBufOrder, _ker_osd_Get_CurrentBufOrder, void, (P_, EN_DRV_OSD_CURRENT_BUF_ORDER *)) \
	OP(163, pfScrollEnable, _ker_osd_Scroll_Enable, void, (P_, R_, u8 *))			\
	OP(164, pfSetScroll, _ker_osd_Set_Scroll, void, (P_, R_, ST_DRV_OSD_SCROLL_PARAM *))	\
	OP(165, pfVSyncWait, _ker_osd_VSyncWait, int, (P_))					\
	OP(166, pfIsOsdVisible, _ker_osd_Is_Osd_Visible, void, (u8 *))			\
	OP(167, pfIsHFlip, _ker_osd_IsHFlip, void, (P_, u8 *))				\
	OP(168, pfHFlip_Enable, _ker_osd_HFlip_Enable, void, (P_, ST_DRV_OSD_HFLIP_PARAM *))	\
	OP(169, pfSkipAlphaEnable, _ker_osd_SkipAlpha_Enable, void, (P_, u8 *))		\
	OP(170, pfIsSkipAlpha, _ker_osd_IsSkipAlpha, void, (P_, u8 *))			\
	OP(171, pfSetPreAlpha, _ker_osd_Set_PreAlpha, void, (P_, u8))			\
	OP(172, pfGetPreAlpha, _ker_osd_Get_PreAlpha, void, (P_, u8 *))			\
	OP(173, pfTimingGenEnable, _ker_osd_TimingGen_Enable, void, (P_, u8 *))		\
	OP(174, pfIsTimingGen, _ker_osd_IsTimingGen, void, (P_, u8 *))			\
	OP(175, pfSetTimeGen, _ker_osd_Set_TimeGen, void, (P_, ST_DRV_OSD_TIME_GEN *))	\
	OP(176, pfGetTimeGen, _ker_osd_Get_TimeGen, void, (P_, ST_DRV_OSD_TIME_GEN *))	\
	OP(177, pfXVYCCTimingSelectionEnable, _ker_osd_XVYCCTimingSelection_Enable, void, (P_, u8 *)) \
	OP(178, pfIsXVYCCTimingSelection, _ker_osd_IsXVYCCTimingSelection, void, (P_, u8 *))	\
	OP(179, pfCRCEnable, _ker_osd_CRC_Enable, void, (P_, u8 *))				\
	OP(180, pfIsCRC, _ker_osd_IsCRC, void, (P_, u8 *))					\
	OP(181, pfGetCRCResult0, _ker_osd_Get_CRCResult0, void, (P_, u32 *))			\
	OP(182, pfGetCRCResult1, _ker_osd_Get_CRCResult1, void, (P_, u32 *))			\
	OP(183, pfGetCRCResult2, _ker_osd_Get_CRCResult2, void, (P_, u32 *))			\
	OP(184, pfSetXVYCCUpdateCtrl, _ker_osd_Set_XVYCCUpdateCtrl, void, (P_, u8 *))		\
	OP(185, pfXVYCCEnable, _ker_osd_XVYCC_Enable, void, (P_, u8 *))				\
	OP(186, pfIsXVYCC, _ker_osd_IsXVYCC, void, (P_, u8 *))				\
	OP(187, pfBitInvertEnable, _ker_osd_BitInvertEnable, void, (P_, u8 *))		\
	OP(188, pfIsBitInvert, _ker_osd_IsBitInvert, void, (P_, u8 *))			\
	OP(189, pfGetRGBMeterResult, _ker_osd_GetRGBMeterResult, void, (P_, u32 *))		\
	OP(190, pfSeparateVsyncExtendEnable, _ker_osd_SeparateVsyncExtendEnable, void, (P_, ST_DRV_OSD_VSYNC_EXTEND *)) \
	NUL(191, pfSetAFBC_AXI_Sel, void, (void))						\
	NUL(192, pfSetEarlyTimingSetting, void, (void))						\
	NUL(193, pfSetEarlyTimingSettingMixer, void, (void))					\
	NUL(194, pfSetOSDMixerPath, void, (void))						\
	NUL(195, pfSetOSD4KPath, void, (void))							\
	NUL(196, pfSetSecondScaleUpControl, void, (void))					\
	NUL(197, pfSet8KMixerPlaneOrder, void, (void))						\
	NUL(198, pf8KMixerVideoMaskEnable, void, (void))					\
	NUL(199, pfSet8KMixerVideoMask, void, (void))						\
	NUL(200, pfProtectionAreaDebug, void, (void))						\
	NUL(201, pfSet8KMixerDebugPattern, void, (void))					\
	OP(202, pfSetLBMTestPattern, _ker_osd_Set_LBMTestPattern, void, (P_, ST_DRV_OSD_LBM_TEST_PATTERN *)) \
	NUL(203, pfReserved203, void, (void))							\
	NUL(204, pfAFBCEnable, void, (P_, u8 *))						\
	OP(205, pfIsSupportAFBC, _ker_osd_Is_Support_AFBC, void, (P_, u8 *))			\
	OP(206, pfMappingReg, _ker_osd_MappingReg, void, (void))				\
	OP(207, pfUnMappingReg, _ker_osd_UnMappingReg, void, (void))				\
	OP(208, pfAutoColorKeyEnable, _ker_osd_Auto_Color_Key_Enable, void, (P_, u8 *))	\
	NUL(209, pfSet8x8MeterPos, void, (void))						\
	NUL(210, pfGet8x8MeterResult, void, (void))						\
	NUL(211, pfCRVMixerEnable, void, (void))						\
	OP(212, pfSetPlaneAXIChannel, _ker_osd_Set_Plane_AXI_Channel, void, (P_, u32 *))	\
	NUL(213, pfExtBypassGPE, void, (void))

#define KER_OSD_SLOT_COUNT	214

#define KOSD_FIELD_OP(idx, slot, fn, ret, args) ret (*slot) args;
#define KOSD_FIELD_NUL(idx, slot, ret, args) ret (*slot) args;

typedef struct {
	KER_OSD_DRIVER_SLOTS(KOSD_FIELD_OP, KOSD_FIELD_OP, KOSD_FIELD_NUL)
} ST_KER_OSD_DRIVER_CALLBACK;

KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_DRIVER_CALLBACK) == KER_OSD_SLOT_COUNT * sizeof(void (*)(void)),
	       "one pointer per slot");

/* Declarations of every operation the table names. */
#define KOSD_DECL_OP(idx, slot, fn, ret, args) ret fn args;
#define KOSD_DECL_NUL(idx, slot, ret, args)
KER_OSD_DRIVER_SLOTS(KOSD_DECL_OP, KOSD_DECL_OP, KOSD_DECL_NUL)

/* Slot names as the framebuffer layer prints them for an empty slot. */
extern const char *const gapszKerOsdSlotName[KER_OSD_SLOT_COUNT];

/*
 * Calls an operation through the table; an empty slot prints
 * "[MSG_DRV_OSD]gstDriverCallback->pf<Name> is NULL !" and is skipped.
 */
#define KER_OSD_CALL(tbl, slot, ...)						\
	do {									\
		if ((tbl) && (tbl)->slot)					\
			(tbl)->slot(__VA_ARGS__);				\
		else								\
			OSD_MSG("%s is NULL !\n", "gstDriverCallback->" #slot);	\
	} while (0)

#undef P_
#undef R_

ST_KER_OSD_DRIVER_CALLBACK *_ker_osd_Get_DriverCallback(void);

/* ------------------------------------------------------------------ */
/* Hardware layer services                                              */
/* ------------------------------------------------------------------ */

/* Identifier classes checked by _ker_osd_Check_Ids (the plane always is). */
#define OSD_ID_PLANE	0x0
#define OSD_ID_REGION	0x1
#define OSD_ID_KEY	0x2
#define OSD_ID_LAYER	0x4
#define OSD_ID_MASK	0x8

int _ker_osd_Check_Ids(u32 u32What, u32 u32Plane, u32 u32Region, u32 u32Key,
		       u32 u32Layer, u32 u32Mask);

u32 _ker_osd_Read_Reg(const u32 *pu32Addr);
void _ker_osd_Write_Reg(const u32 *pu32Addr, u32 u32Value);
void _ker_osd_Write_GlobalReg(ST_KER_OSD_SHADOW_REG *pstReg, u32 u32Value);
void _ker_osd_WaitUploadDone(void);
void _ker_osd_WaitPaletteTrigger(void);
void _ker_osd_check_fastlogo(void);
void _ker_osd_ForceDisable(EN_DRV_OSD_PLANE_ID enPlane, u8 u8Value);
int _ker_osd_VSyncWait_wrap(EN_DRV_OSD_PLANE_ID enPlane);

irqreturn_t _ker_osd_DpIRQHandler(int irq, void *dev_id);
/*
 * The one way up: the framebuffer layer hands a callback that the vsync
 * interrupt calls for each plane (NULL: none), with the plane's last update
 * request that the hardware took. The scan as programmed so far shows once
 * that count reaches the plane's scan ticket (compared as s32 differences).
 */
void _ker_osd_Set_VSyncCallback(void (*pfCallback)(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Taken));
u32 _ker_osd_Get_ScanTicket(EN_DRV_OSD_PLANE_ID enPlane);
/* Key colour (12-bit components) for one luminance-grid cell. */
void find_color(u32 r, u32 g, u32 b, u32 *out_r, u32 *out_g, u32 *out_b);
/* The OSD debug menu "DRV_OSD"; registered by the framebuffer layer's init. */
int _ker_osd_menu_register(void);
void _ker_osd_menu_unregister(void);
int _ker_osd_ScrollTaskProc(void *data);

/*
 * Whether the plane may show the window with the stride (the scroll
 * stride when the plane scrolls) at the buffer it shows now: 0, or -EINVAL
 * as the display window operation would refuse it.
 */
int _ker_osd_Check_DispWin(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   const ST_DRV_OSD_DISP_WIN *pstWin, u32 u32Stride);
/* 0 when the region scans, as its registers stand, only where the plane may read. */
int _ker_osd_Check_Scan(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion);

/* Shadow access for diagnostics and tests. */
ST_KER_OSD_SHADOW_REG *_ker_osd_Shadow_Find(u32 u32Addr);
u32 _ker_osd_Shadow_Count(void);
ST_KER_OSD_SHADOW_REG *_ker_osd_Shadow_At(u32 u32Index);

#endif /* KER_OSD_H */

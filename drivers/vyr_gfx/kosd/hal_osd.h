/* SPDX-License-Identifier: GPL-2.0 */
/*
 * OSD hardware layer: state and helpers shared by its own sources only.
 */
#ifndef HAL_OSD_H
#define HAL_OSD_H

#include <linux/spinlock.h>
#include <linux/semaphore.h>
#include <linux/wait.h>

#include "ker_osd.h"

/* Normal-plane registers are given as OSD_NORMAL1 addresses. */
u32 osd_normal_reg(u32 u32Addr, EN_DRV_OSD_PLANE_ID enPlane);
/* Cursor-plane registers are given as OSD_CURSOR1 addresses. */
u32 osd_cursor_reg(u32 u32Addr, EN_DRV_OSD_PLANE_ID enPlane);

u32 osd_read(u32 u32Addr);
void osd_write_hw(u32 u32Addr, u32 u32Value);
/* Programming step: shadow and hardware get (value & ~mask) | bits. */
void osd_prog(u32 u32Addr, u32 u32Mask, u32 u32Bits);
/* The same change in the hardware only. */
void osd_prog_hw(u32 u32Addr, u32 u32Mask, u32 u32Bits);
/* Copies the hardware value into the shadow, writing nothing. */
u32 osd_adopt(u32 u32Addr);
u32 osd_shadow_value(u32 u32Addr);
void osd_shadow_store(u32 u32Addr, u32 u32Value);

static inline u32 osd_bit(int bit, bool on)
{
	return on ? (1u << bit) : 0;
}

/* Colour mode from a plane control value (code in bits 15:12 and 9:8); 0 if unknown. */
EN_COLOR _ker_osd_Convert_ColorRegValToMode(u32 u32RegVal);

/* The plane context and setting record behind a plane's framebuffer. */
ST_KER_OSD_PLANE_CTX *osd_ctx(EN_DRV_OSD_PLANE_ID enPlane);
ST_DRV_OSD_GLOBAL_SETTING *osd_setting(EN_DRV_OSD_PLANE_ID enPlane);

/* Hands a vsync to the callback the layer above set, plane by plane. */
void osd_vsync_planes(void);
/* The plane's scan registers were written: their latch waits for the next update request. */
void osd_scan_written(EN_DRV_OSD_PLANE_ID enPlane);

/*
 * What a region scans out, field by field as its registers hold it. A
 * region's start address, stride, window, colour mode, flip and run-length
 * state reach the registers only through osd_scan_set, which refuses a scan
 * that leaves what the caller may reach, or a field wider than its register.
 */
typedef struct {
	u32 u32Start;		/* first byte; bits 31:5 reach the registers */
	u32 u32Units;		/* stride in pixels, 13 bits */
	u32 u32Offset;		/* read offset in pixels, 5 bits */
	u32 u32W;		/* pixels a line, 13 bits */
	u32 u32H;		/* normal: source lines (12 bits); cursor: destination lines */
	u32 u32VFactor;		/* cursor: vertical factor, 17 bits (0x10000 = 1:1) */
	u32 u32Code;		/* colour code, bits 15:12 and 9:8 */
	u32 u32Quant;		/* read quantity in 16-byte units, 21 bits (normal: run-length data) */
	u8 bVFlip;
	u8 bRL;			/* normal: run-length decode */
} ST_KER_OSD_SCAN;

void osd_scan_get(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, ST_KER_OSD_SCAN *s);
int osd_scan_set(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
		 const ST_KER_OSD_SCAN *next);
/*
 * Before a region is shown (enRegion), or the plane with the regions it
 * shows (-1): 0 when each reads, as its registers stand, only where the
 * plane may; else -EINVAL, left for the layer above.
 */
int osd_scan_may_show(EN_DRV_OSD_PLANE_ID enPlane, int enRegion);

/* Bit 8 of 0xfc0d0990. */
u8 _ker_osd_IsGPE(void);

#define OSD_CHECK_PLANE(plane)							\
	do {									\
		if (_ker_osd_Check_Ids(OSD_ID_PLANE, (plane), 0, 0, 0, 0))	\
			return;							\
	} while (0)
#define OSD_CHECK_REGION(plane, region)						\
	do {									\
		if (_ker_osd_Check_Ids(OSD_ID_REGION, (plane), (region), 0, 0, 0)) \
			return;							\
	} while (0)

/* Vsync wait contexts: planes 0..3, plane 4 shares context 3. */
#define OSD_VSYNC_CTX_NUM	4

typedef struct {
	wait_queue_head_t waitQueueHead;
	u8 done;
	u32 waiting;
} ST_KER_OSD_VSYNC_CTX;

typedef struct {
	struct semaphore stSem;
	wait_queue_head_t waitQueueHead;
	u8 u8Pending;
	u32 u32Idle;
	struct task_struct *pstTask;
	s32 s32Plane;		/* the plane the task is programming, -1 when none */
	u32 u32Frame;		/* vsyncs counted for the task's pace */
} ST_KER_OSD_SCROLL_TASK_CTX;

extern ST_KER_OSD_VSYNC_CTX gastVSyncContext[OSD_VSYNC_CTX_NUM];
extern ST_KER_OSD_SCROLL_TASK_CTX gstScrollContext;
extern u32 gu32ATVCheckCount;
extern u32 gu32SignalRetryCount;

extern u8 gau8PalettePending[OSD_PLANE_MAX];
extern u8 gau8ForceDisable[OSD_PLANE_MAX];
extern u32 gatPaletteMutexUp;
extern u32 gatIsOsdVisible;
extern spinlock_t gstOsdUpdateLock;
extern ST_SIZE gstVideoWinSize;
extern u32 genOSDTimingMode;

#define OSD_VIDEO_WIN_W		3840
#define OSD_VIDEO_WIN_H		2160

#define OSD_UPDATE_NORMAL	14
#define OSD_UPDATE_CURSOR	16

/* 0xfc0db000 */
#define OSD_UPLOAD_ALL		0x17f
#define OSD_UPLOAD_CURSOR	0x10
#define OSD_UPLOAD_PALETTE	0x40
#define OSD_UPLOAD_TRIGGER	0x100

#endif /* HAL_OSD_H */

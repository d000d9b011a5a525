// SPDX-License-Identifier: GPL-2.0
/*
 * OSD framebuffer layer: start-up and take-down of the five plane
 * framebuffers (module parameters, buffer placement, registration) and the
 * framebuffer operations other than ioctl.
 */
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/kernel.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <linux/io.h>
#include <linux/mm.h>
#include <linux/overflow.h>
#include <linux/bitops.h>
#include <linux/fs.h>
#include <linux/of.h>
#include <linux/atomic.h>
#include <linux/ktime.h>
#include <linux/sched.h>
#include <linux/mutex.h>
#include <linux/rcupdate.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/platform_device.h>
#include <linux/dma-mapping.h>

#include <crv_platform.h>

#include "vyr_compat.h"
#include "ker_osd_fb.h"

/* ------------------------------------------------------------------ */
/* Module parameters                                                    */
/* ------------------------------------------------------------------ */

static u32 gau32PlaneBufAddrSize[OSD_PLANE_MAX * 2];
static unsigned int gu32PlaneBufAddrSizeNum;
module_param_array(gau32PlaneBufAddrSize, uint, &gu32PlaneBufAddrSizeNum, 0644);
MODULE_PARM_DESC(gau32PlaneBufAddrSize, "Array of each OSD Plane Buffer Address & Size.");

static u32 gau32BufAddrSize[2];
static unsigned int gu32BufAddrSizeNum;
module_param_array(gau32BufAddrSize, uint, &gu32BufAddrSizeNum, 0644);
MODULE_PARM_DESC(gau32BufAddrSize, "Array of OSD Buffer Address & Size.");

static u32 gau32PlaneWinSize[OSD_PLANE_MAX * 2] = {
	1920, 1080, 1920, 1080, 32, 32, 400, 400, 400, 400,
};
static unsigned int gu32PlaneWinSizeNum;
module_param_array(gau32PlaneWinSize, uint, &gu32PlaneWinSizeNum, 0644);
MODULE_PARM_DESC(gau32PlaneWinSize, "Array of OSD Plane Window Size (Resolution).");

static u32 gau32PlaneOrder[2];
static unsigned int gu32PlaneOrderNum;
module_param_array(gau32PlaneOrder, uint, &gu32PlaneOrderNum, 0644);
MODULE_PARM_DESC(gau32PlaneOrder, "Array of OSD Plane Order (Normal & Cursor).");

static u32 gu32NumOfBuffer;
module_param(gu32NumOfBuffer, uint, 0644);
MODULE_PARM_DESC(gu32NumOfBuffer, "Number of OSD Buffer. Double-Buffer or Triple-Buffer.");

static u32 gau32NumOfBuffer[OSD_PLANE_MAX] = { 3, 2, 2, 2, 2 };
static unsigned int gu32NumOfBufferNum;
module_param_array(gau32NumOfBuffer, uint, &gu32NumOfBufferNum, 0644);
MODULE_PARM_DESC(gau32NumOfBuffer, "Number of OSD Buffer for each plane. Double-Buffer or Triple-Buffer.");

u32 gu32FastLogoPlaneID;
module_param(gu32FastLogoPlaneID, uint, 0644);
MODULE_PARM_DESC(gu32FastLogoPlaneID, "FastLogoPlaneID (0 ~ 4) that not do Init-Procedure.");

static u32 gu32OSDTrace;
module_param(gu32OSDTrace, uint, 0644);
MODULE_PARM_DESC(gu32OSDTrace, "OSD driver trace: 0:disable 1: enable");

static u32 gau32AFBC[OSD_NORMAL_PLANE_NUM];
static unsigned int gu32AFBCNum;
module_param_array(gau32AFBC, uint, &gu32AFBCNum, 0644);
MODULE_PARM_DESC(gau32AFBC, "AFBC Plane enable");

static u32 gau32PlaneChannel[OSD_NORMAL_PLANE_NUM] = { 2, 3, 4 };
static unsigned int gu32PlaneChannelNum;
module_param_array(gau32PlaneChannel, uint, &gu32PlaneChannelNum, 0644);
MODULE_PARM_DESC(gau32PlaneChannel, "OSD AXI channel for each plane.");

static u32 gu32ForceHFlip;
module_param(gu32ForceHFlip, uint, 0644);
MODULE_PARM_DESC(gu32ForceHFlip, "Force all plane enable HFlip.");

/* ------------------------------------------------------------------ */
/* State                                                                */
/* ------------------------------------------------------------------ */

ST_KER_OSD_DRIVER_CALLBACK *gstDriverCallback;
struct fb_info *gpstFbInfo[OSD_PLANE_MAX];
struct device *gstOsdDev;
ST_KER_OSD_DMABUF_RANGE gastOsdDmaBufRange[OSD_PLANE_MAX];

static struct platform_device *gpstOsdPdev;
static ST_DRV_OSD_GLOBAL_SETTING *gapstGlobalSetting[2];
static ST_DRV_OSD_SEPA_LVDS_SETTING *gpstSepaLvdsSetting;
static ST_DRV_OSD_SEPA_TIME_SETTING *gpstSepaTimeSetting;
static bool gabFbRegistered[OSD_PLANE_MAX];

static struct fb_var_screeninfo gastVarTemplate[OSD_PLANE_MAX];
static u64 gau64PlaneMemSize[OSD_PLANE_MAX];
static ST_DRV_OSD_BUF_PHY_ADDR_SIZE gastBufPhyAddrSize[OSD_PLANE_MAX];
static u32 gau32CmaMode[OSD_PLANE_MAX];

static const char *const gapszPlaneName[OSD_PLANE_MAX] = {
	"OSD_NORMAL1", "OSD_NORMAL2", "OSD_NORMAL3", "OSD_CURSOR1", "OSD_CURSOR2",
};

/* Names of the "osd_tbl" children, in plane order. */
static const char *const gapszDtPlaneName[OSD_PLANE_MAX] = {
	"osd", "g", "sg", "cursor1", "cursor2",
};

static ST_KER_PMI_OPS gstOsdPmiOps = {
	.pfSuspend = _ker_osd_Suspend,
	.pfResume = _ker_osd_Resume,
};

/* Planes the console draws on, and planes it cannot draw on. */
static VYR_FB_OPS_CONST struct fb_ops gstOsdFbOps, gstOsdFbOpsBlind;

static ktime_t gstLastPanTime;

/* Frame-dump settings of pan_display (ioctl NR 198 and the debug menu). */
static DEFINE_MUTEX(gstDumpLock);
static u32 dump_buffer_enable;
static u32 dump_plane_id;
static char dump_path_name[KOSD_DUMP_PATH_LEN - 1];
static u32 dump_frames;
static u32 dump_frames_index;
static u32 dump_start_x, dump_start_y, dump_end_x, dump_end_y;
/*
 * The dump files, one per frame index, opened when the dump is set, in the
 * context (and with the credentials) of the process that sets it.
 */
#define KOSD_DUMP_MAX_FILES 16
static struct file *gapstDumpFile[KOSD_DUMP_MAX_FILES];

/* Fast-scaling state shared by ioctl NR 192 and pan_display. */
#define OSD_FS_RING 3
static DEFINE_SPINLOCK(gstFastScalingLock);
static struct {
	ST_RECT stWin;			/* video window; width 0: none stored */
	ST_RECT stCur, stNext;
	ST_RECT astRing[OSD_FS_RING];
	u32 u32Count, u32Read;
	u32 u32LastPanW;
	u32 u32LastReqW;
	u32 u32GrowCount;
	u8 bGrown;
} gstFastScaling;

#define OSD_MSG_WARN(fmt, ...) \
	OSD_MSG("%s(), [OSD-WARINING]: " fmt, "_ker_osd_ApplyModuleParams", ##__VA_ARGS__)

/* ------------------------------------------------------------------ */
/* Helpers                                                              */
/* ------------------------------------------------------------------ */

/* A buffer the hardware can address: it takes 32-bit physical addresses. */
int osd_buf_fits_32(u64 start, u64 len)
{
	return start <= U32_MAX && len <= (u64)U32_MAX + 1 - start;
}

/* Planes whose interrupted wait has dumped the stack: once each. */
static unsigned long gulOsdStackDumped;

/*
 * The plane's semaphore, or -EBUSY once it is taken when a suspend came
 * meanwhile: one that could not take it froze the plane all the same.
 */
int osd_lock_plane(ST_KER_OSD_PLANE_CTX *c, const char *func, int line, bool *taken)
{
	bool sem = !OSD_TRACE_ON(OSD_TRACE_NO_SEM);

	*taken = false;
	if (sem && down_interruptible(&c->stSem)) {
		OSD_ERR_RL("%s(), %d: Lock/Acquire the semaphore failed!\n", func, line);
		OSD_ERR_RL("#################### [OSD_BACKTRACE] ####################\n%s(), %d:\n",
			   func, line);
		/* a caller signalled in a loop would print a trace each time */
		if (!test_and_set_bit(c->enPlaneID, &gulOsdStackDumped))
			dump_stack();
		return -ERESTARTSYS;
	}
	*taken = sem;
	if (READ_ONCE(c->bSuspended)) {
		osd_unlock_plane(c, *taken);
		*taken = false;
		return -EBUSY;
	}
	return 0;
}

void osd_unlock_plane(ST_KER_OSD_PLANE_CTX *c, bool taken)
{
	if (taken)
		up(&c->stSem);
}

/* The kept palette exists exactly while the region is in palette mode. */
void osd_keep_palette(ST_KER_OSD_PLANE_CTX *c, EN_COLOR enColor)
{
	if (enColor == OSD_COLOR_PALETTE8 && !c->pu32KeepPalette) {
		c->pu32KeepPalette = kzalloc(OSD_PALETTE_BYTES, GFP_KERNEL);
		if (!c->pu32KeepPalette)
			OSD_ERR("Can not allocate Palette-Buffer memory!\n");
		c->u32PaletteValid = 0;
	} else if (enColor != OSD_COLOR_PALETTE8 && c->pu32KeepPalette) {
		OSD_MSG("Free OSD-Kernel-Driver-Keep Palette-Buffer memory!\n");
		kfree(c->pu32KeepPalette);
		c->pu32KeepPalette = NULL;
		c->u32PaletteValid = 0;
	}
}

static void osd_var_to_fmt(const struct fb_var_screeninfo *var, ST_KER_OSD_COLOR_FMT *fmt)
{
	memset(fmt, 0, sizeof(*fmt));
	/* a field that does not fit its byte cannot name a mode */
	if (var->bits_per_pixel > 32 || var->red.length > 32 || var->red.offset > 32 ||
	    var->green.length > 32 || var->green.offset > 32 || var->blue.length > 32 ||
	    var->blue.offset > 32 || var->transp.length > 32 || var->transp.offset > 32)
		return;
	fmt->u8BitsPerPixel = var->bits_per_pixel;
	fmt->u8RedLength = var->red.length;
	fmt->u8RedOffset = var->red.offset;
	fmt->u8GreenLength = var->green.length;
	fmt->u8GreenOffset = var->green.offset;
	fmt->u8BlueLength = var->blue.length;
	fmt->u8BlueOffset = var->blue.offset;
	fmt->u8TranspLength = var->transp.length;
	fmt->u8TranspOffset = var->transp.offset;
}

static EN_COLOR osd_var_to_mode(const struct fb_var_screeninfo *var)
{
	ST_KER_OSD_COLOR_FMT fmt;
	EN_COLOR mode = 0;

	osd_var_to_fmt(var, &fmt);
	if (fmt.u8BitsPerPixel)
		OSD_CALL(pfConvertColorFmtToMode, &fmt, &mode);
	return mode;
}

u32 osd_plane_buffers(EN_DRV_OSD_PLANE_ID p)
{
	return gau32NumOfBuffer[p];
}

static u64 osd_line_bytes(const struct fb_var_screeninfo *var)
{
	return ALIGN((u64)(var->bits_per_pixel / 8) * var->xres, 32);
}

/*
 * The console draws through the plane's kernel mapping: lines of line
 * bytes over a virtual size of w x h pixels of bpp bits reach this many
 * bytes from its start (U64_MAX: more than 64 bits hold).
 */
static u64 osd_view_bytes(u64 line, u32 w, u32 h, u32 bpp)
{
	u64 end;

	if (!h)
		return 0;
	if (check_mul_overflow(line, (u64)h - 1, &end) ||
	    check_add_overflow(end, (u64)w * DIV_ROUND_UP(bpp, 8), &end))
		return U64_MAX;
	return end;
}

/* What a geometry takes of the plane's memory: its lines, and the console's view. */
static u64 osd_var_need(const struct fb_var_screeninfo *var)
{
	u64 line = osd_line_bytes(var), need;

	if (check_mul_overflow(line, (u64)var->yres_virtual, &need))
		return U64_MAX;
	return max(need, osd_view_bytes(line, var->xres_virtual, var->yres_virtual,
					var->bits_per_pixel));
}

/*
 * A line length the console may draw with: for a caller without
 * CAP_SYS_RAWIO, inside the mapping both over the framebuffer's virtual
 * size and over the one the console took at the last mode set (the
 * framebuffer core tells it of nothing else). -EINVAL otherwise. A plane
 * the console does not draw on has nothing to keep inside.
 */
int osd_view_check(struct fb_info *info, u64 line, const struct fb_var_screeninfo *var)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	u64 now = osd_view_bytes(line, var->xres_virtual, var->yres_virtual, var->bits_per_pixel);
	u64 console = osd_view_bytes(line, c->u32ViewW, c->u32ViewH, var->bits_per_pixel);

	if (info->fbops != &gstOsdFbOps || READ_ONCE(c->bRawCaller) ||
	    max(now, console) <= info->screen_size)
		return 0;
	OSD_ERR_RL("%s(), PlaneID = %d: lines of %llu bytes take the console past the %lu bytes mapped\n",
		__func__, c->enPlaneID, (unsigned long long)line, info->screen_size);
	return -EINVAL;
}

/* The virtual size the console takes at a mode set. */
static void osd_view_taken(struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;

	c->u32ViewW = info->var.xres_virtual;
	c->u32ViewH = info->var.yres_virtual;
}

static void osd_vsync_plane(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Taken)
{
	osd_fence_signal(enPlane);
	osd_import_vsync(enPlane, u32Taken);
}

/* ------------------------------------------------------------------ */
/* Buffer order                                                         */
/* ------------------------------------------------------------------ */

u32 _ker_osd_ExchangeBufOrder(u32 u32Order, u32 u32Target)
{
	static const u8 au8Next[3][4] = {
		/* o in 0-2, 3-5, 6-8, 9 */
		{ 2, 0, 1, 1 },
		{ 3, 5, 4, 3 },
		{ 6, 7, 8, 7 },
	};

	if (u32Order > OSD_BUF_ORDER_9 || u32Target > 2)
		return u32Order;
	return au8Next[u32Target][u32Order == 9 ? 3 : u32Order / 3];
}

u32 osd_target_from_forced(u32 u32Forced)
{
	if (u32Forced < 2)
		return 0;
	if (u32Forced == 4 || u32Forced == 5)
		return 2;
	return 1;
}

/* ------------------------------------------------------------------ */
/* Fast scaling                                                         */
/* ------------------------------------------------------------------ */

typedef int (*PF_CHECK_FAST_SCALING)(u32 u32Width, u32 u32Height);
typedef int (*PF_SET_VIDEO_SIZE)(u16 *pu16Size);

static void osd_check_fast_scaling_mode(u32 w, u32 h)
{
	PF_CHECK_FAST_SCALING pf = (PF_CHECK_FAST_SCALING)__symbol_get("PLAT_VIU_OSD_CheckFastScalingMode");

	if (!pf) {
		printk_ratelimited("cannot find PLAT_VIU_OSD_CheckFastScalingMode\n");
		return;
	}
	pf(w, h);
	__symbol_put("PLAT_VIU_OSD_CheckFastScalingMode");
}

static void osd_set_video_size(u16 *pu16Size)
{
	PF_SET_VIDEO_SIZE pf = (PF_SET_VIDEO_SIZE)__symbol_get("VYR_VIDEO_SetVideoSize");

	if (!pf) {
		printk_ratelimited("cannot find VYR_VIDEO_SetVideoSize\n");
		return;
	}
	pf(pu16Size);
	__symbol_put("VYR_VIDEO_SetVideoSize");
}

void osd_fast_scaling_request(const ST_KER_OSD_FAST_SCALING *req)
{
	u32 w = req->stFrame.u32W;
	unsigned long flags;

	if (req->bFrameValid == 1)
		osd_check_fast_scaling_mode(w, req->stFrame.u32H);

	spin_lock_irqsave(&gstFastScalingLock, flags);
	if (req->bFrameValid == 1) {
		if (w > gstFastScaling.u32LastReqW) {
			gstFastScaling.bGrown = 1;
			gstFastScaling.u32GrowCount = 0;
		} else if (gstFastScaling.bGrown) {
			if (gstFastScaling.u32GrowCount < 2)
				gstFastScaling.u32GrowCount++;
			else
				gstFastScaling.bGrown = 0;
		}
		gstFastScaling.u32LastReqW = w;
		gstFastScaling.stNext = req->stFrame;
		if (!gstFastScaling.stCur.u32W)
			gstFastScaling.stCur = req->stFrame;
	}
	if (req->bWinValid == 1) {
		gstFastScaling.stWin = req->stWin;
		if (!req->stWin.u32W)
			goto out;
	} else if (!gstFastScaling.stWin.u32W) {
		goto out;
	}
	if (gstFastScaling.u32Count >= 2) {
		gstFastScaling.u32Read = (gstFastScaling.u32Read + 1) % OSD_FS_RING;
		gstFastScaling.u32Count--;
	}
	gstFastScaling.astRing[(gstFastScaling.u32Read + gstFastScaling.u32Count) % OSD_FS_RING] =
		req->stFrame;
	gstFastScaling.u32Count++;
out:
	spin_unlock_irqrestore(&gstFastScalingLock, flags);
}

u8 osd_fast_scaling_grown(void)
{
	return READ_ONCE(gstFastScaling.bGrown);
}

/* Moves the oldest waiting frame into the current one (none: cleared). Lock held. */
static void osd_fast_scaling_next_locked(void)
{
	if (!gstFastScaling.u32Count) {
		memset(&gstFastScaling.stCur, 0, sizeof(gstFastScaling.stCur));
		return;
	}
	gstFastScaling.stCur = gstFastScaling.astRing[gstFastScaling.u32Read];
	gstFastScaling.u32Read = (gstFastScaling.u32Read + 1) % OSD_FS_RING;
	gstFastScaling.u32Count--;
}

static void osd_pan_update(EN_DRV_OSD_PLANE_ID p, ST_KER_OSD_REGION_CTX *r,
			   ST_DRV_OSD_UPDATE_ENABLE *rec)
{
	ST_DRV_OSD_UPDATE_ENABLE now;
	ST_RECT win, frame;
	unsigned long flags;
	u16 au16Size[9];
	u32 w;
	bool grown;

	spin_lock_irqsave(&gstFastScalingLock, flags);
	w = gstFastScaling.stCur.u32W;
	if (!w || (w > 1280 && !gstFastScaling.stWin.u32W)) {
		gstFastScaling.u32LastPanW = w;
		osd_fast_scaling_next_locked();
		spin_unlock_irqrestore(&gstFastScalingLock, flags);
		OSD_CALL(pfUpdateEnable, p, rec);
		return;
	}
	grown = gstFastScaling.u32LastPanW < w;
	gstFastScaling.u32LastPanW = w;
	win = gstFastScaling.stWin;
	frame = grown ? gstFastScaling.stNext : gstFastScaling.stCur;
	spin_unlock_irqrestore(&gstFastScalingLock, flags);

	if (!grown) {
		now = *rec;
		now.bWaitVsync = 0;
		OSD_CALL(pfUpdateEnable, p, &now);
	}
	au16Size[0] = 0;
	au16Size[1] = win.u32X;
	au16Size[2] = win.u32Y;
	au16Size[3] = win.u32W;
	au16Size[4] = win.u32H;
	au16Size[5] = frame.u32X;
	au16Size[6] = frame.u32Y;
	au16Size[7] = min(r->stDispWin.stDstWin.u32W, frame.u32W);
	au16Size[8] = min(r->stDispWin.stDstWin.u32H, frame.u32H);
	osd_set_video_size(au16Size);
	if (!grown) {
		if (OSD_HAS(pfVSyncWait))
			gstDriverCallback->pfVSyncWait(p);
		else
			OSD_MSG("%s is NULL !\n", "gstDriverCallback->pfVSyncWait");
	} else {
		now = *rec;
		now.bWaitVsync = 1;
		OSD_CALL(pfUpdateEnable, p, &now);
	}
	spin_lock_irqsave(&gstFastScalingLock, flags);
	osd_fast_scaling_next_locked();
	spin_unlock_irqrestore(&gstFastScalingLock, flags);
}

/* ------------------------------------------------------------------ */
/* Frame dump                                                           */
/* ------------------------------------------------------------------ */

static void osd_dump_close_locked(void)
{
	int i;

	for (i = 0; i < KOSD_DUMP_MAX_FILES; i++) {
		if (gapstDumpFile[i])
			filp_close(gapstDumpFile[i], NULL);
		gapstDumpFile[i] = NULL;
	}
}

void osd_dump_close(void)
{
	mutex_lock(&gstDumpLock);
	dump_buffer_enable = 0;
	osd_dump_close_locked();
	mutex_unlock(&gstDumpLock);
}

/*
 * Opens "<path>fb<plane>_index_<i>.raw" for every frame index, write-only,
 * truncated, never through a symbolic link and readable by its owner only.
 */
int osd_set_dump(const ST_KER_OSD_DUMP_SETTING *req)
{
	char path[KOSD_DUMP_PATH_LEN + 48];
	u32 i, files = req->u32Frames ? req->u32Frames : 1;
	struct file *f;
	int n, ret = 0;

	if (req->u32Enable && files > KOSD_DUMP_MAX_FILES)
		return -EINVAL;
	mutex_lock(&gstDumpLock);
	osd_dump_close_locked();
	dump_buffer_enable = req->u32Enable;
	dump_plane_id = req->u32Plane;
	dump_start_x = req->u32StartX;
	dump_start_y = req->u32StartY;
	dump_end_x = req->u32EndX;
	dump_end_y = req->u32EndY;
	dump_frames = req->u32Frames;
	strscpy(dump_path_name, req->szPath, sizeof(dump_path_name));
	dump_frames_index = 0;
	for (i = 0; dump_buffer_enable && i < files; i++) {
		n = snprintf(path, sizeof(path), "%sfb%d_index_%d.raw", dump_path_name,
			     dump_plane_id, i);
		f = n > 0 && n < sizeof(path) ?
			filp_open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600) :
			ERR_PTR(-ENAMETOOLONG);
		if (IS_ERR(f)) {
			printk("open OSD file failed \n");
			ret = PTR_ERR(f);
			dump_buffer_enable = 0;
			osd_dump_close_locked();
			break;
		}
		gapstDumpFile[i] = f;
	}
	mutex_unlock(&gstDumpLock);
	return ret;
}

static void osd_dump_frame(struct fb_info *info, EN_DRV_OSD_PLANE_ID p, u32 yoffset)
{
	u32 bytes, y, line;
	struct file *f;
	loff_t pos = 0;
	void *bounce;
	bool ok = true;

	mutex_lock(&gstDumpLock);
	if (!dump_buffer_enable || dump_plane_id != p || !info->screen_base)
		goto out;
	/* only a window inside the plane's mapping is read */
	line = info->fix.line_length;
	if (dump_end_x <= dump_start_x || dump_end_y <= dump_start_y || !line ||
	    (u64)dump_end_x * 4 > line)
		goto out;
	bytes = (dump_end_x - dump_start_x) * 4;
	if (((u64)yoffset + dump_end_y) * line > info->screen_size)
		goto out;
	f = dump_frames_index < KOSD_DUMP_MAX_FILES ? gapstDumpFile[dump_frames_index] : NULL;
	if (!f) {
		printk("open OSD file failed \n");
		goto out;
	}
	bounce = kmalloc(bytes, GFP_KERNEL);
	if (!bounce) {
		ok = false;
	} else {
		for (y = dump_start_y; y < dump_end_y && ok; y++) {
			memcpy_fromio(bounce, info->screen_base + (u64)(yoffset + y) * line +
				      dump_start_x * 4, bytes);
			if (kernel_write(f, bounce, bytes, &pos) != bytes)
				ok = false;
		}
		kfree(bounce);
	}
	printk(ok ? "dump OK \n" : "dump Failed \n");
	dump_frames_index++;
	if (dump_frames && dump_frames_index >= dump_frames)
		dump_frames_index = 0;
out:
	mutex_unlock(&gstDumpLock);
}

/*
 * Console drawing. The plane buffers are reserved memory mapped as I/O
 * memory (ioremap), so the framebuffer core's I/O-memory helpers draw on
 * them. A kernel that binds its console to framebuffers but built none of
 * them would call drawing operations the planes do not have: refuse to
 * build for it rather than oops at the first character.
 */
#if IS_ENABLED(CONFIG_FB_CFB_FILLRECT) && IS_ENABLED(CONFIG_FB_CFB_COPYAREA) && \
	IS_ENABLED(CONFIG_FB_CFB_IMAGEBLIT)
#define KOSD_FB_DRAW 1
#elif IS_ENABLED(CONFIG_FRAMEBUFFER_CONSOLE)
#error "the OSD planes draw the console with FB_CFB_FILLRECT, FB_CFB_COPYAREA and FB_CFB_IMAGEBLIT"
#else
#define KOSD_FB_DRAW 0
#endif

#define KOSD_CONSOLE_COLOURS 16

/* True-colour pixels of the 16 console colours, for the drawing helpers. */
static u32 gaau32PseudoPalette[OSD_PLANE_MAX][KOSD_CONSOLE_COLOURS];

static u32 osd_colour_field(u32 value8, const struct fb_bitfield *f)
{
	if (!f->length || f->length > 8)
		return f->length ? value8 << f->offset : 0;
	return (value8 >> (8 - f->length)) << f->offset;
}

/* Console colour i: bit 0 blue, bit 1 green, bit 2 red, bit 3 bright; 6 is brown. */
static void osd_fill_pseudo_palette(struct fb_info *info, EN_DRV_OSD_PLANE_ID p)
{
	const struct fb_var_screeninfo *var = &info->var;
	u32 i, hi, r, g, b;

	for (i = 0; i < KOSD_CONSOLE_COLOURS; i++) {
		hi = i & 8 ? 0x55 : 0;
		r = (i & 4 ? 0xaa : 0) + hi;
		g = (i == 6 ? 0x55 : i & 2 ? 0xaa : 0) + hi;
		b = (i & 1 ? 0xaa : 0) + hi;
		gaau32PseudoPalette[p][i] = osd_colour_field(r, &var->red) |
					    osd_colour_field(g, &var->green) |
					    osd_colour_field(b, &var->blue) |
					    osd_colour_field(0xff, &var->transp);
	}
	info->pseudo_palette = gaau32PseudoPalette[p];
}

/* ------------------------------------------------------------------ */
/* Framebuffer operations                                               */
/* ------------------------------------------------------------------ */

/*
 * Entry of the operations the framebuffer core makes with the console lock
 * held (set_par, blank): the fast-logo hand-over, then the plane semaphore,
 * unless the plane is in standby: suspend holds the semaphore until resume,
 * and waiting for it would stop every console until then.
 */
static int osd_lock_awake_plane(ST_KER_OSD_PLANE_CTX *c, const char *func, int line, bool *taken)
{
	if (c->enPlaneID == gu32FastLogoPlaneID)
		_ker_osd_check_fastlogo();
	if (READ_ONCE(c->bSuspended))
		return -EBUSY;
	return osd_lock_plane(c, func, line, taken);
}

static int _ker_osd_fb_CheckVar(struct fb_var_screeninfo *var, struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	ST_KER_OSD_COLOR_FMT fmt;
	EN_COLOR mode;
	u64 need;

	OSD_ENTER();
	if (!var->xres || !var->yres) {
		OSD_ERR_RL("%s(), Invalid region size!\n", __func__);
		return -EINVAL;
	}
	mode = osd_var_to_mode(var);
	if (!mode) {
		osd_var_to_fmt(var, &fmt);
		OSD_ERR_RL("%s(), Invalid color format\n   Offset,   Length\nA: %2d,      %d\nR: %2d,      %d\nG: %2d,      %d\nB: %2d,      %d\n",
			__func__, var->transp.offset, var->transp.length, var->red.offset,
			var->red.length, var->green.offset, var->green.length, var->blue.offset,
			var->blue.length);
		return -EINVAL;
	}
	/* a virtual screen smaller than the visible one cannot be panned */
	if (var->xres_virtual < var->xres || var->yres_virtual < var->yres) {
		OSD_ERR_RL("%s(), Invalid region size!\n", __func__);
		return -EINVAL;
	}
	/* run-length data or not, the geometry is what mmap, a later pan and the console reach */
	need = osd_var_need(var);
	if (!c->u32CmaMode && c->u32BufLen && need > c->u32BufLen) {
		OSD_ERR_RL("%s(), [%s]PlaneID = %d, size = %llu bytes too large (> %d bytes)\n",
			__func__, gapszPlaneName[c->enPlaneID], c->enPlaneID,
			(unsigned long long)need, c->u32BufLen);
		return -ENOMEM;
	}
	c->bInitialized = 1;
	OSD_LEAVE();
	return 0;
}

static int _ker_osd_fb_SetPar(struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[rid];
	struct fb_var_screeninfo *var = &info->var;
	ST_DRV_OSD_DISP_WIN *win = &r->stDispWin;
	ST_KER_OSD_REGION_CTX was;
	EN_COLOR mode;
	u32 alpha = 255, stride, shown, order;
	u64 line;
	bool taken;
	u8 on = 1;
	int ret;

	OSD_ENTER();
	if (!c->bInitialized) {
		OSD_ERR_RL("%s(), [FB]OSD not initial yet\n", __func__);
		return -EINVAL;
	}
	ret = osd_lock_awake_plane(c, __func__, __LINE__, &taken);
	if (ret)
		return ret;

	was = *r;
	order = c->u32CurrentBufOrder;
	mode = osd_var_to_mode(var);
	r->enColor = mode;
	line = osd_line_bytes(var);
	stride = line > U32_MAX ? 0 : (u32)line;
	r->u32Stride = stride;

	/* a window the new geometry does not hold follows the geometry */
	if (!win->stSrcWin.u32W || !win->stSrcWin.u32H ||
	    (u64)win->stSrcWin.u32X + win->stSrcWin.u32W > var->xres ||
	    (u64)win->stSrcWin.u32Y + win->stSrcWin.u32H > var->yres) {
		OSD_MSG("%s(), Force to set Src_Win\n", __func__);
		win->stSrcWin.u32X = 0;
		win->stSrcWin.u32Y = 0;
		win->stSrcWin.u32W = var->xres;
		win->stSrcWin.u32H = var->yres;
	}
	if (!win->stDstWin.u32W || !win->stDstWin.u32H) {
		OSD_MSG("%s(), Force to set Dst_Win = Src_Win\n", __func__);
		win->stDstWin.u32W = win->stSrcWin.u32W;
		win->stDstWin.u32H = win->stSrcWin.u32H;
	}
	/*
	 * The geometry describes the plane's own buffer, in which the pan that
	 * follows picks the buffer shown: until then the front one, if the
	 * one shown now lies past the new virtual height.
	 */
	r->stBufPhyAddrSize.u32BufPhyAddr = c->u32BufStart;
	r->stBufPhyAddrSize.u32StartAddr = 0;
	r->stBufPhyAddrSize.u32Size = c->u32BufLen;
	shown = c->u32CurrentBufOrder == 9 ? 1 : c->u32CurrentBufOrder / 3;
	if ((u64)(shown + 1) * var->yres > var->yres_virtual)
		c->u32CurrentBufOrder = 0;

	/*
	 * Colour, stride and window are judged together, as the plane will
	 * scan them: a wider pixel may come with the stride that holds it, and
	 * a geometry the plane cannot show changes nothing. The steps below
	 * then program it; the display window writes the whole scan, so a
	 * step the old scan cannot take on its own is left to it unreported.
	 */
	if (_ker_osd_Check_DispWin(p, rid, win, rid == OSD_REGION0 && c->stScroll.bEnable ?
					       c->stScroll.u32ScrollStride : stride)) {
		*r = was;
		c->u32CurrentBufOrder = order;
		osd_unlock_plane(c, taken);
		return -EINVAL;
	}

	c->pstGlobalSetting->abAlphaBlend[rid] = 1;
	r->bAlphaBlend = 1;
	OSD_CALL(pfAlphaBlendEnable, p, rid, &on);
	r->u32Alpha = alpha;
	OSD_MSG("%s(), u32Alpha = %d\n", __func__, alpha);
	OSD_CALL(pfSetAlpha, p, rid, &alpha);
	OSD_MSG("%s(), enColor = %d\n", __func__, mode);
	WRITE_ONCE(c->bJudgedWhole, 1);
	OSD_CALL(pfSetColorMode, p, rid, &mode);
	osd_keep_palette(c, mode);
	OSD_CALL(pfSetStride, p, rid, &stride);
	info->fix.line_length = stride;
	osd_fill_pseudo_palette(info, p);
	if (c->u32CurrentBufOrder != order)
		OSD_CALL(pfSetCurrentBufOrder, p, (EN_DRV_OSD_CURRENT_BUF_ORDER *)&c->u32CurrentBufOrder);
	WRITE_ONCE(c->bJudgedWhole, 0);
	osd_refused(c);
	OSD_CALL(pfSetDispWin, p, rid, win);
	ret = osd_refused(c);
	if (!ret)
		osd_view_taken(info);

	c->u32ChangeCount++;
	osd_unlock_plane(c, taken);
	OSD_LEAVE();
	return ret;
}

static int osd_pan_suspended(void)
{
	printk_ratelimited("ker_osd is  now in suspend !!!!! Block PanDisplay!!!!!\n");
	return -EFAULT;
}

static int _ker_osd_fb_PanDisplay(struct fb_var_screeninfo *var, struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[rid];
	ST_DRV_OSD_UPDATE_ENABLE rec = { .u32UpdateMask = KOSD_UPDATE_NORMAL, .bEnable = 1 };
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf, kept;
	u32 yoffset = var->yoffset, target, order, prev, lines, size, bufs;
	bool taken, leave;
	u8 shown, on = 1;
	int ret;

	OSD_ENTER();
	if (OSD_TRACE_ON(OSD_TRACE_PAN_PID)) {
		u32 pid = task_pid_nr(current);

		if (c->u32LastPanPid != pid)
			printk("%s fb%d control from pid: %d -> pid: %d\n", __func__, p,
			       c->u32LastPanPid, pid);
		c->u32LastPanPid = pid;
	}
	if (p == gu32FastLogoPlaneID)
		_ker_osd_check_fastlogo();
	if (OSD_TRACE_ON(OSD_TRACE_PAN_TIME)) {
		ktime_t now = ktime_get();

		printk("%s (plane=%d) %d ms\n", __func__, p, (int)ktime_ms_delta(now, gstLastPanTime));
		gstLastPanTime = now;
	}
	osd_dump_frame(info, p, yoffset);

	if (!c->bInitialized) {
		OSD_ERR_RL("%s(), [FB]OSD not initial yet\n", __func__);
		return -EINVAL;
	}
	if (READ_ONCE(c->bSuspended))
		return osd_pan_suspended();
	/* a refused pan changes nothing, the buffer order included */
	if (yoffset > info->var.yres_virtual) {
		OSD_ERR_RL("%s(), failed, pstFbVarScreeninfo->yoffset = %d\n", __func__, yoffset);
		return -EINVAL;
	}
	ret = osd_lock_plane(c, __func__, __LINE__, &taken);
	if (ret == -EBUSY)
		return osd_pan_suspended();
	if (ret)
		return ret;
	/* an imported buffer shown until now waits for the hardware to leave it */
	leave = c->u64ImportLen;
	ret = leave ? osd_import_claim(p) : 0;
	if (ret) {
		osd_unlock_plane(c, taken);
		return ret;
	}

	/* a plane whose registers name nothing it may read is not shown */
	osd_refused(c);
	if (c->bShowOnFirstPan) {
		shown = 1;
		if (OSD_HAS(pfIsPlaneShow))
			gstDriverCallback->pfIsPlaneShow(p, &shown);
		if (!shown) {
			c->bShowOnFirstPan = 0;
			c->bPlaneShow = 1;
			OSD_CALL(pfPlaneShowEnable, p, &on);
			if (osd_refused(c)) {
				c->bShowOnFirstPan = 1;
				c->bPlaneShow = 0;
				goto refused;
			}
		}
	}
	shown = 1;
	if (OSD_HAS(pfIsRegionShow))
		gstDriverCallback->pfIsRegionShow(p, rid, &shown);
	if (!shown) {
		r->bRegionShow = 1;
		OSD_CALL(pfRegionShowEnable, p, rid, &on);
		if (osd_refused(c)) {
			r->bRegionShow = 0;
			goto refused;
		}
	}

	if (OSD_TRACE_ON(OSD_TRACE_FORCE_BUF0))
		target = 0;
	else if (OSD_TRACE_ON(OSD_TRACE_FORCE_BUF1))
		target = 1;
	else if (OSD_TRACE_ON(OSD_TRACE_FORCE_BUF2))
		target = 2;
	else if (!yoffset)
		target = 0;
	else if ((u64)yoffset == 2ull * info->var.yres)
		target = 2;
	else
		target = 1;
	prev = c->u32CurrentBufOrder;
	order = _ker_osd_ExchangeBufOrder(prev, target);
	OSD_MSG("%s(), enChangeBufTo = %d, enCurrentBufOrder = %d\n", __func__, target, order);
	c->u32CurrentBufOrder = order;
	OSD_CALL(pfSetCurrentBufOrder, p, (EN_DRV_OSD_CURRENT_BUF_ORDER *)&order);

	buf.u32BufPhyAddr = c->u32BufStart;
	buf.u32StartAddr = 0;
	buf.u32Size = c->u32BufLen;
	if (gastVarTemplate[p].nonstd == 1 && yoffset) {
		bufs = osd_plane_buffers(p);
		lines = bufs ? info->var.yres_virtual / bufs : 0;
		size = (u32)osd_line_bytes(&info->var) * lines;
		buf.u32BufPhyAddr += yoffset == 2 * lines ? 2 * size : size;
		OSD_CALL(pfAFBCEnable, p, &on);
	}
	OSD_MSG("%s(), PlaneID = %d, yoffset = %d, BufAddr = 0x%08x\n", __func__, p, yoffset,
		buf.u32BufPhyAddr);
	kept = r->stBufPhyAddrSize;
	r->stBufPhyAddrSize = buf;
	osd_refused(c);
	OSD_CALL(pfSetBufPhyAddrSize, p, rid, &buf);
	/* a window or stride the plane's buffer cannot hold: nothing changes */
	if (osd_refused(c)) {
		r->stBufPhyAddrSize = kept;
		c->u32CurrentBufOrder = prev;
		OSD_CALL(pfSetCurrentBufOrder, p, (EN_DRV_OSD_CURRENT_BUF_ORDER *)&prev);
		goto refused;
	}

	rec.bWaitVsync = p != OSD_CURSOR1 && !(var->reserved[0] & 1);
	if (OSD_TRACE_ON(OSD_TRACE_PAN_WAIT))
		rec.bWaitVsync = 1;
	else if (OSD_TRACE_ON(OSD_TRACE_PAN_NOWAIT))
		rec.bWaitVsync = 0;
	osd_pan_update(p, r, &rec);
	if (leave)
		osd_import_show(p, NULL);

	osd_unlock_plane(c, taken);
	OSD_LEAVE();
	return 0;

refused:
	if (leave)
		osd_import_unclaim(p);
	osd_unlock_plane(c, taken);
	return -EINVAL;
}

static int _ker_osd_fb_SetCmap(struct fb_cmap *cmap, struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	ST_DRV_OSD_PALETTE_DATA pal;
	u32 i, t, *entries;
	bool taken;
	int ret;

	OSD_ENTER();
	if (!c->bInitialized)
		return -EINVAL;
	if (c->enPlaneID == gu32FastLogoPlaneID)
		_ker_osd_check_fastlogo();
	if (info->var.bits_per_pixel != 8) {
		OSD_WRN("%s(), OSD not palette mode\n", __func__);
		return -EINVAL;
	}
	if (!c->pu32KeepPalette) {
		OSD_ERR_RL("Kernel-Driver keep Palette-Buffer is NULL\n");
		return -EINVAL;
	}
	if (cmap->start >= OSD_PALETTE_ENTRIES || !cmap->len || cmap->len > OSD_PALETTE_ENTRIES ||
	    cmap->start + cmap->len > OSD_PALETTE_ENTRIES) {
		OSD_ERR_RL("Invalid Palette StartAddr = %d, Count = %d\n", cmap->start, cmap->len);
		return -EINVAL;
	}
	ret = osd_lock_plane(c, __func__, __LINE__, &taken);
	if (ret)
		return ret;
	entries = kmalloc_array(cmap->len, sizeof(u32), GFP_KERNEL);
	if (!entries) {
		OSD_ERR("Can not allocate Palette-Buffer!\n");
		osd_unlock_plane(c, taken);
		return -ENOMEM;
	}
	for (i = 0; i < cmap->len; i++) {
		/* a map without transparency is opaque */
		t = cmap->transp ? cmap->transp[i] >> 8 : 0xff;
		entries[i] = t << 24 | (cmap->red[i] >> 8) << 16 | (cmap->green[i] >> 8) << 8 |
			     (cmap->blue[i] >> 8);
	}
	pal.u32Start = cmap->start;
	pal.u32Count = cmap->len;
	pal.pu32Data = entries;
	OSD_CALL(pfSetPaletteData, c->enPlaneID, &pal);
	c->stLastPalette.u32Start = cmap->start;
	c->stLastPalette.u32Count = cmap->len;
	c->stLastPalette.pu32Data = NULL;
	c->u32ChangeCount++;
	kfree(entries);
	osd_unlock_plane(c, taken);
	OSD_LEAVE();
	return 0;
}

static int _ker_osd_fb_Mmap(struct fb_info *info, struct vm_area_struct *vma)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	u64 offset = (u64)vma->vm_pgoff << PAGE_SHIFT;
	u64 phys = (u64)c->u32BufStart + offset;
	u64 virt = vma->vm_end - vma->vm_start;
	u64 avail = offset < c->u32BufLen ? c->u32BufLen - offset : 0;

	if (!c->bInitialized)
		return -EINVAL;
	OSD_MSG("pstFbInfo->fix.smem_start = 0x%lx", info->fix.smem_start);
	OSD_MSG("pstFbInfo->fix.smem_len = 0x%08x", info->fix.smem_len);
	OSD_MSG("offset = %ld, physAddr = 0x%lx", (long)vma->vm_pgoff, (unsigned long)phys);
	OSD_MSG("virtSize = %ld, physSize = %ld", (long)virt, (long)avail);
	if (!c->u32BufStart) {
		OSD_MSG("[FB]OSD address not set \n");
		OSD_ERR_RL("physAddr == 0");
		return -EINVAL;
	}
	/* the page before an unaligned buffer is not the caller's */
	if (c->u32BufStart & (PAGE_SIZE - 1)) {
		OSD_ERR_RL("physAddr must %dK align", 4096);
		return -EINVAL;
	}
	if (virt > avail) {
		OSD_ERR_RL("virtSize > physSize");
		return -EINVAL;
	}
	vma->vm_page_prot = pgprot_writecombine(vma->vm_page_prot);
	vma->vm_flags |= VM_IO | VM_DONTDUMP;
	if (remap_pfn_range(vma, vma->vm_start, phys >> PAGE_SHIFT, virt, vma->vm_page_prot)) {
		OSD_ERR("\"io_remap_pfn_range\" failed, vaddr = 0x%lx,  pfn = %ld, size = %ld\n",
			vma->vm_start, (long)(phys >> PAGE_SHIFT), (long)virt);
		return -EAGAIN;
	}
	return 0;
}

/*
 * Blanking hides the plane and unblanking shows it, with an update; the
 * caller has taken charge of the plane's visibility, so a later pan no
 * longer shows it by itself.
 */
static int _ker_osd_fb_Blank(int blank, struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	ST_DRV_OSD_UPDATE_ENABLE rec = {
		.u32UpdateMask = OSD_IS_CURSOR(p) ? KOSD_UPDATE_CURSOR : KOSD_UPDATE_NORMAL,
		.bEnable = 1,
	};
	u8 show = blank == FB_BLANK_UNBLANK;
	bool taken;
	int ret;

	if (!c->bInitialized)
		return -EINVAL;
	ret = osd_lock_awake_plane(c, __func__, __LINE__, &taken);
	if (ret)
		return ret;
	osd_refused(c);
	c->bShowOnFirstPan = 0;
	c->bPlaneShow = show;
	OSD_CALL(pfPlaneShowEnable, p, &show);
	/* a plane whose registers name nothing it may read stays hidden */
	ret = osd_refused(c);
	if (ret)
		c->bPlaneShow = 0;
	else
		OSD_CALL(pfUpdateEnable, p, &rec);
	osd_unlock_plane(c, taken);
	return ret;
}

/* Opens of each plane, by user space and the console alike. */
static atomic_t gaOsdPlaneOpens[OSD_PLANE_MAX];

static int _ker_osd_fb_Open(struct fb_info *info, int user)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;

	atomic_inc(&gaOsdPlaneOpens[c->enPlaneID]);
	return 0;
}

static int _ker_osd_fb_Release(struct fb_info *info, int user)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;

	osd_check_fast_scaling_mode(9999, 9999);
	/* with the plane closed no flip will signal the fences it still holds */
	if (atomic_dec_and_test(&gaOsdPlaneOpens[c->enPlaneID]))
		osd_fence_release_plane(c->enPlaneID);
	return 0;
}

#define KOSD_FB_OPS						\
	.owner = THIS_MODULE,					\
	.fb_open = _ker_osd_fb_Open,				\
	.fb_release = _ker_osd_fb_Release,			\
	.fb_check_var = _ker_osd_fb_CheckVar,			\
	.fb_set_par = _ker_osd_fb_SetPar,			\
	.fb_setcmap = _ker_osd_fb_SetCmap,			\
	.fb_blank = _ker_osd_fb_Blank,				\
	.fb_pan_display = _ker_osd_fb_PanDisplay,		\
	.fb_ioctl = _ker_osd_fb_ioctl,				\
	.fb_compat_ioctl = _ker_osd_fb_compat_ioctl,		\
	.fb_mmap = _ker_osd_fb_Mmap

static VYR_FB_OPS_CONST struct fb_ops gstOsdFbOps = {
	KOSD_FB_OPS,
#if KOSD_FB_DRAW
	.fb_fillrect = cfb_fillrect,
	.fb_copyarea = cfb_copyarea,
	.fb_imageblit = cfb_imageblit,
#endif
};

/*
 * A plane without a kernel mapping, or whose mapping is smaller than its
 * geometry, is not drawn on: a console bound to it draws nothing.
 */
static void osd_fb_no_fillrect(struct fb_info *info, const struct fb_fillrect *rect)
{
}

static void osd_fb_no_copyarea(struct fb_info *info, const struct fb_copyarea *area)
{
}

static void osd_fb_no_imageblit(struct fb_info *info, const struct fb_image *image)
{
}

static VYR_FB_OPS_CONST struct fb_ops gstOsdFbOpsBlind = {
	KOSD_FB_OPS,
	.fb_fillrect = osd_fb_no_fillrect,
	.fb_copyarea = osd_fb_no_copyarea,
	.fb_imageblit = osd_fb_no_imageblit,
};

/* ------------------------------------------------------------------ */
/* Power hooks and exported entry points                                */
/* ------------------------------------------------------------------ */

int _ker_osd_Suspend(void)
{
	OSD_CALL(pfSetSuspend);
	return 0;
}

int _ker_osd_Resume(void)
{
	OSD_CALL(pfSetResume);
	return 0;
}

struct fb_info *_ker_osd_drm_get_fbinfo(EN_DRV_OSD_PLANE_ID enPlane)
{
	struct fb_info *info = (u32)enPlane < OSD_PLANE_MAX ? gpstFbInfo[enPlane] : NULL;

	if (!info)
		printk("ERR- %s(), gpstFbInfo[enPlane]- NULL \n", __func__);
	return info;
}
EXPORT_SYMBOL(_ker_osd_drm_get_fbinfo);

int _ker_osd_drm_VSyncWait(struct fb_info *info)
{
	ST_KER_OSD_PLANE_CTX *c = info ? info->par : NULL;

	if (!c)
		return -EINVAL;
	if (!OSD_HAS(pfVSyncWait)) {
		OSD_MSG("%s is NULL !\n", "gstDriverCallback->pfVSyncWait");
		return 0;
	}
	return gstDriverCallback->pfVSyncWait(c->enPlaneID);
}
EXPORT_SYMBOL(_ker_osd_drm_VSyncWait);

int DRV_OSD_Is_Osd_Visible(u8 *pu8Visible)
{
	u8 visible = 0;

	OSD_CALL(pfIsOsdVisible, &visible);
	if (pu8Visible)
		*pu8Visible = visible;
	return visible;
}
EXPORT_SYMBOL(DRV_OSD_Is_Osd_Visible);

void _ker_osd_fast_scaling_timeout(void)
{
	unsigned long flags;
	u8 off = 0;

	spin_lock_irqsave(&gstFastScalingLock, flags);
	gstFastScaling.stWin.u32W = 0;
	spin_unlock_irqrestore(&gstFastScalingLock, flags);
	OSD_CALL(pfUpdateSyncByATVEnable, OSD_NORMAL2, &off);
}
EXPORT_SYMBOL(_ker_osd_fast_scaling_timeout);

static void osd_engine_show(u8 show)
{
	ST_DRV_OSD_UPDATE_ENABLE cursor = { .u32UpdateMask = KOSD_UPDATE_CURSOR, .bEnable = 1 };
	ST_DRV_OSD_UPDATE_ENABLE normal = { .u32UpdateMask = KOSD_UPDATE_NORMAL, .bEnable = 1,
					    .bWaitVsync = 1 };

	if (!gapstGlobalSetting[0] || !gapstGlobalSetting[1])
		return;
	gapstGlobalSetting[1]->bShow = show;
	OSD_CALL(pfShowEnable, OSD_CURSOR1, &show);
	OSD_CALL(pfUpdateEnable, OSD_CURSOR1, &cursor);
	gapstGlobalSetting[0]->bShow = show;
	OSD_CALL(pfShowEnable, OSD_NORMAL1, &show);
	OSD_CALL(pfUpdateEnable, OSD_NORMAL1, &normal);
}

void KER_OSD_Engine_Disable(void)
{
	osd_engine_show(0);
}
EXPORT_SYMBOL(KER_OSD_Engine_Disable);

void KER_OSD_Engine_Enable(void)
{
	osd_engine_show(1);
}
EXPORT_SYMBOL(KER_OSD_Engine_Enable);

int _OSD_check_bwerror(void)
{
	ST_DRV_OSD_LBM_STATUS st;
	int p;

	if (!OSD_HAS(pfGetLBMStatus))
		return 0;
	for (p = OSD_NORMAL1; p <= OSD_NORMAL3; p++) {
		memset(&st, 0, sizeof(st));
		gstDriverCallback->pfGetLBMStatus(p, &st);
		if (st.u8Status || st.u8Error)
			return 1;
	}
	return 0;
}

/* ------------------------------------------------------------------ */
/* Start-up                                                             */
/* ------------------------------------------------------------------ */

static void _ker_osd_ApplyModuleParams(void)
{
	struct fb_var_screeninfo *var;
	u32 p, w, h, bufs;

	/* first, so that the corrections below can be seen */
	WRITE_ONCE(gu32APITraceCtl, gu32OSDTrace);
	if (gau32PlaneOrder[0] >= 6) {
		gau32PlaneOrder[0] = 0;
		OSD_MSG_WARN("Use default Normal-Plane Order: gau32PlaneOrder[0] = %d\n", gau32PlaneOrder[0]);
	}
	if (gau32PlaneOrder[1] != 0 && gau32PlaneOrder[1] != 2) {
		gau32PlaneOrder[1] = 0;
		OSD_MSG_WARN("Use default Cursor-Plane Order: gau32PlaneOrder[1] = %d\n", gau32PlaneOrder[1]);
	}
	if (gu32NumOfBuffer >= 1 && gu32NumOfBuffer <= 3)
		for (p = 0; p < OSD_PLANE_MAX; p++)
			gau32NumOfBuffer[p] = gu32NumOfBuffer;
	if (gu32FastLogoPlaneID >= OSD_PLANE_MAX) {
		gu32FastLogoPlaneID = 0;
		OSD_MSG_WARN("Use default FastLogoPlaneID = %d\n", gu32FastLogoPlaneID);
	}

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		var = &gastVarTemplate[p];
		memset(var, 0, sizeof(*var));
		if (!gau32PlaneWinSize[2 * p] || !gau32PlaneWinSize[2 * p + 1]) {
			gau32PlaneWinSize[2 * p] = 32;
			gau32PlaneWinSize[2 * p + 1] = 32;
			OSD_MSG_WARN("enPlaneID = %d, Use default [Width x Height] = [%d x %d]\n", p, 32, 32);
		}
		w = gau32PlaneWinSize[2 * p];
		h = gau32PlaneWinSize[2 * p + 1];
		bufs = osd_plane_buffers(p);
		var->xres = var->xres_virtual = w;
		var->yres = h;
		var->yres_virtual = (u64)bufs * h > U32_MAX ? 0 : bufs * h;
		var->bits_per_pixel = 32;
		var->red.offset = 16;
		var->red.length = 8;
		var->green.offset = 8;
		var->green.length = 8;
		var->blue.offset = 0;
		var->blue.length = 8;
		var->transp.offset = 24;
		var->transp.length = 8;
		if (gau32PlaneBufAddrSize[2 * p] && gau32PlaneBufAddrSize[2 * p + 1])
			gau64PlaneMemSize[p] = ALIGN((u64)gau32PlaneBufAddrSize[2 * p + 1], 32);
		else
			gau64PlaneMemSize[p] = (u64)h * ALIGN((u64)w, 32) * bufs * 4;

		if (p < OSD_NORMAL_PLANE_NUM) {
			if (gau32AFBC[p] == 1) {
				OSD_MSG_WARN("Support AFBC %d plane\n", p);
				var->nonstd = 1;
				if (h == 1080)
					var->yres_virtual = bufs * 1112;
				else if (h == 2160)
					var->yres_virtual = bufs * 2196;
				gau64PlaneMemSize[p] = (u64)var->yres_virtual * ALIGN((u64)w, 32) * 4;
			} else {
				OSD_MSG_WARN("Not support AFBC %d plane\n", p);
				var->nonstd = 0;
			}
		}
	}
	for (p = 0; p < OSD_NORMAL_PLANE_NUM; p++)
		if (gau32PlaneChannel[p] < 2 || gau32PlaneChannel[p] > 4)
			gau32PlaneChannel[p] = p + 2;
}

static void osd_set_plane_buf(u32 p, u64 addr, u64 size)
{
	if (!osd_buf_fits_32(addr, size)) {
		OSD_ERR("PlaneId = %d, Buf[Addr, Size] = [0x%llx, 0x%llx] is beyond 32-bit addresses\n",
			p, (unsigned long long)addr, (unsigned long long)size);
		addr = 0;
		size = 0;
	}
	gastBufPhyAddrSize[p].u32BufPhyAddr = (u32)addr;
	gastBufPhyAddrSize[p].u32StartAddr = 0;
	gastBufPhyAddrSize[p].u32Size = (u32)size;
}

/* Walks "osd_tbl": 0 when it ended normally, -1 when it ended early, -ENOENT without it. */
static int osd_walk_osd_tbl(void)
{
	struct device_node *np, *child;
	struct crv_mem_node *mem;
	struct crv_mem_info info;
	const char *base;
	u32 region[2], cma;
	u64 start;
	int p, ret = 0;

	np = of_find_node_by_name(NULL, "osd_tbl");
	if (!np)
		return -ENOENT;
	for_each_child_of_node(np, child) {
		if (of_property_read_u32_array(child, "region", region, 2))
			continue;
		cma = 0;
		of_property_read_u32(child, "cma", &cma);
		if (of_property_read_string(child, "base", &base)) {
			of_node_put(child);
			ret = -1;
			break;
		}
		mem = crv_mem_find_node_by_name(base);
		if (!mem || crv_mem_alloc_from_contiguous(mem, &info)) {
			of_node_put(child);
			ret = -1;
			break;
		}
		for (p = 0; p < OSD_PLANE_MAX; p++)
			if (child->name && !strcmp(child->name, gapszDtPlaneName[p]))
				break;
		if (p == OSD_PLANE_MAX)
			continue;
		start = info.u64Start + region[0];
		/* a plane must lie inside its region and where the hardware reaches */
		if ((u64)region[0] + region[1] > info.u32Size || !osd_buf_fits_32(start, region[1])) {
			OSD_ERR("dt name(%s), start(0x%llx), size(0x%x) does not fit [%s]\n", child->name,
				(unsigned long long)start, region[1], base);
			start = 0;
			region[1] = 0;
		}
		gau32PlaneBufAddrSize[2 * p] = (u32)start;
		gau32PlaneBufAddrSize[2 * p + 1] = region[1];
		gau32CmaMode[p] = cma;
		OSD_MSG("dt name(%s), start(0x%x), size(0x%x) mode(0x%x) from[%s]\n", child->name,
			(u32)start, region[1], cma, base);
	}
	of_node_put(np);
	return ret;
}

static void _ker_osd_CalBufAddrSize(void)
{
	struct crv_mem_node *mem;
	struct crv_mem_info info;
	bool shared_none = !gau32BufAddrSize[0] && !gau32BufAddrSize[1];
	bool own = false;
	u64 start, end, cur;
	int walk = -ENOENT;
	u32 p;

	if (shared_none)
		walk = osd_walk_osd_tbl();
	for (p = 0; p < OSD_PLANE_MAX; p++)
		if (gau32PlaneBufAddrSize[2 * p] && gau32PlaneBufAddrSize[2 * p + 1])
			own = true;

	if (walk == 0 || own) {
		OSD_MSG("caculation from gau32PlaneBufAddrSize\n");
		for (p = 0; p < OSD_PLANE_MAX; p++) {
			osd_set_plane_buf(p, gau32PlaneBufAddrSize[2 * p], gau32PlaneBufAddrSize[2 * p + 1]);
			OSD_MSG("Get-BufAddrSize: PlaneId = %d, Buf[Addr, Size] = [0x%08x, 0x%08x]\n", p,
				gastBufPhyAddrSize[p].u32BufPhyAddr, gastBufPhyAddrSize[p].u32Size);
		}
		return;
	}

	start = gau32BufAddrSize[0];
	end = start + gau32BufAddrSize[1];
	if (shared_none) {
		mem = crv_mem_find_node_by_name("osd");
		if (mem && !crv_mem_alloc_from_contiguous(mem, &info)) {
			OSD_MSG("Refer Corvel Memory-Layout, [fb_start, fb_size] = [0x%08X, 0x%08X]\n",
				(u32)info.u64Start, info.u32Size);
			start = info.u64Start;
			end = start + info.u32Size;
		} else {
			OSD_ERR("crv_mem_alloc_from_contiguous fail\n");
		}
	}
	if (start == end) {
		OSD_MSG("caculation from nothing\n");
		for (p = 0; p < OSD_PLANE_MAX; p++) {
			osd_set_plane_buf(p, 0, 0);
			OSD_MSG("Force-BufAddrSize to 0: PlaneId = %d, Buf[Addr, Size] = [0x%08x, 0x%08x]\n",
				p, 0, 0);
		}
		return;
	}
	OSD_MSG("caculation from gau32BufAddrSize\n");
	cur = start;
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		/* the planes are laid one after the other as far as the buffer goes */
		if (gau64PlaneMemSize[p] > end - cur) {
			OSD_ERR("PlaneId = %d, Size = 0x%llx does not fit the OSD buffer\n", p,
				(unsigned long long)gau64PlaneMemSize[p]);
			osd_set_plane_buf(p, 0, 0);
			continue;
		}
		osd_set_plane_buf(p, cur, gau64PlaneMemSize[p]);
		cur += gau64PlaneMemSize[p];
		OSD_MSG("PlaneId = %d, BufPhyAddr = 0x%08x, Size = 0x%08x\n", p,
			gastBufPhyAddrSize[p].u32BufPhyAddr, gastBufPhyAddrSize[p].u32Size);
	}
}

/*
 * A plane whose memory is smaller than its buffers keeps as many whole
 * ones as fit, down to one; its buffer count follows.
 */
static void osd_fit_buffers(struct fb_info *info, EN_DRV_OSD_PLANE_ID p)
{
	ST_KER_OSD_PLANE_CTX *c = info->par;
	u32 bufs = gau32NumOfBuffer[p];
	u32 lines = bufs ? info->var.yres_virtual / bufs : 0;

	if (c->u32CmaMode || !c->u32BufLen || !lines)
		return;
	while (bufs > 1 && osd_var_need(&info->var) > c->u32BufLen)
		info->var.yres_virtual = --bufs * lines;
	if (bufs == gau32NumOfBuffer[p])
		return;
	OSD_ERR("PlaneID = %d: 0x%x bytes hold %u of its %u buffers\n", p, c->u32BufLen, bufs,
		gau32NumOfBuffer[p]);
	gau32NumOfBuffer[p] = bufs;
}

int _ker_osd_InitPlane(EN_DRV_OSD_PLANE_ID p, ST_DRV_OSD_BUF_PHY_ADDR_SIZE *rec)
{
	struct fb_info *info = gpstFbInfo[p];
	ST_KER_OSD_PLANE_CTX *c;
	ST_KER_OSD_REGION_CTX *r;
	bool logo;
	int ret;

	if (!info || !rec) {
		OSD_ERR("pstBufPhyAddrSize is NULL, Calculate default BufPhyAddrSize failed !\n");
		return -EINVAL;
	}
	c = info->par;
	r = &c->astRegion[OSD_REGION0];

	memset(&info->fix, 0, sizeof(info->fix));
	strscpy(info->fix.id, gapszPlaneName[p], sizeof(info->fix.id));
	info->fix.type = FB_TYPE_PACKED_PIXELS;
	info->fix.visual = FB_VISUAL_TRUECOLOR;
	info->fix.ypanstep = 1;
	info->fix.accel = FB_ACCEL_NONE;
	info->var = gastVarTemplate[p];
	info->fbops = &gstOsdFbOps;
	info->flags = FBINFO_DEFAULT;
	info->fix.smem_start = rec->u32BufPhyAddr;
	info->fix.smem_len = rec->u32Size;
	/* the fast-logo plane skips set_par but its memory has lines all the same */
	info->fix.line_length = (u32)osd_line_bytes(&info->var);
	osd_view_taken(info);
	osd_fill_pseudo_palette(info, p);

	if (!c->u32CmaMode && rec->u32BufPhyAddr && rec->u32Size) {
		info->screen_base = vyr_ioremap_nocache(rec->u32BufPhyAddr, rec->u32Size);
		if (info->screen_base)
			info->screen_size = rec->u32Size;
		/*
		 * Any process may map a plane: it sees a clear buffer, not what
		 * the memory held before. The fast-logo plane keeps its picture.
		 */
		if (info->screen_base && p != gu32FastLogoPlaneID)
			memset_io(info->screen_base, 0, rec->u32Size);
		else if (!info->screen_base)
			OSD_ERR("PlaneID = %d, ioremap of 0x%08x failed\n", p, rec->u32BufPhyAddr);
	}

	c->enPlaneID = p;
	c->enRegionID = OSD_REGION0;
	/* a plane someone flips is shown by the first flip, unless it is shown */
	c->bShowOnFirstPan = 1;
	c->u32BufStart = rec->u32BufPhyAddr;
	c->u32BufLen = rec->u32Size;
	r->u32Alpha = 255;
	r->stSrcSize.u32W = info->var.xres;
	r->stSrcSize.u32H = info->var.yres;
	if (!r->stDispWin.stSrcWin.u32W || !r->stDispWin.stSrcWin.u32H ||
	    !r->stDispWin.stDstWin.u32W || !r->stDispWin.stDstWin.u32H) {
		memset(&r->stDispWin, 0, sizeof(r->stDispWin));
		r->stDispWin.stSrcWin.u32W = info->var.xres;
		r->stDispWin.stSrcWin.u32H = info->var.yres;
		r->stDispWin.stDstWin.u32W = info->var.xres;
		r->stDispWin.stDstWin.u32H = info->var.yres;
	}

	osd_fit_buffers(info, p);
	/*
	 * The fast-logo plane keeps the picture the boot loader shows from its
	 * buffer. One whose registers name none there (as at power on) is set
	 * up as the others: shown as it stands, it would read from address 0.
	 */
	WRITE_ONCE(c->bJudgedWhole, 1);
	logo = p == gu32FastLogoPlaneID && !_ker_osd_Check_Scan(p, OSD_REGION0);
	WRITE_ONCE(c->bJudgedWhole, 0);
	if (!_ker_osd_fb_CheckVar(&info->var, info) && !logo)
		_ker_osd_fb_SetPar(info);
	/* the console draws only through a mapping that holds the geometry */
	if (!info->screen_base || osd_var_need(&info->var) > info->screen_size)
		info->fbops = &gstOsdFbOpsBlind;

	ret = register_framebuffer(info);
	if (ret) {
		OSD_ERR("Register fb%d failed!\n", p);
		return ret;
	}
	gabFbRegistered[p] = true;
	return 0;
}

static int osd_alloc_plane(EN_DRV_OSD_PLANE_ID p)
{
	ST_KER_OSD_PLANE_CTX *c;
	struct fb_info *info;

	info = framebuffer_alloc(sizeof(ST_KER_OSD_PLANE_CTX), gstOsdDev);
	if (!info) {
		OSD_ERR("Allocate fb_info struct failed, PlaneID = %d\n", p);
		return -ENOMEM;
	}
	if (!info->par) {
		OSD_ERR("fb_info->par is NULL, PlaneID = %d\n", p);
		framebuffer_release(info);
		return -ENOMEM;
	}
	gpstFbInfo[p] = info;
	c = info->par;
	memset(c, 0, sizeof(*c));
	c->enPlaneID = p;
	c->enRegionID = OSD_REGION0;
	c->pstGlobalSetting = gapstGlobalSetting[OSD_IS_CURSOR(p) ? 1 : 0];
	c->pstSepaLvdsSetting = gpstSepaLvdsSetting;
	c->pstSepaTimeSetting = gpstSepaTimeSetting;
	c->astRegion[0].u32Alpha = 255;
	c->astRegion[1].u32Alpha = 255;
	sema_init(&c->stSem, 1);

	OSD_CALL(pfSetFbInfoPointer, p, info);
	if (p == OSD_NORMAL1)
		OSD_CALL(pfSetPlaneOrder, p, &gau32PlaneOrder[0]);
	else if (p == OSD_CURSOR1)
		OSD_CALL(pfSetPlaneOrder, p, &gau32PlaneOrder[1]);
	OSD_CALL(pfPreInitSetting, p, OSD_REGION0);
	if (gu32ForceHFlip) {
		c->bForceHFlip = 1;
		c->u32ForceHFlipValue = gu32ForceHFlip;
	}
	return 0;
}

int KER_OSD_DrvInit(void)
{
	ST_DRV_OSD_HFLIP_PARAM stHFlip;
	u32 p;
	int ret;

	_ker_osd_ApplyModuleParams();

	gpstOsdPdev = platform_device_register_simple("vyr_osd", -1, NULL, 0);
	if (IS_ERR(gpstOsdPdev)) {
		OSD_ERR("%s(), no OSD device (%ld)\n", __func__, PTR_ERR(gpstOsdPdev));
		ret = PTR_ERR(gpstOsdPdev);
		gpstOsdPdev = NULL;
		return ret;
	}
	gstOsdDev = &gpstOsdPdev->dev;
	dma_set_mask_and_coherent(gstOsdDev, DMA_BIT_MASK(32));

	KER_PMI_Install(55, 17, &gstOsdPmiOps, 10, NULL, gstOsdDev);

	gstDriverCallback = _ker_osd_Get_DriverCallback();
	OSD_CALL(pfMappingReg);

	gapstGlobalSetting[0] = kzalloc(sizeof(ST_DRV_OSD_GLOBAL_SETTING), GFP_KERNEL);
	gapstGlobalSetting[1] = kzalloc(sizeof(ST_DRV_OSD_GLOBAL_SETTING), GFP_KERNEL);
	if (!gapstGlobalSetting[0] || !gapstGlobalSetting[1]) {
		OSD_ERR("Can not allocate \"ST_DRV_OSD_GLOBAL_SETTING\" struct!\n");
		return -ENOMEM;
	}
	gpstSepaLvdsSetting = kzalloc(sizeof(*gpstSepaLvdsSetting), GFP_KERNEL);
	if (!gpstSepaLvdsSetting) {
		OSD_ERR("Can not allocate \"ST_DRV_OSD_SEPA_LVDS_SETTING\" struct!\n");
		return -ENOMEM;
	}
	gpstSepaTimeSetting = kzalloc(sizeof(*gpstSepaTimeSetting), GFP_KERNEL);
	if (!gpstSepaTimeSetting) {
		OSD_ERR("Can not allocate \"ST_DRV_OSD_SEPA_TIME_SETTING\" struct!\n");
		return -ENOMEM;
	}

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		ret = osd_alloc_plane(p);
		if (ret)
			return ret;
	}

	/*
	 * The vsync interrupt, requested by open, signals the planes' fences
	 * and lets the buffers they left go.
	 */
	osd_import_init();
	_ker_osd_Set_VSyncCallback(osd_vsync_plane);
	OSD_CALL(pfOpen);

	_ker_osd_CalBufAddrSize();
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		gastOsdDmaBufRange[p].u32Count = 1;
		gastOsdDmaBufRange[p].au64Start[0] = gastBufPhyAddrSize[p].u32BufPhyAddr;
		gastOsdDmaBufRange[p].au64Len[0] = gastBufPhyAddrSize[p].u32Size;
		((ST_KER_OSD_PLANE_CTX *)gpstFbInfo[p]->par)->u32CmaMode = gau32CmaMode[p];
	}

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		ret = _ker_osd_InitPlane(p, &gastBufPhyAddrSize[p]);
		if (ret) {
			OSD_ERR("Failed to initialize PlaneID = %d\n", p);
			return ret;
		}
	}

	for (p = 0; p < OSD_NORMAL_PLANE_NUM; p++)
		OSD_CALL(pfSetPlaneAXIChannel, p, &gau32PlaneChannel[p]);
	if (gu32ForceHFlip) {
		stHFlip.bEnable = 1;
		stHFlip.u32Width = gu32ForceHFlip;
		for (p = 0; p < OSD_PLANE_MAX; p++) {
			ST_KER_OSD_PLANE_CTX *c = gpstFbInfo[p]->par;

			c->bHFlip = 1;
			c->stHFlip = stHFlip;
			OSD_CALL(pfHFlip_Enable, p, &stHFlip);
		}
	}

	KER_OSD_DebugMenuInit();
	CRV_DBG_RegisterBwErrChk(16, _OSD_check_bwerror);
	printk(OSD_MSG_TAG "%s() done \n", __func__);
	return 0;
}

void KER_OSD_DrvExit(void)
{
	struct fb_info *info;
	ST_KER_OSD_PLANE_CTX *c;
	int p;

	/* The menu stays registered; its items stop reaching the planes. */
	_ker_osd_menu_unregister();
	/*
	 * The planes leave the framebuffer core first, while they and the
	 * hardware layer are whole: a console still bound to one lets go of it
	 * during unregister_framebuffer, through the plane's own operations.
	 */
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		if (gabFbRegistered[p])
			unregister_framebuffer(gpstFbInfo[p]);
		gabFbRegistered[p] = false;
	}
	if (gstDriverCallback)
		OSD_CALL(pfClose);
	_ker_osd_Set_VSyncCallback(NULL);
	osd_fence_release_all();
	/* the frees of the last fences may still be returning into this module */
	rcu_barrier();
	osd_dump_close();
	osd_release_shown_bufs();

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		info = gpstFbInfo[p];
		if (info) {
			c = info->par;
			if (info->screen_base) {
				iounmap(info->screen_base);
				info->screen_base = NULL;
			}
			c->enPlaneID = 6;
			c->enRegionID = 5;
			if (gstDriverCallback)
				OSD_CALL(pfSetFbInfoPointer, p, NULL);
			kfree(c->pu32KeepPalette);
			framebuffer_release(info);
			gpstFbInfo[p] = NULL;
		} else if (gstDriverCallback) {
			OSD_CALL(pfSetFbInfoPointer, p, NULL);
		}
	}
	kfree(gapstGlobalSetting[0]);
	kfree(gapstGlobalSetting[1]);
	gapstGlobalSetting[0] = gapstGlobalSetting[1] = NULL;
	kfree(gpstSepaLvdsSetting);
	gpstSepaLvdsSetting = NULL;
	kfree(gpstSepaTimeSetting);
	gpstSepaTimeSetting = NULL;

	if (gstDriverCallback)
		OSD_CALL(pfUnMappingReg);
	gstDriverCallback = NULL;
	if (gpstOsdPdev) {
		platform_device_unregister(gpstOsdPdev);
		gpstOsdPdev = NULL;
		gstOsdDev = NULL;
	}
}

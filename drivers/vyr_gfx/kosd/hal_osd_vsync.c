// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: vsync interrupt, vsync wait and the scroll task.
 */
#include <linux/kernel.h>
#include <linux/kthread.h>
#include <linux/delay.h>
#include <linux/sched.h>
#include <linux/wait.h>
#include <linux/module.h>
#include <linux/string.h>

#include "hal_osd.h"

#define OSD_ATV_CHECK_LIMIT	6
#define OSD_SIGNAL_RETRY_LIMIT	5
#define OSD_VSYNC_TIMEOUT	25	/* jiffies */
#define OSD_SCROLL_DRAIN_POLLS	10

static void _ker_osd_VSyncNotify(void)
{
	ST_DRV_OSD_UPDATE_STATUS stStatus;
	int i;

	for (i = 0; i < OSD_VSYNC_CTX_NUM; i++) {
		ST_KER_OSD_VSYNC_CTX *c = &gastVSyncContext[i];

		if (READ_ONCE(c->waiting) != 1 || READ_ONCE(c->done))
			continue;
		if (gu32ATVCheckCount < OSD_ATV_CHECK_LIMIT) {
			OSD_DBG("%s(), NormalPlane UpdateSyncByATV ...\n", __func__);
			memset(&stStatus, 0, sizeof(stStatus));
			_ker_osd_Get_UpdateStatus(i, &stStatus);
			OSD_DBG("%s(), UpdateSyncByATV, NormalPlane: Update-Status = %d\n",
				__func__, stStatus.u8Status);
			if (stStatus.u8Status == 1) {
				gu32ATVCheckCount++;
				OSD_DBG("%s(), Wait for UpdateSyncByATV ..., Check times = %d\n",
					__func__, gu32ATVCheckCount);
				return;
			}
			OSD_DBG("%s(), UpdateSyncByATV is completed, Check times = %d\n",
				__func__, gu32ATVCheckCount);
		}
		if (gu32ATVCheckCount >= OSD_ATV_CHECK_LIMIT)
			OSD_ERR("%s(), Discard UpdateSyncByATV!\n", __func__);
		gu32ATVCheckCount = 0;
		WRITE_ONCE(c->waiting, 0);
		WRITE_ONCE(c->done, 1);
		wake_up_interruptible(&c->waitQueueHead);
	}
}

/* Whether a shown plane has something to show. */
static bool osd_plane_visible(EN_DRV_OSD_PLANE_ID p)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(p);
	const ST_RECT *src;
	u32 count, area;
	u8 status = 1;

	if (!c || !c->bPlaneShow)
		return false;
	if (c->bAutoMute) {
		_ker_osd_Get_AutoMuteStatus(p, &status);
		if (status == 0)
			return true;
	}
	if (!c->bAlphaCal)
		return true;
	src = &c->astRegion[0].stDispWin.stSrcWin;
	area = src->u32W * src->u32H;
	if (!area)
		return false;
	count = 0;
	_ker_osd_Get_AlphaCalCount(p, &count);
	return count != area;
}

static void osd_update_visibility(void)
{
	bool visible = false;
	int p;

	if ((osd_read(OSD_REG(0x004)) & 1) || (osd_read(OSD_REG(0x2000)) & 1))
		for (p = 0; p < OSD_PLANE_MAX && !visible; p++)
			visible = osd_plane_visible(p);
	WRITE_ONCE(gatIsOsdVisible, visible);
	osd_prog_hw(OSD_REG(0x2fc), BIT(31), visible ? BIT(31) : 0);
}

/* ------------------------------------------------------------------ */
/* Auto colour key                                                      */
/* ------------------------------------------------------------------ */

#define OSD_APL_COLS		32
#define OSD_APL_ROWS		20
#define OSD_APL_CELLS		(OSD_APL_COLS * OSD_APL_ROWS)
#define OSD_APL_CELL_W		120
#define OSD_APL_CELL_H		108
#define OSD_APL_HEAD		3
#define OSD_APL_SIZE		(OSD_APL_HEAD + 3 * OSD_APL_CELLS)

u32 gu32AutoColorKey;
u8 u8APL_FOR_OSD[OSD_APL_SIZE];
static u32 gu32HueQuant, gu32HueRaw;
static u32 gau32LastColor[3] = { 4095, 0, 0 };

typedef int (*osd_apl_get_fn)(u32 u32Id, u8 *pu8Buf);
typedef int (*osd_apl_config_fn)(void *pConfig);
typedef int (*osd_apl_ctrl_fn)(u32 u32On);

static u32 osd_hue_up(u32 f)
{
	return min(4095u - (((4095u - f) * 4094u) >> 12), 4095u);
}

static u32 osd_hue_down(u32 f)
{
	u32 p = f * 4095u;

	return min(4095u - (((p & ~4095u) - (p >> 12)) >> 12), 4095u);
}

void find_color(u32 r, u32 g, u32 b, u32 *out_r, u32 *out_g, u32 *out_b)
{
	u32 max = max(max(r, g), b), mn = min(min(r, g), b), delta = max - mn;
	u32 h = 0, s, hq, hr, hue, f, c[3];
	int ri = r, gi = g, bi = b, d = delta;
	long dh;

	if (delta) {
		if (max == r)
			h = g >= b ? (gi - bi) * 600 / d : 3600 - (bi - gi) * 600 / d;
		else if (max == g)
			h = 1200 + (bi - ri) * 600 / d;
		else
			h = 2400 + (ri - gi) * 600 / d;
	}
	s = max ? delta * 4095 / max : 0;

	hq = (h / 150) * 150 + 1800;
	if (hq > 3599)
		hq -= 3600;
	hr = (h + 1800) % 3600;
	dh = (long)hr - (long)gu32HueRaw;
	if (hq != gu32HueQuant && (dh >= 75 || dh <= -75)) {
		gu32HueQuant = hq;
		gu32HueRaw = hr;
	}

	if (s >= 1001) {
		hue = gu32HueQuant;
		f = (hue % 600) * 4096 / 600;
		switch (hue / 600) {
		case 0:
			c[0] = 4095; c[1] = osd_hue_up(f); c[2] = 1;
			break;
		case 1:
			c[0] = osd_hue_down(f); c[1] = 4095; c[2] = 1;
			break;
		case 2:
			c[0] = 1; c[1] = 4095; c[2] = osd_hue_up(f);
			break;
		case 3:
			c[0] = 1; c[1] = osd_hue_down(f); c[2] = 4095;
			break;
		case 4:
			c[0] = osd_hue_up(f); c[1] = 1; c[2] = 4095;
			break;
		default:
			c[0] = 4095; c[1] = 1; c[2] = osd_hue_down(f);
			break;
		}
		memcpy(gau32LastColor, c, sizeof(c));
	}
	*out_r = gau32LastColor[0];
	*out_g = gau32LastColor[1];
	*out_b = gau32LastColor[2];
}

static void _ker_osd_Get_Auto_Color_Key(void)
{
	osd_apl_get_fn get;
	u32 p, q, x, y, cell, r, g, b, kr, kg, kb, v;

	OSD_ENTER();
	memset(u8APL_FOR_OSD, 0, sizeof(u8APL_FOR_OSD));
	get = (osd_apl_get_fn)__symbol_get("PLAT_PQ_SHELL_GetAmblAPLValue");
	if (get) {
		get(0, u8APL_FOR_OSD);
		__symbol_put("PLAT_PQ_SHELL_GetAmblAPLValue");
	}
	/* centre of OSD_CURSOR1's window, kept inside the grid */
	p = osd_read(OSD_REG(0x2028));
	q = osd_read(OSD_REG(0x2030));
	x = min(((p >> 16) & 0x7fff) + ((q >> 17) & 0x3fff), (u32)(OSD_APL_COLS * OSD_APL_CELL_W - 1));
	y = min((p & 0x7fff) + ((q >> 1) & 0x3fff), (u32)(OSD_APL_ROWS * OSD_APL_CELL_H - 1));
	cell = (x / OSD_APL_CELL_W) * OSD_APL_ROWS + y / OSD_APL_CELL_H;
	r = u8APL_FOR_OSD[OSD_APL_HEAD + cell] * 16;
	g = u8APL_FOR_OSD[OSD_APL_HEAD + OSD_APL_CELLS + cell] * 16;
	b = u8APL_FOR_OSD[OSD_APL_HEAD + 2 * OSD_APL_CELLS + cell] * 16;
	find_color(r, g, b, &kr, &kg, &kb);
	osd_prog(OSD_REG(0x2120), ~0u, 0x1f1f1f);
	v = 0xff000000 | (kr >> 4) << 16 | (kg >> 4) << 8 | (kb >> 4);
	osd_prog(OSD_REG(0x2124), ~0u, v);
	OSD_LEAVE();
}

void _ker_osd_Auto_Color_Key_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	static const char fn[] = "_ker_osd_Set_Auto_Color_Key";
	osd_apl_config_fn config;
	osd_apl_ctrl_fn ctrl;
	u8 cfg[36], off = 0;

	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (!*pbEnable) {
		WRITE_ONCE(gu32AutoColorKey, 0);
		_ker_osd_ColorKey_Enable(OSD_CURSOR1, OSD_REGION0, OSD_COLOR_KEY0, &off);
		return;
	}
	_ker_osd_ColorKey_Enable(OSD_CURSOR1, OSD_REGION0, OSD_COLOR_KEY0, pbEnable);
	OSD_DBG("%s() Enter\n", fn);
	memset(cfg, 0, sizeof(cfg));
	*(u32 *)&cfg[0] = 3;
	*(u16 *)&cfg[30] = OSD_APL_COLS;
	*(u16 *)&cfg[32] = OSD_APL_ROWS;
	config = (osd_apl_config_fn)__symbol_get("PLAT_PQ_SHELL_SetAmblAPLConfig");
	if (config) {
		config(cfg);
		__symbol_put("PLAT_PQ_SHELL_SetAmblAPLConfig");
	}
	ctrl = (osd_apl_ctrl_fn)__symbol_get("PLAT_PQ_SHELL_SetAmblAPLCtrl");
	if (ctrl) {
		ctrl(1);
		__symbol_put("PLAT_PQ_SHELL_SetAmblAPLCtrl");
	}
	OSD_DBG("%s() Leave\n", fn);
	WRITE_ONCE(gu32AutoColorKey, 1);
}

void _ker_osd_Is_Osd_Visible(u8 *pbVisible)
{
	if (pbVisible)
		*pbVisible = READ_ONCE(gatIsOsdVisible) == 1;
}

irqreturn_t _ker_osd_DpIRQHandler(int irq, void *dev_id)
{
	_ker_osd_VSyncNotify();
	osd_vsync_planes();
	WRITE_ONCE(gatPaletteMutexUp, 0);
	WRITE_ONCE(gstScrollContext.u32Frame, gstScrollContext.u32Frame + 1);
	if (READ_ONCE(gstScrollContext.pstTask) && !READ_ONCE(gstScrollContext.u32Idle))
		wake_up_interruptible(&gstScrollContext.waitQueueHead);
	osd_update_visibility();
	if (READ_ONCE(gu32AutoColorKey) == 1)
		_ker_osd_Get_Auto_Color_Key();
	return IRQ_HANDLED;
}

int _ker_osd_VSyncWait(EN_DRV_OSD_PLANE_ID enPlane)
{
	ST_KER_OSD_VSYNC_CTX *c;
	u32 ctx;
	long ret;

	if (_ker_osd_Check_Ids(OSD_ID_PLANE, enPlane, 0, 0, 0, 0))
		return 0;
	ctx = enPlane < OSD_VSYNC_CTX_NUM ? enPlane : OSD_VSYNC_CTX_NUM - 1;
	c = &gastVSyncContext[ctx];

	if (READ_ONCE(c->done)) {
		OSD_WRN("%s(), PlaneID = %d, Lose waiting DpVSync, Miss ...\n", __func__, ctx);
		WRITE_ONCE(c->done, 0);
		return 0;
	}
	WRITE_ONCE(c->waiting, 1);
	ret = wait_event_interruptible_timeout(c->waitQueueHead, READ_ONCE(c->done),
					       OSD_VSYNC_TIMEOUT);
	while (ret == -ERESTARTSYS) {
		if (++gu32SignalRetryCount >= OSD_SIGNAL_RETRY_LIMIT) {
			OSD_ERR_RL("%s(), PlaneID = %d, Lose waiting DpVSync, Miss: Always interrupted by a signal ...\n",
				__func__, ctx);
			gu32SignalRetryCount = 0;
			return -ERESTARTSYS;
		}
		OSD_DBG("%s(), PlaneID = %d, Interrupted by a signal; Loop-Check-Times = %d\n",
			__func__, ctx, gu32SignalRetryCount);
		WRITE_ONCE(c->done, 0);
		ret = wait_event_interruptible_timeout(c->waitQueueHead, READ_ONCE(c->done),
						       OSD_VSYNC_TIMEOUT);
		if (ret != -ERESTARTSYS)
			gu32SignalRetryCount = 0;
	}
	if (ret == 0)
		printk("[MSG_DRV_OSD]%s(), PlaneID = %d, trying to sync DpVSync ...\n",
		       __func__, ctx);
	WRITE_ONCE(c->done, 0);
	return 0;
}

/* ------------------------------------------------------------------ */
/* Scrolling                                                            */
/* ------------------------------------------------------------------ */

static void osd_scroll_update(EN_DRV_OSD_PLANE_ID enPlane, u8 bWait)
{
	ST_DRV_OSD_UPDATE_ENABLE stUpdate = {
		.u32UpdateMask = OSD_UPDATE_NORMAL, .bEnable = 1, .bWaitVsync = bWait,
	};

	_ker_osd_Update_Enable(enPlane, &stUpdate);
}

/*
 * Region 0 shown through a window with a stride, as one judged change: the
 * window programs the stored stride with its scan. Refused, the plane scans
 * on with the stride it had, the stride stored says so, and the refusal
 * stays in s32ScanError. False when refused.
 */
static bool osd_scroll_show(ST_KER_OSD_DRIVER_CALLBACK *tbl, EN_DRV_OSD_PLANE_ID enPlane,
			    ST_KER_OSD_PLANE_CTX *pstCtx, u32 u32Stride, ST_DRV_OSD_DISP_WIN *pstWin)
{
	u32 u32Had = pstCtx->astRegion[0].u32Stride;

	pstCtx->astRegion[0].u32Stride = u32Stride;
	osd_refused(pstCtx);
	KER_OSD_CALL(tbl, pfSetDispWin, enPlane, OSD_REGION0, pstWin);
	if (!READ_ONCE(pstCtx->s32ScanError))
		return true;
	pstCtx->astRegion[0].u32Stride = u32Had;
	return false;
}

void _ker_osd_Scroll_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    u8 *pbEnable)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();
	ST_KER_OSD_SCROLL_TASK_CTX *s = &gstScrollContext;
	ST_KER_OSD_PLANE_CTX *pstCtx;
	bool locked;
	int i;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable)
		return;

	if (*pbEnable) {
		/*
		 * The task sleeps only while no plane scrolls, a condition it checks
		 * after it has gone to sleep: the wake-up cannot pass it by.
		 */
		if (s->pstTask) {
			WRITE_ONCE(s->u32Idle, 0);
			WRITE_ONCE(s->u8Pending, 1);
			wake_up_interruptible(&s->waitQueueHead);
		}
		OSD_LEAVE();
		return;
	}

	/*
	 * Let the task finish a step of this plane it is in. It programs a plane
	 * only holding the plane's semaphore, so under the ioctl's semaphore
	 * there is none; the window itself changes under the scroll semaphore.
	 */
	for (i = 0; i < OSD_SCROLL_DRAIN_POLLS && READ_ONCE(s->s32Plane) == (s32)enPlane; i++) {
		OSD_ERR("Wait previous ScrollBar behavior complete ...\n");
		msleep(5);
	}
	locked = !down_interruptible(&s->stSem);

	/* the saved stride and the window back as one change; a refusal is the caller's answer */
	pstCtx = osd_ctx(enPlane);
	if (pstCtx)
		osd_scroll_show(tbl, enPlane, pstCtx, pstCtx->stScroll.u32SavedStride,
				&pstCtx->astRegion[0].stDispWin);
	if (locked)
		up(&s->stSem);
	osd_scroll_update(enPlane, 1);
	OSD_LEAVE();
}

static int osd_scroll_first_plane(void)
{
	ST_KER_OSD_PLANE_CTX *pstCtx;
	int p;

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		pstCtx = osd_ctx(p);
		if (pstCtx && READ_ONCE(pstCtx->stScroll.bEnable))
			return p;
	}
	return -1;
}

/*
 * The plane's programming is the task's while it holds the plane's
 * semaphore, which a suspend holds until the resume: in standby the task
 * waits there. False when told to stop or when the plane stopped scrolling
 * meanwhile (an ioctl turned it off holding the semaphore).
 */
static bool osd_scroll_lock_plane(ST_KER_OSD_PLANE_CTX *pstCtx)
{
	while (!kthread_should_stop() && READ_ONCE(pstCtx->stScroll.bEnable)) {
		if (down_timeout(&pstCtx->stSem, HZ / 10))
			continue;
		if (READ_ONCE(pstCtx->stScroll.bEnable))
			return true;
		up(&pstCtx->stSem);
	}
	return false;
}

/* One step of a scrolling plane, its semaphore held; false when refused. */
static bool osd_scroll_step(ST_KER_OSD_DRIVER_CALLBACK *tbl, int p, ST_KER_OSD_PLANE_CTX *pstCtx)
{
	ST_KER_OSD_SCROLL_TASK_CTX *s = &gstScrollContext;
	ST_DRV_OSD_DISP_WIN stWin;
	bool ok = true;

	if (down_interruptible(&s->stSem))
		return true;
	/* a disable that came meanwhile has restored the plane */
	if (READ_ONCE(pstCtx->stScroll.bEnable)) {
		stWin = pstCtx->stScroll.stDispWin;
		stWin.stSrcWin.u32X = pstCtx->stScroll.u32Offset;
		pstCtx->stScroll.stDispWin.stSrcWin.u32X = stWin.stSrcWin.u32X;
		ok = osd_scroll_show(tbl, p, pstCtx, pstCtx->stScroll.u32ScrollStride, &stWin);
		/* the task's refusal is no caller's */
		osd_refused(pstCtx);
		pstCtx->stScroll.u32Offset += pstCtx->stScroll.u32Step;
		if (pstCtx->stScroll.u32Offset >= pstCtx->stScroll.u32Limit)
			pstCtx->stScroll.u32Offset = 0;
	}
	up(&s->stSem);
	return ok;
}

/*
 * One step of the first scrolling plane, then a wait for the next vsync
 * without the plane's semaphore: a suspend, an ioctl or a pan gets the
 * plane in between.
 */
int _ker_osd_ScrollTaskProc(void *data)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();
	ST_KER_OSD_SCROLL_TASK_CTX *s = &gstScrollContext;
	ST_KER_OSD_PLANE_CTX *pstCtx;
	u32 u32Frame;
	int p;

	while (!kthread_should_stop()) {
		p = osd_scroll_first_plane();
		WRITE_ONCE(s->u8Pending, p >= 0);
		if (p < 0) {
			WRITE_ONCE(s->u32Idle, 1);
			if (wait_event_interruptible(s->waitQueueHead,
						     osd_scroll_first_plane() >= 0 ||
						     kthread_should_stop()))
				OSD_ERR("OSD-Scroll: wait_event_interruptible failed!\n");
			WRITE_ONCE(s->u32Idle, 0);
			continue;
		}

		pstCtx = osd_ctx(p);
		if (!osd_scroll_lock_plane(pstCtx))
			continue;
		if (READ_ONCE(pstCtx->bSuspended)) {
			/* a suspend that could not take the semaphore: wait for the resume */
			up(&pstCtx->stSem);
			msleep(20);
			continue;
		}
		WRITE_ONCE(s->s32Plane, p);
		if (!osd_scroll_step(tbl, p, pstCtx)) {
			/* the plane may not scroll there: it stops, shown as it was */
			OSD_ERR("OSD-Scroll: PlaneID = %d cannot be shown at the next step, scroll off\n", p);
			WRITE_ONCE(pstCtx->stScroll.bEnable, 0);
		} else {
			osd_scroll_update(p, 0);
		}
		u32Frame = READ_ONCE(s->u32Frame);
		WRITE_ONCE(s->s32Plane, -1);
		up(&pstCtx->stSem);
		wait_event_interruptible_timeout(s->waitQueueHead,
						 READ_ONCE(s->u32Frame) != u32Frame ||
						 kthread_should_stop(), OSD_VSYNC_TIMEOUT);
	}
	return 0;
}

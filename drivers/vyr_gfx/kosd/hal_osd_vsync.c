// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: vsync interrupt, vsync wait and the scroll task.
 */
#include <linux/kernel.h>
#include <linux/kthread.h>
#include <linux/delay.h>
#include <linux/sched.h>
#include <linux/wait.h>

#include "hal_osd.h"

ST_KER_OSD_VSYNC_CTX gastVSyncContext[OSD_VSYNC_CTX_NUM];
ST_KER_OSD_SCROLL_TASK_CTX gstScrollContext;
u32 gu32ATVCheckCount;
u32 gu32SignalRetryCount;

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

irqreturn_t _ker_osd_DpIRQHandler(int irq, void *dev_id)
{
	_ker_osd_VSyncNotify();
	WRITE_ONCE(gatPaletteMutexUp, 0);
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
			OSD_ERR("%s(), PlaneID = %d, Lose waiting DpVSync, Miss: Always interrupted by a signal ...\n",
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

static void osd_scroll_update(EN_DRV_OSD_PLANE_ID enPlane)
{
	ST_DRV_OSD_UPDATE_ENABLE stUpdate = {
		.u32UpdateMask = OSD_UPDATE_NORMAL, .bEnable = 1, .bWaitVsync = 1,
	};

	_ker_osd_Update_Enable(enPlane, &stUpdate);
}

void _ker_osd_Scroll_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    u8 *pbEnable)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();
	ST_KER_OSD_SCROLL_TASK_CTX *s = &gstScrollContext;
	ST_KER_OSD_PLANE_CTX *pstCtx;
	u32 u32Stride;
	bool locked;
	int i;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable)
		return;

	if (*pbEnable) {
		if (s->pstTask && READ_ONCE(s->u32Idle) && !READ_ONCE(s->u8Pending)) {
			WRITE_ONCE(s->u32Idle, 0);
			WRITE_ONCE(s->u8Pending, 1);
			wake_up_interruptible(&s->waitQueueHead);
		}
		OSD_LEAVE();
		return;
	}

	/*
	 * Let the task finish the step it is in: it is idle once no plane
	 * scrolls, and it holds the semaphore across its window change. Other
	 * planes may go on scrolling, so the wait is bounded.
	 */
	if (s->pstTask)
		for (i = 0; i < OSD_SCROLL_DRAIN_POLLS && !READ_ONCE(s->u32Idle); i++) {
			OSD_ERR("Wait previous ScrollBar behavior complete ...\n");
			msleep(5);
		}
	locked = !down_interruptible(&s->stSem);

	pstCtx = osd_ctx(enPlane);
	if (pstCtx) {
		u32Stride = pstCtx->stScroll.u32SavedStride;
		pstCtx->astRegion[0].u32Stride = u32Stride;
		KER_OSD_CALL(tbl, pfSetStride, enPlane, OSD_REGION0, &u32Stride);
		KER_OSD_CALL(tbl, pfSetDispWin, enPlane, OSD_REGION0,
			     &pstCtx->astRegion[0].stDispWin);
	}
	if (locked)
		up(&s->stSem);
	osd_scroll_update(enPlane);
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

int _ker_osd_ScrollTaskProc(void *data)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();
	ST_KER_OSD_SCROLL_TASK_CTX *s = &gstScrollContext;
	ST_KER_OSD_PLANE_CTX *pstCtx;
	ST_DRV_OSD_DISP_WIN stWin;
	int p;

	while (!kthread_should_stop()) {
		p = osd_scroll_first_plane();
		WRITE_ONCE(s->u8Pending, p >= 0);
		if (p < 0) {
			WRITE_ONCE(s->u32Idle, 1);
			if (wait_event_interruptible(s->waitQueueHead,
						     READ_ONCE(s->u8Pending) ||
						     kthread_should_stop()))
				OSD_ERR("OSD-Scroll: wait_event_interruptible failed!\n");
			continue;
		}

		pstCtx = osd_ctx(p);
		if (!down_interruptible(&s->stSem)) {
			/* a disable that came meanwhile has restored the plane */
			if (!READ_ONCE(pstCtx->stScroll.bEnable)) {
				up(&s->stSem);
				continue;
			}
			pstCtx->astRegion[0].u32Stride = pstCtx->stScroll.u32ScrollStride;
			stWin = pstCtx->stScroll.stDispWin;
			stWin.stSrcWin.u32X = pstCtx->stScroll.u32Offset;
			pstCtx->stScroll.stDispWin.stSrcWin.u32X = stWin.stSrcWin.u32X;
			KER_OSD_CALL(tbl, pfSetDispWin, p, OSD_REGION0, &stWin);
			pstCtx->stScroll.u32Offset += pstCtx->stScroll.u32Step;
			if (pstCtx->stScroll.u32Offset >= pstCtx->stScroll.u32Limit)
				pstCtx->stScroll.u32Offset = 0;
			up(&s->stSem);
		}
		osd_scroll_update(p);
	}
	return 0;
}

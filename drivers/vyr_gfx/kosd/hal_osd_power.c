// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: hand-over of the boot state (pre-init), start, stop,
 * suspend and resume.
 */
#include <linux/kernel.h>
#include <linux/delay.h>
#include <linux/err.h>
#include <linux/fb.h>
#include <linux/kthread.h>
#include <linux/ktime.h>
#include <linux/mutex.h>
#include <linux/string.h>

#include <crv_platform.h>

#include "hal_osd.h"

static const EN_DRV_OSD_PLANE_ID genPlaneStartOrder[OSD_PLANE_MAX] = {
	OSD_NORMAL1, OSD_NORMAL2, OSD_NORMAL3, OSD_CURSOR1, OSD_CURSOR2,
};

static const u32 gau32SuspendClocks[] = {
	36900, 36899, 36897, 36901, 34849, 34850, 32801, 32802,
};

static const u32 gau32ResumeClocks[] = {
	32801, 32802, 34849, 34850, 36900, 36899, 36897, 36901,
};

#define OSD_IRQ_DPVSYNC		50
#define OSD_PMI_INACTIVE	4
#define OSD_SUSPEND_TRIES	5
#define OSD_SUSPEND_SLEEP_MS	5

/* Lifecycle of the layer: the power transitions act only while it is open. */
static DEFINE_MUTEX(gstOsdPowerLock);
static bool gbOsdOpened;
static bool gbOsdIrqGranted;
/* Plane semaphores that suspend holds; resume releases exactly these. */
static bool gabSuspendSemTaken[OSD_PLANE_MAX];

/* ------------------------------------------------------------------ */
/* Pre-init                                                             */
/* ------------------------------------------------------------------ */

#define FIELD(v, hi, lo)	(((v) >> (lo)) & (u32)(BIT_ULL((hi) - (lo) + 1) - 1))
#define BITV(v, b)		(((v) >> (b)) & 1)

static void osd_adopt_range(u32 u32First, u32 u32Count)
{
	ST_KER_OSD_SHADOW_REG *pstReg;
	u32 i;

	for (i = 0; i < u32Count; i++) {
		pstReg = _ker_osd_Shadow_At(u32First + i);
		if (pstReg && pstReg->u32Addr)
			osd_adopt(pstReg->u32Addr);
	}
}

/* Index of a register's record; the blocks are found by address. */
static u32 osd_shadow_index(u32 u32Addr)
{
	ST_KER_OSD_SHADOW_REG *pstReg = _ker_osd_Shadow_Find(u32Addr);

	return pstReg ? pstReg - _ker_osd_Shadow_At(0) : 0;
}

static void osd_decode_keys(ST_KER_OSD_REGION_CTX *r, u32 m0, u32 r0, u32 m1, u32 r1)
{
	r->astColorKey[0].u32Match = m0;
	r->astColorKey[0].u32Replace = r0;
	r->astColorKey[0].u32Alpha = FIELD(r0, 23, 16);
	r->astColorKey[1].u32Match = m1;
	r->astColorKey[1].u32Replace = r1;
	r->astColorKey[1].u32Alpha = FIELD(r1, 23, 16);
}

static void osd_decode_gain(ST_KER_OSD_PLANE_CTX *c, u32 gr, u32 gg, u32 gb)
{
	c->bGainOffset = BITV(gr, 24);
	c->stGainOffset.u32GainR = gr & 0x3ff;
	c->stGainOffset.u32OffsetR = FIELD(gr, 23, 16);
	c->stGainOffset.u32GainG = gg & 0x3ff;
	c->stGainOffset.u32OffsetG = FIELD(gg, 23, 16);
	c->stGainOffset.u32GainB = gb & 0x3ff;
	c->stGainOffset.u32OffsetB = FIELD(gb, 23, 16);
}

static void osd_decode_globals(ST_KER_OSD_PLANE_CTX *c, ST_DRV_OSD_GLOBAL_SETTING *s, bool cursor)
{
	u32 g0 = osd_read(OSD_REG(0x000)), g4 = osd_read(OSD_REG(0x004));
	u32 g8 = osd_read(OSD_REG(0x008)), c0 = osd_read(OSD_REG(0x2000));
	u32 c108 = osd_read(OSD_REG(0x2108)), c10c = osd_read(OSD_REG(0x210c));

	if (!s)
		return;
	if (cursor) {
		s->bUpdateSyncByATV = BITV(c108, 0);
		s->u32DBLSync = BITV(c10c, 31);
		s->bShow = BITV(c0, 0);
		s->bDramSaveMode = !BITV(c0, 24);
		s->bDualOutput = BITV(c0, 28);
		s->u32PlaneOrder = FIELD(c10c, 18, 17);
	} else {
		s->bUpdateSyncByATV = BITV(g0, 16);
		s->u32DBLSync = BITV(g0, 8);
		s->bShow = BITV(g4, 0);
		s->bDramSaveMode = !BITV(g8, 0);
		s->bDualOutput = BITV(g8, 8);
		s->u32PlaneOrder = FIELD(osd_read(OSD_REG(0x02c)), 18, 16);
	}
	if (c)
		c->u32PlaneOrder = s->u32PlaneOrder;
}

static void osd_decode_normal(EN_DRV_OSD_PLANE_ID n, ST_KER_OSD_PLANE_CTX *c)
{
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[0];
	u32 v, bpp, start, layer, mask;

#define NR(off) osd_read(osd_normal_reg(OSD_REG(off), n))
	v = osd_read(OSD_REG(0x004));
	c->bPlaneShow = BITV(v, n + 1);
	c->bPlaneHidden = BITV(v, n + 8);
	c->bAutoMute = BITV(v, n + 16);
	c->stDPVDERef.u32RefA = BITV(v, 25);
	c->stDPVDERef.u32RefB = BITV(v, 24);
	/* the enable clears the bit, so a set bit reads as off */
	c->bPureOutput = !BITV(osd_read(OSD_REG(0x008)), 4 * n + 16);
	c->u32PlaneField = FIELD(NR(0x010), 6, 0);
	v = NR(0x090);
	c->stLBMAddr.u32Start = FIELD(v, 10, 0);
	c->stLBMAddr.u32End = FIELD(v, 26, 16);
	v = osd_read(OSD_REG(0x0b0));
	c->bAlphaCal = BITV(v, n + 28);
	c->u32AlphaCalThrd = FIELD(v, 8 * n + 7, 8 * n);
	c->u32AXIStatus = FIELD(NR(0x0b4), 21, 20) + FIELD(NR(0x0c0), 21, 20);
	c->stProtectArea.u32AlphaThrd = FIELD(osd_read(OSD_REG(0x0d0)), 8 * n + 7, 8 * n);
	c->bProtectArea = BITV(osd_read(OSD_REG(0x0d4)), 4 * n);
	c->stProtectArea.u32HEnd = FIELD(NR(0x0e0), 10, 0);
	v = osd_read(OSD_REG(0x020));
	c->bSelfFrameWin = BITV(v, 31);
	c->stSelfFrameWin.u32XVariation = FIELD(v, 28, 16);
	c->stSelfFrameWin.u32Trigger = BITV(v, 15);
	c->stSelfFrameWin.u32YVariation = FIELD(v, 10, 0);
	c->bLayer1BehindVideo = BITV(osd_read(OSD_REG(0x02c)), 0);
	v = osd_read(OSD_REG(0x0f0));
	c->bFlushAXIRead = BITV(v, 8);
	c->u32FlushAXIReadPattern = osd_read(OSD_REG(0x0f4));
	c->u32CurrentBufOrder = FIELD(osd_read(OSD_REG(0x0f8)), 4 * n + 3, 4 * n);
	for (layer = 0; layer < OSD_LAYER_MAX; layer++) {
		u32 base = OSD_REG(0x030 + 0x20 * layer);
		u32 en = osd_read(base), disp = osd_read(base + 4), dly = osd_read(base + 0x18);

		for (mask = 0; mask < OSD_VIDEO_MASK_MAX; mask++) {
			ST_DRV_OSD_VIDEO_MASK_CTRL *m = &c->astVideoMask[layer][mask];
			u32 pos = osd_read(base + 8 + 8 * mask), size = osd_read(base + 12 + 8 * mask);

			m->u32LayerID = layer;
			m->u32MaskID = mask;
			m->bEnable = BITV(en, 4 * mask);
			m->u32X = FIELD(pos, 27, 16);
			m->u32Y = FIELD(pos, 11, 0);
			m->u32W = FIELD(size, 27, 16);
			m->u32H = FIELD(size, 11, 0);
			m->u32Disparity3D = FIELD(disp, 16 * mask + 6, 16 * mask);
			m->u32Delay = FIELD(dly, 16 * mask + 4, 16 * mask);
		}
	}

	v = NR(0x104);
	c->stScalePathSel.au32Sel[0] = BITV(v, 0);
	c->stScalePathSel.au32Sel[1] = BITV(v, 1);
	c->stScalePathSel.au32Sel[2] = BITV(v, 2);
	r->stScaleEnable.bHScaleUp = BITV(v, 4);
	r->stScaleEnable.bVScaleUp = FIELD(v, 6, 5) != 0;
	r->stScaleEnable.bHScaleDown = BITV(v, 8);
	r->stScaleEnable.bVScaleDown = BITV(v, 9);
	r->bRLDecode = BITV(v, 12);
	c->bMultiRegion = BITV(v, 13);
	c->bHFlip = BITV(v, 14);
	c->stHFlip.bEnable = c->bHFlip;
	c->bBISTMode = BITV(v, 15);
	c->stBISTMode.u32PixelValue = FIELD(v, 31, 16);
	c->stScaleUpCtrl.au32Ctrl[4] = FIELD(v, 6, 5) == 2 ? OSD_SCALE_UP_VMODE2 : 0;
	v = NR(0x108);
	c->stRegionBoundary.u32A = FIELD(v, 12, 0);
	c->stRegionBoundary.u32B = FIELD(v, 28, 16);
	v = NR(0x10c);
	c->stRegionBoundary.u32C = FIELD(v, 11, 0);
	c->stHFlip.u32Width = FIELD(v, 28, 16);

	v = NR(0x110);
	r->bRegionShow = BITV(v, 0);
	r->abColorKey[0] = BITV(v, 5);
	r->abColorKey[1] = BITV(v, 6);
	r->enColor = _ker_osd_Convert_ColorRegValToMode(v);
	r->u32Alpha = FIELD(v, 23, 16);
	c->bBitInvert = BITV(v, 2);
	c->bSkipAlpha = BITV(v, 24);
	c->bPreAlpha = BITV(v, 28);
	v = NR(0x114);
	r->stDstWin.u32X = FIELD(v, 28, 16);
	r->stDstWin.u32Y = FIELD(v, 11, 0);
	v = NR(0x118);
	r->stDstWin.u32W = FIELD(v, 28, 16);
	r->stDstWin.u32H = FIELD(v, 11, 0);
	v = NR(0x11c);
	r->stSrcSize.u32W = FIELD(v, 28, 16);
	r->stSrcSize.u32H = FIELD(v, 11, 0);
	v = NR(0x120);
	bpp = OSD_COLOR_BPP(r->enColor);
	r->u32ReadOffset = FIELD(v, 20, 16);
	r->u32Stride = FIELD(v, 12, 0) * bpp;
	v = NR(0x124);
	start = FIELD(v, 30, 29) << 30 | FIELD(v, 24, 0) << 5;
	r->u32StartAddr = start;
	r->stBufPhyAddrSize.u32StartAddr = start;
	r->bVFlip = BITV(v, 28);
	c->u32AXIChannel = FIELD(v, 27, 26) + 2;
	v = NR(0x128);
	r->stRLDecodeCtrl.u32DummyByteMask = FIELD(v, 26, 24);
	r->stRLDecodeCtrl.u32TotalRQuant = FIELD(v, 20, 0);
	r->u32TotalRQuant = FIELD(v, 20, 0);
	osd_decode_keys(r, NR(0x130), NR(0x134), NR(0x138), NR(0x13c));
	r->stDispWin.stSrcWin.u32X = r->u32ReadOffset;
	r->stDispWin.stSrcWin.u32W = r->stSrcSize.u32W;
	r->stDispWin.stSrcWin.u32H = r->stSrcSize.u32H;
	r->stDispWin.stDstWin = r->stDstWin;

	r->stScaleFactor.u32HFactor = FIELD(NR(0x4020), 20, 0);
	v = NR(0x1d0);
	r->stScaleFactor.u32VFactor = FIELD(v, 16, 0);
	c->stScaleUpCtrl.au32Ctrl[0] = FIELD(v, 31, 24);
	c->stScaleUpCtrl.au32Ctrl[1] = FIELD(NR(0x1d4), 31, 24);
	v = NR(0x1e8);
	c->stScaleUpCtrl.au32Ctrl[2] = FIELD(v, 7, 0);
	c->stScaleUpCtrl.au32Ctrl[3] = FIELD(v, 9, 8);
	v = NR(0x1d8);
	r->stScaleFactor.u32HDownFactor = FIELD(v, 15, 0);
	c->stScaleDownCtrl.au32Ctrl[0] = FIELD(v, 24, 20);
	v = NR(0x1dc);
	r->stScaleFactor.u32VDownFactor = FIELD(v, 14, 0);
	c->stScaleDownCtrl.au32Ctrl[1] = FIELD(v, 24, 20);
	v = NR(0x1e0);
	c->stScaleDownCtrl.au32Ctrl[2] = FIELD(v, 9, 0);
	c->stScaleDownCtrl.au32Ctrl[3] = BITV(v, 12);
	c->stScaleDownCtrl.au32Ctrl[4] = FIELD(v, 25, 16);
	c->stScaleDownCtrl.au32Ctrl[5] = FIELD(v, 29, 28);
	c->stScaleDownCtrl.au32Ctrl[6] = FIELD(v, 31, 30);
	v = NR(0x1e4);
	c->stScaleDownCtrl.au32Ctrl[7] = FIELD(v, 9, 0);
	c->stScaleDownCtrl.au32Ctrl[8] = BITV(v, 12);
	c->stScaleDownCtrl.au32Ctrl[9] = FIELD(v, 25, 16);
	c->stScaleDownCtrl.au32Ctrl[10] = FIELD(v, 31, 30);
	v = NR(0x1ec);
	c->stLBMThrd.u32Thrd0 = FIELD(v, 25, 16);
	c->stLBMThrd.u32Thrd1 = FIELD(v, 12, 8);
	c->stLBMThrd.u32Thrd2 = FIELD(v, 4, 0);
	osd_decode_gain(c, NR(0x1f4), NR(0x1f8), NR(0x1fc));

	v = osd_read(OSD_REG(0x900));
	c->bTimingGen = BITV(v, 0);
	c->bXVYCCTimingSel = BITV(osd_read(OSD_REG(0x92c)), 6);
	c->bCRC = (osd_read(OSD_REG(0x940)) & 0x88) != 0;
	c->bXVYCC = BITV(osd_read(OSD_REG(0x990)), 16);
#undef NR
}

static void osd_decode_cursor(EN_DRV_OSD_PLANE_ID p, ST_KER_OSD_PLANE_CTX *c)
{
	u32 v, ctrl, region, bpp, start, k = p - 3;

#define CR(off) osd_read(osd_cursor_reg(OSD_REG(off), p))
	v = osd_read(OSD_REG(0x2000));
	c->bPlaneShow = BITV(v, p - 2);
	c->bHFlip = BITV(v, p + 17);
	c->stHFlip.bEnable = c->bHFlip;
	c->stDPVDERef.u32RefA = BITV(v, 5);
	c->stDPVDERef.u32RefB = BITV(v, 4);
	v = osd_read(OSD_REG(0x2270));
	c->bPlaneHidden = BITV(v, k);
	c->bAutoMute = BITV(v, p + 13);
	c->bPureOutput = !BITV(v, p + 5);
	v = osd_read(OSD_REG(0x22e4));
	c->bAlphaCal = BITV(v, p + 25);
	c->u32AlphaCalThrd = FIELD(v, 8 * k + 7, 8 * k);
	c->bProtectArea = BITV(osd_read(OSD_REG(0x22c8)), p + 5);
	c->stProtectArea.u32AlphaThrd = FIELD(osd_read(OSD_REG(0x22c4)), 8 * k + 7, 8 * k);
	c->stProtectArea.u32HEnd = FIELD(CR(0x22d0), 10, 0);
	v = osd_read(OSD_REG(0x2100));
	c->bSelfFrameWin = BITV(v, 31);
	c->bFlushAXIRead = BITV(osd_read(OSD_REG(0x2240)), 8);
	c->u32FlushAXIReadPattern = osd_read(OSD_REG(0x2244));
	c->u32CurrentBufOrder = FIELD(osd_read(OSD_REG(0x22fc)), 4 * k + 3, 4 * k);
	c->bBitInvert = BITV(osd_read(OSD_REG(0x2020)), p == OSD_CURSOR1 ? 5 : 13);
	v = CR(0x2080);
	c->stScaleUpCtrl.au32Ctrl[1] = FIELD(v, 31, 24);
	c->stScaleUpCtrl.au32Ctrl[0] = FIELD(v, 23, 16);
	c->stScaleUpCtrl.au32Ctrl[3] = FIELD(v, 9, 8);
	c->stScaleUpCtrl.au32Ctrl[2] = FIELD(v, 7, 0);
	v = CR(0x2220);
	c->stLBMThrd.u32Thrd0 = FIELD(v, 9, 0);
	c->stLBMThrd.u32Thrd2 = FIELD(v, 20, 16);
	v = CR(0x21f4);
	c->bBISTMode = BITV(v, 0);
	c->stBISTMode.u32PixelValue = FIELD(v, 31, 16);
	osd_decode_gain(c, CR(0x204c), CR(0x2050), CR(0x2054));

	ctrl = CR(0x2004);
	for (region = 0; region < OSD_REGION_MAX; region++) {
		ST_KER_OSD_REGION_CTX *r = &c->astRegion[region];
		u32 half = ctrl >> (16 * region), off = 0x30 * region;

		r->bRegionShow = BITV(half, 0);
		r->bAlphaBlend = BITV(half, 3);
		r->abColorKey[0] = BITV(half, 5);
		r->abColorKey[1] = BITV(half, 6);
		r->enColor = _ker_osd_Convert_ColorRegValToMode(half);
		r->stScaleEnable.bHScaleUp = BITV(ctrl, 1);
		r->stScaleEnable.bVScaleUp = BITV(ctrl, 1);
		bpp = OSD_COLOR_BPP(r->enColor);
		v = CR(0x2028 + off);
		r->stDstWin.u32X = FIELD(v, 28, 16);
		r->stDstWin.u32Y = FIELD(v, 11, 0);
		v = CR(0x2030 + off);
		r->stDstWin.u32W = FIELD(v, 28, 16);
		r->stDstWin.u32H = FIELD(v, 11, 0);
		r->u32Stride = FIELD(CR(0x202c + off), 28, 16) * bpp;
		r->stScaleFactor.u32HFactor = FIELD(CR(0x2034 + off), 16, 0);
		r->stScaleFactor.u32VFactor = FIELD(CR(0x2038 + off), 16, 0);
		r->u32Alpha = CR(0x203c + off);
		r->u32ReadOffset = FIELD(CR(0x2040 + off), 4, 0);
		r->stSrcSize.u32W = FIELD(CR(0x2048 + off), 12, 0);
		r->stDispWin.stSrcWin.u32X = r->u32ReadOffset;
		r->stDispWin.stSrcWin.u32W = r->stSrcSize.u32W;
		r->stDispWin.stDstWin = r->stDstWin;
	}
	c->astRegion[0].u32TotalRQuant = FIELD(CR(0x20e8), 20, 0);
	osd_decode_keys(&c->astRegion[0], CR(0x2120), CR(0x2124), CR(0x21dc), CR(0x21e0));
	v = CR(0x2280);
	start = FIELD(osd_read(OSD_REG(0x228c)), 8 * k + 1, 8 * k) << 30 | FIELD(v, 24, 0) << 5;
	c->astRegion[0].bVFlip = BITV(v, 31);
	c->astRegion[0].u32StartAddr = start;
	c->astRegion[0].stBufPhyAddrSize.u32StartAddr = start;
#undef CR
}

void _ker_osd_PreInitSetting(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion)
{
	ST_KER_OSD_PLANE_CTX *c;
	ST_DRV_OSD_GLOBAL_SETTING *s;
	u32 v, i;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	c = osd_ctx(enPlane);
	s = osd_setting(enPlane);

	if (enPlane == OSD_NORMAL1) {
		/* update control and every register shared by the planes */
		osd_adopt_range(0, 2);
		osd_adopt_range(osd_shadow_index(OSD_REG(0x030)), 70);
	}
	if (OSD_IS_CURSOR(enPlane)) {
		osd_adopt_range(osd_shadow_index(osd_cursor_reg(OSD_REG(0x2028), enPlane)), 38);
		if (enPlane == OSD_CURSOR1)
			osd_adopt_range(osd_shadow_index(OSD_REG(0x2000)), 15);
	} else {
		osd_adopt_range(osd_shadow_index(osd_normal_reg(OSD_REG(0x110), enPlane)), 40);
	}

	if (c) {
		if (OSD_IS_CURSOR(enPlane))
			osd_decode_cursor(enPlane, c);
		else
			osd_decode_normal(enPlane, c);
	}
	if (enPlane == OSD_NORMAL1 || enPlane == OSD_CURSOR1)
		osd_decode_globals(c, s, OSD_IS_CURSOR(enPlane));
	if (enPlane == OSD_CURSOR1 && s)
		s->u32BootState = (c && c->pu8BootState) ? *c->pu8BootState : 0;

	if (enPlane == OSD_NORMAL1) {
		osd_prog(OSD_REG(0xb004), 0x7, 0);
		osd_prog(OSD_REG(0x420), ~0u, 0x32100000);
		osd_write_hw(OSD_REG(0x428), 1);
		v = osd_adopt(OSD_REG(0x420));
		if (s) {
			for (i = 0; i < 4; i++)
				s->au32PaletteMap[i] = FIELD(v, 29 - 4 * i, 28 - 4 * i);
			s->u32VSyncUpdate = 1;
		}
		if (c)
			c->bTimingFlag = BITV(osd_read(OSD_REG(0x900)), 0);
	}
	if (!OSD_IS_CURSOR(enPlane)) {
		osd_prog(osd_normal_reg(OSD_REG(0x402c), enPlane), 0x600, 0);
		osd_prog(osd_normal_reg(OSD_REG(0x40f0), enPlane), 0x3ff01, 0x3ff01);
	}
	if (c) {
		c->bUpdateWaitSkip = 0;
		c->au32FbPreset[0] = 0;
		c->au32FbPreset[1] = 6;
		c->au32FbPreset[2] = 9;
		c->au32FbPreset[3] = 1;
	}
	OSD_LEAVE();
}

/* ------------------------------------------------------------------ */
/* Open and close                                                       */
/* ------------------------------------------------------------------ */

static void osd_open_plane(EN_DRV_OSD_PLANE_ID p)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(p);
	ST_DRV_OSD_GLOBAL_SETTING *s = osd_setting(p);
	ST_DRV_OSD_PROTECT_AREA stArea = { .u32AlphaThrd = 64, .u32HEnd = 0 };
	ST_DRV_OSD_DPVDE_REF stRef = { 0, 0 };
	u32 boot = s ? s->u32BootState : 0, dbl;
	u8 on, off = 0;

	if ((unsigned int)p >= OSD_PLANE_MAX)
		return;
	gau8PalettePending[p] = 0;
	on = boot == 0;
	_ker_osd_ProtectArea_Enable(p, &on);
	_ker_osd_Set_ProtectArea(p, &stArea);
	if (c) {
		c->bProtectArea = on;
		c->stProtectArea = stArea;
	}

	if (OSD_IS_CURSOR(p)) {
		if (p == OSD_CURSOR1) {
			dbl = boot != 0;
			_ker_osd_Set_DBLSync(p, &dbl);
			_ker_osd_Set_DPVDERef(p, &stRef);
			if (s)
				s->u32DBLSync = dbl;
			osd_prog(OSD_REG(0x22c8), 0xff0000, 0);
			osd_prog(OSD_REG(0x22c8), BIT(18), BIT(18));
		}
		osd_prog(osd_cursor_reg(OSD_REG(0x2254), p), ~0u, 0x28005a);
		osd_prog(osd_cursor_reg(OSD_REG(0x2220), p), 0x1f0000, 0x1f0000);
		osd_prog(osd_cursor_reg(OSD_REG(0x2004), p), 0x60006, 0x60006);
		osd_prog(osd_cursor_reg(OSD_REG(0x2080), p), ~0u, 0x2020001c);
		_ker_osd_RegionShow_Enable(p, OSD_REGION0, &off);
		_ker_osd_RegionShow_Enable(p, OSD_REGION1, &off);
		return;
	}

	if (p == OSD_NORMAL1) {
		dbl = !(c && c->bTimingFlag);
		_ker_osd_Set_DBLSync(p, &dbl);
		_ker_osd_Set_DPVDERef(p, &stRef);
		if (s)
			s->u32DBLSync = dbl;
		osd_prog(OSD_REG(0x0d4), 0xff0000, 0);
		osd_prog(OSD_REG(0x0d4), BIT(18), BIT(18));
	}
	osd_prog(osd_normal_reg(OSD_REG(0x1f0), p), ~0u, 0xaa0154);
	if (p == OSD_NORMAL3) {
		ST_DRV_OSD_LBM_THRD stThrd = { 0, 0, 7 };

		if (c) {
			c->stLBMThrd.u32Thrd2 = 7;
			stThrd = c->stLBMThrd;
		}
		_ker_osd_Set_LBMThrd(p, &stThrd);
	}
	osd_prog(osd_normal_reg(OSD_REG(0x1ec), p), 0x1f00, 0);
	osd_prog(osd_normal_reg(OSD_REG(0x1ec), p), BIT(8), p == OSD_NORMAL2 ? 0 : BIT(8));
	osd_prog(osd_normal_reg(OSD_REG(0x1d0), p), 0xff000000, 0x20000000);
	osd_prog(osd_normal_reg(OSD_REG(0x1d4), p), 0xff000000, 0x20000000);
	osd_prog(osd_normal_reg(OSD_REG(0x1e8), p), ~0u, 28);
}

void _ker_osd_Open(void)
{
	ST_DRV_OSD_GLOBAL_SETTING *s;
	struct task_struct *task;
	u32 thrd = 0;
	u8 on = 1;
	int i;

	OSD_ENTER();
	WRITE_ONCE(gatPaletteMutexUp, 0);
	spin_lock_init(&gstOsdUpdateLock);
	for (i = 0; i < OSD_VSYNC_CTX_NUM; i++) {
		init_waitqueue_head(&gastVSyncContext[i].waitQueueHead);
		gastVSyncContext[i].done = 0;
		gastVSyncContext[i].waiting = 0;
	}
	gu32ATVCheckCount = 0;
	gu32SignalRetryCount = 0;
	gstVideoWinSize.u32W = OSD_VIDEO_WIN_W;
	gstVideoWinSize.u32H = OSD_VIDEO_WIN_H;

	for (i = 0; i < OSD_PLANE_MAX; i++)
		osd_open_plane(genPlaneStartOrder[i]);

	_ker_osd_DualOutput_Enable(OSD_NORMAL1, &on);
	s = osd_setting(OSD_NORMAL1);
	if (s)
		s->bDualOutput = 1;
	{
		u32 dbl = 1;

		_ker_osd_Set_DBLSync(OSD_NORMAL1, &dbl);
	}
	_ker_osd_Set_PaletteCtrl(OSD_NORMAL1, &on);
	_ker_osd_XVYCC_Enable(OSD_NORMAL1, &on);
	_ker_osd_XVYCCTimingSelection_Enable(OSD_NORMAL1, &on);
	_ker_osd_Set_XVYCCUpdateCtrl(OSD_NORMAL1, &on);

	osd_prog(OSD_REG(0x04c), ~0u, 0xffffffff);
	osd_prog(OSD_REG(0x06c), ~0u, 0xff000000);
	osd_prog(OSD_REG(0x08c), ~0u, 0xffff0000);
	osd_prog(OSD_REG(0x0a4), ~0u, 0xff0000ff);

	_ker_osd_Show_Enable(OSD_NORMAL1, &on);
	_ker_osd_Show_Enable(OSD_CURSOR1, &on);

	for (i = 0; i < OSD_PLANE_MAX; i++) {
		_ker_osd_AlphaCal_Enable(i, &on);
		_ker_osd_Set_AlphaCalThrd(i, &thrd);
	}

	gbOsdIrqGranted = KER_SYS_IRQRequest(OSD_IRQ_DPVSYNC, _ker_osd_DpIRQHandler, 0,
					     "DpVsync", NULL, 1, NULL) == 0;
	if (!gbOsdIrqGranted)
		OSD_ERR("Register DpVsync IRQ fail !\n");

	sema_init(&gstScrollContext.stSem, 1);
	init_waitqueue_head(&gstScrollContext.waitQueueHead);
	gstScrollContext.u8Pending = 0;
	gstScrollContext.u32Idle = 0;
	gstScrollContext.s32Plane = -1;
	task = kthread_create(_ker_osd_ScrollTaskProc, NULL, "OSD-Scroll-Task");
	if (IS_ERR(task)) {
		/* without a task nothing scrolls; disabling must not wait for it */
		gstScrollContext.pstTask = NULL;
		gstScrollContext.u32Idle = 1;
	} else {
		gstScrollContext.pstTask = task;
		wake_up_process(task);
	}

	for (i = OSD_NORMAL1; i <= OSD_NORMAL3; i++) {
		ST_KER_OSD_PLANE_CTX *c = osd_ctx(i);

		if (c)
			c->bAutoMute = 1;
		_ker_osd_AutoMute_Enable(i, &on);
	}

	mutex_lock(&gstOsdPowerLock);
	gbOsdOpened = true;
	mutex_unlock(&gstOsdPowerLock);
	OSD_LEAVE();
}

void _ker_osd_Close(void)
{
	struct task_struct *task;
	u8 off = 0;
	int p;

	OSD_ENTER();
	mutex_lock(&gstOsdPowerLock);
	gbOsdOpened = false;
	mutex_unlock(&gstOsdPowerLock);

	_ker_osd_Show_Enable(OSD_NORMAL1, &off);
	_ker_osd_Show_Enable(OSD_CURSOR1, &off);
	if (gbOsdIrqGranted) {
		KER_SYS_IRQFree(OSD_IRQ_DPVSYNC, _ker_osd_DpIRQHandler, NULL, 0);
		gbOsdIrqGranted = false;
	}
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		ST_KER_OSD_PLANE_CTX *c = osd_ctx(p);

		/* a suspend that no resume followed gives its semaphores back */
		if (gabSuspendSemTaken[p]) {
			gabSuspendSemTaken[p] = false;
			if (c)
				up(&c->stSem);
		}
	}
	task = gstScrollContext.pstTask;
	if (task) {
		kthread_stop(task);
		gstScrollContext.pstTask = NULL;
		gstScrollContext.u32Idle = 1;
	}
	OSD_LEAVE();
}

/* ------------------------------------------------------------------ */
/* Suspend and resume                                                   */
/* ------------------------------------------------------------------ */

static void osd_latch_all(void)
{
	int n;

	osd_write_hw(OSD_REG(0x000), osd_shadow_value(OSD_REG(0x000)) | 1);
	for (n = OSD_NORMAL1; n <= OSD_NORMAL3; n++) {
		u32 sel = osd_normal_reg(OSD_REG(0x12c), n);
		u32 latch = osd_normal_reg(OSD_REG(0x100), n);

		osd_write_hw(sel, osd_shadow_value(sel) | 1);
		osd_write_hw(latch, osd_shadow_value(latch) | 1);
	}
	osd_write_hw(OSD_REG(0x210c), osd_shadow_value(OSD_REG(0x210c)) | BIT(30));
	osd_write_hw(OSD_REG(0xb000), OSD_UPLOAD_ALL);
	_ker_osd_WaitUploadDone();
}

void _ker_osd_Set_Suspend(void)
{
	ST_KER_OSD_PLANE_CTX *c;
	ktime_t t0 = ktime_get();
	u8 on = 1, off = 0;
	int p, i;

	mutex_lock(&gstOsdPowerLock);
	if (!gbOsdOpened) {
		mutex_unlock(&gstOsdPowerLock);
		return;
	}
	OSD_MSG_LEVEL(KERN_INFO, "@suspend(in) %s\n", __func__);

	for (p = 0; p < OSD_PLANE_MAX; p++)
		gau8PalettePending[p] = 0;

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		c = osd_ctx(p);
		if (!c)
			continue;
		c->bSuspended = 1;
		if (gabSuspendSemTaken[p])
			continue;	/* held since an earlier suspend */
		for (i = 0; i < OSD_SUSPEND_TRIES; i++) {
			if (!down_trylock(&c->stSem)) {
				gabSuspendSemTaken[p] = true;
				break;
			}
			OSD_MSG("%s(), PlaneID = %d, Busy waiting to lock fb_Ioctl/fb_PanDisplay Mutex (Semaphore) ...\n",
				__func__, p);
			msleep(OSD_SUSPEND_SLEEP_MS);
		}
	}

	for (i = 0; i < OSD_VSYNC_CTX_NUM; i++) {
		ST_KER_OSD_VSYNC_CTX *v = &gastVSyncContext[i];
		int tries;

		if (READ_ONCE(v->waiting) != 1)
			continue;
		for (tries = 0; tries < OSD_SUSPEND_TRIES &&
		     READ_ONCE(v->waiting) == 1 && !READ_ONCE(v->done); tries++) {
			OSD_MSG("%s(), PlaneID = %d, Busy waiting to wait \"Blocking\" DP_VSync interrupt complete ...\n",
				__func__, i);
			msleep(OSD_SUSPEND_SLEEP_MS);
		}
	}

	for (p = 0; p < OSD_PLANE_MAX; p++)
		_ker_osd_AXIFreeze_Enable(p, &on);
	_ker_osd_Show_Enable(OSD_NORMAL1, &off);
	_ker_osd_Show_Enable(OSD_CURSOR1, &off);

	osd_prog_hw(OSD_REG(0x000), BIT(0), BIT(0));
	for (p = OSD_NORMAL1; p <= OSD_NORMAL3; p++) {
		osd_write_hw(osd_normal_reg(OSD_REG(0x12c), p), 1);
		osd_write_hw(osd_normal_reg(OSD_REG(0x100), p), 1);
	}
	osd_prog_hw(OSD_REG(0x210c), BIT(30), BIT(30));
	osd_write_hw(OSD_REG(0xb000), OSD_UPLOAD_ALL);
	_ker_osd_WaitUploadDone();

	if (KER_PMI_Mode() == OSD_PMI_INACTIVE)
		for (i = 0; i < ARRAY_SIZE(gau32SuspendClocks); i++)
			KER_CLK_SetClockMask(gau32SuspendClocks[i], 0);

	OSD_MSG_LEVEL(KERN_INFO, "@suspend_time/%s/%d/msec\n", __func__,
		(int)ktime_ms_delta(ktime_get(), t0));
	mutex_unlock(&gstOsdPowerLock);
}

static bool osd_resume_skips(u32 u32Addr)
{
	static const u32 skip[] = {
		OSD_REG(0x404), OSD_REG(0x408), OSD_REG(0x410), OSD_REG(0x000),
		OSD_REG(0x100), OSD_REG(0x200), OSD_REG(0x300), OSD_REG(0x210c),
	};
	int i;

	for (i = 0; i < ARRAY_SIZE(skip); i++)
		if (skip[i] == u32Addr)
			return true;
	return false;
}

static void osd_resume_palette(EN_DRV_OSD_PLANE_ID p, bool first)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(p);
	ST_DRV_OSD_GLOBAL_SETTING *s = osd_setting(p);
	u32 f[4], v, t;
	int i;

	if (first) {
		if ((osd_read(OSD_REG(0x410)) & 0x14) != 0x14) {
			osd_prog(OSD_REG(0x410), ~0u, 0x14);
			osd_write_hw(OSD_REG(0x428), 1);
			_ker_osd_WaitPaletteTrigger();
		}
	} else {
		_ker_osd_WaitPaletteTrigger();
	}
	if (!c->pu32KeepPalette) {
		OSD_ERR("Palette Data address is NULL\n");
		return;
	}
	if (!c->u32PaletteValid)
		memset(c->pu32KeepPalette, 0, OSD_PALETTE_BYTES);
	osd_prog(OSD_REG(0x404), ~0u, 0);
	for (i = 0; i < OSD_PALETTE_ENTRIES; i++)
		osd_prog(OSD_REG(0x408), ~0u, c->pu32KeepPalette[i]);

	/* the plane's own field (17:16, 21:20, 25:24) changes place with 29:28 */
	v = osd_read(OSD_REG(0x420));
	for (i = 0; i < 4; i++)
		f[i] = FIELD(v, 29 - 4 * i, 28 - 4 * i);
	t = f[0];
	f[0] = f[3 - p];
	f[3 - p] = t;
	v = 0;
	for (i = 0; i < 4; i++) {
		v |= f[i] << (28 - 4 * i);
		if (s)
			s->au32PaletteMap[i] = f[i];
	}
	osd_prog(OSD_REG(0x420), 0x33330000, v);
	osd_write_hw(OSD_REG(0x428), 1);
}

void _ker_osd_Set_Resume(void)
{
	ST_KER_OSD_SHADOW_REG *r;
	ST_KER_OSD_PLANE_CTX *c;
	ktime_t t0 = ktime_get();
	bool first = true;
	u8 on = 1;
	u32 i;
	int p;

	mutex_lock(&gstOsdPowerLock);
	if (!gbOsdOpened) {
		mutex_unlock(&gstOsdPowerLock);
		return;
	}
	OSD_MSG_LEVEL(KERN_INFO, "@resume(in) %s\n", __func__);

	if (KER_PMI_Mode() == OSD_PMI_INACTIVE)
		for (i = 0; i < ARRAY_SIZE(gau32ResumeClocks); i++)
			KER_CLK_SetClockMask(gau32ResumeClocks[i], 1);

	for (i = 0; i < _ker_osd_Shadow_Count(); i++) {
		r = _ker_osd_Shadow_At(i);
		if (!r->u32Addr)
			continue;
		if (r->u32Addr == OSD_REG(0x110) || r->u32Addr == OSD_REG(0x210) ||
		    r->u32Addr == OSD_REG(0x310))
			r->u32Value |= 0xff0000;
		if (!osd_resume_skips(r->u32Addr))
			_ker_osd_Write_Reg(&r->u32Addr, r->u32Value);
	}

	for (i = 0; i < OSD_NORMAL_PLANE_NUM; i++) {
		p = genPlaneStartOrder[i];
		c = osd_ctx(p);
		if (!c || c->astRegion[0].enColor != OSD_COLOR_PALETTE8)
			continue;
		osd_resume_palette(p, first);
		first = false;
	}

	for (p = 0; p < OSD_PLANE_MAX; p++) {
		u8 hidden;

		c = osd_ctx(p);
		hidden = c ? c->bPlaneHidden : 0;
		_ker_osd_AXIFreeze_Enable(p, &hidden);
	}
	_ker_osd_Show_Enable(OSD_NORMAL1, &on);
	_ker_osd_Show_Enable(OSD_CURSOR1, &on);

	osd_latch_all();

	/* out of standby before a call queued on the semaphore gets the plane */
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		c = osd_ctx(p);
		if (c)
			WRITE_ONCE(c->bSuspended, 0);
		if (gabSuspendSemTaken[p]) {
			gabSuspendSemTaken[p] = false;
			if (c)
				up(&c->stSem);
		}
	}

	OSD_MSG_LEVEL(KERN_INFO, "@resume_time/%s/%d/msec\n", __func__,
		(int)ktime_ms_delta(ktime_get(), t0));
	mutex_unlock(&gstOsdPowerLock);
}

// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: plane-wide property operations (show, output paths,
 * masks, measurement and test functions, timing generator).
 *
 * Enable operations program one register field; Is and Get operations
 * return what the framebuffer layer stored in the plane context or setting
 * record before it called the matching Set, unless they read the hardware.
 */
#include <linux/kernel.h>

#include "hal_osd.h"

#define FIELD(v, hi, lo)	(((v) >> (lo)) & (u32)(BIT_ULL((hi) - (lo) + 1) - 1))

/* The normal plane a cursor plane borrows registers from (plane - 3). */
static EN_DRV_OSD_PLANE_ID osd_borrowed_normal(EN_DRV_OSD_PLANE_ID enPlane)
{
	return OSD_IS_CURSOR(enPlane) ? enPlane - 3 : enPlane;
}

/* Programs bit 'bit' of the normal or cursor register for an enable byte. */
static void osd_enable_bit(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Normal, int nbit,
			   u32 u32Cursor, int cbit, u8 u8On)
{
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(u32Cursor, BIT(cbit), osd_bit(cbit, u8On));
	else
		osd_prog(u32Normal, BIT(nbit), osd_bit(nbit, u8On));
}

/* ---- getters of stored values -------------------------------------- */

#define OSD_CTX_GETTER(fn, type, expr)						\
void fn(EN_DRV_OSD_PLANE_ID enPlane, type *pOut)				\
{										\
	ST_KER_OSD_PLANE_CTX *c;						\
										\
	OSD_ENTER();								\
	OSD_CHECK_PLANE(enPlane);						\
	c = osd_ctx(enPlane);							\
	if (!pOut || !c)							\
		return;								\
	*pOut = (expr);								\
	OSD_LEAVE();								\
}

#define OSD_SET_GETTER(fn, type, field)						\
void fn(EN_DRV_OSD_PLANE_ID enPlane, type *pOut)				\
{										\
	ST_DRV_OSD_GLOBAL_SETTING *s;						\
										\
	OSD_ENTER();								\
	OSD_CHECK_PLANE(enPlane);						\
	s = osd_setting(enPlane);						\
	if (!pOut || !s)							\
		return;								\
	*pOut = s->field;							\
	OSD_LEAVE();								\
}

OSD_SET_GETTER(_ker_osd_IsUpdateSyncByATV, u8, bUpdateSyncByATV)
OSD_SET_GETTER(_ker_osd_Get_DBLSync, u32, u32DBLSync)
OSD_SET_GETTER(_ker_osd_IsShow, u8, bShow)
OSD_SET_GETTER(_ker_osd_IsDramSaveMode, u8, bDramSaveMode)
OSD_SET_GETTER(_ker_osd_IsDualOutput, u8, bDualOutput)
OSD_SET_GETTER(_ker_osd_Is3DMode, u8, b3DMode)

OSD_CTX_GETTER(_ker_osd_IsPlaneShow, u8, c->bPlaneShow)
OSD_CTX_GETTER(_ker_osd_IsAXIFreeze, u8, c->bPlaneHidden)
OSD_CTX_GETTER(_ker_osd_IsAutoMuteEnable, u8, c->bAutoMute)
OSD_CTX_GETTER(_ker_osd_Get_DPVDERef, ST_DRV_OSD_DPVDE_REF, c->stDPVDERef)
OSD_CTX_GETTER(_ker_osd_IsPureOutput, u8, c->bPureOutput)
OSD_CTX_GETTER(_ker_osd_IsSelfFrameWin, u8, c->bSelfFrameWin)
OSD_CTX_GETTER(_ker_osd_Get_SelfFrameWin, ST_DRV_OSD_SELF_FRAME_WIN, c->stSelfFrameWin)
OSD_CTX_GETTER(_ker_osd_Get_PlaneOrder, EN_DRV_OSD_PLANE_ORDER, c->u32PlaneOrder)
OSD_CTX_GETTER(_ker_osd_Get_LBMAddr, ST_DRV_OSD_LBM_ADDR, c->stLBMAddr)
OSD_CTX_GETTER(_ker_osd_IsAlphaCal, u8, c->bAlphaCal)
OSD_CTX_GETTER(_ker_osd_Get_AlphaCalThrd, u32, c->u32AlphaCalThrd)
OSD_CTX_GETTER(_ker_osd_IsProtectArea, u8, c->bProtectArea)
OSD_CTX_GETTER(_ker_osd_Get_ProtectArea, ST_DRV_OSD_PROTECT_AREA, c->stProtectArea)
OSD_CTX_GETTER(_ker_osd_IsFlushAXIRead, u8, c->bFlushAXIRead)
OSD_CTX_GETTER(_ker_osd_Get_FlushAXIReadPattern, u32, c->u32FlushAXIReadPattern)
OSD_CTX_GETTER(_ker_osd_Get_ScaleUpCtrl, ST_DRV_OSD_SCALE_UP_CTRL, c->stScaleUpCtrl)
OSD_CTX_GETTER(_ker_osd_Get_ScaleDownCtrl, ST_DRV_OSD_SCALE_DOWN_CTRL, c->stScaleDownCtrl)
OSD_CTX_GETTER(_ker_osd_IsMultiRegion, u8, c->bMultiRegion)
OSD_CTX_GETTER(_ker_osd_IsBISTMode, u8, c->bBISTMode)
OSD_CTX_GETTER(_ker_osd_Get_BISTMode, ST_DRV_OSD_BIST_MODE, c->stBISTMode)
OSD_CTX_GETTER(_ker_osd_Get_RegionBoundary, ST_DRV_OSD_REGION_BOUNDARY, c->stRegionBoundary)
OSD_CTX_GETTER(_ker_osd_Get_LBMThrd, ST_DRV_OSD_LBM_THRD, c->stLBMThrd)
OSD_CTX_GETTER(_ker_osd_IsGainOffset, u8, c->bGainOffset)
OSD_CTX_GETTER(_ker_osd_Get_GainOffset, ST_DRV_OSD_GAIN_OFFSET, c->stGainOffset)
OSD_CTX_GETTER(_ker_osd_Get_CurrentBufOrder, EN_DRV_OSD_CURRENT_BUF_ORDER, c->u32CurrentBufOrder)
OSD_CTX_GETTER(_ker_osd_IsHFlip, u8, c->bHFlip)
OSD_CTX_GETTER(_ker_osd_IsSkipAlpha, u8, c->bSkipAlpha)
OSD_CTX_GETTER(_ker_osd_Get_TimeGen, ST_DRV_OSD_TIME_GEN, c->stTimeGen)

void _ker_osd_Set_VideoWinSize(ST_SIZE *pstSize)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(OSD_NORMAL1);

	OSD_ENTER();
	if (!pstSize)
		return;
	gstVideoWinSize = *pstSize;
	if (_ker_osd_IsGPE())
		WRITE_ONCE(genOSDTimingMode, c && c->bTimingGen ? 2 : 0);
	OSD_LEAVE();
}

void _ker_osd_Get_VideoWinSize(ST_SIZE *pstSize)
{
	OSD_ENTER();
	if (pstSize)
		*pstSize = gstVideoWinSize;
	OSD_LEAVE();
}

/* ---- show, mute, output paths --------------------------------------- */

void _ker_osd_UpdateSyncByATV_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_enable_bit(enPlane, OSD_REG(0x000), 16, OSD_REG(0x2108), 0, *pbEnable);
	OSD_LEAVE();
}

void _ker_osd_PlaneShow_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	ST_KER_OSD_PLANE_CTX *c;
	bool show;
	int k;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	show = pbEnable && *pbEnable;
	if (gau8ForceDisable[enPlane] == 1) {
		OSD_DBG("Force Disable OSD plane\n");
		show = false;
	}
	if (show && osd_scan_may_show(enPlane, -1))
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		k = enPlane - 3;
		if (show) {
			osd_prog(OSD_REG(0x2270), BIT(k), 0);
			osd_prog(OSD_REG(0x2000), BIT(enPlane - 2), BIT(enPlane - 2));
		} else {
			osd_prog(OSD_REG(0x2000), BIT(enPlane - 2), 0);
			osd_prog(OSD_REG(0x2270), BIT(k), BIT(k));
		}
	} else {
		osd_prog(OSD_REG(0x004), BIT(enPlane + 1) | BIT(enPlane + 8),
			 show ? BIT(enPlane + 1) : BIT(enPlane + 8));
	}
	/* the freeze bit moved: resume puts back what is stored */
	c = osd_ctx(enPlane);
	if (c)
		c->bPlaneHidden = !show;
	OSD_LEAVE();
}

void _ker_osd_Get_AutoMuteStatus(EN_DRV_OSD_PLANE_ID enPlane, u8 *pu8Status)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu8Status)
		return;
	if (OSD_IS_CURSOR(enPlane))
		*pu8Status = (osd_read(OSD_REG(0x2248)) >> (enPlane + 10)) & 1;
	else
		*pu8Status = (osd_read(OSD_REG(0x004)) >> (enPlane + 28)) & 1;
	OSD_LEAVE();
}

void _ker_osd_DramSaveMode_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	/* the bits turn the saving off */
	osd_enable_bit(enPlane, OSD_REG(0x008), 0, OSD_REG(0x2000), 24, !*pbEnable);
	OSD_LEAVE();
}

void _ker_osd_PureOutput_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_enable_bit(enPlane, OSD_REG(0x008), 4 * enPlane + 16, OSD_REG(0x2270), enPlane + 5,
		       !*pbEnable);
	OSD_LEAVE();
}

/* Operations the framebuffer layer never reaches: trace lines only. */
#define OSD_TRACE_ONLY(fn)							\
void fn(EN_DRV_OSD_PLANE_ID enPlane, void *pArg)				\
{										\
	OSD_ENTER();								\
	OSD_LEAVE();								\
}

OSD_TRACE_ONLY(_ker_osd_3DMode_Enable)
OSD_TRACE_ONLY(_ker_osd_Set_3DMode)
OSD_TRACE_ONLY(_ker_osd_Get_3DMode)
OSD_TRACE_ONLY(_ker_osd_Set_3DDisparity)
OSD_TRACE_ONLY(_ker_osd_Get_3DDisparity)
OSD_TRACE_ONLY(_ker_osd_Set_3DHalfCtrl)
OSD_TRACE_ONLY(_ker_osd_Get_3DHalfCtrl)
OSD_TRACE_ONLY(_ker_osd_TransparentKey_Enable)
OSD_TRACE_ONLY(_ker_osd_IsTransparentKey)
OSD_TRACE_ONLY(_ker_osd_Set_TransparentKey)
OSD_TRACE_ONLY(_ker_osd_Get_TransparentKey)

void _ker_osd_SelfFrameWin_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_enable_bit(enPlane, OSD_REG(0x020), 31, OSD_REG(0x2100), 31, *pbEnable);
	OSD_LEAVE();
}

void _ker_osd_Set_SelfFrameWin(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_SELF_FRAME_WIN *pstWin)
{
	u32 v;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstWin)
		return;
	/* both planes' values are built on what the normal register holds */
	v = (osd_read(OSD_REG(0x020)) & 0xe0007800) | (pstWin->u32XVariation & 0x1fff) << 16 |
	    (pstWin->u32Trigger & 1) << 15 | (pstWin->u32YVariation & 0x7ff);
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x2100) : OSD_REG(0x020), ~0u, v);
	OSD_LEAVE();
}

void _ker_osd_Layer1BehindVideo_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		OSD_ERR_RL("Not support for Cursor plane!\n");
		return;
	}
	osd_prog(OSD_REG(0x02c), BIT(0), osd_bit(0, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_IsLayer1BehindVideo(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	ST_KER_OSD_PLANE_CTX *c;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		*pbEnable = 0;
		OSD_ERR_RL("Not support for Cursor plane!\n");
		return;
	}
	c = osd_ctx(enPlane);
	if (c)
		*pbEnable = c->bLayer1BehindVideo;
	OSD_LEAVE();
}

/* ---- video masks ------------------------------------------------------ */

#define OSD_CHECK_MASK(plane, layer, mask)					\
	do {									\
		if (_ker_osd_Check_Ids(OSD_ID_LAYER | OSD_ID_MASK, (plane), 0, 0, \
				       (layer), (mask)))			\
			return;							\
	} while (0)

static bool osd_normal_only(EN_DRV_OSD_PLANE_ID enPlane)
{
	if (!OSD_IS_CURSOR(enPlane))
		return true;
	OSD_ERR_RL("Not support for Cursor plane!\n");
	return false;
}

void _ker_osd_VideoMask_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_LAYER_ID enLayer,
			       EN_DRV_OSD_VIDEO_MASK_ID enMask, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_MASK(enPlane, enLayer, enMask);
	if (!pbEnable || !osd_normal_only(enPlane))
		return;
	osd_prog(OSD_REG(0x030 + 0x20 * enLayer), BIT(4 * enMask), osd_bit(4 * enMask, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_IsVideoMask(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_LAYER_ID enLayer,
			  EN_DRV_OSD_VIDEO_MASK_ID enMask, u8 *pbEnable)
{
	ST_KER_OSD_PLANE_CTX *c;

	OSD_ENTER();
	OSD_CHECK_MASK(enPlane, enLayer, enMask);
	c = osd_ctx(enPlane);
	if (pbEnable && c)
		*pbEnable = c->astVideoMask[enLayer][enMask].bEnable;
	OSD_LEAVE();
}

void _ker_osd_Set_VideoMask(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_LAYER_ID enLayer,
			    EN_DRV_OSD_VIDEO_MASK_ID enMask, ST_DRV_OSD_VIDEO_MASK_CTRL *pstMask)
{
	u32 base, sh;

	OSD_ENTER();
	OSD_CHECK_MASK(enPlane, enLayer, enMask);
	if (!pstMask || !osd_normal_only(enPlane))
		return;
	base = OSD_REG(0x030 + 0x20 * enLayer);
	sh = 16 * enMask;
	osd_prog(base + 0x04, 0x7fu << sh, (pstMask->u32Disparity3D & 0x7f) << sh);
	osd_prog(base + 0x08 + 8 * enMask, ~0u,
		 (pstMask->u32X & 0xfff) << 16 | (pstMask->u32Y & 0xfff));
	osd_prog(base + 0x0c + 8 * enMask, ~0u,
		 (pstMask->u32W & 0xfff) << 16 | (pstMask->u32H & 0xfff));
	osd_prog(base + 0x18, 0x1fu << sh, (pstMask->u32Delay & 0x1f) << sh);
	OSD_LEAVE();
}

void _ker_osd_Get_VideoMask(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_LAYER_ID enLayer,
			    EN_DRV_OSD_VIDEO_MASK_ID enMask, ST_DRV_OSD_VIDEO_MASK_CTRL *pstMask)
{
	ST_KER_OSD_PLANE_CTX *c;

	OSD_ENTER();
	OSD_CHECK_MASK(enPlane, enLayer, enMask);
	c = osd_ctx(enPlane);
	if (pstMask && c)
		*pstMask = c->astVideoMask[enLayer][enMask];
	OSD_LEAVE();
}

/* ---- line buffer, alpha calculation, protect area, AXI ---------------- */

void _ker_osd_Set_LBMAddr(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_LBM_ADDR *pstAddr)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstAddr || !osd_normal_only(enPlane))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x090), enPlane), ~0u,
		 (pstAddr->u32End & 0x7ff) << 16 | (pstAddr->u32Start & 0x7ff));
	OSD_LEAVE();
}

void _ker_osd_Get_LBMStatus(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_LBM_STATUS *pstStatus)
{
	u32 v;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstStatus)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		v = osd_read(OSD_REG(0x2248));
		pstStatus->u8Status = (v >> (2 * enPlane)) & 1;
		pstStatus->u8Error = (v >> (enPlane + 10)) & 1;
	} else {
		v = osd_read(OSD_REG(0x09c));
		pstStatus->u8Status = (v >> (4 * enPlane)) & 1;
		pstStatus->u8Error = (v >> (4 * enPlane + 12)) & 1;
	}
	OSD_LEAVE();
}

void _ker_osd_Get_AlphaCalCount(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Count)
{
	ST_DRV_OSD_GLOBAL_SETTING *s;
	u32 n;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu32Count)
		return;
	s = osd_setting(enPlane);
	if (OSD_IS_CURSOR(enPlane)) {
		n = osd_read(osd_cursor_reg(OSD_REG(0x22e8), enPlane)) & 0xffffff;
		if (s && s->bDualOutput == 1)
			n += osd_read(osd_cursor_reg(OSD_REG(0x22f4), enPlane)) & 0xffffff;
	} else {
		n = osd_read(osd_normal_reg(OSD_REG(0x0b4), enPlane)) & 0xffffff;
		if (s && s->bDualOutput == 1)
			n += osd_read(osd_normal_reg(OSD_REG(0x0c0), enPlane)) & 0xffffff;
	}
	*pu32Count = n;
	OSD_LEAVE();
}

void _ker_osd_FlushAXIRead_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_enable_bit(enPlane, OSD_REG(0x0f0), 8, OSD_REG(0x2240), 8, *pbEnable);
	OSD_LEAVE();
}

void _ker_osd_Set_FlushAXIReadPattern(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Pattern)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu32Pattern)
		return;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x2244) : OSD_REG(0x0f4), ~0u, *pu32Pattern);
	OSD_LEAVE();
}

/* ---- scaler controls -------------------------------------------------- */

void _ker_osd_Set_ScaleUpCtrl(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_SCALE_UP_CTRL *pstCtrl)
{
	const u32 *f;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstCtrl)
		return;
	f = pstCtrl->au32Ctrl;
	if (OSD_IS_CURSOR(enPlane)) {
		osd_prog(osd_cursor_reg(OSD_REG(0x2080), enPlane), ~0u,
			 f[1] << 24 | (f[0] & 255) << 16 | (f[3] & 3) << 8 | f[2]);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x1d0), enPlane), 0xff000000, f[0] << 24);
		osd_prog(osd_normal_reg(OSD_REG(0x1d4), enPlane), 0xff000000, f[1] << 24);
		osd_prog(osd_normal_reg(OSD_REG(0x1e8), enPlane), ~0u, f[2] | (f[3] & 3) << 8);
	}
	OSD_LEAVE();
}

void _ker_osd_Set_ScaleDownCtrl(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_SCALE_DOWN_CTRL *pstCtrl)
{
	const u32 *f;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstCtrl || !osd_normal_only(enPlane))
		return;
	f = pstCtrl->au32Ctrl;
	osd_prog(osd_normal_reg(OSD_REG(0x1d8), enPlane), 0x1f00000, f[0] << 20);
	osd_prog(osd_normal_reg(OSD_REG(0x1dc), enPlane), 0x1f00000, f[1] << 20);
	osd_prog(osd_normal_reg(OSD_REG(0x1e0), enPlane), ~0u,
		 f[6] << 30 | (f[5] & 3) << 28 | (f[4] & 0x3ff) << 16 | (f[3] & 1) << 12 |
		 (f[2] & 0x3ff));
	osd_prog(osd_normal_reg(OSD_REG(0x1e4), enPlane), ~0u,
		 (f[10] & 3) << 30 | (f[9] & 0x3ff) << 16 | (f[8] & 1) << 12 | (f[7] & 0x3ff));
	OSD_LEAVE();
}

void _ker_osd_Set_ScalePathSel(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_SCALE_PATH_SEL *pstSel)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstSel || !osd_normal_only(enPlane))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x104), enPlane), 0x7,
		 (pstSel->au32Sel[0] & 1) | (pstSel->au32Sel[1] & 1) << 1 |
		 (pstSel->au32Sel[2] & 1) << 2);
	OSD_LEAVE();
}

/* ---- plane control bits ----------------------------------------------- */

#define OSD_NORMAL_ONLY_BIT(fn, off, bit)					\
void fn(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)				\
{										\
	OSD_ENTER();								\
	OSD_CHECK_PLANE(enPlane);						\
	if (!pbEnable || !osd_normal_only(enPlane))				\
		return;								\
	osd_prog(osd_normal_reg(OSD_REG(off), enPlane), BIT(bit),		\
		 osd_bit(bit, *pbEnable));					\
	OSD_LEAVE();								\
}

OSD_NORMAL_ONLY_BIT(_ker_osd_MultiRegion_Enable, 0x104, 13)

void _ker_osd_BISTMode_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_enable_bit(enPlane, osd_normal_reg(OSD_REG(0x104), enPlane), 15,
		       osd_cursor_reg(OSD_REG(0x21f4), enPlane), 0, *pbEnable);
	OSD_LEAVE();
}

void _ker_osd_Set_BISTMode(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_BIST_MODE *pstMode)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstMode)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_reg(OSD_REG(0x21f4), enPlane), 0xffffff00,
			 pstMode->u32PixelValue << 16);
	else
		osd_prog(osd_normal_reg(OSD_REG(0x104), enPlane), 0xffff0000,
			 pstMode->u32PixelValue << 16);
	OSD_LEAVE();
}

void _ker_osd_Set_RegionBoundary(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_REGION_BOUNDARY *pstB)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstB || !osd_normal_only(enPlane))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x108), enPlane), ~0u,
		 (pstB->u32B & 0x1fff) << 16 | (pstB->u32A & 0x1fff));
	osd_prog(osd_normal_reg(OSD_REG(0x10c), enPlane), ~0u, pstB->u32C & 0xfff);
	OSD_LEAVE();
}

void _ker_osd_GainOffset_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_enable_bit(enPlane, osd_normal_reg(OSD_REG(0x1f4), enPlane), 24,
		       osd_cursor_reg(OSD_REG(0x204c), enPlane), 24, *pbEnable);
	OSD_LEAVE();
}

void _ker_osd_Set_GainOffset(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_GAIN_OFFSET *pstGain)
{
	u32 gain[3], offset[3], reg;
	int i;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstGain)
		return;
	gain[0] = pstGain->u32GainR;
	gain[1] = pstGain->u32GainG;
	gain[2] = pstGain->u32GainB;
	offset[0] = pstGain->u32OffsetR;
	offset[1] = pstGain->u32OffsetG;
	offset[2] = pstGain->u32OffsetB;
	for (i = 0; i < 3; i++) {
		reg = OSD_IS_CURSOR(enPlane) ? osd_cursor_reg(OSD_REG(0x204c + 4 * i), enPlane)
					     : osd_normal_reg(OSD_REG(0x1f4 + 4 * i), enPlane);
		osd_prog(reg, 0xff03ff, (offset[i] & 255) << 16 | (gain[i] & 0x3ff));
	}
	OSD_LEAVE();
}

void _ker_osd_Set_AlphaSquare(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_ALPHASUARE_PARAM *pstSq)
{
	EN_DRV_OSD_PLANE_ID n;
	u32 mode;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstSq)
		return;
	switch (pstSq->u32Mode) {
	case 0:
		mode = 3;
		break;
	case 1:
		mode = 2;
		break;
	case 2:
		mode = 0;
		break;
	default:
		OSD_WRN("%s: mode error %d\n", __func__, pstSq->u32Mode);
		return;
	}
	n = osd_borrowed_normal(enPlane);
	osd_prog(osd_normal_reg(OSD_REG(0x1f8), n), 0xff000000, pstSq->u32Value << 24);
	osd_prog(osd_normal_reg(OSD_REG(0x1f4), n), 0xf0000000,
		 (pstSq->u32Enable & 1) << 31 | mode << 29);
	OSD_LEAVE();
}

void _ker_osd_Get_AlphaSquare(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_ALPHASUARE_PARAM *pstSq)
{
	EN_DRV_OSD_PLANE_ID n;
	u32 v, m;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstSq)
		return;
	n = osd_borrowed_normal(enPlane);
	v = osd_read(osd_normal_reg(OSD_REG(0x1f4), n));
	m = FIELD(v, 30, 29);
	pstSq->u32Enable = v >> 31;
	pstSq->u32Mode = m == 2 ? 1 : m == 3 ? 0 : 2;
	pstSq->u32Value = osd_read(osd_normal_reg(OSD_REG(0x1f8), n)) >> 24;
	OSD_LEAVE();
}

void _ker_osd_Set_CurrentBufOrder(EN_DRV_OSD_PLANE_ID enPlane,
				  EN_DRV_OSD_CURRENT_BUF_ORDER *penOrder)
{
	int sh;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!penOrder)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		sh = 4 * (enPlane - 3);
		osd_prog(OSD_REG(0x22fc), 0xfu << sh, (u32)*penOrder << sh);
	} else {
		sh = 4 * enPlane;
		osd_prog(OSD_REG(0x0f8), 0xfu << sh, (u32)*penOrder << sh);
	}
	OSD_LEAVE();
}

void _ker_osd_HFlip_Enable(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_HFLIP_PARAM *pstFlip)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstFlip)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		osd_prog(OSD_REG(0x2000), BIT(enPlane + 17), osd_bit(enPlane + 17, pstFlip->bEnable));
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x104), enPlane), BIT(14),
			 osd_bit(14, pstFlip->bEnable));
		osd_prog(osd_normal_reg(OSD_REG(0x10c), enPlane), ~0xfffu,
			 (pstFlip->u32Width & 0x1fff) << 16);
	}
	OSD_LEAVE();
}

void _ker_osd_SkipAlpha_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		OSD_WRN("Cursor not support skip alpha\n");
		return;
	}
	osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), BIT(24), osd_bit(24, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_Set_PreAlpha(EN_DRV_OSD_PLANE_ID enPlane, u8 u8Enable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (OSD_IS_CURSOR(enPlane)) {
		OSD_WRN("Cursor not support pre-alpha\n");
		return;
	}
	osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), BIT(28), osd_bit(28, u8Enable));
	OSD_LEAVE();
}

void _ker_osd_Get_PreAlpha(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	*pbEnable = (osd_read(osd_normal_reg(OSD_REG(0x110), osd_borrowed_normal(enPlane))) >> 28) & 1;
	OSD_LEAVE();
}

/* ---- timing generator, xvYCC, CRC, meters ----------------------------- */

u8 _ker_osd_IsGPE(void)
{
	return (osd_read(OSD_REG(0x990)) >> 8) & 1;
}

void _ker_osd_TimingGen_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable || OSD_IS_CURSOR(enPlane))
		return;
	osd_prog(OSD_REG(0x900), BIT(0), osd_bit(0, *pbEnable));
	if (_ker_osd_IsGPE())
		WRITE_ONCE(genOSDTimingMode, *pbEnable ? 2 : 0);
	OSD_LEAVE();
}

#define OSD_HW_BIT_GETTER(fn, off, bit)						\
void fn(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbOut)					\
{										\
	OSD_ENTER();								\
	OSD_CHECK_PLANE(enPlane);						\
	if (!pbOut)								\
		return;								\
	*pbOut = (osd_read(OSD_REG(off)) >> (bit)) & 1;				\
	OSD_LEAVE();								\
}

OSD_HW_BIT_GETTER(_ker_osd_IsTimingGen, 0x900, 0)
OSD_HW_BIT_GETTER(_ker_osd_IsXVYCCTimingSelection, 0x92c, 6)
OSD_HW_BIT_GETTER(_ker_osd_IsXVYCC, 0x990, 16)

void _ker_osd_Set_TimeGen(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_TIME_GEN *pstGen)
{
	ST_DRV_OSD_GLOBAL_SETTING *s;
	u32 *f;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstGen)
		return;
	s = osd_setting(enPlane);
	if (!s || s->bDualOutput != 1)
		return;
	f = pstGen->au32Value;
	f[0] /= 2;
	f[7] /= 2;
	osd_prog(OSD_REG(0x904), 0x7fffffff, (f[0] & 0x1fff) << 16 | (f[1] & 0xfff));
	osd_prog(OSD_REG(0x908), ~0u, (f[2] & 0x1fff) << 16 | (f[3] & 0xfff));
	osd_prog(OSD_REG(0x910), ~0u, (f[5] & 0x1fff) << 16 | (f[4] & 0xfff));
	osd_prog(OSD_REG(0x914), ~0u, (f[7] & 0x1fff) << 16 | (f[6] & 0xfff));
	OSD_LEAVE();
}

void _ker_osd_CRC_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable || OSD_IS_CURSOR(enPlane))
		return;
	osd_prog(OSD_REG(0x940), ~0u, *pbEnable ? 0x88 : 0);
	OSD_LEAVE();
}

void _ker_osd_IsCRC(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	*pbEnable = (osd_read(OSD_REG(0x940)) & 0x88) != 0;
	OSD_LEAVE();
}

#define OSD_HW_WORD_GETTER(fn, off)						\
void fn(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Out)				\
{										\
	OSD_ENTER();								\
	OSD_CHECK_PLANE(enPlane);						\
	if (!pu32Out)								\
		return;								\
	*pu32Out = osd_read(OSD_REG(off));					\
	OSD_LEAVE();								\
}

OSD_HW_WORD_GETTER(_ker_osd_Get_CRCResult0, 0x944)
OSD_HW_WORD_GETTER(_ker_osd_Get_CRCResult1, 0x948)
OSD_HW_WORD_GETTER(_ker_osd_Get_CRCResult2, 0x94c)

void _ker_osd_BitInvertEnable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		bit = enPlane == OSD_CURSOR1 ? 5 : 13;
		osd_prog(OSD_REG(0x2020), 3u << bit, osd_bit(bit, *pbEnable));
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), 0xc, osd_bit(2, *pbEnable));
	}
	OSD_LEAVE();
}

/* Reports the bit the enable sets, for every plane. */
void _ker_osd_IsBitInvert(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane))
		*pbEnable = (osd_read(OSD_REG(0x2020)) >> (enPlane == OSD_CURSOR1 ? 5 : 13)) & 1;
	else
		*pbEnable = (osd_read(osd_normal_reg(OSD_REG(0x110), enPlane)) >> 2) & 1;
	OSD_LEAVE();
}

void _ker_osd_GetRGBMeterResult(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Result)
{
	u32 n;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu32Result)
		return;
	n = osd_read(OSD_REG(0xe2c));
	*pu32Result = n ? (osd_read(OSD_REG(0xe30)) / n & 255) << 16 |
			  (osd_read(OSD_REG(0xe34)) / n & 255) << 8 |
			  (osd_read(OSD_REG(0xe38)) / n & 255) : 0;
	OSD_LEAVE();
}

void _ker_osd_SeparateVsyncExtendEnable(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_VSYNC_EXTEND *pstExt)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstExt)
		return;
	osd_prog(OSD_REG(0xc020), ~0u,
		 pstExt->u8A | pstExt->u8B << 1 | pstExt->u32C << 8 | pstExt->u32D << 16);
	OSD_LEAVE();
}

void _ker_osd_Set_LBMTestPattern(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_LBM_TEST_PATTERN *pstPat)
{
	static const u32 mode_bits[9] = {
		0x8000, 0x01008000, 0x03008000, 0x04008000, 0x08008000,
		0x10008000, 0x30008000, 0x50008000, 0x90008000,
	};
	u32 reg, bits;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstPat)
		return;
	reg = osd_normal_reg(OSD_REG(0x104), osd_borrowed_normal(enPlane));
	if (pstPat->u32Enable) {
		osd_prog(OSD_REG(0x04c), ~0u, pstPat->au32Color[0]);
		osd_prog(OSD_REG(0x06c), ~0u, pstPat->au32Color[1]);
		osd_prog(OSD_REG(0x08c), ~0u, pstPat->au32Color[2]);
		osd_prog(OSD_REG(0x0a4), ~0u, pstPat->au32Color[3]);
		bits = (u32)pstPat->u8Byte << 16 |
		       mode_bits[pstPat->u32Mode < ARRAY_SIZE(mode_bits) ? pstPat->u32Mode : 0];
	} else {
		bits = 0;
	}
	osd_prog(reg, ~0x77ffu, bits);
	OSD_LEAVE();
}

void _ker_osd_Set_Plane_AXI_Channel(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Channel)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu32Channel || *pu32Channel < 2 || *pu32Channel > 4 || OSD_IS_CURSOR(enPlane))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x124), enPlane), 3u << 26, (*pu32Channel - 2) << 26);
	OSD_LEAVE();
}

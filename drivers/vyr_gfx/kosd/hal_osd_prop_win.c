// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: region properties - colour, alpha, windows, scaler,
 * stride, buffer address, colour keys - and the palette.
 */
#include <linux/kernel.h>
#include <linux/fb.h>
#include <linux/math64.h>
#include <linux/sched.h>
#include <linux/string.h>

#include "hal_osd.h"

#define FIELD(v, hi, lo)	(((v) >> (lo)) & (u32)(BIT_ULL((hi) - (lo) + 1) - 1))

/* Cursor region 1 registers follow region 0's at +0x30. */
static u32 osd_cursor_region_reg(u32 u32Addr, EN_DRV_OSD_PLANE_ID enPlane,
				 EN_DRV_OSD_REGION_ID enRegion)
{
	return osd_cursor_reg(u32Addr, enPlane) + 0x30 * enRegion;
}

static bool osd_normal_only(EN_DRV_OSD_PLANE_ID enPlane)
{
	if (!OSD_IS_CURSOR(enPlane))
		return true;
	OSD_ERR("Not support for Cursor plane!\n");
	return false;
}

static ST_KER_OSD_REGION_CTX *osd_region(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);

	return c && (u32)enRegion < OSD_REGION_MAX ? &c->astRegion[enRegion] : NULL;
}

/* The stride in use: the scroll stride while region 0 scrolls. */
static u32 osd_region_stride(ST_KER_OSD_PLANE_CTX *c, EN_DRV_OSD_REGION_ID enRegion)
{
	if (enRegion == OSD_REGION0 && c->stScroll.bEnable)
		return c->stScroll.u32ScrollStride;
	return c->astRegion[enRegion].u32Stride;
}

/* ---- getters of stored region values ----------------------------------- */

#define OSD_REGION_GETTER(fn, type, expr)					\
void fn(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, type *pOut)	\
{										\
	ST_KER_OSD_REGION_CTX *r;						\
										\
	OSD_ENTER();								\
	OSD_CHECK_REGION(enPlane, enRegion);					\
	r = osd_region(enPlane, enRegion);					\
	if (!pOut || !r)							\
		return;								\
	*pOut = (expr);								\
	OSD_LEAVE();								\
}

OSD_REGION_GETTER(_ker_osd_IsScale, ST_DRV_OSD_SCALE_ENABLE, r->stScaleEnable)
OSD_REGION_GETTER(_ker_osd_Get_ScaleFactor, ST_DRV_OSD_SCALE_FACTOR, r->stScaleFactor)
OSD_REGION_GETTER(_ker_osd_IsRLDecode, u8, r->bRLDecode)
OSD_REGION_GETTER(_ker_osd_Get_RLDecodeCtrl, ST_DRV_OSD_RL_DECODE_CTRL, r->stRLDecodeCtrl)
OSD_REGION_GETTER(_ker_osd_IsRegionShow, u8, r->bRegionShow)
OSD_REGION_GETTER(_ker_osd_Get_ColorMode, EN_COLOR, r->enColor)
OSD_REGION_GETTER(_ker_osd_Get_Alpha, u32, r->u32Alpha)
OSD_REGION_GETTER(_ker_osd_Get_DstWin, ST_RECT, r->stDstWin)
OSD_REGION_GETTER(_ker_osd_Get_SrcSize, ST_SIZE, r->stSrcSize)
OSD_REGION_GETTER(_ker_osd_Get_ReadOffset, u32, r->u32ReadOffset)
OSD_REGION_GETTER(_ker_osd_Get_Stride, u32, r->u32Stride)
OSD_REGION_GETTER(_ker_osd_Get_BufPhyAddrSize, ST_DRV_OSD_BUF_PHY_ADDR_SIZE, r->stBufPhyAddrSize)
OSD_REGION_GETTER(_ker_osd_IsVFlip, u8, r->bVFlip)
OSD_REGION_GETTER(_ker_osd_Get_TotalRQuant, u32, r->u32TotalRQuant)

void _ker_osd_Get_DispWin(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			  ST_DRV_OSD_DISP_WIN *pstWin)
{
	ST_KER_OSD_REGION_CTX *r;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	r = osd_region(enPlane, enRegion);
	if (!pstWin || !r)
		return;
	pstWin->stSrcWin = r->stDispWin.stSrcWin;
	_ker_osd_Get_DstWin(enPlane, enRegion, &pstWin->stDstWin);
	OSD_LEAVE();
}

/* ---- colour modes ------------------------------------------------------- */

static const struct {
	EN_COLOR enColor;
	u32 u32Code;
	ST_KER_OSD_COLOR_FMT stFmt;
} gastColorTable[] = {
	{ OSD_COLOR_PALETTE8, 0x0000, { 8, 0, 0, 0, 0, 0, 0, 0, 0 } },
	{ OSD_COLOR_RGB565, 0xa100, { 16, 5, 11, 6, 5, 5, 0, 0, 0 } },
	{ OSD_COLOR_ARGB1555, 0x0100, { 16, 5, 10, 5, 5, 5, 0, 1, 15 } },
	{ OSD_COLOR_ARGB4444, 0x4100, { 16, 4, 8, 4, 4, 4, 0, 4, 12 } },
	{ OSD_COLOR_ARGB8888, 0x0300, { 32, 8, 16, 8, 8, 8, 0, 8, 24 } },
	{ OSD_COLOR_RGBA5551, 0x2100, { 16, 5, 11, 5, 6, 5, 1, 1, 0 } },
	{ OSD_COLOR_RGBA4444, 0x6100, { 16, 4, 12, 4, 8, 4, 4, 4, 0 } },
	{ OSD_COLOR_RGBA8888, 0x1300, { 32, 8, 24, 8, 16, 8, 8, 8, 0 } },
};

static int osd_color_index(EN_COLOR enColor)
{
	int i;

	for (i = 0; i < ARRAY_SIZE(gastColorTable); i++)
		if (gastColorTable[i].enColor == enColor)
			return i;
	return -1;
}

void _ker_osd_Convert_ColorFmtToMode(ST_KER_OSD_COLOR_FMT *pstFmt, EN_COLOR *penColor)
{
	int i;

	OSD_ENTER();
	if (!pstFmt || !penColor)
		return;
	if (pstFmt->u8BitsPerPixel == 8) {
		*penColor = OSD_COLOR_PALETTE8;
		return;
	}
	for (i = 0; i < ARRAY_SIZE(gastColorTable); i++)
		if (!memcmp(&gastColorTable[i].stFmt, pstFmt, sizeof(*pstFmt))) {
			*penColor = gastColorTable[i].enColor;
			OSD_LEAVE();
			return;
		}
	OSD_ERR("Invalid color format\n");
	*penColor = 0;
}

void _ker_osd_Convert_ModeToColorFmt(ST_KER_OSD_COLOR_FMT *pstFmt, EN_COLOR *penColor)
{
	int i;

	OSD_ENTER();
	if (!pstFmt || !penColor)
		return;
	i = osd_color_index(*penColor);
	if (i < 0) {
		OSD_ERR("Invalid color mode = %d\n", *penColor);
		memset(pstFmt, 0, sizeof(*pstFmt));
		return;
	}
	*pstFmt = gastColorTable[i].stFmt;
	OSD_LEAVE();
}

void _ker_osd_Set_ColorMode(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    EN_COLOR *penColor)
{
	u32 code = 0;
	int i;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!penColor)
		return;
	i = osd_color_index(*penColor);
	if (i < 0)
		OSD_ERR("Invalid color format = %d\n", *penColor);
	else
		code = gastColorTable[i].u32Code;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_reg(OSD_REG(0x2004), enPlane), 0xf300u << (16 * enRegion),
			 code << (16 * enRegion));
	else
		osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), 0xf300, code);
	OSD_LEAVE();
}

void _ker_osd_Set_Alpha(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u32 *pu32Alpha)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pu32Alpha)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_region_reg(OSD_REG(0x203c), enPlane, enRegion), ~0u, *pu32Alpha);
	else
		osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), 0xff0000, *pu32Alpha << 16);
	OSD_LEAVE();
}

void _ker_osd_AlphaBlend_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
				u8 *pbEnable)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable)
		return;
	if (!OSD_IS_CURSOR(enPlane)) {
		OSD_MSG("No need to set !\n");
		return;
	}
	bit = 16 * enRegion + 3;
	osd_prog(osd_cursor_reg(OSD_REG(0x2004), enPlane), BIT(bit), osd_bit(bit, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_IsAlphaBlend(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u8 *pbEnable)
{
	ST_KER_OSD_REGION_CTX *r;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable)
		return;
	if (!OSD_IS_CURSOR(enPlane)) {
		OSD_MSG("%s - No need to get !\n", __func__);
		return;
	}
	r = osd_region(enPlane, enRegion);
	if (r)
		*pbEnable = r->bAlphaBlend;
	OSD_LEAVE();
}

void _ker_osd_RLDecode_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable || !osd_normal_only(enPlane))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x104), enPlane), BIT(12), osd_bit(12, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_Set_RLDecodeCtrl(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			       ST_DRV_OSD_RL_DECODE_CTRL *pstCtrl)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstCtrl || !osd_normal_only(enPlane))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x128), enPlane), ~0u,
		 (pstCtrl->u32DummyByteMask & 7) << 24 | (pstCtrl->u32TotalRQuant & 0x1fffff));
	OSD_LEAVE();
}

/* ---- colour keys ---------------------------------------------------------- */

#define OSD_CHECK_KEY(plane, region, key)					\
	do {									\
		if (_ker_osd_Check_Ids(OSD_ID_REGION | OSD_ID_KEY, (plane), (region), \
				       (key), 0, 0))				\
			return;							\
	} while (0)

void _ker_osd_ColorKey_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			      EN_DRV_OSD_COLOR_KEY_ID enKey, u8 *pbEnable)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_KEY(enPlane, enRegion, enKey);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		bit = 16 * enRegion + 5 + enKey;
		osd_prog(osd_cursor_reg(OSD_REG(0x2004), enPlane), BIT(bit), osd_bit(bit, *pbEnable));
	} else {
		bit = 5 + enKey;
		osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), BIT(bit), osd_bit(bit, *pbEnable));
	}
	OSD_LEAVE();
}

void _ker_osd_IsColorKey(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			 EN_DRV_OSD_COLOR_KEY_ID enKey, u8 *pbEnable)
{
	ST_KER_OSD_REGION_CTX *r;

	OSD_ENTER();
	OSD_CHECK_KEY(enPlane, enRegion, enKey);
	r = osd_region(enPlane, enRegion);
	if (pbEnable && r)
		*pbEnable = r->abColorKey[enKey];
	OSD_LEAVE();
}

void _ker_osd_Set_ColorKey(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   EN_DRV_OSD_COLOR_KEY_ID enKey, ST_DRV_OSD_COLOR_KEY_VALUE *pstKey)
{
	static const u16 normal_regs[2][2] = { { 0x130, 0x134 }, { 0x138, 0x13c } };
	static const u16 cursor_regs[2][2] = { { 0x2120, 0x2124 }, { 0x21dc, 0x21e0 } };
	ST_KER_OSD_REGION_CTX *r;
	EN_COLOR mode;
	u32 match = 0, replace = 0;

	OSD_ENTER();
	OSD_CHECK_KEY(enPlane, enRegion, enKey);
	r = osd_region(enPlane, enRegion);
	if (!pstKey)
		return;
	mode = r ? r->enColor : 0;
	switch (OSD_COLOR_BPP(mode)) {
	case 2:
		match = pstKey->u32Match & 0xffff;
		replace = pstKey->u32Replace & 0xffff;
		if (mode == OSD_COLOR_RGB565)
			replace |= (pstKey->u32Alpha & 255) << 16;
		break;
	case 4:
		match = pstKey->u32Match;
		replace = pstKey->u32Replace;
		break;
	}
	if (OSD_IS_CURSOR(enPlane)) {
		osd_prog(osd_cursor_reg(OSD_REG(cursor_regs[enKey][0]), enPlane), ~0u, match);
		osd_prog(osd_cursor_reg(OSD_REG(cursor_regs[enKey][1]), enPlane), ~0u, replace);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(normal_regs[enKey][0]), enPlane), ~0u, match);
		osd_prog(osd_normal_reg(OSD_REG(normal_regs[enKey][1]), enPlane), ~0u, replace);
	}
	OSD_LEAVE();
}

void _ker_osd_Get_ColorKey(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   EN_DRV_OSD_COLOR_KEY_ID enKey, ST_DRV_OSD_COLOR_KEY_VALUE *pstKey)
{
	ST_KER_OSD_REGION_CTX *r;

	OSD_ENTER();
	OSD_CHECK_KEY(enPlane, enRegion, enKey);
	r = osd_region(enPlane, enRegion);
	if (pstKey && r)
		*pstKey = r->astColorKey[enKey];
	OSD_LEAVE();
}

/* ---- windows -------------------------------------------------------------- */

/* Start inside the video window, size cut at its edge (never below 1 there). */
static void osd_clip(u32 u32Start, u32 u32Len, u32 u32Limit, u32 *pu32Start, u32 *pu32Len)
{
	u32 start = u32Start < u32Limit ? u32Start : (u32Limit ? u32Limit - 1 : 0);

	*pu32Start = start;
	if ((u64)start + u32Len > u32Limit)
		*pu32Len = u32Limit > start ? u32Limit - start : 0;
	else
		*pu32Len = u32Len;
}

void _ker_osd_Set_DstWin(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, ST_RECT *pstRect)
{
	u32 x, y, w, h, pos, size;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstRect)
		return;
	osd_clip(pstRect->u32X, pstRect->u32W, gstVideoWinSize.u32W, &x, &w);
	osd_clip(pstRect->u32Y, pstRect->u32H, gstVideoWinSize.u32H, &y, &h);
	pos = (x & 0x1fff) << 16 | (y & 0xfff);
	size = (w & 0x1fff) << 16 | (h & 0xfff);
	if (OSD_IS_CURSOR(enPlane)) {
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2028), enPlane, enRegion), ~0u, pos);
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2030), enPlane, enRegion), ~0u, size);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x114), enPlane), ~0u, pos);
		osd_prog(osd_normal_reg(OSD_REG(0x118), enPlane), ~0u, size);
		osd_prog(osd_normal_reg(OSD_REG(0x4034), enPlane), ~0u, w << 16);
	}
	OSD_LEAVE();
}

void _ker_osd_Set_SrcSize(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, ST_SIZE *pstSize)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstSize)
		return;
	if (pstSize->u32W < 8)
		pstSize->u32W = 8;
	if (OSD_IS_CURSOR(enPlane)) {
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2048), enPlane, enRegion), ~0u,
			 pstSize->u32W & 0x1fff);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x11c), enPlane), ~0u,
			 (pstSize->u32W & 0x1fff) << 16 | (pstSize->u32H & 0xfff));
		osd_prog(osd_normal_reg(OSD_REG(0x401c), enPlane), ~0u, pstSize->u32W);
	}
	OSD_LEAVE();
}

void _ker_osd_Set_ReadOffset(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			     u32 *pu32Offset)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pu32Offset)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2040), enPlane, enRegion), ~0u,
			 *pu32Offset & 31);
	else
		osd_prog(osd_normal_reg(OSD_REG(0x120), enPlane), 0x1f0000, (*pu32Offset & 31) << 16);
	OSD_LEAVE();
}

void _ker_osd_Set_TotalRQuant(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			      u32 *pu32Quant)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pu32Quant)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_reg(OSD_REG(0x20e8), enPlane), 0x1fffff, *pu32Quant);
	else
		osd_prog(osd_normal_reg(OSD_REG(0x128), enPlane), 0x1fffff, *pu32Quant);
	OSD_LEAVE();
}

void _ker_osd_Set_Stride(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u32 *pu32Stride)
{
	ST_KER_OSD_PLANE_CTX *c;
	ST_DRV_OSD_LBM_ADDR stAddr;
	u32 bpp, units, v;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	c = osd_ctx(enPlane);
	if (!pu32Stride || !c)
		return;
	bpp = OSD_COLOR_BPP(c->astRegion[enRegion].enColor);
	units = bpp ? (u32)((((u64)*pu32Stride + 31) & ~31ull) / bpp) : 0;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_region_reg(OSD_REG(0x202c), enPlane, enRegion), ~0u,
			 (units & 0x1fff) << 16);
	else
		osd_prog(osd_normal_reg(OSD_REG(0x120), enPlane), 0x1fff, units);

	/* line-buffer end for this line length */
	v = units * (c->bHFlip ? 35 : 25);
	stAddr.u32Start = 0;
	stAddr.u32End = v < 102400 ? v * 4 / 320 : 1279;
	_ker_osd_Set_LBMAddr(enPlane, &stAddr);
	c->stLBMAddr = stAddr;
	OSD_LEAVE();
}

/* Programs the start address of a window of the region's buffer. */
static void osd_program_buf(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    ST_DRV_OSD_BUF_PHY_ADDR_SIZE *pstBuf, const ST_DRV_OSD_DISP_WIN *pstWin)
{
	static const char fn[] = "_ker_osd_Set_BufPhyAddrSize";
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	ST_KER_OSD_REGION_CTX *r;
	u32 addr, stride, bpp, x, y, h, k, start;

	if (!c)
		return;
	r = &c->astRegion[enRegion];
	stride = osd_region_stride(c, enRegion);
	bpp = OSD_COLOR_BPP(r->enColor);
	x = pstWin->stSrcWin.u32X;
	y = pstWin->stSrcWin.u32Y;
	h = pstWin->stSrcWin.u32H;
	k = c->u32CurrentBufOrder;
	addr = pstBuf->u32BufPhyAddr;

	/*
	 * An address naming the plane buffer as a whole is moved to the buffer
	 * the order shows; one already inside it (an AFBC pan, a shown dma-buf)
	 * stays. The pan offset cannot tell: the framebuffer core stores it
	 * after a pan but before the pan of a set.
	 */
	if (addr == c->u32BufStart) {
		if (k >= 6 && k <= 8) {
			addr += 2 * h * stride;
			OSD_DBG("%s(), Last-Buffer, PlaneID = %d, u32BufPhyAddr = 0x%08x\n", fn,
				enPlane, addr);
		} else if (k >= 3 && k <= 5) {
			addr += h * stride;
			OSD_DBG("%s(), Back-Buffer, PlaneID = %d, u32BufPhyAddr = 0x%08x\n", fn,
				enPlane, addr);
		} else {
			OSD_DBG("%s(), Front-Buffer, PlaneID = %d, u32BufPhyAddr = 0x%08x\n", fn,
				enPlane, addr);
		}
	}
	if (r->bVFlip) {
		start = addr + stride * (y + (h ? h - 1 : 0)) + bpp * x;
		OSD_DBG("%s(), VFlipEnable, PlaneID = %d, u32BufPhyAddr = 0x%08x, [X, Y, W, H, BPP] = [%d, %d, %d, %d, %d]\n",
			fn, enPlane, start, x, y, pstWin->stSrcWin.u32W, h, bpp);
	} else {
		start = addr + stride * y + bpp * x;
		OSD_DBG("%s(), PlaneID = %d, u32BufPhyAddr = 0x%08x, [X, Y, W, H, BPP] = [%d, %d, %d, %d, %d]\n",
			fn, enPlane, start, x, y, pstWin->stSrcWin.u32W, h, bpp);
	}
	pstBuf->u32StartAddr = start;
	r->u32StartAddr = start;

	if (OSD_IS_CURSOR(enPlane)) {
		int sh = 8 * (enPlane - 3);

		osd_prog(osd_cursor_reg(OSD_REG(0x2280), enPlane), 0x7fffffff,
			 (start >> 5) & 0x1ffffff);
		osd_prog(OSD_REG(0x228c), 3u << sh, (start >> 30) << sh);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x124), enPlane), 0xe1ffffff,
			 (start >> 30) << 29 | ((start >> 5) & 0x1ffffff));
	}
}

void _ker_osd_Set_BufPhyAddrSize(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
				 ST_DRV_OSD_BUF_PHY_ADDR_SIZE *pstBuf)
{
	ST_KER_OSD_REGION_CTX *r;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	r = osd_region(enPlane, enRegion);
	if (!pstBuf || !r)
		return;
	osd_program_buf(enPlane, enRegion, pstBuf, &r->stDispWin);
	OSD_LEAVE();
}

void _ker_osd_VFlip_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u8 *pbEnable)
{
	ST_KER_OSD_REGION_CTX *r;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_reg(OSD_REG(0x2280), enPlane), BIT(31), osd_bit(31, *pbEnable));
	else
		osd_prog(osd_normal_reg(OSD_REG(0x124), enPlane), BIT(28), osd_bit(28, *pbEnable));
	r = osd_region(enPlane, enRegion);
	if (r && r->stBufPhyAddrSize.u32BufPhyAddr)
		osd_program_buf(enPlane, enRegion, &r->stBufPhyAddrSize, &r->stDispWin);
	OSD_LEAVE();
}

/* ---- scaler ---------------------------------------------------------------- */

void _ker_osd_Scale_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   ST_DRV_OSD_SCALE_ENABLE *pstEn)
{
	ST_KER_OSD_PLANE_CTX *c;
	u32 vup;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstEn)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		if (pstEn->bHScaleDown == 1 || pstEn->bVScaleDown == 1) {
			OSD_ERR("Not support for Cursor plane!\n");
			return;
		}
		osd_prog(osd_cursor_reg(OSD_REG(0x2004), enPlane), BIT(1),
			 osd_bit(1, pstEn->bHScaleUp == 1 || pstEn->bVScaleUp == 1));
	} else {
		c = osd_ctx(enPlane);
		vup = pstEn->bVScaleUp ?
		      (c && c->stScaleUpCtrl.au32Ctrl[4] == OSD_SCALE_UP_VMODE2 ? 2 : 1) : 0;
		osd_prog(osd_normal_reg(OSD_REG(0x104), enPlane), 0x370,
			 osd_bit(4, pstEn->bHScaleUp) | vup << 5 | osd_bit(8, pstEn->bHScaleDown) |
			 osd_bit(9, pstEn->bVScaleDown));
	}
	OSD_LEAVE();
}

void _ker_osd_Set_ScaleFactor(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			      ST_DRV_OSD_SCALE_FACTOR *pstF)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstF)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		if (pstF->u32HDownFactor && pstF->u32VDownFactor) {
			OSD_ERR("Not support for Cursor plane!\n");
			return;
		}
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2034), enPlane, enRegion), ~0u,
			 pstF->u32HFactor & 0x1ffff);
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2038), enPlane, enRegion), ~0u,
			 pstF->u32VFactor & 0x1ffff);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x4020), enPlane), 0x1fffff, pstF->u32HFactor);
		osd_prog(osd_normal_reg(OSD_REG(0x1d0), enPlane), 0x1ffff, pstF->u32VFactor);
		osd_prog(osd_normal_reg(OSD_REG(0x402c), enPlane), BIT(24) | BIT(28), BIT(28));
		osd_prog(osd_normal_reg(OSD_REG(0x4030), enPlane), ~0u, 255);
		osd_prog(osd_normal_reg(OSD_REG(0x1d8), enPlane), 0xffff, pstF->u32HDownFactor);
		osd_prog(osd_normal_reg(OSD_REG(0x1dc), enPlane), 0x7fff, pstF->u32VDownFactor);
	}
	OSD_LEAVE();
}

#define OSD_SCALE_ONE		0x10000u
#define OSD_SCALE_DOWN_NONE	2048u

/*
 * Down-scale factor for s -> d (s > d): the phase whose error stays within
 * range and is largest, later phases winning ties. 2048 when none fits.
 * Returns false when a phase divides by zero.
 */
static bool osd_search_down(u32 s, u32 d, bool vertical, u32 *pu32Factor)
{
	static const int phases[] = { 25, 0, -25, -50, -75, -100 };
	u32 best_e = 0, f, q, e;
	int i;

	*pu32Factor = OSD_SCALE_DOWN_NONE;
	for (i = 0; i < ARRAY_SIZE(phases); i++) {
		u32 p = (u32)phases[i];

		q = p + 100 * d;
		if (!q) {
			if (vertical)
				OSD_ERR("Vertical Scaling-Down: Invalid SrcHeight = %d, DstHeight = %d\n",
					s, d);
			else
				OSD_ERR("Horizontal Scaling-Down: Invalid SrcWidth = %d, DstWidth = %d\n",
					s, d);
			return false;
		}
		f = ((p + 100 * s) << 11) / q;
		e = ((f * q) >> 11) - p;
		if (e <= 100 * s && e >= best_e) {
			best_e = e;
			*pu32Factor = f;
		}
	}
	return true;
}

void _ker_osd_Set_ScaleFunc(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    ST_DRV_OSD_DISP_WIN *pstWin)
{
	ST_DRV_OSD_SCALE_FACTOR stF = {
		OSD_SCALE_ONE, OSD_SCALE_ONE, OSD_SCALE_DOWN_NONE, OSD_SCALE_DOWN_NONE,
	};
	ST_DRV_OSD_SCALE_ENABLE stEn = { 0 };
	ST_DRV_OSD_SCALE_PATH_SEL stPath = { { 0 } };
	ST_KER_OSD_REGION_CTX *r;
	u32 sw, sh, dw, dh, down;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstWin)
		return;
	sw = pstWin->stSrcWin.u32W;
	sh = pstWin->stSrcWin.u32H;
	dw = pstWin->stDstWin.u32W;
	dh = pstWin->stDstWin.u32H;
	r = osd_region(enPlane, enRegion);

	/* a source of 0 would make every factor a division by a bogus size */
	if (!dw || !dh || !sw || !sh) {
		OSD_ERR("Set ScaleFunc failed !\n");
		OSD_ERR("Invalid SrcWin: WxH = %dx%d, DstWin: WxH = %dx%d\n", sw, sh, dw, dh);
		return;
	}

	if (OSD_IS_CURSOR(enPlane)) {
		if (sw > dw || sh > dh) {
			OSD_ERR("Cursor Plane not support ScaleDown!\n");
			return;
		}
		if (sw != dw) {
			if (dw == 1) {
				OSD_ERR("Horizontal Scaling-Up: Invalid SrcWidth = %d, DstWidth = %d\n",
					sw, dw);
				return;
			}
			stF.u32HFactor = (u32)div_u64(((u64)sw << 16) - 0x10000, dw - 1);
		}
		if (sh != dh) {
			if (dh == 1) {
				OSD_ERR("Horizontal Scaling-Up: Invalid SrcHeight = %d, DstHeight = %d\n",
					sh, dh);
				return;
			}
			stF.u32VFactor = (u32)div_u64(((u64)sh << 16) - 0x10000, dh - 1);
		}
		stF.u32HDownFactor = 0;
		stF.u32VDownFactor = 0;
		stEn.bHScaleUp = 1;
		stEn.bVScaleUp = 1;
		_ker_osd_Scale_Enable(enPlane, enRegion, &stEn);
		goto program;
	}

	/* enable and path by the two comparisons */
	if (dw > sw) {
		stEn.bHScaleUp = 1;
		stPath.au32Sel[2] = 1;
	} else if (dw < sw) {
		stEn.bHScaleDown = 1;
		stPath.au32Sel[0] = 1;
	}
	if (dh > sh) {
		stEn.bVScaleUp = 1;
	} else if (dh < sh) {
		stEn.bVScaleDown = 1;
		stPath.au32Sel[1] = 1;
	}
	_ker_osd_Scale_Enable(enPlane, enRegion, &stEn);
	_ker_osd_Set_ScalePathSel(enPlane, &stPath);

	OSD_DBG("%s() Enter\n", "_ker_osd_Cal_ScaleFactor");
	if (sw > dw) {
		if (!osd_search_down(sw, dw, false, &down))
			goto program;
		stF.u32HDownFactor = min(down, 16384u);
	} else if (sw < dw) {
		stF.u32HFactor = (u32)div_u64((u64)sw << 20, dw);
	}
	if (sh > dh) {
		if (!osd_search_down(sh, dh, true, &down))
			goto program;
		stF.u32VDownFactor = min(down, 8192u);
	} else if (sh < dh) {
		if (dh == 1) {
			OSD_ERR("Vertical Scaling-Up: Invalid SrcHeight = %d, DstHeight = %d\n", sh, dh);
			goto program;
		}
		stF.u32VFactor = (u32)div_u64(((u64)sh << 16) - 0x10000, dh - 1);
	}
	OSD_DBG("%s() Leave\n", "_ker_osd_Cal_ScaleFactor");

program:
	_ker_osd_Set_ScaleFactor(enPlane, enRegion, &stF);
	if (r) {
		r->stScaleEnable = stEn;
		r->stScaleFactor = stF;
	}
	OSD_LEAVE();
}

/* ---- display window ----------------------------------------------------------- */

void _ker_osd_Set_DispWin(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			  ST_DRV_OSD_DISP_WIN *pstWin)
{
	ST_KER_OSD_PLANE_CTX *c;
	ST_KER_OSD_REGION_CTX *r;
	ST_DRV_OSD_LBM_THRD stThrd;
	ST_SIZE stSize;
	ST_RECT stDst;
	u32 stride, bpp, offset, quant;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	c = osd_ctx(enPlane);
	if (!pstWin || !c)
		return;
	r = &c->astRegion[enRegion];
	stride = osd_region_stride(c, enRegion);
	bpp = OSD_COLOR_BPP(r->enColor);

	stDst = pstWin->stDstWin;
	_ker_osd_Set_DstWin(enPlane, enRegion, &stDst);
	/* the destination is the region's from now on, as its read offset below */
	r->stDstWin = pstWin->stDstWin;
	_ker_osd_Set_ScaleFunc(enPlane, enRegion, pstWin);
	_ker_osd_Set_Stride(enPlane, enRegion, &stride);

	switch (bpp) {
	case 4:
		offset = pstWin->stSrcWin.u32X & 7;
		break;
	case 2:
		offset = pstWin->stSrcWin.u32X & 15;
		break;
	case 1:
		offset = pstWin->stSrcWin.u32X & 31;
		break;
	default:
		offset = 0;
	}
	_ker_osd_Set_ReadOffset(enPlane, enRegion, &offset);
	r->u32ReadOffset = offset;

	stSize.u32W = pstWin->stSrcWin.u32W;
	stSize.u32H = pstWin->stSrcWin.u32H;
	_ker_osd_Set_SrcSize(enPlane, enRegion, &stSize);

	if (!r->bRLDecode) {
		quant = (pstWin->stSrcWin.u32H * stride) >> 4;
		_ker_osd_Set_TotalRQuant(enPlane, enRegion, &quant);
	}
	stThrd.u32Thrd0 = ((bpp * pstWin->stSrcWin.u32W) >> 4) & 0x7ffffff;
	stThrd.u32Thrd1 = enPlane + 1;
	stThrd.u32Thrd2 = 31;
	_ker_osd_Set_LBMThrd(enPlane, &stThrd);

	/* the window given, not the stored one: the scroll task moves its own copy */
	if (r->stBufPhyAddrSize.u32BufPhyAddr)
		osd_program_buf(enPlane, enRegion, &r->stBufPhyAddrSize, pstWin);
	OSD_LEAVE();
}

/* ---- palette ---------------------------------------------------------------------- */

void _ker_osd_Set_PaletteAccess(EN_DRV_OSD_PLANE_ID enPlane)
{
	ST_DRV_OSD_GLOBAL_SETTING *s;
	u32 f[4], v, t;
	int i;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	/* the swap below names a normal plane's field; cursors have none */
	if (!osd_normal_only(enPlane))
		return;
	s = osd_setting(enPlane);
	v = osd_read(OSD_REG(0x420));
	for (i = 0; i < 4; i++)
		f[i] = FIELD(v, 29 - 4 * i, 28 - 4 * i);
	t = f[0];
	f[0] = f[3 - enPlane];
	f[3 - enPlane] = t;
	v = 0;
	for (i = 0; i < 4; i++) {
		v |= f[i] << (28 - 4 * i);
		if (s)
			s->au32PaletteMap[i] = f[i];
	}
	osd_prog(OSD_REG(0x420), 0x33330000, v);
	gau8PalettePending[enPlane] = 1;
	OSD_LEAVE();
}

/* Checks shared by the palette data operations; true when the request may go on. */
static bool osd_palette_checks(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_PALETTE_DATA *pstPal,
			       ST_KER_OSD_PLANE_CTX **ppstCtx)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);

	if (!c || !pstPal)
		return false;
	if (c->astRegion[0].enColor != OSD_COLOR_PALETTE8) {
		OSD_ERR("Current plane is not palette mode\n");
		return false;
	}
	if (pstPal->u32Start >= OSD_PALETTE_ENTRIES || pstPal->u32Count < 1 ||
	    pstPal->u32Count > OSD_PALETTE_ENTRIES ||
	    pstPal->u32Start + pstPal->u32Count > OSD_PALETTE_ENTRIES) {
		OSD_ERR("Invalid Palette StartAddr = %d, Count = %d\n", pstPal->u32Start,
			pstPal->u32Count);
		return false;
	}
	if (!pstPal->pu32Data) {
		OSD_ERR("Palette Data address is NULL\n");
		return false;
	}
	if (!osd_normal_only(enPlane))
		return false;
	if (!c->pu32KeepPalette) {
		OSD_ERR("Kernel-Driver keeped Palette-Buffer is NULL\n");
		return false;
	}
	*ppstCtx = c;
	return true;
}

void _ker_osd_Set_PaletteData(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_PALETTE_DATA *pstPal)
{
	static const char fn[] = "_ker_osd_Set_PaletteData";
	ST_DRV_OSD_GLOBAL_SETTING *s;
	ST_KER_OSD_PLANE_CTX *c;
	u8 on = 1;
	int i;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!osd_palette_checks(enPlane, pstPal, &c))
		return;
	if (READ_ONCE(gatPaletteMutexUp) == 1)
		OSD_ERR("[OSD-WRN] pid:%d, %s Last palette is updated, but not complete\n",
			current->pid, fn);
	if (gau8PalettePending[enPlane])
		OSD_ERR("[OSD-WRN] pid:%d, %s Last palette is set, but not update trigger\n",
			current->pid, fn);
	s = osd_setting(enPlane);
	if (s)
		s->bPaletteBusy = 1;
	osd_prog(OSD_REG(0x404), ~0u, 0);
	_ker_osd_Set_PaletteCtrl(enPlane, &on);
	/* a full palette first clears what was kept, then takes the new entries */
	if (pstPal->u32Count == OSD_PALETTE_ENTRIES && !c->u32PaletteValid)
		memset(c->pu32KeepPalette, 0, OSD_PALETTE_BYTES);
	memcpy(&c->pu32KeepPalette[pstPal->u32Start], pstPal->pu32Data, pstPal->u32Count * 4);
	c->u32PaletteValid = 1;
	for (i = 0; i < OSD_PALETTE_ENTRIES; i++)
		osd_prog(OSD_REG(0x408), ~0u, c->pu32KeepPalette[i]);
	_ker_osd_Set_PaletteAccess(enPlane);
	if (s)
		s->bPaletteBusy = 0;
	OSD_LEAVE();
}

void _ker_osd_Get_PaletteData(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_PALETTE_DATA *pstPal)
{
	ST_KER_OSD_PLANE_CTX *c;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!osd_palette_checks(enPlane, pstPal, &c))
		return;
	memcpy(pstPal->pu32Data, &c->pu32KeepPalette[pstPal->u32Start], pstPal->u32Count * 4);
	OSD_LEAVE();
}

void _ker_osd_Get_PaletteStatus(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_PALETTE_STATUS *pstStatus)
{
	u32 v;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstStatus)
		return;
	v = osd_read(OSD_REG(0x414));
	pstStatus->u8Status1 = (v >> 1) & 1;
	pstStatus->u8Status0 = v & 1;
	OSD_LEAVE();
}

void _ker_osd_Set_Scroll(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			 ST_DRV_OSD_SCROLL_PARAM *pstParam)
{
	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	OSD_LEAVE();
}

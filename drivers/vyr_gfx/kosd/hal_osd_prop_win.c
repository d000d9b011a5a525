// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: region properties - colour, alpha, windows, scaler,
 * stride, buffer address, colour keys - and the palette.
 */
#include <linux/kernel.h>
#include <linux/fb.h>
#include <linux/math64.h>
#include <linux/overflow.h>
#include <linux/sched.h>
#include <linux/string.h>

#include "hal_osd.h"

#define OSD_SCALE_ONE		0x10000u
#define OSD_SCALE_DOWN_NONE	2048u

#define FIELD(v, hi, lo)	(((v) >> (lo)) & (u32)(BIT_ULL((hi) - (lo) + 1) - 1))

/*
 * Cursor region 1 registers follow region 0's at +0x30 in OSD_CURSOR1's
 * block; OSD_CURSOR2's block places them its own way (0x2078 -> 0x20f8).
 */
static u32 osd_cursor_region_reg(u32 u32Addr, EN_DRV_OSD_PLANE_ID enPlane,
				 EN_DRV_OSD_REGION_ID enRegion)
{
	return osd_cursor_reg(u32Addr + 0x30 * enRegion, enPlane);
}

static bool osd_normal_only(EN_DRV_OSD_PLANE_ID enPlane)
{
	if (!OSD_IS_CURSOR(enPlane))
		return true;
	OSD_ERR_RL("Not support for Cursor plane!\n");
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

/* ---- what a region scans: the guard where it reaches the registers ------ */

/* Bytes per pixel of a colour code: bits 9:8 give the pixel size. */
static u32 osd_code_bpp(u32 u32Code)
{
	static const u8 bpp[4] = { 1, 2, 4, 4 };

	return bpp[(u32Code >> 8) & 3];
}

void osd_scan_get(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, ST_KER_OSD_SCAN *s)
{
	u32 v;

	memset(s, 0, sizeof(*s));
	if (OSD_IS_CURSOR(enPlane)) {
		int sh = 8 * (enPlane - 3);

		s->u32Code = (osd_read(osd_cursor_reg(OSD_REG(0x2004), enPlane)) >>
			      (16 * enRegion)) & 0xf300;
		s->u32Units = FIELD(osd_read(osd_cursor_region_reg(OSD_REG(0x202c), enPlane,
									  enRegion)), 28, 16);
		s->u32Offset = FIELD(osd_read(osd_cursor_region_reg(OSD_REG(0x2040), enPlane,
									   enRegion)), 4, 0);
		s->u32W = FIELD(osd_read(osd_cursor_region_reg(OSD_REG(0x2048), enPlane,
								      enRegion)), 12, 0);
		s->u32H = FIELD(osd_read(osd_cursor_region_reg(OSD_REG(0x2030), enPlane,
								      enRegion)), 11, 0);
		s->u32VFactor = FIELD(osd_read(osd_cursor_region_reg(OSD_REG(0x2038), enPlane,
									    enRegion)), 16, 0);
		v = osd_read(osd_cursor_reg(OSD_REG(0x2280), enPlane));
		s->u32Start = FIELD(v, 24, 0) << 5 |
			      FIELD(osd_read(OSD_REG(0x228c)), sh + 1, sh) << 30;
		s->bVFlip = FIELD(v, 31, 31);
		return;
	}
	s->u32Code = osd_read(osd_normal_reg(OSD_REG(0x110), enPlane)) & 0xf300;
	v = osd_read(osd_normal_reg(OSD_REG(0x120), enPlane));
	s->u32Units = FIELD(v, 12, 0);
	s->u32Offset = FIELD(v, 20, 16);
	v = osd_read(osd_normal_reg(OSD_REG(0x11c), enPlane));
	s->u32W = FIELD(v, 28, 16);
	s->u32H = FIELD(v, 11, 0);
	s->u32VFactor = 0x10000;
	v = osd_read(osd_normal_reg(OSD_REG(0x124), enPlane));
	s->u32Start = FIELD(v, 24, 0) << 5 | FIELD(v, 30, 29) << 30;
	s->bVFlip = FIELD(v, 28, 28);
	s->bRL = FIELD(osd_read(osd_normal_reg(OSD_REG(0x104), enPlane)), 12, 12);
	s->u32Quant = FIELD(osd_read(osd_normal_reg(OSD_REG(0x128), enPlane)), 20, 0);
}

/*
 * The bytes [*lo, *lo + *len) a scan reads, from the very fields its
 * registers get; false when the arithmetic leaves 64 bits. Lines of
 * stride bytes from the start (32-byte units), each the read offset and
 * the width long; a flipped scan runs upwards from the start; run-length
 * data is read as one block. A cursor draws its destination lines from
 * source lines at the vertical factor. A zero height, width or quantity
 * still reads the line, pixel or block the start names.
 */
static bool osd_scan_range(EN_DRV_OSD_PLANE_ID enPlane, const ST_KER_OSD_SCAN *s, u64 *lo, u64 *len)
{
	u64 base = s->u32Start & ~31u, bpp = osd_code_bpp(s->u32Code), lines, line, span;

	*lo = base;
	*len = 0;
	if (s->bRL && !OSD_IS_CURSOR(enPlane))
		return !check_mul_overflow((u64)max(s->u32Quant, 1u), (u64)16, len);
	lines = max(s->u32H, 1u);
	if (OSD_IS_CURSOR(enPlane))
		lines = (((lines - 1) * s->u32VFactor) >> 16) + 1;
	if (check_add_overflow((u64)s->u32Offset, (u64)max(s->u32W, 1u), &line) ||
	    check_mul_overflow(line, bpp, &line) ||
	    check_mul_overflow((u64)s->u32Units, bpp, &span) ||
	    check_mul_overflow(span, lines - 1, &span) ||
	    check_add_overflow(span, line, len))
		return false;
	if (s->bVFlip) {
		if (base < span)
			return false;
		*lo = base - span;
	}
	return true;
}

/*
 * Each field as wide as its register: a stride, width, height or read
 * quantity the register would cut is refused, never wrapped (a height of
 * 4096 would read as one line).
 */
static bool osd_scan_fits(const ST_KER_OSD_SCAN *s)
{
	return s->u32Units <= 0x1fff && s->u32W <= 0x1fff && s->u32H <= 0xfff &&
	       s->u32Quant <= 0x1fffff;
}

static bool osd_inside(u64 lo, u64 len, u64 start, u64 size)
{
	u64 end, limit;

	return size && !check_add_overflow(lo, len, &end) &&
	       !check_add_overflow(start, size, &limit) && lo >= start && end <= limit;
}

/*
 * The guard: a scan may read the plane's buffer, the imported buffer it is
 * granted, or, for a caller with CAP_SYS_RAWIO, anything.
 */
static int osd_scan_check_one(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			      const ST_KER_OSD_SCAN *s)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	u64 lo, len;
	bool quiet;

	if (!c)
		return -EINVAL;
	quiet = READ_ONCE(c->bJudgedWhole);
	if (!osd_scan_fits(s)) {
		if (!quiet)
			OSD_ERR_RL("%s(), PlaneID = %d, RegionID = %d: stride %u, %u x %u, quantity %u do not fit the registers\n",
				__func__, enPlane, enRegion, s->u32Units, s->u32W, s->u32H,
				s->u32Quant);
		return -EINVAL;
	}
	if (!osd_scan_range(enPlane, s, &lo, &len)) {
		if (!quiet)
			OSD_ERR_RL("%s(), PlaneID = %d, RegionID = %d: the scan from 0x%08x overflows\n",
				__func__, enPlane, enRegion, s->u32Start);
		return -EINVAL;
	}
	if (READ_ONCE(c->bRawCaller) ||
	    osd_inside(lo, len, c->u32BufStart, c->u32BufLen) ||
	    osd_inside(lo, len, c->u64ImportStart, c->u64ImportLen))
		return 0;
	if (!quiet)
		OSD_ERR_RL("%s(), PlaneID = %d, RegionID = %d: scan [0x%llx, +0x%llx) leaves the plane's buffer\n",
			__func__, enPlane, enRegion, (unsigned long long)lo,
			(unsigned long long)len);
	return -EINVAL;
}

/*
 * The guard over the whole state the plane will scan: the region's next
 * scan and, where a cursor's start or flip moves, each other region of the
 * cursor, which reads from the same start (0x2280, bits 31:30 in 0x228c)
 * with the same flip. A hidden region is judged as well: only a frozen
 * plane stops reading, and showing a region takes one bit.
 */
static int osd_scan_check(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			  const ST_KER_OSD_SCAN *next)
{
	int region, ret = osd_scan_check_one(enPlane, enRegion, next);
	ST_KER_OSD_SCAN other;

	for (region = 0; !ret && OSD_IS_CURSOR(enPlane) && region < OSD_REGION_MAX; region++) {
		osd_scan_get(enPlane, region, &other);
		if (region == enRegion ||
		    (other.u32Start == next->u32Start && other.bVFlip == next->bVFlip))
			continue;
		other.u32Start = next->u32Start;
		other.bVFlip = next->bVFlip;
		ret = osd_scan_check_one(enPlane, region, &other);
	}
	return ret;
}

/* Writes the registers whose fields differ between two scans. */
static void osd_scan_write(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   const ST_KER_OSD_SCAN *a, const ST_KER_OSD_SCAN *b)
{
	if (OSD_IS_CURSOR(enPlane)) {
		int sh = 8 * (enPlane - 3);

		if (a->u32Code != b->u32Code)
			osd_prog(osd_cursor_reg(OSD_REG(0x2004), enPlane), 0xf300u << (16 * enRegion),
				 b->u32Code << (16 * enRegion));
		if (a->u32Units != b->u32Units)
			osd_prog(osd_cursor_region_reg(OSD_REG(0x202c), enPlane, enRegion), ~0u,
				 (b->u32Units & 0x1fff) << 16);
		if (a->u32Offset != b->u32Offset)
			osd_prog(osd_cursor_region_reg(OSD_REG(0x2040), enPlane, enRegion), ~0u,
				 b->u32Offset & 31);
		if (a->u32W != b->u32W)
			osd_prog(osd_cursor_region_reg(OSD_REG(0x2048), enPlane, enRegion), ~0u,
				 b->u32W & 0x1fff);
		if (a->u32H != b->u32H)
			osd_prog(osd_cursor_region_reg(OSD_REG(0x2030), enPlane, enRegion), 0xfff,
				 b->u32H);
		if (a->u32VFactor != b->u32VFactor)
			osd_prog(osd_cursor_region_reg(OSD_REG(0x2038), enPlane, enRegion), ~0u,
				 b->u32VFactor & 0x1ffff);
		/* the flip and the start's bits 29:5 in one write, bits 31:30 apart */
		if (a->bVFlip != b->bVFlip || a->u32Start != b->u32Start)
			osd_prog(osd_cursor_reg(OSD_REG(0x2280), enPlane), ~0u,
				 osd_bit(31, b->bVFlip) | ((b->u32Start >> 5) & 0x1ffffff));
		if ((a->u32Start ^ b->u32Start) >> 30)
			osd_prog(OSD_REG(0x228c), 3u << sh, (b->u32Start >> 30) << sh);
		return;
	}
	if (a->u32Code != b->u32Code)
		osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), 0xf300, b->u32Code);
	if (a->u32Units != b->u32Units || a->u32Offset != b->u32Offset)
		osd_prog(osd_normal_reg(OSD_REG(0x120), enPlane), 0x1f1fff,
			 (b->u32Offset & 31) << 16 | (b->u32Units & 0x1fff));
	if (a->u32W != b->u32W || a->u32H != b->u32H) {
		osd_prog(osd_normal_reg(OSD_REG(0x11c), enPlane), ~0u,
			 (b->u32W & 0x1fff) << 16 | (b->u32H & 0xfff));
		osd_prog(osd_normal_reg(OSD_REG(0x401c), enPlane), ~0u, b->u32W);
	}
	if (a->u32Quant != b->u32Quant)
		osd_prog(osd_normal_reg(OSD_REG(0x128), enPlane), 0x1fffff, b->u32Quant);
	if (a->bVFlip != b->bVFlip || a->u32Start != b->u32Start)
		osd_prog(osd_normal_reg(OSD_REG(0x124), enPlane), 0xf1ffffff,
			 osd_bit(28, b->bVFlip) | (b->u32Start >> 30) << 29 |
			 ((b->u32Start >> 5) & 0x1ffffff));
	if (a->bRL != b->bRL)
		osd_prog(osd_normal_reg(OSD_REG(0x104), enPlane), BIT(12), osd_bit(12, b->bRL));
}

/* The guard's judgement, left in the plane context for the layer above when it refuses. */
static int osd_scan_refuse(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   const ST_KER_OSD_SCAN *next)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	int ret;

	if (!c)
		return -EINVAL;
	ret = osd_scan_check(enPlane, enRegion, next);
	if (ret)
		WRITE_ONCE(c->s32ScanError, ret);
	return ret;
}

/* The smallest scan between two, field by field, at the first one's start. */
static void osd_scan_small(const ST_KER_OSD_SCAN *cur, const ST_KER_OSD_SCAN *next,
			   ST_KER_OSD_SCAN *small)
{
	*small = *cur;
	small->u32Units = min(cur->u32Units, next->u32Units);
	small->u32Offset = min(cur->u32Offset, next->u32Offset);
	small->u32W = min(cur->u32W, next->u32W);
	small->u32H = min(cur->u32H, next->u32H);
	small->u32VFactor = min(cur->u32VFactor, next->u32VFactor);
	small->u32Quant = min(cur->u32Quant, next->u32Quant);
	if (osd_code_bpp(next->u32Code) < osd_code_bpp(cur->u32Code))
		small->u32Code = next->u32Code;
}

/*
 * Whether a move takes two writes, the state between them reading from
 * neither start: a normal plane's start and its run-length decoding lie in
 * two registers, a cursor's start bits 31:30 apart from bits 29:5 and the
 * flip.
 */
static bool osd_scan_split_move(EN_DRV_OSD_PLANE_ID enPlane, const ST_KER_OSD_SCAN *cur,
				const ST_KER_OSD_SCAN *next)
{
	u32 moved = (cur->u32Start ^ next->u32Start) & ~31u;
	bool flip = cur->bVFlip != next->bVFlip;

	if (OSD_IS_CURSOR(enPlane))
		return (moved >> 30) && ((moved & 0x3fffffe0) || flip);
	return cur->bRL != next->bRL && (moved || flip);
}

/* The region show bits of a plane (both regions of a cursor), in their latched register. */
static u32 osd_scan_show_reg(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Mask)
{
	if (OSD_IS_CURSOR(enPlane)) {
		*pu32Mask = BIT(0) | BIT(16);
		return osd_cursor_reg(OSD_REG(0x2004), enPlane);
	}
	*pu32Mask = BIT(0);
	return osd_normal_reg(OSD_REG(0x110), enPlane);
}

/*
 * A region's registers are judged as they are programmed, but those of a
 * plane whose buffer never held its geometry keep what power-on left
 * (a scan of address 0): showing the region is what makes them read.
 */
int osd_scan_may_show(EN_DRV_OSD_PLANE_ID enPlane, int enRegion)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	u32 shown, mask;
	int r, ret = 0;

	if (!c)
		return -EINVAL;
	shown = osd_read(osd_scan_show_reg(enPlane, &mask)) & mask;
	for (r = 0; !ret && r < (OSD_IS_CURSOR(enPlane) ? OSD_REGION_MAX : 1); r++)
		if (enRegion >= 0 ? r == enRegion : shown & BIT(16 * r))
			ret = _ker_osd_Check_Scan(enPlane, r);
	if (ret)
		WRITE_ONCE(c->s32ScanError, ret);
	return ret;
}

/*
 * Programs a region's scan, or refuses it (-EINVAL, also left in the plane
 * context for the layer above) and writes nothing. A vsync may latch any
 * state in between, so every field that only widens a scan shrinks first
 * and grows last, and the start moves while the scans are at their
 * smallest: each state reads no more than the old scan or the new one, in
 * every region of a cursor, whose regions move with the one start. Where
 * the move takes two writes, the plane's regions are hidden across it.
 */
int osd_scan_set(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
		 const ST_KER_OSD_SCAN *next)
{
	ST_KER_OSD_SCAN cur[OSD_REGION_MAX], small[OSD_REGION_MAX], moved[OSD_REGION_MAX];
	ST_KER_OSD_SCAN want[OSD_REGION_MAX];
	int n = OSD_IS_CURSOR(enPlane) ? OSD_REGION_MAX : 1, r, ret;
	u32 show = 0, mask, reg;
	bool split;

	ret = osd_scan_refuse(enPlane, enRegion, next);
	if (ret)
		return ret;
	for (r = 0; r < n; r++) {
		osd_scan_get(enPlane, r, &cur[r]);
		want[r] = r == enRegion ? *next : cur[r];
		want[r].u32Start = next->u32Start;
		want[r].bVFlip = next->bVFlip;
		osd_scan_small(&cur[r], &want[r], &small[r]);
		moved[r] = small[r];
		moved[r].u32Start = next->u32Start;
		moved[r].bVFlip = next->bVFlip;
		moved[r].bRL = want[r].bRL;
		osd_scan_write(enPlane, r, &cur[r], &small[r]);
	}
	/* the start is the plane's: it moves once, with the region's other moves */
	split = osd_scan_split_move(enPlane, &cur[enRegion], next);
	reg = osd_scan_show_reg(enPlane, &mask);
	if (split) {
		show = osd_read(reg) & mask;
		osd_prog(reg, mask, 0);
	}
	osd_scan_write(enPlane, enRegion, &small[enRegion], &moved[enRegion]);
	if (split)
		osd_prog(reg, mask, show);
	for (r = 0; r < n; r++)
		osd_scan_write(enPlane, r, &moved[r], &want[r]);
	osd_scan_written(enPlane);
	return 0;
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
	OSD_ERR_RL("Invalid color format\n");
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
		OSD_ERR_RL("Invalid color mode = %d\n", *penColor);
		memset(pstFmt, 0, sizeof(*pstFmt));
		return;
	}
	*pstFmt = gastColorTable[i].stFmt;
	OSD_LEAVE();
}

void _ker_osd_Set_ColorMode(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    EN_COLOR *penColor)
{
	ST_KER_OSD_SCAN next;
	u32 code = 0;
	int i;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!penColor)
		return;
	i = osd_color_index(*penColor);
	if (i < 0)
		OSD_ERR_RL("Invalid color format = %d\n", *penColor);
	else
		code = gastColorTable[i].u32Code;
	/* the pixel size changes the bytes every line and the stride span */
	osd_scan_get(enPlane, enRegion, &next);
	next.u32Code = code;
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
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
	ST_KER_OSD_SCAN next;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable || !osd_normal_only(enPlane))
		return;
	osd_scan_get(enPlane, enRegion, &next);
	next.bRL = !!*pbEnable;
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
	OSD_LEAVE();
}

void _ker_osd_Set_RLDecodeCtrl(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			       ST_DRV_OSD_RL_DECODE_CTRL *pstCtrl)
{
	ST_KER_OSD_SCAN next;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstCtrl || !osd_normal_only(enPlane))
		return;
	osd_scan_get(enPlane, enRegion, &next);
	next.u32Quant = pstCtrl->u32TotalRQuant;
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
	osd_prog(osd_normal_reg(OSD_REG(0x128), enPlane), ~0x1fffffu,
		 (pstCtrl->u32DummyByteMask & 7) << 24);
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
		ST_KER_OSD_SCAN next;

		/* a cursor draws as many lines as its destination has */
		osd_scan_get(enPlane, enRegion, &next);
		next.u32H = h;
		if (osd_scan_set(enPlane, enRegion, &next))
			return;
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2028), enPlane, enRegion), ~0u, pos);
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2030), enPlane, enRegion), ~0u, size);
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x114), enPlane), ~0u, pos);
		osd_prog(osd_normal_reg(OSD_REG(0x118), enPlane), ~0u, size);
		osd_prog(osd_normal_reg(OSD_REG(0x4034), enPlane), ~0u, w << 16);
	}
	OSD_LEAVE();
}

/* The source size as the registers take it (a cursor has no source height). */
static void osd_scan_src_size(EN_DRV_OSD_PLANE_ID enPlane, ST_SIZE *pstSize, ST_KER_OSD_SCAN *s)
{
	if (pstSize->u32W < 8)
		pstSize->u32W = 8;
	s->u32W = pstSize->u32W;
	if (!OSD_IS_CURSOR(enPlane))
		s->u32H = pstSize->u32H;
}

void _ker_osd_Set_SrcSize(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, ST_SIZE *pstSize)
{
	ST_KER_OSD_SCAN next;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pstSize)
		return;
	osd_scan_get(enPlane, enRegion, &next);
	osd_scan_src_size(enPlane, pstSize, &next);
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
	OSD_LEAVE();
}

void _ker_osd_Set_ReadOffset(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			     u32 *pu32Offset)
{
	ST_KER_OSD_SCAN next;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pu32Offset)
		return;
	osd_scan_get(enPlane, enRegion, &next);
	next.u32Offset = *pu32Offset & 31;
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
	OSD_LEAVE();
}

void _ker_osd_Set_TotalRQuant(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			      u32 *pu32Quant)
{
	ST_KER_OSD_SCAN next;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pu32Quant)
		return;
	/* what a run-length plane reads; a cursor's is judged with its scan */
	osd_scan_get(enPlane, enRegion, &next);
	next.u32Quant = *pu32Quant;
	if (OSD_IS_CURSOR(enPlane)) {
		if (osd_scan_refuse(enPlane, enRegion, &next))
			return;
		osd_prog(osd_cursor_reg(OSD_REG(0x20e8), enPlane), 0x1fffff, next.u32Quant);
	} else if (osd_scan_set(enPlane, enRegion, &next)) {
		return;
	}
	OSD_LEAVE();
}

/* The stride in pixels the registers take for a stride in bytes. */
static u32 osd_stride_units(ST_KER_OSD_REGION_CTX *r, u32 u32Stride)
{
	u32 bpp = OSD_COLOR_BPP(r->enColor);

	return bpp ? (u32)((((u64)u32Stride + 31) & ~31ull) / bpp) : 0;
}

/* Line-buffer end for a line of units pixels. */
static void osd_stride_lbm(EN_DRV_OSD_PLANE_ID enPlane, ST_KER_OSD_PLANE_CTX *c, u32 units)
{
	ST_DRV_OSD_LBM_ADDR stAddr;
	u32 v;

	v = units * (c->bHFlip ? 35 : 25);
	stAddr.u32Start = 0;
	stAddr.u32End = v < 102400 ? v * 4 / 320 : 1279;
	_ker_osd_Set_LBMAddr(enPlane, &stAddr);
	c->stLBMAddr = stAddr;
}

void _ker_osd_Set_Stride(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u32 *pu32Stride)
{
	ST_KER_OSD_PLANE_CTX *c;
	ST_KER_OSD_SCAN next;
	u32 units;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	c = osd_ctx(enPlane);
	if (!pu32Stride || !c)
		return;
	units = osd_stride_units(&c->astRegion[enRegion], *pu32Stride);
	osd_scan_get(enPlane, enRegion, &next);
	next.u32Units = units;
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
	osd_stride_lbm(enPlane, c, units);
	OSD_LEAVE();
}

/*
 * The start address of a window of the region's buffer, into the scan:
 * false when it does not fit the 32 bits the registers take.
 */
static bool osd_buf_start(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			  const ST_DRV_OSD_BUF_PHY_ADDR_SIZE *pstBuf, const ST_DRV_OSD_DISP_WIN *pstWin,
			  u32 u32Stride, bool bVFlip, ST_KER_OSD_SCAN *s)
{
	static const char fn[] = "_ker_osd_Set_BufPhyAddrSize";
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	ST_KER_OSD_REGION_CTX *r;
	u64 addr, stride, bpp, x, y, h, k, skip, line, start;

	if (!c)
		return false;
	r = &c->astRegion[enRegion];
	stride = u32Stride;
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
	skip = k >= 6 && k <= 8 ? 2 : k >= 3 && k <= 5 ? 1 : 0;
	if (addr != c->u32BufStart)
		skip = 0;
	line = bVFlip && h ? y + h - 1 : y;
	if (check_mul_overflow(skip * h, stride, &skip) || check_add_overflow(addr, skip, &addr) ||
	    check_mul_overflow(stride, line, &start) || check_add_overflow(addr, start, &start) ||
	    check_mul_overflow(bpp, x, &x) || check_add_overflow(start, x, &start) ||
	    start > U32_MAX) {
		OSD_ERR_RL("%s(), PlaneID = %d: [%u, %u, %u x %u] at 0x%08x does not fit the address registers\n",
			fn, enPlane, pstWin->stSrcWin.u32X, pstWin->stSrcWin.u32Y,
			pstWin->stSrcWin.u32W, pstWin->stSrcWin.u32H, pstBuf->u32BufPhyAddr);
		return false;
	}
	if (skip)
		OSD_DBG("%s(), %s, PlaneID = %d, u32BufPhyAddr = 0x%08x\n", fn,
			skip == h * stride ? "Back-Buffer" : "Last-Buffer", enPlane, (u32)addr);
	else
		OSD_DBG("%s(), Front-Buffer, PlaneID = %d, u32BufPhyAddr = 0x%08x\n", fn, enPlane,
			(u32)addr);
	if (bVFlip)
		OSD_DBG("%s(), VFlipEnable, PlaneID = %d, u32BufPhyAddr = 0x%08x, [X, Y, W, H, BPP] = [%d, %d, %d, %d, %d]\n",
			fn, enPlane, (u32)start, pstWin->stSrcWin.u32X, pstWin->stSrcWin.u32Y,
			pstWin->stSrcWin.u32W, pstWin->stSrcWin.u32H, (u32)bpp);
	else
		OSD_DBG("%s(), PlaneID = %d, u32BufPhyAddr = 0x%08x, [X, Y, W, H, BPP] = [%d, %d, %d, %d, %d]\n",
			fn, enPlane, (u32)start, pstWin->stSrcWin.u32X, pstWin->stSrcWin.u32Y,
			pstWin->stSrcWin.u32W, pstWin->stSrcWin.u32H, (u32)bpp);
	s->u32Start = (u32)start;
	return true;
}

/* Programs the start of a window of the region's buffer; false when refused. */
static bool osd_program_buf(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			    ST_DRV_OSD_BUF_PHY_ADDR_SIZE *pstBuf, const ST_DRV_OSD_DISP_WIN *pstWin,
			    bool bVFlip)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	ST_KER_OSD_SCAN next;

	osd_scan_get(enPlane, enRegion, &next);
	if (!osd_buf_start(enPlane, enRegion, pstBuf, pstWin, osd_region_stride(c, enRegion), bVFlip,
			   &next)) {
		WRITE_ONCE(c->s32ScanError, -EINVAL);
		return false;
	}
	if (osd_scan_set(enPlane, enRegion, &next))
		return false;
	pstBuf->u32StartAddr = next.u32Start;
	c->astRegion[enRegion].u32StartAddr = next.u32Start;
	return true;
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
	if (!osd_program_buf(enPlane, enRegion, pstBuf, &r->stDispWin, r->bVFlip))
		return;
	OSD_LEAVE();
}

void _ker_osd_VFlip_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion, u8 *pbEnable)
{
	ST_KER_OSD_REGION_CTX *r;
	ST_KER_OSD_SCAN next;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	r = osd_region(enPlane, enRegion);
	if (!pbEnable || !r)
		return;
	/* the flip and the start it moves to reach the registers together */
	osd_scan_get(enPlane, enRegion, &next);
	next.bVFlip = !!*pbEnable;
	if (r->stBufPhyAddrSize.u32BufPhyAddr &&
	    !osd_buf_start(enPlane, enRegion, &r->stBufPhyAddrSize, &r->stDispWin,
			   osd_region_stride(osd_ctx(enPlane), enRegion), next.bVFlip, &next)) {
		WRITE_ONCE(osd_ctx(enPlane)->s32ScanError, -EINVAL);
		return;
	}
	if (osd_scan_set(enPlane, enRegion, &next))
		return;
	if (r->stBufPhyAddrSize.u32BufPhyAddr) {
		r->stBufPhyAddrSize.u32StartAddr = next.u32Start;
		r->u32StartAddr = next.u32Start;
	}
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
			OSD_ERR_RL("Not support for Cursor plane!\n");
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
		ST_KER_OSD_SCAN next;

		if (pstF->u32HDownFactor && pstF->u32VDownFactor) {
			OSD_ERR_RL("Not support for Cursor plane!\n");
			return;
		}
		/* the vertical factor sets how many source lines a cursor reads */
		osd_scan_get(enPlane, enRegion, &next);
		next.u32VFactor = pstF->u32VFactor & 0x1ffff;
		if (osd_scan_set(enPlane, enRegion, &next))
			return;
		osd_prog(osd_cursor_region_reg(OSD_REG(0x2034), enPlane, enRegion), ~0u,
			 pstF->u32HFactor & 0x1ffff);
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
				OSD_ERR_RL("Vertical Scaling-Down: Invalid SrcHeight = %d, DstHeight = %d\n",
					s, d);
			else
				OSD_ERR_RL("Horizontal Scaling-Down: Invalid SrcWidth = %d, DstWidth = %d\n",
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
		OSD_ERR_RL("Set ScaleFunc failed !\n");
		OSD_ERR_RL("Invalid SrcWin: WxH = %dx%d, DstWin: WxH = %dx%d\n", sw, sh, dw, dh);
		return;
	}

	if (OSD_IS_CURSOR(enPlane)) {
		if (sw > dw || sh > dh) {
			OSD_ERR_RL("Cursor Plane not support ScaleDown!\n");
			return;
		}
		if (sw != dw) {
			if (dw == 1) {
				OSD_ERR_RL("Horizontal Scaling-Up: Invalid SrcWidth = %d, DstWidth = %d\n",
					sw, dw);
				return;
			}
			stF.u32HFactor = (u32)div_u64(((u64)sw << 16) - 0x10000, dw - 1);
		}
		if (sh != dh) {
			if (dh == 1) {
				OSD_ERR_RL("Horizontal Scaling-Up: Invalid SrcHeight = %d, DstHeight = %d\n",
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
			OSD_ERR_RL("Vertical Scaling-Up: Invalid SrcHeight = %d, DstHeight = %d\n", sh, dh);
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

/*
 * The scan a display window makes with a stride: the region's colour mode,
 * the stride, read offset, source size, read quantity and the start in the
 * buffer shown; for a cursor also the lines and factor its destination
 * gives. False when the start does not fit. A region shown from no buffer
 * yet is judged, when bWhole, at the plane's buffer, where the next buffer
 * programming puts it.
 */
static bool osd_disp_win_scan(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			      const ST_DRV_OSD_DISP_WIN *pstWin, u32 u32Stride, bool bWhole,
			      ST_KER_OSD_SCAN *s, u32 *pu32Units)
{
	ST_KER_OSD_PLANE_CTX *c = osd_ctx(enPlane);
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[enRegion];
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf = r->stBufPhyAddrSize;
	u32 x = pstWin->stSrcWin.u32X, sh = pstWin->stSrcWin.u32H, dh, y;
	ST_SIZE stSize = { pstWin->stSrcWin.u32W, sh };
	int i = osd_color_index(r->enColor);

	osd_scan_get(enPlane, enRegion, s);
	/* the mode the caller stored, whether or not a step before took it */
	if (i >= 0)
		s->u32Code = gastColorTable[i].u32Code;
	*pu32Units = osd_stride_units(r, u32Stride);
	s->u32Units = *pu32Units;
	switch (OSD_COLOR_BPP(r->enColor)) {
	case 4:
		s->u32Offset = x & 7;
		break;
	case 2:
		s->u32Offset = x & 15;
		break;
	case 1:
		s->u32Offset = x & 31;
		break;
	default:
		s->u32Offset = 0;
	}
	osd_scan_src_size(enPlane, &stSize, s);
	if (OSD_IS_CURSOR(enPlane)) {
		osd_clip(pstWin->stDstWin.u32Y, pstWin->stDstWin.u32H, gstVideoWinSize.u32H, &y, &dh);
		s->u32H = dh;
		if (sh == pstWin->stDstWin.u32H)
			s->u32VFactor = OSD_SCALE_ONE;
		else if (sh && sh < pstWin->stDstWin.u32H)
			s->u32VFactor = (u32)div_u64(((u64)sh << 16) - 0x10000,
						     pstWin->stDstWin.u32H - 1) & 0x1ffff;
	}
	if (!r->bRLDecode)
		s->u32Quant = (u32)min_t(u64, ((u64)sh * u32Stride) >> 4, U32_MAX);
	if (!buf.u32BufPhyAddr && bWhole)
		buf.u32BufPhyAddr = c->u32BufStart;
	return !buf.u32BufPhyAddr ||
	       osd_buf_start(enPlane, enRegion, &buf, pstWin, u32Stride, r->bVFlip, s);
}

int _ker_osd_Check_DispWin(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			   const ST_DRV_OSD_DISP_WIN *pstWin, u32 u32Stride)
{
	ST_KER_OSD_SCAN next;
	u32 units;

	if (_ker_osd_Check_Ids(OSD_ID_REGION, enPlane, enRegion, 0, 0, 0) || !pstWin ||
	    !osd_ctx(enPlane) ||
	    !osd_disp_win_scan(enPlane, enRegion, pstWin, u32Stride, true, &next, &units))
		return -EINVAL;
	return osd_scan_check(enPlane, enRegion, &next);
}

int _ker_osd_Check_Scan(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion)
{
	ST_KER_OSD_SCAN s;

	if (_ker_osd_Check_Ids(OSD_ID_REGION, enPlane, enRegion, 0, 0, 0) || !osd_ctx(enPlane))
		return -EINVAL;
	osd_scan_get(enPlane, enRegion, &s);
	return osd_scan_check_one(enPlane, enRegion, &s);
}

void _ker_osd_Set_DispWin(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
			  ST_DRV_OSD_DISP_WIN *pstWin)
{
	ST_KER_OSD_PLANE_CTX *c;
	ST_KER_OSD_REGION_CTX *r;
	ST_DRV_OSD_LBM_THRD stThrd;
	ST_KER_OSD_SCAN next;
	ST_RECT stDst;
	u32 stride, bpp, units;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	c = osd_ctx(enPlane);
	if (!pstWin || !c)
		return;
	r = &c->astRegion[enRegion];
	stride = osd_region_stride(c, enRegion);
	bpp = OSD_COLOR_BPP(r->enColor);

	/*
	 * The window is judged whole, as the plane will scan it, and its scan
	 * (colour, stride, read offset, source size, read quantity, start, and
	 * a cursor's lines and factor) programmed first: a window the plane may
	 * not show changes nothing, and the steps that follow find their part
	 * of the scan in place.
	 */
	if (!osd_disp_win_scan(enPlane, enRegion, pstWin, stride, true, &next, &units) ||
	    osd_scan_check(enPlane, enRegion, &next) ||
	    !osd_disp_win_scan(enPlane, enRegion, pstWin, stride, false, &next, &units) ||
	    osd_scan_set(enPlane, enRegion, &next)) {
		WRITE_ONCE(c->s32ScanError, -EINVAL);
		return;
	}
	stDst = pstWin->stDstWin;
	_ker_osd_Set_DstWin(enPlane, enRegion, &stDst);
	/* the destination is the region's from now on, as its read offset below */
	r->stDstWin = pstWin->stDstWin;
	_ker_osd_Set_ScaleFunc(enPlane, enRegion, pstWin);
	osd_stride_lbm(enPlane, c, units);
	r->u32ReadOffset = next.u32Offset;
	if (OSD_IS_CURSOR(enPlane) && !r->bRLDecode)
		_ker_osd_Set_TotalRQuant(enPlane, enRegion, &next.u32Quant);
	stThrd.u32Thrd0 = ((bpp * pstWin->stSrcWin.u32W) >> 4) & 0x7ffffff;
	stThrd.u32Thrd1 = enPlane + 1;
	stThrd.u32Thrd2 = 31;
	_ker_osd_Set_LBMThrd(enPlane, &stThrd);

	/* the window given, not the stored one: the scroll task moves its own copy */
	if (r->stBufPhyAddrSize.u32BufPhyAddr) {
		r->stBufPhyAddrSize.u32StartAddr = next.u32Start;
		r->u32StartAddr = next.u32Start;
	}
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
		OSD_ERR_RL("Current plane is not palette mode\n");
		return false;
	}
	if (pstPal->u32Start >= OSD_PALETTE_ENTRIES || pstPal->u32Count < 1 ||
	    pstPal->u32Count > OSD_PALETTE_ENTRIES ||
	    pstPal->u32Start + pstPal->u32Count > OSD_PALETTE_ENTRIES) {
		OSD_ERR_RL("Invalid Palette StartAddr = %d, Count = %d\n", pstPal->u32Start,
			pstPal->u32Count);
		return false;
	}
	if (!pstPal->pu32Data) {
		OSD_ERR_RL("Palette Data address is NULL\n");
		return false;
	}
	if (!osd_normal_only(enPlane))
		return false;
	if (!c->pu32KeepPalette) {
		OSD_ERR_RL("Kernel-Driver keeped Palette-Buffer is NULL\n");
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
		OSD_ERR_RL("[OSD-WRN] pid:%d, %s Last palette is updated, but not complete\n",
			current->pid, fn);
	if (gau8PalettePending[enPlane])
		OSD_ERR_RL("[OSD-WRN] pid:%d, %s Last palette is set, but not update trigger\n",
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

// SPDX-License-Identifier: GPL-2.0
/*
 * DispAge operation layer: a solid fill of a rectangle and a format
 * transform from one picture into another, with the engine's 3 x 3 colour
 * matrix set up for RGB/YUV conversion or channel reordering.
 *
 * The layer owns no lock of its own: every register write of an operation
 * happens between the driver's pfLock and pfUnlock, and every refusal
 * happens before pfLock, leaving the registers untouched.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/io.h>
#include <linux/string.h>
#include <linux/overflow.h>
#include "vyr_reach.h"
#include "ker_dispage_op.h"

unsigned int g_DispAgeOpDbgMask = 1;
module_param(g_DispAgeOpDbgMask, uint, 0644);
MODULE_PARM_DESC(g_DispAgeOpDbgMask, "DispAge operation messages: 1 error, 2 warning, 4 message, 8 trace, 16 dump registers");

#define OP_DBG_DUMP_REG 0x10

static ST_KDISPAGE_OP_INIT g_stDispAgeOp;

const ST_KDISPAGE_COLOR_FMT g_dispage_color_table[KDISPAGE_COLOR_TABLE_ROWS] = {
	{ 0 }, { 0 }, { 0 },
	{ 3, 0, { 32, 0, 0 }, 0, 0, "ARGB8888" },
	{ 4, 0, { 16, 0, 0 }, 0, 0, "RGB565" },
	{ 5, 0, { 16, 0, 0 }, 0, 0, "ARGB1555" },
	{ 6, 0, { 16, 0, 0 }, 0, 0, "ARGB4444" },
	{ 7, 0, { 32, 0, 0 }, 0, 0, "RGBA8888" },
	{ 8, 0, { 16, 0, 0 }, 0, 0, "RGBA5551" },
	{ 9, 0, { 16, 0, 0 }, 0, 0, "RGBA4444" },
	{ 11, 0, { 32, 0, 0 }, 0, 0, "AYUV8888" },
	{ 12, 0, { 16, 0, 0 }, 0, 0, "AYUV1555" },
	{ 13, 0, { 16, 0, 0 }, 0, 0, "YUV655" },
	{ 14, 0, { 24, 0, 0 }, 0, 0, "YUV888" },
	{ 15, 0, { 8, 16, 0 }, 1, 1, "YUV420" },
	{ 16, 0, { 8, 16, 0 }, 1, 0, "YUV422" },
	{ 17, 0, { 8, 16, 0 }, 0, 1, "YUV440" },
	{ 18, 0, { 8, 16, 0 }, 0, 0, "YUV444" },
	{ 20, 0, { 24, 0, 0 }, 0, 0, "BGR888" },
	{ 26, 0, { 8, 0, 0 }, 0, 0, "YUV400" },
	{ 15, 1, { 8, 8, 8 }, 1, 1, "YUV420Seperate" },
	{ 16, 1, { 8, 8, 8 }, 1, 0, "YUV422Seperate" },
	{ 17, 1, { 8, 8, 8 }, 0, 1, "YUV440Seperate" },
	{ 18, 1, { 8, 8, 8 }, 0, 0, "YUV444Seperate" },
};

static const char *const g_DispAgeOpDbgName[5] = {
	"Error", "Warning", "Message", "Trace Flow", "Dump Register",
};

/* Matrix row of R, of G and of B for each channel order. */
static const u8 g_DispAgeRgbOrderRows[6][3] = {
	{ 0, 1, 2 }, { 0, 2, 1 }, { 1, 0, 2 }, { 1, 2, 0 }, { 2, 0, 1 }, { 2, 1, 0 },
};

/* Coefficients x 256 and the offset, rows Y/R, U/G, V/B. */
static const s32 g_DispAgeRgb2Yuv601[3][4] = {
	{ 66, 129, 25, 4224 }, { -38, -74, 112, 32896 }, { 112, -94, -18, 32896 },
};
static const s32 g_DispAgeRgb2Yuv709[3][4] = {
	{ 47, 157, 16, 4224 }, { -26, -86, 112, 32896 }, { 112, -102, -10, 32896 },
};
static const s32 g_DispAgeYuv2Rgb601[3][4] = {
	{ 298, 0, 409, -56992 }, { 298, -100, -208, 34784 }, { 298, 517, 0, -70816 },
};
static const s32 g_DispAgeYuv2Rgb709[3][4] = {
	{ 298, 0, 459, -63392 }, { 298, -55, -137, 19936 }, { 298, 541, 0, -73888 },
};
static const s32 g_DispAgeIdentity[3][4] = {
	{ 256, 0, 0, 0 }, { 0, 256, 0, 0 }, { 0, 0, 256, 0 },
};

static inline void _op_wr(u32 off, u32 val)
{
	writel(val, g_stDispAgeOp.RegBase + off);
}

static inline u32 _op_rd(u32 off)
{
	return readl(g_stDispAgeOp.RegBase + off);
}

static inline void _op_wr_sec(u32 off, u32 val)
{
	writel(val, g_stDispAgeOp.SecureRegBase + off);
}

static void _op_rmw(u32 off, u32 mask, u32 val)
{
	u32 reg = _op_rd(off);

	_op_wr(off, (reg & ~mask) | (val & mask));
}

static bool _op_in(u32 id, const u8 *list, size_t n)
{
	size_t i;

	for (i = 0; i < n; i++)
		if (list[i] == id)
			return true;
	return false;
}

static const u8 g_FillDstFormats[] = { 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 18, 20 };
static const u8 g_SrcFormats[] = { 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 20, 26 };
static const u8 g_DstFormats[] = { 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 18, 20 };

const ST_KDISPAGE_COLOR_FMT *KDispAge_Op_FindFormat(u32 u32Id)
{
	int i;

	for (i = 0; i < KDISPAGE_COLOR_TABLE_ROWS; i++)
		if (g_dispage_color_table[i].u32Id == u32Id)
			return &g_dispage_color_table[i];
	return NULL;
}

int _DispAge_Op_Format_Domain(u32 u32Format)
{
	if ((u32Format >= 11 && u32Format <= 18) || u32Format == 26)
		return 1;
	if (u32Format == 3 || u32Format == 20)
		return 2;
	return 0;
}

/* Stride register field: bits 18:3 of stride[0] over stride[1] / 8. */
static u32 _op_stride(const ST_KDISPAGE_PLANE *p)
{
	return ((p->Buf_Stride[0] / 8) << 16) | ((p->Buf_Stride[1] >> 3) & 0xFFFF);
}

/*
 * Bytes plane i of a picture spans: from its address to the last pixel of
 * the w x h rectangle at the clip origin, rows stride apart, chroma planes
 * subsampled as the format says. False when the sum does not fit.
 */
static bool _op_plane_span(const ST_KDISPAGE_PLANE *p, const ST_KDISPAGE_COLOR_FMT *row, int i,
			   u32 w, u32 h, u64 *span)
{
	u64 cols = (u64)p->ClipX + w, rows = (u64)p->ClipY + h;
	u32 bits = p->SeparateUV && i ? 8 : row->u32Bits[i];
	u64 stride = p->Buf_Stride[i ? 1 : 0], bytes;

	if (i) {
		cols = (cols + row->u32HSub) >> row->u32HSub;
		rows = (rows + row->u32VSub) >> row->u32VSub;
	}
	if (check_mul_overflow(cols, (u64)bits, &bytes) ||
	    check_mul_overflow(rows - 1, stride, span) ||
	    check_add_overflow(*span, DIV_ROUND_UP(bytes, 8), span))
		return false;
	return true;
}

/*
 * The guard where a picture is programmed: what the registers cannot carry
 * is refused rather than cut (strides of 512 KiB or more, a clip x the
 * clip register's enable bit would swallow, a missing chroma address of a
 * two-plane format), and so is a plane the engine would not reach in one
 * 4 GiB window below its limit (vyr_reach.h; the planes of a picture share
 * the LPAE register's two high bits) while it reads or writes the rectangle.
 * Separate planes are one register bit, which only a transform has: any
 * other value would leave the engine laying the planes out otherwise.
 */
static int _op_check_reach(const ST_KDISPAGE_PLANE *p, bool can_separate, u32 w, u32 h,
			   const char *who)
{
	/* A format without a row in the table (fill format 2) is taken at the widest pixel. */
	static const ST_KDISPAGE_COLOR_FMT widest = { .u32Bits = { 32, 0, 0 } };
	const ST_KDISPAGE_COLOR_FMT *row = KDispAge_Op_FindFormat(p->FormatMode) ?: &widest;
	bool chroma = p->SeparateUV || row->u32Bits[1];
	int planes = p->SeparateUV ? 3 : (chroma ? 2 : 1);
	int i;

	if (p->SeparateUV > can_separate) {
		DISPAGE_OP_ERR("%s SeparateUV = %d not support !!!\n", who, p->SeparateUV);
		return -EINVAL;
	}
	if (p->Buf_Stride[0] >= 0x80000 || (chroma && p->Buf_Stride[1] >= 0x80000) || p->ClipX >= 0x8000) {
		DISPAGE_OP_ERR("%s Buf_Stride[0..1] = %d, %d, ClipX = %d out of range !!!!\n", who,
			       p->Buf_Stride[0], p->Buf_Stride[1], p->ClipX);
		return -EINVAL;
	}
	for (i = 0; i < planes; i++) {
		u64 addr = p->Buf_Address[i], span;

		if (!addr || (addr >> 32) != (p->Buf_Address[0] >> 32) ||
		    !_op_plane_span(p, row, i, w, h, &span) ||
		    !vyr_reach_window(addr, span, g_stDispAgeOp.LpaeReg != NULL)) {
			DISPAGE_OP_ERR("%s Buf_Address[%d] = 0x%llx out of reach !!!!\n", who, i, addr);
			return -EFAULT;
		}
	}
	return 0;
}

static bool _op_windows_mapped(void)
{
	if (g_stDispAgeOp.RegBase && g_stDispAgeOp.SecureRegBase)
		return true;
	DISPAGE_OP_ERR("%s() RegReMap Fail : Normal == %p, Secure = %p !!!!!!!!!!!!!!\n", __func__,
		       g_stDispAgeOp.RegBase, g_stDispAgeOp.SecureRegBase);
	return false;
}

static int _op_lock(void)
{
	int ret;

	if (!g_stDispAgeOp.pfLock)
		return -1;
	ret = g_stDispAgeOp.pfLock();
	if (ret)
		DISPAGE_OP_ERR("%s() : down_killable() = %d\n", __func__, ret);
	return ret;
}

/* Trigger, read and clear the status, judge the run, unlock. */
static int _op_run_and_unlock(const char *func)
{
	int ret = g_stDispAgeOp.pfTrigger ? g_stDispAgeOp.pfTrigger() : -1;
	u32 status = _op_rd(DISPAGE_REG_INT_STATUS);
	u32 feedback = _op_rd(DISPAGE_REG_FEEDBACK);

	_op_wr(DISPAGE_REG_INT_STATUS, 0xFFFFFFFF);
	_op_wr(DISPAGE_REG_INT_EN, 0);

	/* An engine error interrupts like a finished run: judge both alike. */
	if (ret >= 0 && (status & DISPAGE_INT_ERRORS)) {
		DISPAGE_OP_ERR("%s() fail : InterruptStatus = %X, StatusFeedback = %X\n", func, status,
			       feedback);
		KDispAge_Op_DumpReg();
		ret = -1;
	} else if (ret >= 1 && (READ_ONCE(g_DispAgeOpDbgMask) & OP_DBG_DUMP_REG)) {
		KDispAge_Op_DumpReg();
	}
	if (g_stDispAgeOp.pfUnlock)
		g_stDispAgeOp.pfUnlock();
	return ret;
}

static void _op_write_lpae(u32 val)
{
	if (g_stDispAgeOp.LpaeReg)
		writel(val, g_stDispAgeOp.LpaeReg);
}

int KDispAge_OP_Initial(const ST_KDISPAGE_OP_INIT *pstInit)
{
	if (!pstInit)
		return -EINVAL;
	if (!pstInit->RegBase || !pstInit->SecureRegBase)
		return -EFAULT;
	if (readl(pstInit->RegBase + DISPAGE_REG_HW_ID) != DISPAGE_HW_ID)
		return -ENODEV;
	g_stDispAgeOp = *pstInit;
	DISPAGE_OP_TRC("%s()  OK !!!!\n", __func__);
	return 0;
}

void KDispAge_OP_Terminate(void)
{
	memset(&g_stDispAgeOp, 0, sizeof(g_stDispAgeOp));
}

int KDispAge_OP_Fill(ST_KDISPAGE_PLANE *pstDst, u32 u32Color)
{
	int ret;

	if (!pstDst)
		return -EINVAL;
	DISPAGE_OP_TRC("Dst  : FormatMode(%d) , Apha_1(0x%X), Apha_2(0x%X)\n", pstDst->FormatMode,
		       pstDst->Apha_1, pstDst->Apha_2);
	DISPAGE_OP_TRC("Dst  : Buf_Address[0..2] = 0x%llx, 0x%llx, 0x%llx\n", pstDst->Buf_Address[0],
		       pstDst->Buf_Address[1], pstDst->Buf_Address[2]);
	DISPAGE_OP_TRC("Dst  : Buf_Stride[0..2] =  %9d, %9d, %9d\n", pstDst->Buf_Stride[0],
		       pstDst->Buf_Stride[1], pstDst->Buf_Stride[2]);
	DISPAGE_OP_TRC("Dst  : WxH = %dx%d, ClipOn(%d), Clip = %dx%d \n", pstDst->Width, pstDst->Height,
		       pstDst->ClipOn, pstDst->ClipX, pstDst->ClipY);
	DISPAGE_OP_TRC("Color = 0x%08X\n", u32Color);

	if (!_op_in(pstDst->FormatMode, g_FillDstFormats, sizeof(g_FillDstFormats))) {
		DISPAGE_OP_ERR("Destination Format not support !!!!\n");
		return -ENOEXEC;
	}
	if (!pstDst->Buf_Address[0]) {
		DISPAGE_OP_ERR("pstDst->Buf_Address[0] == %llx \n", pstDst->Buf_Address[0]);
		return -EFAULT;
	}
	if (pstDst->Buf_Stride[0] % 8) {
		DISPAGE_OP_ERR("pstDst->Buf_Stride[0] == %d, Mod 8 = %d \n", pstDst->Buf_Stride[0],
			       pstDst->Buf_Stride[0] % 8);
		return -EINVAL;
	}
	if (!pstDst->Width || !pstDst->Height)
		return -EDOM;
	ret = _op_check_reach(pstDst, false, pstDst->Width, pstDst->Height, "Dst");
	if (ret)
		return ret;
	if (!_op_windows_mapped())
		return -1;
	ret = _op_lock();
	if (ret)
		return ret;

	_op_wr(DISPAGE_REG_CTRL, 0x50000000);
	_op_wr(DISPAGE_REG_FORMAT, (u32)pstDst->FormatMode << 16);
	_op_wr(DISPAGE_REG_SRC_OPT, 0);
	_op_wr(DISPAGE_REG_FILL_COLOR, u32Color);
	_op_wr(DISPAGE_REG_SIZE, ((u32)pstDst->Width << 16) | pstDst->Height);
	_op_wr(DISPAGE_REG_SRC_STRIDE, 0);
	_op_wr(DISPAGE_REG_DST_STRIDE, _op_stride(pstDst));
	_op_wr(DISPAGE_REG_DST_CLIP, 0x80000000 | ((u32)pstDst->ClipX << 16) | pstDst->ClipY);
	_op_wr_sec(DISPAGE_SREG_SRC_ADDR0, 0);
	_op_wr_sec(DISPAGE_SREG_SRC_ADDR1, 0);
	_op_wr_sec(DISPAGE_SREG_DST_ADDR0, lower_32_bits(pstDst->Buf_Address[0]));
	_op_wr_sec(DISPAGE_SREG_DST_ADDR1, lower_32_bits(pstDst->Buf_Address[1]));
	_op_wr_sec(DISPAGE_SREG_DST_ADDR2, lower_32_bits(pstDst->Buf_Address[2]));
	_op_wr_sec(DISPAGE_SREG_SRC_ADDR2, 0);
	_op_write_lpae(upper_32_bits(pstDst->Buf_Address[0]) & 0x3);
	_op_wr(DISPAGE_REG_AUX0, (u32)pstDst->Aux0 << 24);
	_op_wr(DISPAGE_REG_MATRIX0, 0);
	_op_wr(DISPAGE_REG_SRC_CLIP, 0);
	_op_wr(DISPAGE_REG_INT_EN, DISPAGE_INT_ENABLE_ALL);
	_op_wr(DISPAGE_REG_INT_STATUS, DISPAGE_INT_DONE);

	return _op_run_and_unlock(__func__);
}
EXPORT_SYMBOL(KDispAge_OP_Fill);

static void _op_trace_plane(const char *who, const ST_KDISPAGE_PLANE *p)
{
	DISPAGE_OP_TRC("%s  : FormatMode(%d), Apha_1(0x%X), Apha_2(0x%X)\n", who, p->FormatMode,
		       p->Apha_1, p->Apha_2);
	DISPAGE_OP_TRC("%s  : Buf_Address[0..2]  = 0x%llx, 0x%llx, 0x%llx\n", who, p->Buf_Address[0],
		       p->Buf_Address[1], p->Buf_Address[2]);
	DISPAGE_OP_TRC("%s  : Buf_Stride[0..2] =\t%9d, %9d, %9d\n", who, p->Buf_Stride[0],
		       p->Buf_Stride[1], p->Buf_Stride[2]);
	DISPAGE_OP_TRC("%s  : WxH = %dx%d, ClipOn(%d), Clip = %dx%d \n", who, p->Width, p->Height,
		       p->ClipOn, p->ClipX, p->ClipY);
}

static int _op_check_separate(const char *who, const ST_KDISPAGE_PLANE *p)
{
	if (!p->SeparateUV)
		return 0;
	if (p->FormatMode < 15 || p->FormatMode > 18) {
		DISPAGE_OP_ERR("%s format = %d, but Separate UV only support format 15, 16, 17, 18\n", who,
			       p->FormatMode);
		return -EFAULT;
	}
	if (!p->Buf_Address[2] || p->Buf_Stride[1] != p->Buf_Stride[2]) {
		DISPAGE_OP_ERR("%s YUV separate Buf_Address[%llx, %llx, %llx] , Stride[%d, %d, %d] not support !!!\n",
			       who, p->Buf_Address[0], p->Buf_Address[1], p->Buf_Address[2],
			       p->Buf_Stride[0], p->Buf_Stride[1], p->Buf_Stride[2]);
		return -EFAULT;
	}
	return 0;
}

/* Whether the matrix choice of a transform depends on the channel order. */
static bool _op_uses_order(int src_domain, int dst_domain, u32 order)
{
	if (src_domain == 1)
		return dst_domain == 0 || dst_domain == 2;
	return dst_domain == 2 && order != 0;
}

int KDispAge_OP_FormatTransform(ST_KDISPAGE_PLANE *pstSrc, ST_KDISPAGE_PLANE *pstDst)
{
	int src_domain, dst_domain, ret;

	if (!pstSrc || !pstDst) {
		DISPAGE_OP_ERR("%s() requisite parameter Src or Dst is NULL\n", __func__);
		return -EINVAL;
	}
	_op_trace_plane("Src", pstSrc);
	_op_trace_plane("Dst", pstDst);

	if (!_op_in(pstSrc->FormatMode, g_SrcFormats, sizeof(g_SrcFormats))) {
		DISPAGE_OP_ERR("Source Format not support !!!!\n");
		return -ENOEXEC;
	}
	if (!_op_in(pstDst->FormatMode, g_DstFormats, sizeof(g_DstFormats))) {
		DISPAGE_OP_ERR("Destination Format not support !!!!\n");
		return -ENOEXEC;
	}
	if (!pstSrc->Buf_Address[0] || !pstDst->Buf_Address[0]) {
		DISPAGE_OP_ERR("pstSrc->Buf_Address[0] == %llx || pstDst->Buf_Address[0] == %llx \n",
			       pstSrc->Buf_Address[0], pstDst->Buf_Address[0]);
		return -EFAULT;
	}
	ret = _op_check_separate("Src", pstSrc);
	if (!ret)
		ret = _op_check_separate("Dst", pstDst);
	if (ret)
		return ret;
	if ((pstSrc->Buf_Stride[0] % 8) || (pstDst->Buf_Stride[0] % 8)) {
		DISPAGE_OP_ERR("pstSrc->Buf_Stride[0] == %d, Mod 8 = %d \n", pstSrc->Buf_Stride[0],
			       pstSrc->Buf_Stride[0] % 8);
		DISPAGE_OP_ERR("pstDst->Buf_Stride[0] == %d, Mod 8 = %d \n", pstDst->Buf_Stride[0],
			       pstDst->Buf_Stride[0] % 8);
		return -EINVAL;
	}
	if (!pstDst->Width || !pstDst->Height)
		return -EDOM;
	/* The source is read over the destination's size. */
	ret = _op_check_reach(pstSrc, true, pstDst->Width, pstDst->Height, "Src");
	if (!ret)
		ret = _op_check_reach(pstDst, true, pstDst->Width, pstDst->Height, "Dst");
	if (ret)
		return ret;
	src_domain = _DispAge_Op_Format_Domain(pstSrc->FormatMode);
	dst_domain = _DispAge_Op_Format_Domain(pstDst->FormatMode);
	/* A failed matrix set-up would leave the last caller's matrix in force. */
	if (pstDst->RgbOrder > 5 && _op_uses_order(src_domain, dst_domain, pstDst->RgbOrder)) {
		DISPAGE_OP_ERR("Dst RgbOrder = %d not support !!!\n", pstDst->RgbOrder);
		return -EINVAL;
	}
	if (!_op_windows_mapped())
		return -1;
	ret = _op_lock();
	if (ret)
		return ret;

	_op_wr(DISPAGE_REG_CTRL, 0x40000000 | ((u32)pstDst->Aux3 << 20));
	_op_wr(DISPAGE_REG_FORMAT, ((u32)pstSrc->FormatMode << 24) | ((u32)pstDst->SeparateUV << 21) |
				   ((u32)pstDst->FormatMode << 16) | ((u32)pstDst->Apha_1 << 8) |
				   pstDst->Apha_2);
	_op_wr(DISPAGE_REG_SRC_OPT, ((u32)pstSrc->SeparateUV << 31) | ((u32)pstDst->Aux4 << 22) |
				    ((u32)pstSrc->Aux2 << 20) | ((u32)pstSrc->ColorStd << 16) |
				    ((u32)pstSrc->Aux1 << 12));
	_op_wr(DISPAGE_REG_SIZE, ((u32)pstDst->Width << 16) | pstDst->Height);
	_op_wr(DISPAGE_REG_SRC_STRIDE, _op_stride(pstSrc));
	_op_wr(DISPAGE_REG_DST_STRIDE, _op_stride(pstDst));
	_op_wr(DISPAGE_REG_DST_CLIP, 0x80000000 | ((u32)pstDst->ClipX << 16) | pstDst->ClipY);
	_op_wr(DISPAGE_REG_SRC_CLIP, 0x80000000 | ((u32)pstSrc->ClipX << 16) | pstSrc->ClipY);
	_op_wr_sec(DISPAGE_SREG_SRC_ADDR0, lower_32_bits(pstSrc->Buf_Address[0]));
	_op_wr_sec(DISPAGE_SREG_SRC_ADDR1, lower_32_bits(pstSrc->Buf_Address[1]));
	_op_wr_sec(DISPAGE_SREG_DST_ADDR0, lower_32_bits(pstDst->Buf_Address[0]));
	_op_wr_sec(DISPAGE_SREG_DST_ADDR1, lower_32_bits(pstDst->Buf_Address[1]));
	if (pstSrc->SeparateUV)
		_op_wr_sec(DISPAGE_SREG_SRC_ADDR2, lower_32_bits(pstSrc->Buf_Address[2]));
	if (pstDst->SeparateUV)
		_op_wr_sec(DISPAGE_SREG_DST_ADDR2, lower_32_bits(pstDst->Buf_Address[2]));
	_op_write_lpae(((upper_32_bits(pstSrc->Buf_Address[0]) & 0x3) << 4) |
		       (upper_32_bits(pstDst->Buf_Address[0]) & 0x3));
	_op_wr(DISPAGE_REG_AUX0, ((u32)pstSrc->Aux0 << 28) | ((u32)pstDst->Aux0 << 24));

	_DispAge_Op_ColorTransform_Setting(src_domain, dst_domain,
					   pstSrc->ColorStd ? DISPAGE_STD_709 : DISPAGE_STD_601, 0,
					   pstDst->RgbOrder);

	_op_wr(DISPAGE_REG_INT_EN, DISPAGE_INT_ENABLE_ALL);
	_op_wr(DISPAGE_REG_INT_STATUS, DISPAGE_INT_DONE);

	return _op_run_and_unlock(__func__);
}
EXPORT_SYMBOL(KDispAge_OP_FormatTransform);

void KDispAge_Op_DumpReg(void)
{
	u32 off;

	if (!g_stDispAgeOp.RegBase || !g_stDispAgeOp.SecureRegBase)
		return;
	for (off = 0; off <= DISPAGE_REG_LAST; off += 16)
		printk(KERN_INFO "%08X : %08X %08X %08X %08X \n", off, _op_rd(off), _op_rd(off + 4),
		       _op_rd(off + 8), _op_rd(off + 12));
}

/* ---- colour matrix ---- */

/* Sign-magnitude: 10 bits of magnitude under a sign bit. */
static u32 _op_coef(s32 c)
{
	u32 mag = (u32)(c < 0 ? -c : c) & 0x3FF;

	return c < 0 ? mag | 0x400 : mag;
}

/* Offsets: 17 bits of magnitude, sign in bit 17. */
static u32 _op_offset(s32 o)
{
	u32 mag = (u32)(o < 0 ? -o : o) & 0x1FFFF;

	return o < 0 ? mag | 0x20000 : mag;
}

/* Coefficient k (row * 3 + column) in its half of the matrix registers. */
static void _op_write_coef(unsigned int k, s32 c)
{
	u32 reg = k == 8 ? DISPAGE_REG_MATRIX_C22 : DISPAGE_REG_MATRIX0 + (k / 2) * 4;

	if (k % 2 == 0)
		_op_rmw(reg, 0x07FF0000, _op_coef(c) << 16);
	else
		_op_rmw(reg, 0x000007FF, _op_coef(c));
}

int _DispAge_Op_ColorTransform_Enable(u8 u8On)
{
	DISPAGE_OP_TRC("%s(%d) \n", __func__, u8On);
	_op_rmw(DISPAGE_REG_MATRIX0, BIT(28), u8On ? BIT(28) : 0);
	return 0;
}

int _DispAge_Op_ColorTransform_Coefficient(u8 u8Row, s16 s16C0, s16 s16C1, s16 s16C2, s32 s32Offset)
{
	static const u32 offset_reg[3] = { 0x8C, 0x90, 0x98 };

	if (u8Row > 2)
		return -1;
	_op_write_coef(u8Row * 3 + 0, s16C0);
	_op_write_coef(u8Row * 3 + 1, s16C1);
	_op_write_coef(u8Row * 3 + 2, s16C2);
	_op_rmw(offset_reg[u8Row], 0x3FFFF, _op_offset(s32Offset));
	return 0;
}

static void _op_write_rows(const s32 m[3][4], const u8 rows[3])
{
	int i;

	for (i = 0; i < 3; i++)
		_DispAge_Op_ColorTransform_Coefficient(rows[i], m[i][0], m[i][1], m[i][2], m[i][3]);
}

int _DispAge_Op_ColorTransform_RGB2YUV(u32 u32Std, u32 u32Range)
{
	if (u32Std == DISPAGE_STD_601)
		_op_write_rows(g_DispAgeRgb2Yuv601, g_DispAgeRgbOrderRows[0]);
	else if (u32Std == DISPAGE_STD_709)
		_op_write_rows(g_DispAgeRgb2Yuv709, g_DispAgeRgbOrderRows[0]);
	else
		return -10;
	return 0;
}

int _DispAge_Op_ColorTransform_YUV2RGB(u32 u32Std, u32 u32Range, u32 u32Order)
{
	DISPAGE_OP_TRC("%s(%d) \n", __func__, u32Order);
	if (u32Order > 5)
		return -20;
	if (u32Std == DISPAGE_STD_601)
		_op_write_rows(g_DispAgeYuv2Rgb601, g_DispAgeRgbOrderRows[u32Order]);
	else if (u32Std == DISPAGE_STD_709)
		_op_write_rows(g_DispAgeYuv2Rgb709, g_DispAgeRgbOrderRows[u32Order]);
	else
		return -20;
	return 0;
}

int _DispAge_Op_ColorTransform_RGBswap_mode(u32 u32Order)
{
	DISPAGE_OP_TRC("%s(%d) \n", __func__, u32Order);
	if (u32Order > 5)
		return -30;
	_op_write_rows(g_DispAgeIdentity, g_DispAgeRgbOrderRows[u32Order]);
	return 0;
}

int _DispAge_Op_ColorTransform_Setting(int s32SrcDomain, int s32DstDomain, u32 u32Std, u32 u32Range,
				       u32 u32Order)
{
	int ret;

	if ((s32SrcDomain == 0 || s32SrcDomain == 2) && s32DstDomain == 1) {
		ret = _DispAge_Op_ColorTransform_RGB2YUV(u32Std, u32Range);
		if (ret)
			goto fail_convert;
		return _DispAge_Op_ColorTransform_Enable(1);
	}
	if (s32SrcDomain == 1 && (s32DstDomain == 0 || s32DstDomain == 2)) {
		ret = _DispAge_Op_ColorTransform_YUV2RGB(u32Std, u32Range, u32Order);
		if (ret)
			goto fail_convert;
		return _DispAge_Op_ColorTransform_Enable(1);
	}
	if (s32SrcDomain != 1 && s32DstDomain == 2 && u32Order != 0) {
		ret = _DispAge_Op_ColorTransform_RGBswap_mode(u32Order);
		if (ret) {
			DISPAGE_OP_ERR("Set ColorTransform Matrix Fail in %s %d!!!!!!!!!\n", __func__, 341);
			return ret;
		}
		return _DispAge_Op_ColorTransform_Enable(1);
	}
	DISPAGE_OP_MSG("%s() Disable Matrix\n\r", __func__);
	return _DispAge_Op_ColorTransform_Enable(0);

fail_convert:
	DISPAGE_OP_ERR("Set ColorTransform Matrix Fail in %s %d!!!!!!!!!\n", __func__, 328);
	return ret;
}

/* ---- debug mask ---- */

void Ker_DispAge_Op_Disable_All_DbgMask(void)
{
	WRITE_ONCE(g_DispAgeOpDbgMask, 1);
}

void Ker_DispAge_Op_ToggleDbgMask(u32 u32Row)
{
	if (u32Row == 0) {
		printk(KERN_INFO "Dbg Mask No change !!!!!\n");
		return;
	}
	if (u32Row <= ARRAY_SIZE(g_DispAgeOpDbgName))
		WRITE_ONCE(g_DispAgeOpDbgMask, READ_ONCE(g_DispAgeOpDbgMask) ^ BIT(u32Row - 1));
}

void Ker_DispAge_Op_PrintDbgGroup(u32 u32Base)
{
	u32 mask = READ_ONCE(g_DispAgeOpDbgMask);
	u32 i, n = ARRAY_SIZE(g_DispAgeOpDbgName);

	for (i = 0; i < n; i++)
		printk(KERN_INFO "%04d)%c%-22s  %c", u32Base + i + 1, (mask & BIT(i)) ? '*' : ' ',
		       g_DispAgeOpDbgName[i], (i % 4 == 3 || i == n - 1) ? '\n' : ' ');
}

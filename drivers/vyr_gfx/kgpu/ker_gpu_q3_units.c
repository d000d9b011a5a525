// SPDX-License-Identifier: GPL-2.0
/*
 * 2D engine register units: the engine's pixel-format table, the colour
 * matrices, the conversion of a plane into a source or destination unit,
 * and the setters that write each unit into an engine's registers.
 */
#include <linux/kernel.h>
#include <linux/bitops.h>
#include <linux/string.h>
#include "ker_gpu_hw.h"

/* Row bytes. */
enum {
	FI_CH_NUM = 0, FI_ALPHA_POS = 1, FI_ALPHA_M = 2, FI_ALPHA_I = 3,
	FI_CH_OF = 4, FI_WIDTH = 8, FI_ORDER = 12, FI_PALETTE = 15,
	FI_UV_MODE = 16, FI_COLORSPACE = 17,
};

const u32 g_KGpu_Q3_Fmt_Num = KGPU_Q3_FMT_NUM;

const u8 g_KGpu_Q3_Fmt_Info[KGPU_Q3_FMT_NUM][KGPU_Q3_FMT_BYTES] = {
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 0, 0, 0 },	/* 0 */
	{ 1, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 0, 1, 2, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5, 1, 0, 1, 2, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 2, 1, 0, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 2, 1, 0, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5, 1, 2, 1, 0, 0, 0, 0 },	/* 5 */
	{ 1, 3, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 0, 0, 0 },
	{ 1, 3, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 0, 1, 2, 0, 0, 0 },
	{ 1, 3, 0, 0, 0, 0, 0, 0, 5, 5, 5, 1, 0, 1, 2, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 0, 0, 1, 2, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 0, 2, 1, 0, 0, 0, 0 },	/* 10 */
	{ 1, 0, 0, 0, 0, 0, 0, 0, 5, 6, 5, 0, 0, 1, 2, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 5, 6, 5, 0, 2, 1, 0, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 0, 0, 1 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 5, 5, 5, 1, 0, 1, 2, 0, 0, 1 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 0, 0, 1, 2, 0, 0, 1 },	/* 15 */
	{ 1, 0, 0, 0, 0, 0, 0, 0, 5, 5, 6, 0, 0, 1, 2, 0, 0, 1 },
	{ 2, 0, 0, 0, 0, 1, 1, 0, 8, 8, 8, 0, 2, 1, 0, 0, 0, 1 },
	{ 2, 0, 0, 0, 0, 1, 1, 0, 8, 8, 8, 0, 2, 1, 0, 0, 1, 1 },
	{ 2, 0, 0, 0, 0, 1, 1, 0, 8, 8, 8, 0, 2, 1, 0, 0, 2, 1 },
	{ 2, 0, 0, 0, 0, 1, 1, 0, 8, 8, 8, 0, 2, 1, 0, 0, 3, 1 },	/* 20 */
	{ 3, 0, 0, 0, 0, 1, 2, 0, 8, 8, 8, 0, 2, 1, 0, 0, 0, 1 },
	{ 3, 0, 0, 0, 0, 1, 2, 0, 8, 8, 8, 0, 2, 1, 0, 0, 1, 1 },
	{ 3, 0, 0, 0, 0, 1, 2, 0, 8, 8, 8, 0, 2, 1, 0, 0, 2, 1 },
	{ 3, 0, 0, 0, 0, 1, 2, 0, 8, 8, 8, 0, 2, 1, 0, 0, 3, 1 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 1, 0, 0 },	/* 25 */
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 0, 0, 1, 2, 3, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 17, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 33, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 0, 1, 2, 49, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 1, 2, 0, 0, 1 },	/* 30 */
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 1, 2, 0, 0, 0 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 0, 0, 1, 2, 0, 1, 1 },
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 0, 0, 2, 1, 0, 1, 1 },
	{ 1, 0, 0, 0, 0, 0, 1, 0, 8, 8, 8, 0, 0, 1, 2, 0, 1, 1 },
	{ 1, 0, 0, 0, 0, 0, 1, 0, 8, 8, 8, 0, 0, 2, 1, 0, 1, 1 },	/* 35 */
	{ 1, 0, 0, 0, 0, 0, 0, 0, 8, 8, 0, 0, 0, 1, 2, 0, 0, 1 },
	{ 2, 0, 0, 0, 0, 1, 0, 0, 8, 8, 0, 0, 0, 1, 2, 0, 0, 1 },
	{ 2, 0, 0, 0, 0, 1, 1, 0, 8, 8, 8, 0, 2, 1, 0, 0, 0, 0 },
	{ 3, 0, 0, 0, 0, 1, 2, 0, 8, 8, 8, 0, 2, 1, 0, 0, 0, 0 },
};

#define ROW_YUV400	30
#define ROW_GRAY8	31
#define ROW_PACKED_BGR	10

const KGPU_MATRIX IdentityMatrix = {
	{ 256, 0, 0, 0 }, { 0, 256, 0, 0 }, { 0, 0, 256, 0 } };
const KGPU_MATRIX YUV_to_RGB_601_LR_Matrix = {
	{ 298, 0, 409, -56992 }, { 298, -100, -208, 34784 }, { 298, 517, 0, -70816 } };
const KGPU_MATRIX YUV_to_RGB_601_FR_Matrix = {
	{ 256, 0, 359, -45941 }, { 256, -88, -183, 34678 }, { 256, 454, 0, -58065 } };
const KGPU_MATRIX RGB_to_YUV_601_LR_Matrix = {
	{ 66, 129, 25, 4096 }, { -38, -74, 112, 32768 }, { 112, -94, -18, 32768 } };
const KGPU_MATRIX RGB_to_YUV_601_FR_Matrix = {
	{ 77, 150, 29, 0 }, { -43, -85, 128, 32768 }, { 128, -107, -21, 32768 } };
const KGPU_MATRIX YUV400_to_RGB_Matrix = {
	{ 0, 0, 256, 0 }, { 0, 0, 256, 0 }, { 0, 0, 256, 0 } };

static const s32 (*const pRgb_Matrix[2])[4] = {
	YUV_to_RGB_601_LR_Matrix, YUV_to_RGB_601_FR_Matrix };
static const s32 (*const pYuv_Matrix[2])[4] = {
	RGB_to_YUV_601_LR_Matrix, RGB_to_YUV_601_FR_Matrix };

static const u8 BGR_Order[6][3] = {
	{ 2, 1, 0 }, { 2, 0, 1 }, { 1, 2, 0 }, { 1, 0, 2 }, { 0, 2, 1 }, { 0, 1, 2 } };

static const s8 kgpu_q3_pixel_bytes[30] = {
	1, 2, 4, 2, 2, 2, 4, 2, 2, 2, 4, 2, 2, 3, -1,
	-1, -1, -1, -1, 3, 4, 2, 4, 2, 4, 1, -1, -1, 2, 1,
};

/* YUV standard of a plane: anything but full range counts as limited. */
static u8 kgpu_yuv_mode(u8 mode)
{
	return mode == 1 ? 1 : 0;
}

const s32 (*kgpu_yuv_to_rgb_matrix(u8 mode))[4]
{
	return pRgb_Matrix[kgpu_yuv_mode(mode)];
}

int _AGE2_Q3_format_table(u8 FormatMode, u8 Bit24Mode, u8 SeparateUV)
{
	switch (FormatMode) {
	case 0: return 28;
	case 1: return 27;
	case 2: return 25;
	case 3: return Bit24Mode == 5 ? 3 : 0;
	case 4: return 11;
	case 5: return 2;
	case 6: return 1;
	case 7: case 23: return 6;
	case 8: return 8;
	case 9: return 7;
	case 11: return 13;
	case 12: return 14;
	case 13: return 16;
	case 14: return 15;
	case 15: return SeparateUV == 0 ? 20 : SeparateUV == 1 ? 24 : 0;
	case 16: return SeparateUV == 0 ? 18 : SeparateUV == 1 ? 22 : 0;
	case 17: return SeparateUV == 0 ? 19 : SeparateUV == 1 ? 23 : 0;
	case 18: return SeparateUV == 0 ? 17 : SeparateUV == 1 ? 21 : 0;
	case 20: return 10;
	case 26: return 30;
	case 27: return 29;
	case 28:
		if (Bit24Mode >= 1 && Bit24Mode <= 3)
			return 32 + Bit24Mode;
		return 32;
	case 29: return 36;
	case 30: return 37;
	case 31: return 38;
	case 32: return 39;
	default: return 0;
	}
}

int _KGPU_Q3_Pixel_Width(const KER_GPU_PLANE *pstPlane)
{
	u8 fmt = pstPlane->FormatMode;

	if (fmt == 0 || fmt > ARRAY_SIZE(kgpu_q3_pixel_bytes))
		return -1;
	return kgpu_q3_pixel_bytes[fmt - 1];
}

u32 _GPU_Q3_Chroma_Offset(u32 mode, u32 ch, u32 x, u32 y, u32 bpp, u32 stride)
{
	if (ch == 0 || mode == 0)
		return x * bpp + y * stride;
	switch (mode) {
	case 1: return (x / 2) * bpp + y * stride;
	case 2: return x * bpp + (y / 2) * stride;
	case 3: return (x / 2) * bpp + (y / 2) * stride;
	default: return 0;
	}
}

void _GPU_Q3_ReOrder_SrcMatrix(const KGPU_MATRIX in, const u8 order[3], KGPU_MATRIX out)
{
	int r, c;

	for (r = 0; r < 3; r++) {
		memcpy(out[r], in[r], sizeof(out[r]));
		for (c = 0; c < 3; c++)
			if (order[c] < 3)
				out[r][order[c]] = in[r][c];
	}
}

void _GPU_Q3_ReOrder_DstMatrix(const KGPU_MATRIX in, const u8 order[3], KGPU_MATRIX out)
{
	int r;

	memcpy(out, in, sizeof(KGPU_MATRIX));
	for (r = 0; r < 3; r++)
		if (order[r] < 3)
			memcpy(out[order[r]], in[r], sizeof(out[0]));
}

int kgpu_addr_split(u64 addr, u32 *lo, u8 *hi)
{
	if (addr >= KGPU_ADDR_LIMIT)
		return -33;
	*lo = lower_32_bits(addr);
	*hi = upper_32_bits(addr) & 0xF;
	return 0;
}

static int kgpu_addr_check(const char *func, int ch, u64 base, u64 addr)
{
	if (base >= KGPU_ADDR_LIMIT || addr >= KGPU_ADDR_LIMIT) {
		KGPU_OP_ERR("%s() Buf_Address[%d] == 0x%llX !!!\n", func, ch, addr);
		KGPU_OP_ERR("%s not support Address large than 64GBytes\n", func);
		return -33;
	}
	return 0;
}

static u8 kgpu_pix_code(u8 bits)
{
	return bits >= 8 ? bits / 8 - 1 : 0;
}

static void kgpu_order_of(const KER_GPU_PLANE *p, const u8 *row, int idx, u8 order[3])
{
	if (idx == ROW_PACKED_BGR && p->Bit24Mode >= 1 && p->Bit24Mode <= 5) {
		KGPU_OP_MSG("[MSG]%s() FormatMode_24bit %d Use BRG_Order[%d]\n",
			    __func__, p->Bit24Mode, p->Bit24Mode);
		memcpy(order, BGR_Order[p->Bit24Mode], 3);
	} else {
		memcpy(order, &row[FI_ORDER], 3);
	}
}

static void kgpu_trace_matrix(const char *func, const char *tag, const KGPU_MATRIX m)
{
	int r;

	if (!(READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_MATRIX))
		return;
	for (r = 0; r < 3; r++)
		printk(KERN_INFO "%s() %s[%d] = %d, %d, %d %d\n", func, tag, r,
		       m[r][0], m[r][1], m[r][2], m[r][3]);
}

/* Channel pixel bits: the widths of the components that lie in it. */
static u8 kgpu_channel_bits(const u8 *row, int ch)
{
	int k;
	u8 bits = 0;

	for (k = 0; k < 4; k++)
		if (row[FI_CH_OF + k] == ch)
			bits += row[FI_WIDTH + k];
	return bits;
}

static int kgpu_row_of(const KER_GPU_PLANE *p)
{
	int idx = _AGE2_Q3_format_table(p->FormatMode, p->Bit24Mode, p->SeparateUV);

	if ((idx == 25 || idx == 26) && p->Buf_Address[1] == 0)
		idx = ROW_GRAY8;
	return idx;
}

/* Buffers (channels) a plane of this format is read from or written to. */
int _GPU_Q3_Plane_Buffers(u8 FormatMode, u8 Bit24Mode, u8 SeparateUV)
{
	int idx = _AGE2_Q3_format_table(FormatMode, Bit24Mode, SeparateUV);

	return idx < KGPU_Q3_FMT_NUM ? g_KGpu_Q3_Fmt_Info[idx][FI_CH_NUM] : 0;
}

/* Whether the engine reads a plane of this format through a palette. */
bool _GPU_Q3_Plane_Palette(u8 FormatMode, u8 Bit24Mode, u8 SeparateUV)
{
	int idx = _AGE2_Q3_format_table(FormatMode, Bit24Mode, SeparateUV);

	return idx < KGPU_Q3_FMT_NUM && (g_KGpu_Q3_Fmt_Info[idx][FI_PALETTE] & 0xF);
}

/*
 * Pixel bits of channel ch as the engine moves them, read or written: through
 * a palette the index (component 0's width), a packed 4:2:2 single channel 16
 * bits, anything else the widths of the components in the channel.
 */
static u8 kgpu_pixel_bits(const u8 *row, int ch)
{
	if (row[FI_PALETTE] & 0xF)
		return ch ? 0 : row[FI_WIDTH];
	if (row[FI_CH_NUM] == 1 && row[FI_UV_MODE] == 1)
		return ch ? 0 : 16;
	return kgpu_channel_bits(row, ch);
}

/* Bytes one pixel of a bits-wide channel takes: its width code + 1. */
static u32 kgpu_pix_bytes(u8 bits)
{
	return kgpu_pix_code(bits) + 1;
}

/* Bytes per pixel of the plane's first buffer: read and written alike. */
u32 kgpu_q3_engine_bytes(const KER_GPU_PLANE *p, bool write)
{
	return kgpu_pix_bytes(kgpu_pixel_bits(g_KGpu_Q3_Fmt_Info[kgpu_row_of(p)], 0));
}

int _GPU_Q3_Plane_to_HwReadSetting(const KER_GPU_PLANE *p, s32 x, s32 y,
				   ST_KGPU_Q3_SRC *u)
{
	const u8 *row;
	int idx, ch, k, chn;
	u64 addr;
	const s32 (*m)[4];
	KGPU_MATRIX mat;
	u8 mode;

	memset(u, 0, sizeof(*u));
	idx = kgpu_row_of(p);
	row = g_KGpu_Q3_Fmt_Info[idx];
	chn = row[FI_CH_NUM];

	if (p->ClipOn && (x < 0 || y < 0)) {
		KGPU_OP_ERR("%s() Clip = %dx%d !!!\n", __func__, x, y);
		return -33;
	}
	if (!p->ClipOn)
		x = y = 0;

	u->used = 1;
	u->ChEn = (1 << chn) - 1;
	u->UV_intrlvd = row[FI_UV_MODE];
	switch (chn) {
	case 1:
		u->SRamSize[0] = 3;
		break;
	case 2:
		u->SRamBase[1] = 2;
		u->SRamSize[0] = 2;
		u->SRamSize[1] = 1;
		u->L_SHIFT[0] = 1;
		break;
	case 3:
		u->SRamBase[1] = 1;
		u->SRamBase[2] = 2;
		u->SRamSize[0] = u->SRamSize[1] = u->SRamSize[2] = 1;
		u->L_SHIFT[0] = 1;
		u->L_SHIFT[1] = 2;
		break;
	default:
		return -22;
	}

	for (ch = 0; ch < chn; ch++) {
		u64 base = p->Buf_Address[ch];

		if (!base)
			KGPU_OP_ERR("%s() Buf_Address[%d] == 0 !!!\n", __func__, ch);
		if (p->Buf_Stride[ch] >= KGPU_STRIDE_LIMIT)
			return -33;
		if (row[FI_PALETTE] & 0xF) {
			u->PixBits[0] = kgpu_pixel_bits(row, 0);
			addr = base + (u64)y * p->Buf_Stride[0] +
			       (u64)kgpu_pix_bytes(u->PixBits[0]) * x;
			u->PaletteEn = 1;
			u->PalIdxSize = (row[FI_PALETTE] >> 4) & 3;
			if (kgpu_addr_check(__func__, 1, p->Buf_Address[1], p->Buf_Address[1]))
				return -33;
			u->PalAddr = lower_32_bits(p->Buf_Address[1]);
			u->PalAddrHi = upper_32_bits(p->Buf_Address[1]) & 0xF;
		} else if (chn == 1 && row[FI_UV_MODE] == 1) {
			u->PixBits[0] = kgpu_pixel_bits(row, 0);
			u->YUYV = 1;
			u->YUYV_Mode = row[FI_CH_OF + 2];
			KGPU_OP_MSG("[MSG]%s() YUYV mode = %d\n", __func__, u->YUYV_Mode);
			addr = base + (u64)kgpu_pix_bytes(u->PixBits[0]) * x +
			       (u64)y * p->Buf_Stride[0];
		} else {
			u->PixBits[ch] = kgpu_pixel_bits(row, ch);
			addr = base + _GPU_Q3_Chroma_Offset(row[FI_UV_MODE], ch, x, y,
							    u->PixBits[ch] / 8,
							    p->Buf_Stride[ch]);
		}
		if (kgpu_addr_check(__func__, ch, base, addr))
			return -33;
		u->Addr[ch] = lower_32_bits(addr);
		u->AddrHi[ch] = upper_32_bits(addr) & 0xF;
		u->Stride[ch] = p->Buf_Stride[ch];
	}

	for (k = 0; k < 4; k++) {
		u8 w = row[FI_WIDTH + k];

		u->ChUpSampleWidth[k] = w ? w - 1 : 0;
		u->ChUpSampleMode[k] = p->UpSampleMode;
	}
	u->Alpha_p = row[FI_ALPHA_POS];
	u->Alpha_m = row[FI_ALPHA_M];
	u->Alpha_i = row[FI_ALPHA_I];
	if (row[FI_WIDTH + 3] == 0 && !(row[FI_PALETTE] & 0xF)) {
		u->ConstAlphaEn = 1;
		u->ConstAlpha = 255;
	} else if (row[FI_WIDTH + 3] == 1) {
		u->Alpha1bitEn = 1;
		u->ConstAlpha = p->Apha_2;
		u->ConstAlpha2 = p->Apha_1;
	}

	mode = kgpu_yuv_mode(p->YUV_To_RGB_Mode);
	if (idx == ROW_YUV400) {
		m = YUV400_to_RGB_Matrix;
		u->MatrixId = KGPU_MATRIX_YUV400;
	} else if (row[FI_COLORSPACE] == 1) {
		m = pRgb_Matrix[mode];
		u->MatrixId = mode + 1;
	} else {
		m = IdentityMatrix;
		u->MatrixId = KGPU_MATRIX_IDENTITY;
	}
	if (p->CustomFormatTransform == 2) {
		m = IdentityMatrix;
		u->MatrixId = KGPU_MATRIX_IDENTITY;
	} else if (p->CustomFormatTransform == 1) {
		m = pRgb_Matrix[mode];
		u->MatrixId = mode + 1;
	}
	memcpy(mat, m, sizeof(mat));
	kgpu_order_of(p, row, idx, u->Order);
	kgpu_trace_matrix(__func__, "In", mat);
	_GPU_Q3_ReOrder_SrcMatrix(mat, u->Order, u->Matrix);
	kgpu_trace_matrix(__func__, "Out", u->Matrix);
	return 0;
}

static const u32 kgpu_key_mask[4] = { 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF };

int _GPU_Q3_Plane_to_HwWriteSetting(const KER_GPU_PLANE *p, s32 x, s32 y,
				    ST_KGPU_Q3_DST *u)
{
	const u8 *row;
	int idx, ch, chn;
	const s32 (*m)[4];
	KGPU_MATRIX mat;
	u8 mode, w0, w1, w2, w3;

	memset(u, 0, sizeof(*u));
	idx = kgpu_row_of(p);
	if (idx >= KGPU_Q3_FMT_NUM) {
		KGPU_OP_ERR("%s() not support color Fmt=%d, SeprateUV=%d !!!!\n",
			    __func__, p->FormatMode, p->SeparateUV);
		return -8;
	}
	row = g_KGpu_Q3_Fmt_Info[idx];
	chn = row[FI_CH_NUM];
	if (chn < 1 || chn > 3)
		return -1;
	if (p->W >= KGPU_SIZE_LIMIT || p->H >= KGPU_SIZE_LIMIT) {
		KGPU_OP_ERR("%s not support resolution %dx%d\n", __func__, p->W, p->H);
		return -33;
	}
	if (p->ClipOn && (x < 0 || y < 0)) {
		KGPU_OP_ERR("%s() Clip = %dx%d !!!\n", __func__, x, y);
		return -33;
	}

	mode = kgpu_yuv_mode(p->YUV_To_RGB_Mode);
	if (idx == ROW_YUV400) {
		m = YUV400_to_RGB_Matrix;
		u->MatrixId = KGPU_MATRIX_YUV400;
	} else if (row[FI_COLORSPACE] == 1) {
		m = pYuv_Matrix[mode];
		u->MatrixId = mode + 1;
	} else {
		m = IdentityMatrix;
		u->MatrixId = KGPU_MATRIX_IDENTITY;
	}
	memcpy(mat, m, sizeof(mat));
	kgpu_order_of(p, row, idx, u->Order);
	kgpu_trace_matrix(__func__, "In", mat);
	_GPU_Q3_ReOrder_DstMatrix(mat, u->Order, u->Matrix);
	kgpu_trace_matrix(__func__, "Out", u->Matrix);

	w0 = row[FI_WIDTH];
	w1 = row[FI_WIDTH + 1];
	w2 = row[FI_WIDTH + 2];
	w3 = row[FI_WIDTH + 3];
	/*
	 * The alpha component is component 3 in either position, as the shifts
	 * below and the read side take it: an alpha-first 1-5-5-5 destination
	 * gets its 1-bit alpha as an alpha-last one does.
	 */
	if ((row[FI_ALPHA_POS] == 0 || row[FI_ALPHA_POS] == 3) && w3 == 1) {
		u->Alpha1bitEn = 1;
		u->Alpha1bitThr = p->AlphaThreshold;
		u->Alpha1bitA0 = p->Apha_1;
		u->Alpha1bitA1 = p->Apha_2;
		KGPU_OP_MSG("[MSG]%s() Alpha 1 bit Alpha_Position = %d, Thr = 0x%02X, A0 = 0x%02X, A1 = 0x%02X\n",
			    __func__, row[FI_ALPHA_POS], p->AlphaThreshold, p->Apha_1, p->Apha_2);
	}
	u->AlphaInv = row[FI_ALPHA_I];
	u->AlphaInsert = row[FI_ALPHA_POS];
	if (w3 == 0) {
		u->ConstAlphaEn = 1;
		u->ConstAlpha = 255;
	}
	if (row[FI_ALPHA_POS] == 3) {
		u->R_Shift[0] = 8 - w3;
		u->R_Shift[1] = 8 - w0;
		u->R_Shift[2] = 8 - w1;
		u->R_Shift[3] = 8 - w2;
		u->L_SHIFT[1] = w3;
		u->L_SHIFT[2] = w3 + w0;
		u->L_SHIFT[3] = w3 + w0 + w1;
	} else {
		u->R_Shift[0] = 8 - w0;
		u->R_Shift[1] = 8 - w1;
		u->R_Shift[2] = 8 - w2;
		u->R_Shift[3] = 8 - w3;
		u->L_SHIFT[1] = w0;
		u->L_SHIFT[2] = w0 + w1;
		u->L_SHIFT[3] = w0 + w1 + w2;
	}

	for (ch = 0; ch < chn; ch++) {
		u64 base = p->Buf_Address[ch], addr = base;
		u32 stride = p->Buf_Stride[ch];
		u32 bpp;

		u->PixBits[ch] = kgpu_pixel_bits(row, ch);
		bpp = kgpu_pix_bytes(u->PixBits[ch]);
		KGPU_OP_MSG("[MSG]%s()\tPixel_Width[%d] = %d\n", __func__, ch, u->PixBits[ch]);
		if (!base) {
			/* The engine would write from physical address 0. */
			KGPU_OP_ERR("%s() Buf_Address[%d] == 0 !!!\n", __func__, ch);
			return -33;
		}
		if (stride >= KGPU_STRIDE_LIMIT)
			return -33;
		if (p->BottomUp) {
			if (p->ClipOn)
				addr += _GPU_Q3_Chroma_Offset(row[FI_UV_MODE], ch, x,
							      y + p->H - 1, bpp, stride);
			else
				addr += _GPU_Q3_Chroma_Offset(row[FI_UV_MODE], ch, 0,
							      p->H - 1, bpp, stride);
		} else if (p->ClipOn) {
			addr += _GPU_Q3_Chroma_Offset(row[FI_UV_MODE], ch, x, y, bpp, stride);
		}
		if (kgpu_addr_check(__func__, ch, base, addr))
			return -33;
		u->Addr[ch] = lower_32_bits(addr);
		u->AddrHi[ch] = upper_32_bits(addr) & 0xF;
		u->Stride[ch] = stride;
	}

	if (p->RunLen_Enable) {
		u->RunLenEn = p->RunLen_Enable;
		u->RunLenValue = (p->RunLen_Boundary /
				  (kgpu_pix_code(u->PixBits[chn - 1]) + 1)) >> 8;
	} else {
		u->ChEn = (1 << chn) - 1;
	}
	if (chn >= 2) {
		u->SRamBase[1] = 1;
		u->R_ShiftCh[0] = 1;
		u->SRamBase[2] = chn == 3 ? 2 : 0;
		u->R_ShiftCh[1] = chn == 3 ? 2 : 0;
	}
	u->CH1_UV_Interleaved_Mode = row[FI_UV_MODE];

	if (p->ColorKey_Enable && chn == 1) {
		u->ColorKeyMode = (p->ColorKey_Enable & 1) | 2;
		u->ColorKeyMask = (p->ColorKey_Width >= 1 && p->ColorKey_Width <= 3) ?
				  kgpu_key_mask[p->ColorKey_Width] : 0xFF;
		u->ChEn = 4;
		u->PixBits[2] = u->PixBits[0];
		u->Addr[2] = u->Addr[0];
		u->AddrHi[2] = u->AddrHi[0];
		u->Stride[2] = u->Stride[0];
		u->PixBits[0] = 0;
		u->Addr[0] = 0;
		u->AddrHi[0] = 0;
		u->Stride[0] = 0;
		u->SRamBase[2] = 0;
		u->R_ShiftCh[1] = 0;
		u->ColorKey = p->ColorKey;
	}
	return 0;
}

void _GPU_Matrix_Simplification(ST_KGPU_Q3_SRC *s, ST_KGPU_Q3_DST *d)
{
	if (s->MatrixId >= 1 && s->MatrixId <= 4 && s->MatrixId == d->MatrixId) {
		memcpy(s->Matrix, IdentityMatrix, sizeof(KGPU_MATRIX));
		memcpy(d->Matrix, IdentityMatrix, sizeof(KGPU_MATRIX));
	}
}

/* ------------------------------------------------------------------------ */
/* What a programmed record reaches                                          */

static u64 kgpu_unit_addr(u32 lo, u8 hi)
{
	return (u64)(hi & 0xF) << 32 | lo;
}

/* Pixels of channel ch across n pixels of channel 0 (chroma halves). */
static u64 kgpu_sub(u64 n, int ch, u8 mode, u8 bit)
{
	return ch && (mode & bit) ? (n + 1) >> 1 : n;
}

/*
 * Source pixels the scaler walks in one direction: one step (19 fraction
 * bits) per destination pixel from the start phase, on to the end phase in
 * force (a list entry keeps the operation's), never fewer than the source
 * size.
 */
static u64 kgpu_walked(u32 size_less1, u8 start_hi, u32 start, u8 factor_hi, u32 factor,
		       u32 dst_less1, u64 end)
{
	u64 last = (((u64)start_hi << 32 | start) +
		    ((u64)factor_hi << 32 | factor) * dst_less1) >> 19;

	return max_t(u64, max_t(u64, (u64)size_less1 + 1, last + 1), (end >> 19) + 1);
}

/*
 * A source unit reads w x h pixels of every enabled channel from its
 * addresses, widened by the scaler's tap counts (left and top before the
 * start), and its palette: 256 four-byte entries.
 */
static int kgpu_guard_src(const ST_KGPU_Q3_SRC *u, const ST_KGPU_Q3_SCALER *sc, u64 w, u64 h,
			  const KER_GPU_PLANE *p, const char *what)
{
	const KER_GPU_REACH *r = p ? p->pstReach : NULL;
	int ch, ret;

	for (ch = 0; ch < KER_GPU_PLANE_CHANNELS; ch++) {
		u32 bpp = kgpu_pix_bytes(u->PixBits[ch]), stride = u->Stride[ch];
		u64 start = kgpu_unit_addr(u->Addr[ch], u->AddrHi[ch]), back;
		u64 cw = kgpu_sub(w, ch, u->UV_intrlvd, 1), chh = kgpu_sub(h, ch, u->UV_intrlvd, 2);

		if (!(u->ChEn & BIT(ch)))
			continue;
		back = (u64)sc->TapL * bpp + (u64)sc->TapT * stride;
		if (back > start)
			return kgpu_reach_check(r, ch, 0, stride, 1, 1, true, what);
		/* More lines than 32 bits count reach past any buffer at any stride but 0. */
		ret = kgpu_reach_check(r, ch, start - back, stride,
				       (cw + sc->TapL + sc->TapR) * bpp,
				       min_t(u64, chh + sc->TapT + sc->TapB, U32_MAX), false, what);
		if (ret)
			return ret;
	}
	return 0;
}

/* The destination unit writes w x h pixels of every enabled channel. */
static int kgpu_guard_dst(const ST_KGPU_Q3_DST *u, u32 w, u32 h, bool up,
			  const KER_GPU_PLANE *p)
{
	const KER_GPU_REACH *r = p ? p->pstReach : NULL;
	int ch, ret;

	if (u->RunLenEn) {
		/* Run-length output: bounded by its value, in 256-pixel units. */
		u32 bpp = kgpu_pix_bytes(max_t(u8, u->PixBits[0], max_t(u8, u->PixBits[1], u->PixBits[2])));

		return kgpu_reach_check(r, 0, kgpu_unit_addr(u->Addr[0], u->AddrHi[0]), 0,
					((u64)u->RunLenValue + 1) * 256 * bpp, 1, false,
					"run-length output");
	}
	for (ch = 0; ch < KER_GPU_PLANE_CHANNELS; ch++) {
		u8 mode = u->CH1_UV_Interleaved_Mode;
		/* A colour-keyed destination writes its first buffer as channel 2. */
		int buf = ch == 2 && u->ColorKeyMode ? 0 : ch;

		if (!(u->ChEn & BIT(ch)))
			continue;
		ret = kgpu_reach_check(r, buf, kgpu_unit_addr(u->Addr[ch], u->AddrHi[ch]),
				       u->Stride[ch],
				       (u64)kgpu_sub(w, ch, mode, 1) * kgpu_pix_bytes(u->PixBits[ch]),
				       kgpu_sub(h, ch, mode, 2), up, "destination");
		if (ret)
			return ret;
	}
	return 0;
}

/*
 * Everything the staging record makes the engine touch, from the very values
 * it writes: Src1 reads the source pixels the scaler walks (its source size
 * at least), Src2 the destination size
 * (the source size when it is the only source), the destination is written
 * at the destination size, turned for the odd flip/rotate codes (both ways,
 * as the engine may write either), from its last line up for a bottom-up
 * write; and the palette the registers name.
 */
int kgpu_q3_guard(const ST_KGPU_Q3_HW_SETTING *s, const KER_GPU_PLANE *src1,
		  const KER_GPU_PLANE *src2, const KER_GPU_PLANE *dst)
{
	const ST_KGPU_Q3_FUNC *f = &s->stFunc;
	const ST_KGPU_Q3_SCALER *sc = &s->stScaler, none = { 0 };
	u32 sw = sc->SrcW + 1, sh = sc->SrcH + 1, dw = sc->DstW + 1, dh = sc->DstH + 1;
	/* Source 1 goes through the scaler, up to its end phases when scaled. */
	u64 scan_w = kgpu_walked(sc->SrcW, sc->StartHiH, sc->StartPhaseH, sc->HiFactorH,
				 sc->FactorH, sc->DstW,
				 f->Src1 ? (u64)sc->EndHiH << 32 | sc->EndPhaseH : 0);
	u64 scan_h = kgpu_walked(sc->SrcH, sc->StartHiV, sc->StartPhaseV, sc->HiFactorV,
				 sc->FactorV, sc->DstH,
				 f->Src1 ? (u64)sc->EndHiV << 32 | sc->EndPhaseV : 0);
	bool src1_read = f->Src1 || f->Src1_blend_only;
	const ST_KGPU_Q3_SRC *pal = NULL;
	const KER_GPU_PLANE *pal_plane = NULL;
	int ret = 0;

	if (src1_read && s->stSrc1.used)
		ret = kgpu_guard_src(&s->stSrc1, sc, scan_w, scan_h, src1, "source 1");
	if (!ret && f->Src2 && s->stSrc2.used)
		ret = kgpu_guard_src(&s->stSrc2, &none, src1_read ? dw : sw, src1_read ? dh : sh,
				     src2, "source 2");
	if (!ret)
		ret = kgpu_guard_dst(&s->stDst, dw, dh, f->DstVflipSeq, dst);
	if (!ret && (f->FRE & 1))
		ret = kgpu_guard_dst(&s->stDst, dh, dw, f->DstVflipSeq, dst);
	/* One palette register: the second source's palette replaces the first's. */
	if (f->Src2 && s->stSrc2.used && s->stSrc2.PaletteEn) {
		pal = &s->stSrc2;
		pal_plane = src2;
	} else if (src1_read && s->stSrc1.used && s->stSrc1.PaletteEn) {
		pal = &s->stSrc1;
		pal_plane = src1;
	}
	if (!ret && pal)
		ret = kgpu_reach_check(pal_plane ? pal_plane->pstReach : NULL,
				       KER_GPU_REACH_PALETTE, kgpu_unit_addr(pal->PalAddr, pal->PalAddrHi),
				       0, KGPU_PALETTE_BYTES, 1, false, "palette");
	return ret;
}

/* ------------------------------------------------------------------------ */
/* Setters                                                                   */

static const u32 kgpu_matrix_base[3] = { AGE_SRC1_MATRIX, AGE_SRC2_MATRIX, AGE_DST_MATRIX };

static void kgpu_matrix_words(const KGPU_MATRIX m, u32 w[5])
{
	int r, c;

	memset(w, 0, 5 * sizeof(u32));
	for (r = 0; r < 3; r++) {
		for (c = 0; c < 3; c++) {
			w[r] |= KGPU_FLD(abs(m[r][c]), 10 * c, 10);
			if (m[r][c] < 0)
				w[3] |= BIT(3 * r + c);
		}
		if (m[r][3] < 0)
			w[3] |= BIT(10 + r);
	}
	w[3] &= 0x1DFF;
	w[3] |= KGPU_FLD(abs(m[0][3]) >> 1, 16, 16);
	w[4] = KGPU_FLD(abs(m[1][3]) >> 1, 0, 16) | KGPU_FLD(abs(m[2][3]) >> 1, 16, 16);
}

void _GPU_Q3_Matrix_SetReg(const ST_KER_GPU_HW_REG *hw, const KGPU_MATRIX m, int which)
{
	u32 w[5];
	int i;

	kgpu_matrix_words(m, w);
	for (i = 0; i < 5; i++)
		kgpu_reg_wr(hw, kgpu_matrix_base[which] + 4 * i, w[i]);
}

static u32 kgpu_src_fmt_word(const ST_KGPU_Q3_SRC *s, bool src1)
{
	u32 v = KGPU_FLD(s->ChEn, 0, 3) | KGPU_FLD(s->UV_intrlvd, 4, 2) |
		KGPU_FLD(s->SRamSize[0], 8, 2) | KGPU_FLD(s->SRamBase[1], 12, 2) |
		KGPU_FLD(s->SRamSize[1], 16, 2) | KGPU_FLD(s->SRamBase[2], 20, 2) |
		KGPU_FLD(s->SRamSize[2], 24, 2) |
		KGPU_FLD(kgpu_pix_code(s->PixBits[0]), 28, 2);

	if (src1)
		v |= KGPU_FLD(s->PalIdxSize, 30, 2);
	return v;
}

static u32 kgpu_src_ch_word(const ST_KGPU_Q3_SRC *s)
{
	u32 v = KGPU_FLD(kgpu_pix_code(s->PixBits[1]), 0, 2) |
		KGPU_FLD(kgpu_pix_code(s->PixBits[2]), 4, 2) |
		KGPU_FLD(s->YUYV, 6, 1) | KGPU_FLD(s->YUYV_Mode, 7, 1) |
		KGPU_FLD(s->L_SHIFT[0], 8, 2) | KGPU_FLD(s->L_SHIFT[1], 10, 2) |
		KGPU_FLD(s->PaletteEn, 12, 2);
	int k;

	for (k = 0; k < 4; k++)
		v |= KGPU_FLD(s->ChUpSampleWidth[k], 16 + 4 * k, 3);
	return v;
}

static u32 kgpu_src_alpha_word(const ST_KGPU_Q3_SRC *s)
{
	u32 v = KGPU_FLD(s->Alpha_p, 8, 2) | KGPU_FLD(s->Alpha_m, 10, 2) |
		KGPU_FLD(s->Alpha_i, 12, 1) | KGPU_FLD(s->ConstAlphaEn, 13, 1) |
		KGPU_FLD(s->Alpha1bitEn, 14, 1) | KGPU_FLD(s->Alpha0Fix0, 15, 1) |
		KGPU_FLD(s->ConstAlpha, 16, 8) | KGPU_FLD(s->ConstAlpha2, 24, 8);
	int k;

	for (k = 0; k < 4; k++)
		v |= KGPU_FLD(s->ChUpSampleMode[k], 2 * k, 2);
	return v;
}

static void kgpu_trace_src(const char *tag, const ST_KGPU_Q3_SRC *s)
{
	KGPU_OP_REG("[REG]%s ChEn(%d), UV_intrlvd(%d), SRamSize(%d, %d, %d), PixWidth(%d, %d, %d)\n",
		    tag, s->ChEn, s->UV_intrlvd, s->SRamSize[0], s->SRamSize[1],
		    s->SRamSize[2], s->PixBits[0], s->PixBits[1], s->PixBits[2]);
}

void _GPU_Q3_Src1_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SRC *s)
{
	kgpu_trace_src("Src1", s);
	kgpu_reg_wr(hw, AGE_SRC1_FMT, kgpu_src_fmt_word(s, true));
	kgpu_reg_wr(hw, AGE_SRC1_CH, kgpu_src_ch_word(s));
	kgpu_reg_wr(hw, AGE_SRC1_ALPHA, kgpu_src_alpha_word(s));
	_GPU_Q3_Matrix_SetReg(hw, s->Matrix, 0);
	kgpu_reg_wr(hw, AGE_SRC1_ADDR0, s->Addr[0]);
	kgpu_reg_wr(hw, AGE_SRC1_ADDR0 + 4, s->Addr[1]);
	kgpu_reg_wr(hw, AGE_SRC1_ADDR0 + 8, s->Addr[2]);
	if (s->PaletteEn)
		kgpu_reg_wr(hw, AGE_PALETTE, s->PalAddr);
	kgpu_reg_wr(hw, AGE_STRIDE_S1_01, KGPU_FLD(s->Stride[0], 0, 16) |
					  KGPU_FLD(s->Stride[1], 16, 16));
	kgpu_reg_wr(hw, AGE_STRIDE_S1_2_S2_0,
		    (kgpu_reg_rd(hw, AGE_STRIDE_S1_2_S2_0) & 0xFFFF0000u) |
		    KGPU_FLD(s->Stride[2], 0, 16));
}

void _GPU_Q3_Src2_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SRC *s)
{
	kgpu_trace_src("Src2", s);
	kgpu_reg_wr(hw, AGE_SRC2_ADDR0, s->Addr[0]);
	kgpu_reg_wr(hw, AGE_SRC2_ADDR0 + 4, s->Addr[1]);
	kgpu_reg_wr(hw, AGE_SRC2_ADDR0 + 8, s->Addr[2]);
	if (s->PaletteEn)
		kgpu_reg_wr(hw, AGE_PALETTE, s->PalAddr);
	kgpu_reg_wr(hw, AGE_STRIDE_S1_2_S2_0,
		    (kgpu_reg_rd(hw, AGE_STRIDE_S1_2_S2_0) & 0xFFFFu) |
		    KGPU_FLD(s->Stride[0], 16, 16));
	kgpu_reg_wr(hw, AGE_STRIDE_S2_12, KGPU_FLD(s->Stride[1], 0, 16) |
					  KGPU_FLD(s->Stride[2], 16, 16));
	kgpu_reg_wr(hw, AGE_SRC2_FMT, kgpu_src_fmt_word(s, false));
	kgpu_reg_wr(hw, AGE_SRC2_CH, kgpu_src_ch_word(s));
	kgpu_reg_wr(hw, AGE_SRC2_ALPHA, kgpu_src_alpha_word(s));
	_GPU_Q3_Matrix_SetReg(hw, s->Matrix, 1);
}

void _GPU_Q3_Function_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_FUNC *f)
{
	u32 v = KGPU_FLD(f->AccessMode, 0, 2) | KGPU_FLD(f->Tap, 4, 2) |
		KGPU_FLD(f->Scaler, 12, 2) | KGPU_FLD(f->DstVflipSeq, 15, 1) |
		KGPU_FLD(f->FRE, 16, 3) | KGPU_FLD(f->Src1_blend_only, 19, 1) |
		KGPU_FLD(f->Src2, 20, 1) | KGPU_FLD(f->Src1, 21, 1) |
		KGPU_FLD(f->Vsync_Trigger, 22, 1) | KGPU_FLD(f->Hsync_Limit, 23, 1) |
		KGPU_FLD(f->Hsync_Limit_Value, 24, 8);

	KGPU_OP_REG("[REG]Fun AccessMode(%d) Tap(%d), Scaler(%d)\n",
		    f->AccessMode, f->Tap, f->Scaler);
	if (f->Vsync_Trigger)
		printk(KERN_INFO "[DBG_OP_GPU]Vsync Trigger !!!\n");
	if (f->Hsync_Limit)
		printk(KERN_INFO "[DBG_OP_GPU]Hsync_Limit = %d !!!\n", f->Hsync_Limit_Value);
	kgpu_reg_wr(hw, AGE_FUNC, v);
	kgpu_reg_wr(hw, AGE_SPEED_LIMIT, f->SpeedLimit);
}

void _GPU_Q3_Scaler_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SCALER *s)
{
	u64 f15h = 15ULL * (((u64)s->HiFactorH << 32) | s->FactorH);
	u64 f15v = 15ULL * (((u64)s->HiFactorV << 32) | s->FactorV);

	kgpu_reg_wr(hw, AGE_FACTOR_H, s->FactorH);
	kgpu_reg_wr(hw, AGE_FACTOR_V, s->FactorV);
	kgpu_reg_wr(hw, AGE_FACTOR15_H, lower_32_bits(f15h));
	kgpu_reg_wr(hw, AGE_FACTOR15_V, lower_32_bits(f15v));
	kgpu_reg_wr(hw, AGE_START_PHASE_H, s->StartPhaseH);
	kgpu_reg_wr(hw, AGE_START_PHASE_V, s->StartPhaseV);
	kgpu_reg_wr(hw, AGE_END_PHASE_H, s->EndPhaseH);
	kgpu_reg_wr(hw, AGE_END_PHASE_V, s->EndPhaseV);
	kgpu_reg_wr(hw, AGE_SRC_SIZE, KGPU_FLD(s->SrcW, 0, 16) | KGPU_FLD(s->SrcH, 16, 13));
	kgpu_reg_wr(hw, AGE_DST_SIZE, KGPU_FLD(s->DstW, 0, 16) | KGPU_FLD(s->DstH, 16, 16));
	kgpu_reg_wr(hw, AGE_TAP_CNT, KGPU_FLD(s->TapT, 0, 3) | KGPU_FLD(s->TapB, 4, 3) |
				     KGPU_FLD(s->TapL, 8, 3) | KGPU_FLD(s->TapR, 12, 3));
	kgpu_reg_wr(hw, AGE_HI_FACTOR, KGPU_FLD(s->HiFactorH, 0, 8) |
				       KGPU_FLD(s->HiFactorV, 8, 8) |
				       KGPU_FLD(upper_32_bits(f15h), 16, 8) |
				       KGPU_FLD(upper_32_bits(f15v), 24, 8));
	kgpu_reg_wr(hw, AGE_HI_PHASE, KGPU_FLD(s->StartHiH, 0, 8) |
				      KGPU_FLD(s->StartHiV, 8, 8) |
				      KGPU_FLD(s->EndHiH, 16, 8) |
				      KGPU_FLD(s->EndHiV, 24, 8));
}

void _GPU_Q3_PatGen_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_PATGEN *p)
{
	int i;

	kgpu_reg_wr(hw, AGE_PATGEN, KGPU_FLD(p->Enable, 2, 1) | KGPU_FLD(p->Flags, 3, 8) |
				    KGPU_FLD(p->Divisor, 12, 8));
	kgpu_reg_wr(hw, AGE_UPPER_BOUND, p->UpperBound);
	kgpu_reg_wr(hw, AGE_LOWER_BOUND, p->LowerBound);
	kgpu_reg_wr(hw, AGE_GRAD_INT_H, KGPU_FLD(p->Incr[0] >> 16, 0, 8) |
					KGPU_FLD(p->Incr[1] >> 16, 8, 8) |
					KGPU_FLD(p->Incr[2] >> 16, 16, 8) |
					KGPU_FLD(p->Incr[3] >> 16, 24, 8));
	kgpu_reg_wr(hw, AGE_GRAD_INT_V, KGPU_FLD(p->Incr[4] >> 16, 0, 8) |
					KGPU_FLD(p->Incr[5] >> 16, 8, 8) |
					KGPU_FLD(p->Incr[6] >> 16, 16, 8) |
					KGPU_FLD(p->Incr[7] >> 16, 24, 8));
	kgpu_reg_wr(hw, AGE_FILL_COLOR, p->StartColor);
	for (i = 0; i < 4; i++)
		kgpu_reg_wr(hw, AGE_GRAD_FRAC0 + 4 * i,
			    KGPU_FLD(p->Incr[2 * i], 0, 16) |
			    KGPU_FLD(p->Incr[2 * i + 1], 16, 16));
}

void _GPU_Q3_Blend_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_BLEND *b)
{
	KGPU_OP_REG("[REG]Blend Coef sA(%d) sC(%d), dA(%d) dC(%d) , xor(%d), DivAlpha(%d)\n",
		    b->Coef_sA, b->Coef_sC, b->Coef_dA, b->Coef_dC, b->Xor, b->DivAlpha);
	kgpu_reg_wr(hw, AGE_BLEND_CTRL, KGPU_FLD(b->sA_Mode, 0, 2) | KGPU_FLD(b->sC_x_cC, 4, 1) |
					KGPU_FLD(b->dC_PreAlpha, 8, 1) |
					KGPU_FLD(b->sC_PreAlpha, 12, 1) |
					KGPU_FLD(b->FillBlend, 13, 1) |
					KGPU_FLD(b->DstKeyMode, 24, 3) |
					KGPU_FLD(b->SrcKeyMode, 28, 3));
	kgpu_reg_wr(hw, AGE_BLEND_COEF, KGPU_FLD(b->DivAlpha, 0, 3) | KGPU_FLD(b->Xor, 4, 2) |
					KGPU_FLD(b->Coef_dA, 8, 3) | KGPU_FLD(b->Coef_sA, 12, 3) |
					KGPU_FLD(b->Coef_dC, 24, 4) | KGPU_FLD(b->Coef_sC, 28, 4));
	kgpu_reg_wr(hw, AGE_SRC_KEY, kgpu_ror8(b->SrcKey));
	kgpu_reg_wr(hw, AGE_DST_KEY, kgpu_ror8(b->DstKey));
	kgpu_reg_wr(hw, AGE_CONST_COLOR, kgpu_ror8(b->ConstColor));
}

/*
 * Where a debugger finds the image the destination unit writes: each
 * enabled channel's address and bytes over the destination lines (the
 * scaler unit, written before), chroma lines halved as they are read.
 */
static void kgpu_trace_dump_hint(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_DST *d)
{
	int ch, n = hweight32(d->ChEn & 7);
	u32 lines, bytes;

	if (!(READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_REG_TRACE))
		return;
	lines = (kgpu_reg_rd(hw, AGE_DST_SIZE) >> 16) + 1;
	for (ch = 0; ch < KER_GPU_PLANE_CHANNELS; ch++) {
		if (!(d->ChEn & BIT(ch)))
			continue;
		bytes = d->Stride[ch] * (u32)kgpu_sub(lines, ch, d->CH1_UV_Interleaved_Mode, 2);
		if (n == 1)
			printk(KERN_INFO "[REG]dump_image f%d.bin phys 0x%X %d\n", ch,
			       d->Addr[ch], bytes);
		else
			printk(KERN_INFO "[REG]dump_image %s phys 0x%X %d\n",
			       n == 2 ? "YUV_Boda.bin" : "YUV_Planar.bin", d->Addr[ch], bytes);
	}
}

void _GPU_Q3_Dst_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_DST *d)
{
	u32 w[5];
	int i;

	kgpu_trace_dump_hint(hw, d);

	kgpu_matrix_words(d->Matrix, w);
	w[3] |= KGPU_FLD(d->AlphaInv, 9, 1);
	for (i = 0; i < 5; i++)
		kgpu_reg_wr(hw, AGE_DST_MATRIX + 4 * i, w[i]);
	kgpu_reg_wr(hw, AGE_DST_ALPHA1, KGPU_FLD(d->Alpha1bitThr, 0, 8) |
					KGPU_FLD(d->Alpha1bitA0, 8, 8) |
					KGPU_FLD(d->Alpha1bitA1, 16, 8) |
					KGPU_FLD(d->Alpha1bitEn, 27, 1));
	kgpu_reg_wr(hw, AGE_DST_SHIFT, KGPU_FLD(d->AlphaInsert, 0, 2) |
				       KGPU_FLD(d->R_Shift[3], 4, 3) |
				       KGPU_FLD(d->R_Shift[2], 8, 3) |
				       KGPU_FLD(d->R_Shift[1], 12, 3) |
				       KGPU_FLD(d->R_Shift[0], 16, 3) |
				       KGPU_FLD(d->ConstAlphaEn, 20, 1) |
				       KGPU_FLD(d->ConstAlpha, 24, 8));
	kgpu_reg_wr(hw, AGE_DST_LSHIFT, KGPU_FLD(d->L_SHIFT[3], 0, 5) |
					KGPU_FLD(d->L_SHIFT[2], 8, 5) |
					KGPU_FLD(d->L_SHIFT[1], 16, 4));
	kgpu_reg_wr(hw, AGE_DST_FMT, KGPU_FLD(d->ChEn, 0, 3) | KGPU_FLD(d->RunLenEn, 3, 1) |
				     KGPU_FLD(kgpu_pix_code(d->PixBits[0]), 8, 2) |
				     KGPU_FLD(kgpu_pix_code(d->PixBits[1]), 12, 2) |
				     KGPU_FLD(kgpu_pix_code(d->PixBits[2]), 16, 3) |
				     KGPU_FLD(d->SRamBase[1], 20, 2) |
				     KGPU_FLD(d->SRamBase[2], 24, 2));
	kgpu_reg_wr(hw, AGE_DST_CTRL, KGPU_FLD(d->R_ShiftCh[0], 0, 2) |
				      KGPU_FLD(d->R_ShiftCh[1], 4, 2) |
				      KGPU_FLD(d->CH1_UV_Interleaved_Mode, 12, 2) |
				      KGPU_FLD(d->ColorKeyMode, 29, 2));
	kgpu_reg_wr(hw, AGE_DST_KEY_MASK, d->ColorKeyMask);
	kgpu_reg_wr(hw, AGE_DST_KEY_VALUE, d->ColorKey);
	kgpu_reg_wr(hw, AGE_DST_ADDR0, d->Addr[0]);
	kgpu_reg_wr(hw, AGE_DST_ADDR1, d->RunLenEn ? d->RunLenValue : d->Addr[1]);
	kgpu_reg_wr(hw, AGE_DST_ADDR2, d->Addr[2]);
	kgpu_reg_wr(hw, AGE_DST_STRIDE_01, KGPU_FLD(d->Stride[0], 0, 16) |
					   KGPU_FLD(d->Stride[1], 16, 16));
	kgpu_reg_wr(hw, AGE_STRIDE_HI_A, KGPU_FLD(d->Stride[2], 0, 16));
}

void _GPU_Q3_Final_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_HW_SETTING *s)
{
	const ST_KGPU_Q3_SRC *s1 = &s->stSrc1, *s2 = &s->stSrc2;
	const ST_KGPU_Q3_DST *d = &s->stDst;
	const ST_KGPU_Q3_FUNC *f = &s->stFunc;
	u32 v, ctrl = 0;

	v = KGPU_FLD(s1->AddrHi[0], 0, 4) | KGPU_FLD(s1->AddrHi[1], 4, 4) |
	    KGPU_FLD(s1->AddrHi[2], 8, 4) | KGPU_FLD(s2->AddrHi[0], 12, 4) |
	    KGPU_FLD(s2->AddrHi[1], 16, 4) | KGPU_FLD(s2->AddrHi[2], 20, 4) |
	    KGPU_FLD(s2->PaletteEn ? s2->PalAddrHi : s1->PalAddrHi, 24, 4);
	kgpu_reg_wr(hw, AGE_SRC_ADDR_HI, v);

	/* Written whole: no address bits survive from an earlier operation. */
	v = KGPU_FLD(d->AddrHi[0], 0, 4) | KGPU_FLD(d->AddrHi[1], 4, 4) |
	    KGPU_FLD(d->AddrHi[2], 8, 4) | KGPU_FLD(f->Finish_Strict, 12, 1) |
	    KGPU_FLD(f->Enable_Finish_Int, 13, 1) |
	    KGPU_FLD(f->Enable_RL_Overflow_Int, 14, 1) | (u32)s->PowerBits << 15;
	kgpu_reg_wr(hw, AGE_DST_ADDR_HI, v);

	if (f->Vsync_Trigger)
		ctrl |= AGE_VSYNC_TRIGGER;
	if (f->Hsync_Limit)
		ctrl |= AGE_HSYNC_LIMIT;
	if (ctrl)
		kgpu_reg_or(hw, AGE_DST_CTRL, ctrl);

	v = KGPU_FLD(s1->Stride[0] >> 16, 16, 4) | KGPU_FLD(s1->Stride[1] >> 16, 20, 4) |
	    KGPU_FLD(s1->Stride[2] >> 16, 24, 4) | KGPU_FLD(s2->Stride[0] >> 16, 28, 4);
	kgpu_reg_or(hw, AGE_STRIDE_HI_A, v);
	v = KGPU_FLD(s2->Stride[1] >> 16, 0, 4) | KGPU_FLD(s2->Stride[2] >> 16, 4, 4) |
	    KGPU_FLD(d->Stride[0] >> 16, 8, 4) | KGPU_FLD(d->Stride[1] >> 16, 12, 4) |
	    KGPU_FLD(d->Stride[2] >> 16, 16, 4);
	kgpu_reg_wr(hw, AGE_STRIDE_HI_B, v);
}

/* Every unit in the engine's order: Src1, Src2, Function, Scaler, PatGen,
 * Blend, Dst, Final. */
void kgpu_q3_write_units(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_HW_SETTING *s)
{
	if (s->stSrc1.used)
		_GPU_Q3_Src1_SetReg(hw, &s->stSrc1);
	if (s->stSrc2.used)
		_GPU_Q3_Src2_SetReg(hw, &s->stSrc2);
	_GPU_Q3_Function_SetReg(hw, &s->stFunc);
	_GPU_Q3_Scaler_SetReg(hw, &s->stScaler);
	if (s->PatGenUsed)
		_GPU_Q3_PatGen_SetReg(hw, &s->stPatGen);
	_GPU_Q3_Blend_SetReg(hw, &s->stBlend);
	_GPU_Q3_Dst_SetReg(hw, &s->stDst);
	_GPU_Q3_Final_SetReg(hw, s);
}

// SPDX-License-Identifier: GPL-2.0
/*
 * Q2 programming backend of the 2D engine: 8-bit luma planes, interleaved
 * chroma planes, the two-plane luma+chroma layout, and planar YUV scaling
 * as a luma pass and a chroma pass run from one command list. Used only
 * with the hardware feature "NV12_ACC".
 */
#include <linux/kernel.h>
#include <linux/string.h>
#include <linux/ktime.h>
#include <linux/timekeeping.h>
#include "ker_gpu_hw.h"

ST_KER_GPU_INIT g_Kgpu_Q2_Ctrl_Ctx;
u64 g_kgpu_q2_last_pc;

#define Q2_CTX (&g_Kgpu_Q2_Ctrl_Ctx)

#define FMT_Y8		26
#define FMT_UV		29
#define FMT_Y_UV	30

#define Q2_START_FILL	4
#define Q2_START_OTHER	2

static const ST_KER_GPU_HW_REG *q2_hw(int engine)
{
	return kgpu_ctx_hw(Q2_CTX, engine);
}

int KGPU_OP_Q2_Initial(const ST_KER_GPU_INIT *pstInit)
{
	g_Kgpu_Q2_Ctrl_Ctx = *pstInit;
	return 0;
}

int KGPU_OP_Q2_Set_Speed_Limit(u32 a, u32 b)
{
	WRITE_ONCE(g_Kgpu_Q2_Ctrl_Ctx.SpeedLimit_Num, a);
	WRITE_ONCE(g_Kgpu_Q2_Ctrl_Ctx.SpeedLimit_Den, b);
	return 0;
}

static bool q2_planar(u8 fmt)
{
	return fmt >= 15 && fmt <= 18;
}

static int _KGPU_Q2_UV_Width(const KER_GPU_PLANE *p)
{
	if (p->FormatMode == 15 || p->FormatMode == 16)
		return (p->W + 1) >> 1;
	if (p->FormatMode == 17 || p->FormatMode == 18)
		return p->W;
	return -1;
}

static int _KGPU_Q2_UV_Height(const KER_GPU_PLANE *p)
{
	if (p->FormatMode == 15 || p->FormatMode == 17)
		return (p->H + 1) >> 1;
	if (p->FormatMode == 16 || p->FormatMode == 18)
		return p->H;
	return -1;
}

static int _KGPU_Q2_Pixel_Width(const KER_GPU_PLANE *p)
{
	static const s8 w[5] = { 1, -1, -1, 2, 1 };

	if (p->FormatMode < FMT_Y8 || p->FormatMode > FMT_Y_UV)
		return -1;
	return w[p->FormatMode - FMT_Y8];
}

/* ------------------------------------------------------------------------ */
/* Case tests                                                                */

int KGPU_OP_Q2_IMVQ_Accelerate_Case(const KER_GPU_PLANE *src, const KER_GPU_PLANE *dst, int op)
{
	if (!kgpu_nv12_acc()) {
		KGPU_OP_TRC("[TRC]%s() HwFeature(%d), HwFeatureMask(%d) not support NV12 ACC (bit %d)!!!!\n",
			    __func__, g_GpuHwFeature, g_GpuFeatureMask, 2);
		return -1;
	}
	if (op == KGPU_Q2_OP_SCALE && src && dst) {
		if (q2_planar(src->FormatMode) && q2_planar(dst->FormatMode)) {
			if (!src->SeparateUV && !src->CustomFormatTransform &&
			    !dst->CustomFormatTransform)
				return 0;
		} else {
			KGPU_OP_TRC("[TRC]%s() pstSrc->FormatMode(%d), pstDst->FormatMode(%d) only support YUV422 ~ YUV444 !!!!\n",
				    __func__, src->FormatMode, dst->FormatMode);
		}
	}
	if (src && src->FormatMode != FMT_Y8 && src->FormatMode != FMT_UV &&
	    src->FormatMode != FMT_Y_UV)
		return -1;
	if (!dst || dst->FormatMode == FMT_Y8)
		return 0;
	if (dst->FormatMode == FMT_Y_UV)
		return op == KGPU_Q2_OP_SCALE ? 0 : -1;
	if (dst->FormatMode == FMT_UV)
		return op == KGPU_Q2_OP_COPY || op == KGPU_Q2_OP_SCALE ? 0 : -1;
	return -1;
}

int KGPU_OP_Q2_IMVQ_Accelerate_Scaling(const _ST_KER_GPU_SCLP_SETTING *sc)
{
	if (sc && sc->ScaleHwVersion && sc->ScaleOp_Mode == 0 && sc->LowPass_Mode) {
		KGPU_OP_TRC("[TRC]%s() ScaleOp_Mode(%d), LowPass_Mode(%d)   not support !!!!\n",
			    __func__, sc->ScaleOp_Mode, sc->LowPass_Mode);
		return -1;
	}
	return 0;
}

int _KGPU_OP_Set_UV_mode(const KER_GPU_PLANE *src, const KER_GPU_PLANE *dst)
{
	int i;

	for (i = 0; i < KER_GPU_PLANE_CHANNELS; i++) {
		if (src->Buf_Address[i] >= KGPU_ADDR_LIMIT) {
			KGPU_OP_ERR("%s() pstSrc->Buf_Address[0] == 0x%llX !!!\n", __func__,
				    src->Buf_Address[i]);
			KGPU_OP_ERR("%s not support Address large than 64GBytes\n", __func__);
			return 5;
		}
		if (dst->Buf_Address[i] >= KGPU_ADDR_LIMIT) {
			KGPU_OP_ERR("%s() pstDst->Buf_Address[0] == 0x%llX !!!\n", __func__,
				    dst->Buf_Address[i]);
			KGPU_OP_ERR("%s not support Address large than 64GBytes\n", __func__);
			return 5;
		}
	}
	if (src->FormatMode == FMT_Y_UV && dst->FormatMode == FMT_UV)
		return 1;
	if (src->FormatMode == FMT_UV && dst->FormatMode == FMT_UV)
		return 3;
	if (src->FormatMode == FMT_UV && dst->FormatMode == FMT_Y_UV)
		return 4;
	if (src->FormatMode == FMT_Y8 && dst->FormatMode == FMT_Y8)
		return 0;
	return 5;
}

static void _GPU_Q2_UV_Seperate_SetReg(const ST_KER_GPU_HW_REG *hw, int mode)
{
	static const u32 pair[5][2] = {
		{ 0, 0 }, { 0, 0x10 }, { 0, 0x110 }, { 1, 0 }, { 1, 1 },
	};

	if (mode < 0 || mode > 4) {
		KGPU_OP_ERR("UV mode(%d) not support !!!!!!!!!!!!!!\n", mode);
		return;
	}
	kgpu_reg_wr(hw, AGE_UV_SEP, pair[mode][0]);
	kgpu_reg_wr(hw, AGE_BLEND_CTRL, pair[mode][1]);
}

/* ------------------------------------------------------------------------ */
/* Speed limit                                                               */

const char *_KGPU_Q2_FractionToStr(u32 num, u32 den)
{
	static char buf[15];
	u32 ip, r;

	if (!den)
		den = 1;
	ip = num / den;
	r = (u32)((u64)(num % den) * 1000 / den);
	snprintf(buf, sizeof(buf), "%d.%0d%0d%0d", ip, r / 100, (r / 10) % 10, r % 10);
	return buf;
}

int _KGPU_Q2_SpeedLimit_Set(u32 a, u32 b, int fill, int factor)
{
	s64 limit;

	if (!b)
		limit = 127;
	else if (fill)
		limit = (s64)(a ? b * 6 / a : 0) - 4;
	else
		limit = (u64)a * (factor == 1 ? 80 : 160) / b;
	if (limit < 0 || limit >= 128) {
		KGPU_OP_TRC("[TRC]%s() SpeedLimit = 0x%X > 0x7F \n", __func__, (u32)limit);
		limit = 127;
	}
	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRACE)
		printk(KERN_INFO "[TRC]%s(%d, %d, %d) SpeedLimit = 0x%X, %s bytes per cycle.\n",
		       __func__, a, b, fill, (u32)limit,
		       fill ? _KGPU_Q2_FractionToStr(64, limit + 4) :
			      _KGPU_Q2_FractionToStr(limit * 16, 128));
	return limit;
}

/* The context's pair when both are set, else the destination plane's own. */
static void q2_speed_limit(const ST_KER_GPU_HW_REG *hw, const KER_GPU_PLANE *dst, int fill,
			   int factor)
{
	u32 a = READ_ONCE(Q2_CTX->SpeedLimit_Num), b = READ_ONCE(Q2_CTX->SpeedLimit_Den);
	int limit;

	if (!a || !b) {
		a = dst->SpeedLimit_Num;
		b = dst->SpeedLimit_Den;
		if (!a || !b)
			return;
		KGPU_OP_TRC("[TRC]Dst  : SpeedLimit =  %d / %d \n", a, b);
	}
	limit = _KGPU_Q2_SpeedLimit_Set(a, b, fill, factor);
	kgpu_reg_or(hw, AGE_FILL_COLOR, 0x1000000 | (u32)limit << 25);
}

/* ------------------------------------------------------------------------ */
/* Setters                                                                   */

/* Bytes per pixel the Q2 model moves for a plane of the format. */
static u32 q2_bpp(const KER_GPU_PLANE *p)
{
	return p->FormatMode == FMT_UV ? 2 : 1;
}

/*
 * What the source and destination setters write, computed and judged for
 * the whole operation before the engine is reset: a refusal leaves the
 * engine as it was.
 */
struct q2_src {
	u32 lo, stride;
	u8 hi;
};

struct q2_dst {
	u32 lo[2], stride[2];
	u8 hi[2];
	int planes;
};

/* Plane i of the source, read as W x H pixels. */
static int q2_src_regs(const KER_GPU_PLANE *p, int i, struct q2_src *r)
{
	u32 bpp = q2_bpp(p);
	u64 addr = p->Buf_Address[i];

	r->stride = p->Buf_Stride[i];
	if (p->ClipOn) {
		if (p->Clip_x < 0 || p->Clip_y < 0)
			return -33;
		addr += (u64)p->Clip_y * r->stride + (u64)p->Clip_x * bpp;
	}
	if (kgpu_addr_split(addr, &r->lo, &r->hi) || r->stride >= KGPU_STRIDE_LIMIT)
		return -33;
	if (kgpu_reach_check(p->pstReach, i, addr, r->stride, (u64)p->W * bpp, p->H, false,
			     "source"))
		return -EINVAL;
	return 0;
}

/*
 * The destination planes. A flip or rotation moves each plane's start back
 * by the padding of the plane's size to the engine's alignment: the engine
 * then writes that padding too, before the rectangle, and all of it must be
 * the caller's.
 */
static int q2_dst_regs(const KER_GPU_PLANE *p, u32 mode, struct q2_dst *r)
{
	u32 a = (p->FormatMode == FMT_UV || p->FormatMode == FMT_Y_UV) ? 32 : 64;
	u32 bpp = q2_bpp(p);
	u32 pw = p->W % a ? a - p->W % a : 0, ph = p->H % a ? a - p->H % a : 0;
	int i;

	memset(r, 0, sizeof(*r));
	r->planes = p->FormatMode == FMT_Y_UV ? 2 : 1;
	/* The padding each mode moves back over. */
	if (mode != 1 && mode != 2 && mode != 4 && mode != 5)
		pw = 0;
	if (mode != 2 && mode != 3 && mode != 5 && mode != 6)
		ph = 0;
	for (i = 0; i < r->planes; i++) {
		u64 base = p->Buf_Address[i], off = 0, back;

		r->stride[i] = p->Buf_Stride[i];
		if (!base || r->stride[i] >= KGPU_STRIDE_LIMIT)
			return -33;
		if (p->ClipOn) {
			if (p->Clip_x < 0 || p->Clip_y < 0)
				return -33;
			off = (u64)p->Clip_y * r->stride[i] + (u64)p->Clip_x * bpp;
		}
		back = (u64)pw * bpp + (u64)ph * r->stride[i];
		/* The padding may not take the start before address 0. */
		if (back > base + off)
			return -33;
		if (kgpu_addr_split(base + off - back, &r->lo[i], &r->hi[i]))
			return -33;
		if (kgpu_reach_check(p->pstReach, i, base + off - back, r->stride[i],
				     (u64)(p->W + pw) * bpp, p->H + ph, false, "destination"))
			return -EINVAL;
	}
	return 0;
}

/* The source's plane i and the destination, as one judgement. */
static int q2_judge(const KER_GPU_PLANE *src, int i, const KER_GPU_PLANE *dst, u32 mode,
		    struct q2_src *s, struct q2_dst *d)
{
	int ret = q2_src_regs(src, i, s);

	return ret ? ret : q2_dst_regs(dst, mode, d);
}

static void _GPU_Q2_Src_SetReg(const ST_KER_GPU_HW_REG *hw, const struct q2_src *r)
{
	kgpu_reg_wr(hw, AGE_SRC1_ADDR0, r->lo);
	kgpu_reg_wr(hw, AGE_STRIDE_S1_01, r->stride & 0xFFFF);
	kgpu_reg_wr(hw, AGE_SRC_ADDR_HI, r->hi);
	kgpu_reg_wr(hw, AGE_STRIDE_HI_A, (kgpu_reg_rd(hw, AGE_STRIDE_HI_A) & ~0xF0000u) |
					 KGPU_FLD(r->stride >> 16, 16, 4));
}

static void _GPU_Q2_Dst_SetReg(const ST_KER_GPU_HW_REG *hw, const struct q2_dst *r)
{
	kgpu_reg_wr(hw, AGE_DST_ADDR0, r->lo[0]);
	if (r->planes > 1)
		kgpu_reg_wr(hw, AGE_DST_ADDR1, r->lo[1]);
	kgpu_reg_wr(hw, AGE_DST_STRIDE_01, KGPU_FLD(r->stride[0], 0, 16) |
					   KGPU_FLD(r->stride[1], 16, 16));
	kgpu_reg_wr(hw, AGE_DST_ADDR_HI, KGPU_FLD(r->hi[0], 0, 4) | KGPU_FLD(r->hi[1], 4, 4));
	kgpu_reg_wr(hw, AGE_STRIDE_HI_B, (kgpu_reg_rd(hw, AGE_STRIDE_HI_B) & ~0xFF00u) |
					 KGPU_FLD(r->stride[0] >> 16, 8, 4) |
					 KGPU_FLD(r->stride[1] >> 16, 12, 4));
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, AGE_FIN_STRICT | kgpu_power_bits());
}

static void _GPU_Q2_Scaler_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SCALER *s)
{
	kgpu_reg_wr(hw, AGE_FACTOR_H, s->FactorH);
	kgpu_reg_wr(hw, AGE_FACTOR_V, s->FactorV);
	kgpu_reg_wr(hw, AGE_FACTOR15_H, s->DstW == 0 ? 1 : 0);
	kgpu_reg_wr(hw, AGE_FACTOR15_V, 0);
	kgpu_reg_wr(hw, AGE_START_PHASE_H, s->StartPhaseH);
	kgpu_reg_wr(hw, AGE_START_PHASE_V, s->StartPhaseV);
	kgpu_reg_wr(hw, AGE_END_PHASE_H, s->EndPhaseH);
	kgpu_reg_wr(hw, AGE_END_PHASE_V, s->EndPhaseV);
	kgpu_reg_wr(hw, AGE_SRC_SIZE, KGPU_FLD(s->SrcW, 0, 16) | KGPU_FLD(s->SrcH, 16, 13));
	kgpu_reg_wr(hw, AGE_DST_SIZE, KGPU_FLD(s->DstW, 0, 16) | KGPU_FLD(s->DstH, 16, 16));
	kgpu_reg_wr(hw, AGE_HI_FACTOR, KGPU_FLD(s->HiFactorH, 0, 8) | KGPU_FLD(s->HiFactorV, 8, 8));
	kgpu_reg_wr(hw, AGE_HI_PHASE, KGPU_FLD(s->StartHiH, 0, 8) | KGPU_FLD(s->StartHiV, 8, 8) |
				      KGPU_FLD(s->EndHiH, 16, 8) | KGPU_FLD(s->EndHiV, 24, 8));
}

static int _KGPU_Q2_Scaling_Setting(u32 sw, u32 sh, u32 dw, u32 dh,
				    const _ST_KER_GPU_SCLP_SETTING *sc,
				    ST_KGPU_Q3_FUNC *f, ST_KGPU_Q3_SCALER *s)
{
	u8 mode = 0, lp = 0;

	if (!sw || !sh) {
		KGPU_OP_ERR("Out Src WxH = %dx%d, setting error !!!!\n", sw, sh);
		return -33;
	}
	if (!dw || !dh) {
		KGPU_OP_ERR("Out Dst WxH = %dx%d, setting error !!!!\n", dw, dh);
		return -33;
	}
	if (!f || !s) {
		KGPU_OP_ERR("%s", !f ? "pstFuncSetting == NULL !!!!\n" : "pstSclSetting == NULL !!!!\n");
		return -33;
	}
	if (sh > KGPU_SRC_H_LIMIT)
		return -33;
	memset(s, 0, sizeof(*s));
	s->FactorH = s->FactorV = KGPU_STEP_ONE;
	f->Scaler = 0;
	f->LowPass = 0;
	/* A user-chosen low-pass beyond 10 would overflow the generated taps. */
	if (sw != dw || sh != dh || (sc && sc->Force_Scaling)) {
		kgpu_scaling_mode_choice(sc, sw, dw, &mode, &lp);
		if (lp >= 11) {
			KGPU_OP_ERR("LowPass_Mode = %d, setting error !!!!\n", lp);
			return -33;
		}
		f->Scaler = mode;
		f->LowPass = lp;
		_KGPU_Q3_Scaling_Step_Calc(sw, dw, &s->HiFactorH, &s->FactorH);
		if (sw == 1)
			s->FactorH = 1;
		_KGPU_Q3_Scaling_Step_Calc(sh, dh, &s->HiFactorV, &s->FactorV);
		if (sh == 1)
			s->FactorV = 1;
	}
	kgpu_end_phase(0, 0, s->FactorH, s->HiFactorH, dw, &s->EndPhaseH, &s->EndHiH);
	kgpu_end_phase(0, 0, s->FactorV, s->HiFactorV, dh, &s->EndPhaseV, &s->EndHiV);
	s->SrcW = sw - 1;
	s->SrcH = sh - 1;
	s->DstW = dw - 1;
	s->DstH = dh - 1;
	if ((!s->EndPhaseH && !s->EndHiH && dw >= 2) || (!s->EndPhaseV && !s->EndHiV && dh >= 2)) {
		KGPU_OP_ERR("%s() EndPhase H = 0x%08X, V = 0x%08X\n", __func__, s->EndPhaseH,
			    s->EndPhaseV);
		return -34;
	}
	return 0;
}

/* ------------------------------------------------------------------------ */
/* Frame                                                                     */

static void _GPU_Q2_SwReset(const ST_KER_GPU_HW_REG *hw)
{
	if (READ_ONCE(g_GpuDbgMask) & BIT(3))
		printk(KERN_INFO "%s()\n", __func__);
	if (Q2_CTX->HwVersion == 4) {
		kgpu_reg_wr(hw, AGE_CTRL, AGE_RESET_VALUE);
		kgpu_reg_wr(hw, AGE_CTRL, AGE_RESET_VALUE);
	} else {
		kgpu_reg_or(hw, AGE_CTRL, AGE_RESET_VALUE);
	}
	kgpu_cp_wr(hw, CP_CTRL, kgpu_cp_rd(hw, CP_CTRL) | 0x80000000u);
	kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, 0);
	kgpu_reg_or(hw, AGE_SRAM, 0x10000);
}

/* 0 with the engine taken (*engine, *hw), else the operation's result. */
static int q2_begin(const char *func, const void *a, const void *b, const KER_GPU_PLANE *dst,
		    int *engine, const ST_KER_GPU_HW_REG **hw, ktime_t *t0)
{
	const ST_KER_GPU_INIT *c = Q2_CTX;
	u32 disabled = READ_ONCE(c->Disabled);
	int ret;

	if (!kgpu_nv12_acc()) {
		KGPU_OP_ERR("%s() HwFeature(0x%X) & Mask(0x%X) without feature ACC(0x%X) !!!\n",
			    func, g_GpuHwFeature, g_GpuFeatureMask, (u32)KER_GPU_HW_FEATURE_NV12_ACC);
		return -1;
	}
	if (!a || !b) {
		KGPU_OP_ERR("%s() requisite parameter Src or Dst is NULL\n", func);
		return -22;
	}
	*engine = _KGPU_OP_Q3_Get_HwID(c, dst);
	if (disabled)
		return disabled;
	*hw = q2_hw(*engine);
	if (!*hw || !(*hw)->Gpu_RegReMap || !(*hw)->Cpu_RegReMap) {
		KGPU_OP_ERR("g_Kgpu_Q2_Ctrl_Ctx.Hw[%d].Gpu_RegReMap == NULL  !!!!!!!!!!!!!!\n", *engine);
		return -1;
	}
	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TIME)
		*t0 = ktime_get();
	ret = c->pfnLock && c->pfnTrigger && c->pfnUnlock ? c->pfnLock(*engine) : -1;
	if (ret < 0) {
		KGPU_OP_ERR("%s() : down_killable() = %d\n", func, ret);
		return ret;
	}
	return 0;
}

/* Triggers and, in blocking mode, collects the result and releases the engine. */
static int q2_go(const char *func, int engine, KER_GPU_PLANE *dst, u32 mode,
		 KGPU_CMDBUF_HANDLE list, bool unlock, ktime_t t0)
{
	const ST_KER_GPU_INIT *c = Q2_CTX;
	const ST_KER_GPU_HW_REG *hw = q2_hw(engine);
	KER_GPU_CALLBACK done = dst->pstOption ? dst->pstOption->pfnDone : NULL;
	void *arg = dst->pstOption ? dst->pstOption->pDoneArg : NULL;
	u32 status;
	int ret;

	if (mode == KER_GPU_TRIGGER_NONBLOCK) {
		ret = _GPU_Q2_Go(engine, mode, done, arg, list ? KGPU_OP_Q2_CmdBuf_Free : NULL, list);
		if (ret == 0)
			return 0;	/* the interrupt releases the engine and the list */
	} else {
		ret = _GPU_Q2_Go(engine, mode, NULL, NULL, NULL, NULL);
	}
	if (ret < 0)
		_GPU_Q2_SwReset(hw);
	if (list) {
		kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, 0);
		KGPU_Cmdbuf_Close(list);
	}
	dst->Status[0] = kgpu_reg_rd(hw, AGE_RESULT0);
	status = kgpu_reg_rd(hw, AGE_STATUS);
	if ((status & AGE_STATUS_BUSY) || (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_REG_DUMP))
		KGPU_OP_Q3_DumpReg(engine);
	if (unlock)
		c->pfnUnlock(engine);
	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TIME)
		printk(KERN_INFO "[TRC]   %s() Time Diff = %lld\n", func,
		       (long long)ktime_to_ns(ktime_sub(ktime_get(), t0)));
	/* A batch runs blocking; a caller that asked for its callback gets it now. */
	if (list && kgpu_plane_nonblock(dst))
		kgpu_plane_done(dst);
	if (ret < 0) {
		KGPU_OP_ERR("%s() Wait interrupt time out : %d \n", func, ret);
		return -16;
	}
	if (status & AGE_STATUS_BUSY)
		return -26;
	if (status & AGE_STATUS_ERROR)
		return -28;
	return ret;
}

/* ------------------------------------------------------------------------ */
/* Batch lists                                                               */

static int q2_entry(const KER_GPU_PLANE *p, u32 bpp, int i, u32 *size, u32 *lo, u32 *w, u32 *h)
{
	s32 x, y;
	u64 a;

	kgpu_batch_entry(p, i, &x, &y, w, h);
	*size = (*h - 1) << 16 | (*w - 1);
	a = KGPU_Cmdbuf_Reg_Plane_Addr(p->Buf_Address[0], p->Buf_Stride[0], bpp, y, x);
	if (a >= KGPU_ADDR_LIMIT || upper_32_bits(a) != upper_32_bits(p->Buf_Address[0]))
		return -33;
	*lo = lower_32_bits(a);
	return kgpu_reach_check(p->pstReach, 0, a, p->Buf_Stride[0], (u64)*w * bpp, *h, false,
				"batch rectangle");
}

static int q2_build_list(const KER_GPU_PLANE *src, const KER_GPU_PLANE *dst,
			 KGPU_CMDBUF_HANDLE *out)
{
	int count = dst->stBatch.Count, sbpp = 0, dbpp = _KGPU_Q2_Pixel_Width(dst);
	KGPU_CMDBUF_HANDLE h;
	ST_KGPU_CMDBUF_PAGE *pg;
	int i, room, ret;

	ret = kgpu_batch_check(dst, dbpp, !src);
	if (!ret && src) {
		sbpp = _KGPU_Q2_Pixel_Width(src);
		ret = src->stBatch.Count < count ? -22 : kgpu_batch_check(src, sbpp, true);
	}
	if (ret)
		return ret;
	h = KGPU_Cmdbuf_Open(Q2_CTX->pDevice);
	if (!h)
		return -12;
	pg = KGPU_Cmdbuf_New();
	if (!pg) {
		KGPU_Cmdbuf_Close(h);
		return -12;
	}
	KGPU_Cmdbuf_Add(h, pg);
	for (i = 0; i < count; i++) {
		u32 ssize, dsize, slo = 0, dlo, w, hh;

		ret = q2_entry(dst, dbpp, i, &dsize, &dlo, &w, &hh);
		if (!ret && src)
			ret = q2_entry(src, sbpp, i, &ssize, &slo, &w, &hh);
		if (ret)
			goto fail;
		if (src) {
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x29), ssize);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x2A), dsize);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x0E), slo);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x53), dlo);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x00), Q2_START_OTHER);
		} else {
			u32 dw = (dsize & 0xFFFF) + 1, dh = (dsize >> 16) + 1;

			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x29), dsize);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x2A), dsize);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x34), dh * ((dw + 63) >> 6) * 4 - 1);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x53), dlo);
			KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x00), Q2_START_FILL);
		}
		room = KGPU_Cmdbuf_Write(h, KGPU_CMD_WAIT, KGPU_CMD_WAIT_DONE_MASK);
		if (room < 0) {
			ret = -12;
			goto fail;
		}
		if (room < KGPU_CMDBUF_RESERVE && KGPU_Cmdbuf_Chain(h) < 0) {
			ret = -12;
			goto fail;
		}
	}
	KGPU_Cmdbuf_Write(h, KGPU_CMD_END, 0);
	g_kgpu_q2_last_pc = KGPU_Cmdbuf_Stop(h);
	if (!src)
		KGPU_OP_TRC("[TRC]%s() last pc = 0x%x\n", __func__, (u32)g_kgpu_q2_last_pc);
	*out = h;
	return 0;
fail:
	KGPU_Cmdbuf_Close(h);
	return ret;
}

/* A batch fill's list; NULL with the reason in *pRet. */
KGPU_CMDBUF_HANDLE KGPU_OP_Q2_CmdBuf_Fill(const KER_GPU_PLANE *pstDst, int *pRet)
{
	KGPU_CMDBUF_HANDLE h = NULL;

	*pRet = q2_build_list(NULL, pstDst, &h);
	return *pRet ? NULL : h;
}

/* A batch copy's list; NULL with the reason in *pRet. */
KGPU_CMDBUF_HANDLE KGPU_OP_Q2_CmdBuf_Copy(const KER_GPU_PLANE *pstSrc, const KER_GPU_PLANE *pstDst,
					  int *pRet)
{
	KGPU_CMDBUF_HANDLE h = NULL;

	*pRet = q2_build_list(pstSrc, pstDst, &h);
	return *pRet ? NULL : h;
}

void KGPU_OP_Q2_CmdBuf_Free(void *arg)
{
	KGPU_Cmdbuf_Close(arg);
}

/* Starts the engine through the core's trigger (0 when there is none). */
int _GPU_Q2_Go(int engine, unsigned int mode, KER_GPU_CALLBACK cb1, void *arg1,
	       KER_GPU_CALLBACK cb2, void *arg2)
{
	KER_GPU_TRIGGER_FN trigger = Q2_CTX->pfnTrigger;

	return trigger ? trigger(engine, mode, cb1, arg1, cb2, arg2) : 0;
}

/* ------------------------------------------------------------------------ */
/* Operations                                                                */

static u32 q2_size(u32 w, u32 h)
{
	return (w - 1) | (h - 1) << 16;
}

int KGPU_OP_Q2_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill)
{
	const ST_KER_GPU_HW_REG *hw;
	KGPU_CMDBUF_HANDLE list = NULL;
	struct q2_dst d;
	ktime_t t0 = 0;
	u32 mode;
	int engine, ret;

	if (!kgpu_nv12_acc())
		return q2_begin(__func__, NULL, NULL, pstDst, &engine, &hw, &t0);
	if (!pstDst || !pstFill) {
		KGPU_OP_ERR("%s() requisite parameter Dst or pstFillSetting is NULL\n", __func__);
		return -22;
	}
	if (pstFill->FillMode != KER_GPU_FILL_SOLID) {
		KGPU_OP_ERR("%s()  not support gradient_fill !!!\n", __func__);
		return -22;
	}
	if (pstDst->Buf_Address[0] >= KGPU_ADDR_LIMIT || !pstDst->W || !pstDst->H)
		return -33;
	ret = q2_dst_regs(pstDst, 0, &d);
	if (ret)
		return ret;
	if (pstDst->stBatch.Count) {
		list = KGPU_OP_Q2_CmdBuf_Fill(pstDst, &ret);
		if (!list)
			return ret;
	}
	ret = q2_begin(__func__, pstDst, pstFill, pstDst, &engine, &hw, &t0);
	if (ret) {
		if (list)
			KGPU_Cmdbuf_Close(list);
		return ret;
	}
	_GPU_Q2_SwReset(hw);
	kgpu_reg_wr(hw, AGE_SRC_SIZE, q2_size(pstDst->W, pstDst->H));
	kgpu_reg_wr(hw, AGE_DST_SIZE, q2_size(pstDst->W, pstDst->H));
	kgpu_reg_wr(hw, AGE_UPPER_BOUND, ((pstDst->W + 63) >> 6) * pstDst->H * 4 - 1);
	kgpu_reg_wr(hw, AGE_FILL_COLOR, pstFill->Color & 0xFF);
	q2_speed_limit(hw, pstDst, 1, 1);
	_GPU_Q2_Dst_SetReg(hw, &d);
	mode = kgpu_plane_nonblock(pstDst);
	if (list) {
		kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, lower_32_bits(KGPU_Cmdbuf_First(list)));
		mode = KER_GPU_TRIGGER_BLOCK;
	}
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, list ? AGE_FIN_STRICT : AGE_FIN_INT);
	return q2_go(__func__, engine, pstDst, mode, list, true, t0);
}

int KGPU_OP_Q2_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst)
{
	const ST_KER_GPU_HW_REG *hw;
	KGPU_CMDBUF_HANDLE list = NULL;
	struct q2_src s;
	struct q2_dst d;
	ktime_t t0 = 0;
	int engine, ret, uv;
	u32 mode;

	if (!kgpu_nv12_acc() || !pstSrc || !pstDst)
		return q2_begin(__func__, pstSrc, pstDst, pstDst, &engine, &hw, &t0);
	uv = _KGPU_OP_Set_UV_mode(pstSrc, pstDst);
	if (uv == 5)
		return -22;
	if (uv == 1)
		return -524;
	ret = q2_judge(pstSrc, 0, pstDst, 0, &s, &d);
	if (ret)
		return ret;
	if (pstDst->stBatch.Count) {
		list = KGPU_OP_Q2_CmdBuf_Copy(pstSrc, pstDst, &ret);
		if (ret)
			return ret;
	}
	ret = q2_begin(__func__, pstSrc, pstDst, pstDst, &engine, &hw, &t0);
	if (ret) {
		if (list)
			KGPU_Cmdbuf_Close(list);
		return ret;
	}
	_GPU_Q2_SwReset(hw);
	q2_speed_limit(hw, pstDst, 0, uv < 3 ? 1 : 2);
	_GPU_Q2_Src_SetReg(hw, &s);
	_GPU_Q2_Dst_SetReg(hw, &d);
	kgpu_reg_wr(hw, AGE_FUNC, 1);
	kgpu_reg_wr(hw, AGE_SRC_SIZE, q2_size(pstSrc->W, pstSrc->H));
	kgpu_reg_wr(hw, AGE_DST_SIZE, q2_size(pstDst->W, pstDst->H));
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, AGE_FIN_INT);
	_GPU_Q2_UV_Seperate_SetReg(hw, uv);
	mode = kgpu_plane_nonblock(pstDst);
	if (list) {
		kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, lower_32_bits(KGPU_Cmdbuf_First(list)));
		mode = KER_GPU_TRIGGER_BLOCK;
	}
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, list ? AGE_FIN_STRICT : AGE_FIN_INT);
	return q2_go(__func__, engine, pstDst, mode, list, true, t0);
}

/* Offset of (x, y) in a chroma plane of a planar format. */
static u64 q2_chroma_offset(const KER_GPU_PLANE *p, int plane, u32 bpp)
{
	u32 x, y;

	if (!p->ClipOn)
		return 0;
	x = (p->FormatMode == 15 || p->FormatMode == 16) ? p->Clip_x / 2 : p->Clip_x;
	y = (p->FormatMode == 15 || p->FormatMode == 17) ? p->Clip_y / 2 : p->Clip_y;
	return (u64)x * bpp + (u64)y * p->Buf_Stride[plane];
}

static KGPU_CMDBUF_HANDLE KGPU_OP_Q2_CmdBuf_Scale_UV(const KER_GPU_PLANE *src,
						     const KER_GPU_PLANE *dst,
						     const ST_KGPU_Q3_SCALER *s, int *err)
{
	u32 slo, dlo, d2lo = 0;
	u8 shi, dhi, d2hi = 0;
	KGPU_CMDBUF_HANDLE h;
	ST_KGPU_CMDBUF_PAGE *pg;
	u32 dbpp = dst->SeparateUV ? 1 : 2;

	u64 sa = src->Buf_Address[1] + q2_chroma_offset(src, 1, 2);
	u64 da = dst->Buf_Address[1] + q2_chroma_offset(dst, 1, dbpp);
	u64 d2a = dst->Buf_Address[2] + q2_chroma_offset(dst, 2, 1);

	*err = -33;
	if (kgpu_addr_split(sa, &slo, &shi) || kgpu_addr_split(da, &dlo, &dhi) ||
	    (dst->SeparateUV && kgpu_addr_split(d2a, &d2lo, &d2hi)))
		return NULL;
	/* The chroma pass reads and writes the chroma sizes of the scaler unit. */
	*err = -EINVAL;
	if (kgpu_reach_check(src->pstReach, 1, sa, src->Buf_Stride[1], (u64)(s->SrcW + 1) * 2,
			     s->SrcH + 1, false, "chroma source") ||
	    kgpu_reach_check(dst->pstReach, 1, da, dst->Buf_Stride[1], (u64)(s->DstW + 1) * dbpp,
			     s->DstH + 1, false, "chroma destination") ||
	    (dst->SeparateUV &&
	     kgpu_reach_check(dst->pstReach, 2, d2a, dst->Buf_Stride[2], (u64)s->DstW + 1,
			      s->DstH + 1, false, "chroma destination")))
		return NULL;
	*err = -12;
	h = KGPU_Cmdbuf_Open(Q2_CTX->pDevice);
	if (!h)
		return NULL;
	pg = KGPU_Cmdbuf_New();
	if (!pg) {
		KGPU_Cmdbuf_Close(h);
		return NULL;
	}
	KGPU_Cmdbuf_Add(h, pg);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x00), Q2_START_OTHER);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_WAIT, KGPU_CMD_WAIT_DONE_MASK);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x0E), slo);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x3E), shi);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x53), dlo);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x3F), dhi | (dst->SeparateUV ? (u32)d2hi << 4 : 0) |
						  AGE_FIN_STRICT);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x15), src->Buf_Stride[1] & 0xFFFF);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x56), (dst->Buf_Stride[1] & 0xFFFF) |
				(dst->SeparateUV ? dst->Buf_Stride[2] << 16 : 0));
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x21), s->FactorH);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x22), s->FactorV);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x23), s->DstW == 0 ? 1 : 0);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x25), s->StartPhaseH);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x26), s->StartPhaseV);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x27), s->EndPhaseH);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x28), s->EndPhaseV);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x29), KGPU_FLD(s->SrcW, 0, 16) | KGPU_FLD(s->SrcH, 16, 13));
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x2A), KGPU_FLD(s->DstW, 0, 16) | KGPU_FLD(s->DstH, 16, 16));
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x2D), s->HiFactorH | (u32)s->HiFactorV << 8);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x2E), s->StartHiH | (u32)s->StartHiV << 8 |
						  (u32)s->EndHiH << 16 | (u32)s->EndHiV << 24);
	if (dst->SeparateUV) {
		KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x54), d2lo);
		KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x40), 1);
	} else {
		KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x40), 0);
	}
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x48), 1);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_REG(0x00), Q2_START_OTHER);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_WAIT, KGPU_CMD_WAIT_DONE_MASK);
	KGPU_Cmdbuf_Write(h, KGPU_CMD_END, 0);
	g_kgpu_q2_last_pc = KGPU_Cmdbuf_Stop(h);
	*err = 0;
	return h;
}

static int KGPU_OP_Q2_Scale_NV12(KER_GPU_PLANE *src, KER_GPU_PLANE *dst,
				 _ST_KER_GPU_SCLP_SETTING *sc)
{
	ST_KGPU_Q3_FUNC fy = { 0 }, fuv = { 0 };
	ST_KGPU_Q3_SCALER sy, suv;
	const ST_KER_GPU_HW_REG *hw;
	KGPU_CMDBUF_HANDLE list;
	struct q2_src s;
	struct q2_dst d;
	ktime_t t0 = 0;
	int engine, ret;

	if (!q2_planar(src->FormatMode) || src->SeparateUV) {
		KGPU_OP_ERR("%s() Src Format(%d), SeparateUV(%d),  not support !!!!\n", __func__,
			    src->FormatMode, src->SeparateUV);
		return -1;
	}
	if (!q2_planar(dst->FormatMode)) {
		KGPU_OP_ERR("%s() Dst Format(%d), SeparateUV(%d),  not support !!!!\n", __func__,
			    dst->FormatMode, dst->SeparateUV);
		return -1;
	}
	if (src->Buf_Address[0] >= KGPU_ADDR_LIMIT || dst->Buf_Address[0] >= KGPU_ADDR_LIMIT)
		return -33;
	ret = _KGPU_Q2_Scaling_Setting(src->W, src->H, dst->W, dst->H, sc, &fy, &sy);
	if (!ret)
		ret = _KGPU_Q2_Scaling_Setting(_KGPU_Q2_UV_Width(src), _KGPU_Q2_UV_Height(src),
					       _KGPU_Q2_UV_Width(dst), _KGPU_Q2_UV_Height(dst),
					       sc, &fuv, &suv);
	if (ret) {
		KGPU_OP_ERR("%s() Scaling_Setting Fail(%d) !!!!\n", __func__, ret);
		return ret;
	}
	KGPU_OP_TRC("[TRC]%s() UV size : %dx%d to %dx%d\n", __func__, _KGPU_Q2_UV_Width(src),
		    _KGPU_Q2_UV_Height(src), _KGPU_Q2_UV_Width(dst), _KGPU_Q2_UV_Height(dst));
	ret = q2_judge(src, 0, dst, 0, &s, &d);
	if (ret)
		return ret;
	list = KGPU_OP_Q2_CmdBuf_Scale_UV(src, dst, &suv, &ret);
	if (!list)
		return ret;
	ret = q2_begin(__func__, src, dst, dst, &engine, &hw, &t0);
	if (ret) {
		KGPU_Cmdbuf_Close(list);
		return ret;
	}
	_GPU_Q2_SwReset(hw);
	_GPU_Q2_Src_SetReg(hw, &s);
	_GPU_Q2_Dst_SetReg(hw, &d);
	_KGPU_Q3_Scaling_Coef(engine, hw, &fy);
	kgpu_reg_wr(hw, AGE_FUNC, (fy.Tap & 3) << 4);
	_GPU_Q2_Scaler_SetReg(hw, &sy);
	_GPU_Q2_UV_Seperate_SetReg(hw, 0);
	kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, lower_32_bits(KGPU_Cmdbuf_First(list)));
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, AGE_FIN_STRICT);
	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_CMDBUF)
		KGPU_Cmdbuf_Dump(list);
	return q2_go(__func__, engine, dst, kgpu_plane_nonblock(dst), list, true, t0);
}

static int KGPU_OP_Q2_Scale_Y_or_UV(KER_GPU_PLANE *src, KER_GPU_PLANE *dst,
				    _ST_KER_GPU_SCLP_SETTING *sc)
{
	ST_KGPU_Q3_FUNC f = { 0 };
	ST_KGPU_Q3_SCALER s;
	const ST_KER_GPU_HW_REG *hw;
	struct q2_src sp[2];
	struct q2_dst d;
	ktime_t t0 = 0;
	int engine, ret, uv, pass, passes;

	ret = _KGPU_Q2_Scaling_Setting(src->W, src->H, dst->W, dst->H, sc, &f, &s);
	if (ret) {
		KGPU_OP_ERR("%s() Scaling_Setting Fail(%d) !!!!\n", __func__, ret);
		return ret;
	}
	uv = _KGPU_OP_Set_UV_mode(src, dst);
	if (uv == 5) {
		KGPU_OP_ERR("%s() UV mode, not support !!!!\n", __func__);
		return -22;
	}
	passes = uv == 1 ? 2 : 1;
	/* Both passes are judged before the first runs. */
	for (pass = 0, ret = 0; pass < passes && !ret; pass++)
		ret = q2_judge(src, pass, dst, 0, &sp[pass], &d);
	if (!ret)
		ret = q2_begin(__func__, src, dst, dst, &engine, &hw, &t0);
	if (ret)
		return ret;
	/* Both passes run under one ownership of the engine. */
	for (pass = 0; pass < passes; pass++) {
		bool last = pass == passes - 1;

		_GPU_Q2_SwReset(hw);
		q2_speed_limit(hw, dst, 0, uv < 3 ? 1 : 2);
		_GPU_Q2_Src_SetReg(hw, &sp[pass]);
		_GPU_Q2_Dst_SetReg(hw, &d);
		_KGPU_Q3_Scaling_Coef(engine, hw, &f);
		kgpu_reg_wr(hw, AGE_FUNC, (f.Tap & 3) << 4);
		_GPU_Q2_Scaler_SetReg(hw, &s);
		kgpu_reg_or(hw, AGE_DST_ADDR_HI, AGE_FIN_INT);
		_GPU_Q2_UV_Seperate_SetReg(hw, pass ? 2 : uv);
		ret = q2_go(__func__, engine, dst,
			    last ? kgpu_plane_nonblock(dst) : KER_GPU_TRIGGER_BLOCK, NULL, last, t0);
		if (ret < 0) {
			if (!last)
				Q2_CTX->pfnUnlock(engine);
			return ret;
		}
	}
	return ret;
}

int KGPU_OP_Q2_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				   _ST_KER_GPU_SCLP_SETTING *pstScale)
{
	const ST_KER_GPU_HW_REG *hw;
	ktime_t t0;
	int engine;

	if (!kgpu_nv12_acc() || !pstSrc || !pstDst)
		return q2_begin(__func__, pstSrc, pstDst, pstDst, &engine, &hw, &t0);
	if (pstDst->stBatch.Count)
		return -38;
	if (q2_planar(pstSrc->FormatMode) && q2_planar(pstDst->FormatMode) && !pstSrc->SeparateUV)
		return KGPU_OP_Q2_Scale_NV12(pstSrc, pstDst, pstScale);
	return KGPU_OP_Q2_Scale_Y_or_UV(pstSrc, pstDst, pstScale);
}

int KGPU_OP_Q2_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
			  EN_KER_GPU_FLIP_ROTATE_MODE enMode)
{
	const ST_KER_GPU_HW_REG *hw;
	struct q2_src s;
	struct q2_dst d;
	ktime_t t0 = 0;
	u32 tw, th;
	int engine, ret, uv;

	if (!kgpu_nv12_acc() || !pstSrc || !pstDst)
		return q2_begin(__func__, pstSrc, pstDst, pstDst, &engine, &hw, &t0);
	if (enMode > 7) {
		KGPU_OP_ERR("enFlipRotateMode(%d) not support !!!!!!!!!!!!!!\n", enMode);
		return -22;
	}
	uv = _KGPU_OP_Set_UV_mode(pstSrc, pstDst);
	if (uv == 5)
		return -22;
	if (uv == 1)
		return -524;
	if (pstDst->stBatch.Count)
		return -38;
	tw = enMode & 1 ? pstDst->H : pstDst->W;
	th = enMode & 1 ? pstDst->W : pstDst->H;
	if (!pstSrc->W || !pstSrc->H || pstSrc->W > tw || pstSrc->H > th)
		return -33;
	ret = q2_judge(pstSrc, 0, pstDst, enMode, &s, &d);
	if (!ret)
		ret = q2_begin(__func__, pstSrc, pstDst, pstDst, &engine, &hw, &t0);
	if (ret)
		return ret;
	_GPU_Q2_SwReset(hw);
	q2_speed_limit(hw, pstDst, 0, uv < 3 ? 1 : 2);
	_GPU_Q2_Src_SetReg(hw, &s);
	_GPU_Q2_Dst_SetReg(hw, &d);
	kgpu_reg_wr(hw, AGE_FUNC, 1 + (enMode << 16));
	kgpu_reg_wr(hw, AGE_SRC_SIZE, q2_size(pstSrc->W, pstSrc->H));
	kgpu_reg_wr(hw, AGE_DST_SIZE, q2_size(tw, th));
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, AGE_FIN_INT);
	_GPU_Q2_UV_Seperate_SetReg(hw, uv);
	return q2_go(__func__, engine, pstDst, kgpu_plane_nonblock(pstDst), NULL, true, t0);
}

/* ------------------------------------------------------------------------ */
/* Core hooks                                                                */

void KGPU_OP_Q2_trigger(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q2_hw(engine);

	if (!hw || !hw->Gpu_RegReMap || !hw->Cpu_RegReMap)
		return;
	if (kgpu_cp_rd(hw, CP_PC_SET_BY_ARM)) {
		KGPU_OP_TRC("[TRC]Q2 trigger for cmd mode !!!!\n");
		kgpu_cp_wr(hw, CP_PC_SETTING, CP_PC_MODE);
		kgpu_cp_wr(hw, CP_PC_SETTING, CP_PC_GO);
	} else {
		kgpu_reg_or(hw, AGE_CTRL, kgpu_reg_rd(hw, AGE_UPPER_BOUND) ? Q2_START_FILL :
									     Q2_START_OTHER);
	}
}

u32 KGPU_OP_Q2_Using_SRAM(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q2_hw(engine);

	if (!hw || !hw->Gpu_RegReMap)
		return 0;
	return (kgpu_reg_rd(hw, AGE_SRAM) >> 16) & 0xF;
}

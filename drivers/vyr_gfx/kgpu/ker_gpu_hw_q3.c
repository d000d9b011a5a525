// SPDX-License-Identifier: GPL-2.0
/*
 * Q3 programming backend of the 2D engine ("AGE2"): turns one operation
 * (fill, copy, scale, blend-scale, flip/rotate, command-list run) into the
 * register units of one engine, starts the engine through the core's
 * trigger callback and turns the engine status into a result.
 */
#include <linux/kernel.h>
#include <linux/string.h>
#include <linux/ktime.h>
#include <linux/timekeeping.h>
#include "ker_gpu_hw.h"

ST_KER_GPU_INIT g_Kgpu_Q3_Ctrl_Ctx;
u64 g_kgpu_q3_last_pc;
u32 g_kgpu_q3_irq_pc;
u32 g_kgpu_q3_cmd_irq_cnt;

#define Q3_CTX (&g_Kgpu_Q3_Ctrl_Ctx)

#define KGPU_CORE_TRC(fmt, ...)						\
	do {								\
		if (READ_ONCE(g_GpuDbgMask) & BIT(3))			\
			printk(KERN_INFO fmt, ##__VA_ARGS__);		\
	} while (0)

static const ST_KER_GPU_HW_REG *q3_hw(int engine)
{
	return kgpu_ctx_hw(Q3_CTX, engine);
}

int KGPU_OP_Q3_Initial(const ST_KER_GPU_INIT *pstInit)
{
	g_Kgpu_Q3_Ctrl_Ctx = *pstInit;
	return 0;
}

int KGPU_OP_Q3_Set_Speed_Limit(u32 a, u32 b)
{
	WRITE_ONCE(g_Kgpu_Q3_Ctrl_Ctx.SpeedLimit_Num, a);
	WRITE_ONCE(g_Kgpu_Q3_Ctrl_Ctx.SpeedLimit_Den, b);
	return 0;
}

int KGPU_OP_Q3_Rusume(void)
{
	return 0;
}

/* Starts the engine through the core's trigger (0 when there is none). */
int _GPU_Q3_Go(int engine, unsigned int mode, KER_GPU_CALLBACK cb1, void *arg1,
	       KER_GPU_CALLBACK cb2, void *arg2)
{
	KER_GPU_TRIGGER_FN trigger = Q3_CTX->pfnTrigger;

	return trigger ? trigger(engine, mode, cb1, arg1, cb2, arg2) : 0;
}

/* The speed-limit register value for the pair (a, b). */
u32 _GPU_Q3_SpeedLimit_Set(u32 a, u32 b)
{
	return a ? b * 64 / a : 0;
}

/* ------------------------------------------------------------------------ */
/* Batch command lists                                                       */

/* Batch lists by operation; scale and flip/rotate take none. */
enum { Q3_LIST_FILL, Q3_LIST_COPY, Q3_LIST_BLEND, Q3_LIST_NONE };

static int q3_list_write(KGPU_CMDBUF_HANDLE h, u32 cmd, u32 v)
{
	return KGPU_Cmdbuf_Write(h, cmd, v);
}

/* Chains a new page when the last one has less than the reserve left. */
static int q3_list_room(KGPU_CMDBUF_HANDLE h, int room)
{
	if (room < 0)
		return room;
	if (room >= KGPU_CMDBUF_RESERVE)
		return 0;
	room = KGPU_Cmdbuf_Chain(h);
	return room < 0 ? -12 : 0;
}

/* The size register value of a w x h area. */
u32 KGPU_Q3_Reg_Plane_Size(u32 w, u32 h)
{
	return w | h << 16;
}

/* Address of pixel (x, y) of the plane's first buffer, as the engine writes it. */
u64 KGPU_Q3_Reg_Plane_Addr(const KER_GPU_PLANE *p, u32 x, u32 y)
{
	return KGPU_Cmdbuf_Reg_Plane_Addr(p->Buf_Address[0], p->Buf_Stride[0],
					  kgpu_q3_engine_bytes(p, true), y, x);
}

/*
 * Low word of the address of pixel (x, y), stepped by the same pixel size
 * the engine moves; its bits 32-35 must be those programmed.
 */
static int q3_entry_addr(const KER_GPU_PLANE *p, u32 bpp, s32 x, s32 y, u32 *lo)
{
	u64 a = KGPU_Cmdbuf_Reg_Plane_Addr(p->Buf_Address[0], p->Buf_Stride[0], bpp, y, x);

	if (a >= KGPU_ADDR_LIMIT || upper_32_bits(a) != upper_32_bits(p->Buf_Address[0]))
		return -33;
	*lo = lower_32_bits(a);
	return 0;
}

/* The channel-0 address a list command writes, in the unit it belongs to. */
static u32 *q3_list_addr(ST_KGPU_Q3_HW_SETTING *s, u32 reg)
{
	if (reg == AGE_SRC1_ADDR0 / 4)
		return &s->stSrc1.Addr[0];
	return reg == AGE_SRC2_ADDR0 / 4 ? &s->stSrc2.Addr[0] : &s->stDst.Addr[0];
}

/*
 * The list of the operation programmed in `s`: each entry rewrites the sizes
 * and the channel-0 addresses, and the engine runs it with everything else
 * `s` holds (sources, scaler taps, factors and phases, run-length output),
 * so each entry is judged as that whole record.
 */
static int q3_build_list(int kind, const ST_KGPU_Q3_HW_SETTING *s, const KER_GPU_PLANE *src1,
			 const KER_GPU_PLANE *src2, const KER_GPU_PLANE *dst,
			 KGPU_CMDBUF_HANDLE *out)
{
	const KER_GPU_PLANE *planes[3];
	static const u32 addr_reg[3][3] = {
		[Q3_LIST_FILL] = { 0x53 },
		[Q3_LIST_COPY] = { 0x11, 0x53 },
		[Q3_LIST_BLEND] = { 0x0E, 0x11, 0x53 },
	};
	int n, i, k, room, ret, count = dst->stBatch.Count;
	ST_KGPU_Q3_HW_SETTING e = *s;
	u32 bpp[3];
	KGPU_CMDBUF_HANDLE h;
	ST_KGPU_CMDBUF_PAGE *pg;

	n = 0;
	if (kind == Q3_LIST_BLEND)
		planes[n++] = src1;
	if (kind != Q3_LIST_FILL)
		planes[n++] = src2;
	planes[n++] = dst;
	for (k = 0; k < n; k++) {
		int row = _AGE2_Q3_format_table(planes[k]->FormatMode, planes[k]->Bit24Mode,
						planes[k]->SeparateUV);

		/* The pixel size the units program for this side of the plane. */
		bpp[k] = kgpu_q3_engine_bytes(planes[k], planes[k] == dst);
		if (g_KGpu_Q3_Fmt_Info[row][0] != 1 || planes[k]->stBatch.Count < count)
			return -22;
		/* The first plane's entries size the source (0x0A4). */
		ret = kgpu_batch_check(planes[k], bpp[k], k == 0);
		if (ret)
			return ret;
	}

	h = KGPU_Cmdbuf_Open(Q3_CTX->pDevice);
	if (!h)
		return -12;
	pg = KGPU_Cmdbuf_New();
	if (!pg) {
		KGPU_Cmdbuf_Close(h);
		return -12;
	}
	KGPU_Cmdbuf_Add(h, pg);

	for (i = 0; i < count; i++) {
		s32 x, y;
		u32 w, hh;
		/* Sizes: the source entry (first plane), then the destination. */
		kgpu_batch_entry(planes[0], i, &x, &y, &w, &hh);
		e.stScaler.SrcW = w - 1;
		e.stScaler.SrcH = hh - 1;
		kgpu_batch_entry(dst, i, &x, &y, &w, &hh);
		e.stScaler.DstW = w - 1;
		e.stScaler.DstH = hh - 1;
		for (k = 0, ret = 0; k < n && !ret; k++) {
			kgpu_batch_entry(planes[k], i, &x, &y, &w, &hh);
			ret = q3_entry_addr(planes[k], bpp[k], x, y, q3_list_addr(&e, addr_reg[kind][k]));
		}
		if (!ret)
			ret = kgpu_q3_guard(&e, src1, src2, dst);
		if (ret)
			goto fail;
		q3_list_write(h, KGPU_CMD_REG(0x29),
			      KGPU_Q3_Reg_Plane_Size(e.stScaler.SrcW, e.stScaler.SrcH));
		q3_list_write(h, KGPU_CMD_REG(0x2A),
			      KGPU_Q3_Reg_Plane_Size(e.stScaler.DstW, e.stScaler.DstH));
		for (k = 0; k < n; k++)
			q3_list_write(h, KGPU_CMD_REG(addr_reg[kind][k]),
				      *q3_list_addr(&e, addr_reg[kind][k]));
		q3_list_write(h, KGPU_CMD_REG(0x00), 1);
		room = q3_list_write(h, KGPU_CMD_WAIT, KGPU_CMD_WAIT_DONE_MASK);
		ret = q3_list_room(h, room);
		if (ret)
			goto fail;
	}
	ret = q3_list_write(h, KGPU_CMD_END, 0);
	if (ret < 0)
		goto fail;
	g_kgpu_q3_last_pc = KGPU_Cmdbuf_Stop(h);
	*out = h;
	return 0;
fail:
	KGPU_Cmdbuf_Close(h);
	return ret == -33 || ret == -22 || ret == -EINVAL ? ret : -12;
}

/*
 * A list without its operation has no record to judge its entries by: only
 * for planes that keep to no reach.
 */
static KGPU_CMDBUF_HANDLE q3_list_alone(int kind, KER_GPU_PLANE *s1, KER_GPU_PLANE *s2,
					KER_GPU_PLANE *dst)
{
	static const ST_KGPU_Q3_HW_SETTING none;
	KGPU_CMDBUF_HANDLE h = NULL;

	if ((s1 && s1->pstReach) || (s2 && s2->pstReach) || dst->pstReach)
		return NULL;
	return q3_build_list(kind, &none, s1, s2, dst, &h) ? NULL : h;
}

KGPU_CMDBUF_HANDLE KGPU_OP_Q3_CmdBuf_Fill(KER_GPU_PLANE *pstDst)
{
	return q3_list_alone(Q3_LIST_FILL, NULL, NULL, pstDst);
}

KGPU_CMDBUF_HANDLE KGPU_OP_Q3_CmdBuf_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst)
{
	return q3_list_alone(Q3_LIST_COPY, NULL, pstSrc, pstDst);
}

KGPU_CMDBUF_HANDLE KGPU_OP_Q3_CmdBuf_Blend(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
					   KER_GPU_PLANE *pstDst)
{
	return q3_list_alone(Q3_LIST_BLEND, pstSrc1, pstSrc2, pstDst);
}

void KGPU_OP_Q3_CmdBuf_Free(void *arg)
{
	KGPU_Cmdbuf_Close(arg);
}

/* ------------------------------------------------------------------------ */
/* Frame of an operation                                                     */

static void _GPU_Q3_SwReset(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);

	if (Q3_CTX->HwVersion == 4) {
		KGPU_CORE_TRC("[TRC_DRV_GPU]reset Q5\n");
		kgpu_reg_wr(hw, AGE_CTRL, AGE_RESET_VALUE);
		kgpu_reg_wr(hw, AGE_CTRL, AGE_RESET_VALUE);
	} else {
		KGPU_CORE_TRC("[TRC_DRV_GPU]reset normal case\n");
		kgpu_reg_wr(hw, AGE_CTRL, AGE_RESET_VALUE);
	}
	kgpu_cp_wr(hw, CP_CTRL, kgpu_cp_rd(hw, CP_CTRL) | BIT(31));
	/* No command list is pending until this operation installs one. */
	kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, 0);
	kgpu_reg_wr(hw, AGE_SRAM, kgpu_reg_rd(hw, AGE_SRAM) & ~BIT(16));
}

/* Stops engine and command processor, e.g. before a list they may run is freed. */
void KGPU_OP_Q3_Reset(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);

	if (hw && hw->Gpu_RegReMap && hw->Cpu_RegReMap)
		_GPU_Q3_SwReset(engine);
}

static int _KGPU_OP_Q3_preprocessing(int engine, ktime_t *t0)
{
	const ST_KER_GPU_INIT *c = Q3_CTX;
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);
	u32 disabled = READ_ONCE(c->Disabled);
	int ret;

	if (disabled)
		return disabled;
	if (!hw || !hw->Gpu_RegReMap || !hw->Cpu_RegReMap) {
		KGPU_OP_ERR("g_Kgpu_Q3_Ctrl_Ctx.Hw[%d].Gpu_RegReMap == NULL  !!!!!!!!!!!!!!\n",
			    engine);
		return -1;
	}
	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TIME)
		*t0 = ktime_get();
	if (!c->pfnLock)
		return -1;
	ret = c->pfnLock(engine);
	if (ret < 0) {
		KGPU_OP_ERR("%s() : down_killable() = %d\n", __func__, ret);
		return ret;
	}
	return 0;
}

static void q3_time_diff(const char *func, ktime_t t0)
{
	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TIME)
		printk(KERN_INFO "[TRC]   %s() Time Diff = %lld\n", func,
		       (long long)ktime_to_ns(ktime_sub(ktime_get(), t0)));
}

/* Result of a finished (blocking) run from the trigger result and status. */
/* Runs while the caller still owns the engine: the dump and the reset touch it. */
static void q3_after_run(int engine, u32 status)
{
	if ((status & AGE_STATUS_BUSY) || (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_REG_DUMP))
		KGPU_OP_Q3_DumpReg(engine);
	if ((status & AGE_STATUS_ERROR) && Q3_CTX->HwVersion == 2)
		_GPU_Q3_SwReset(engine);
}

static int q3_result(const char *func, int trig, u32 status, bool list_err)
{
	if (trig < 0) {
		KGPU_OP_ERR("%s() Wait interrupt time out : %d \n", func, trig);
		return -16;
	}
	if (status & AGE_STATUS_BUSY) {
		KGPU_OP_ERR("%s() fail : 0x%X\n", func, status);
		return -26;
	}
	if ((status & AGE_STATUS_ERROR) || list_err)
		return -28;
	return 0;
}

static int _KGPU_OP_Q3_postprocessing(const char *func, int engine, KER_GPU_PLANE *dst,
				      KGPU_CMDBUF_HANDLE list, ktime_t t0)
{
	const ST_KER_GPU_INIT *c = Q3_CTX;
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);
	u32 mode = kgpu_plane_nonblock(dst) ? KER_GPU_TRIGGER_NONBLOCK : KER_GPU_TRIGGER_BLOCK;
	bool list_err = false;
	u32 status;
	int ret;

	if (list) {
		kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, lower_32_bits(KGPU_Cmdbuf_First(list)));
		mode = KER_GPU_TRIGGER_BLOCK;
	}
	if (dst) {
		KER_GPU_CALLBACK done = dst->pstOption ? dst->pstOption->pfnDone : NULL;
		void *arg = dst->pstOption ? dst->pstOption->pDoneArg : NULL;

		ret = _GPU_Q3_Go(engine, mode, done, arg, NULL, NULL);
	} else {
		ret = -1;
	}

	if (mode == KER_GPU_TRIGGER_NONBLOCK && ret == 0) {
		/* The operation owns the engine now; its interrupt releases it. */
		q3_time_diff(func, t0);
		return 0;
	}

	if (ret < 0)
		_GPU_Q3_SwReset(engine);	/* stop the engine before freeing its list */
	if (list) {
		list_err = kgpu_cp_rd(hw, CP_STATUS) & BIT(1);
		kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, 0);
		KGPU_Cmdbuf_Close(list);
	}
	if (dst) {
		dst->Status[0] = kgpu_reg_rd(hw, AGE_RESULT0);
		dst->Status[1] = kgpu_reg_rd(hw, AGE_RESULT1);
		if (dst->RunLen_Enable)
			dst->RunLen_Size = dst->Status[0];
	}
	status = kgpu_reg_rd(hw, AGE_STATUS);
	q3_after_run(engine, status);
	if (c->pfnUnlock)
		c->pfnUnlock(engine);
	q3_time_diff(func, t0);
	/* A batch runs blocking; a caller that asked for its callback gets it now. */
	if (list && kgpu_plane_nonblock(dst))
		kgpu_plane_done(dst);
	return q3_result(func, ret, status, list_err);
}

static void q3_func_common(ST_KGPU_Q3_HW_SETTING *s, const KER_GPU_PLANE *dst)
{
	const ST_KER_GPU_INIT *c = Q3_CTX;
	u32 a = READ_ONCE(c->SpeedLimit_Num), b = READ_ONCE(c->SpeedLimit_Den);

	s->stFunc.Finish_Strict = 1;
	s->stFunc.Enable_Finish_Int = dst->stBatch.Count ? 0 : 1;
	s->stFunc.Enable_RL_Overflow_Int = dst->RunLen_Enable ? 1 : 0;
	if (a && b)
		s->stFunc.SpeedLimit = _GPU_Q3_SpeedLimit_Set(a, b);
	s->PowerBits = kgpu_power_bits() >> 15;
}

static int q3_required(const char *func, const void *p, const char *name)
{
	if (p)
		return 0;
	KGPU_OP_ERR("%s() requisite parameter %s is NULL\n", func, name);
	return -22;
}

static void kgpu_trace_plane(const char *tag, const KER_GPU_PLANE *p)
{
	if (!p || !(READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRACE))
		return;
	printk(KERN_INFO "[TRC]%s : FormatMode(%d) , 24bitMode(%d), Apha_1(0x%X), Apha_2(0x%X), FixedValue_Enable(0x%X), FixedValue(0x%08X)\n",
	       tag, p->FormatMode, p->Bit24Mode, p->Apha_1, p->Apha_2, p->FixedValue_Enable,
	       p->FixedValue);
	printk(KERN_INFO "[TRC]%s : Buf_Address[0..2] = 0x%08llX, 0x%08llX, 0x%08llX\n", tag,
	       p->Buf_Address[0], p->Buf_Address[1], p->Buf_Address[2]);
	printk(KERN_INFO "[TRC]%s : Buf_Stride[0..2] =\t%9d, %9d, %9d\n", tag,
	       p->Buf_Stride[0], p->Buf_Stride[1], p->Buf_Stride[2]);
	printk(KERN_INFO "[TRC]%s : WxH = %dx%d, ClipOn(%d), Clip = %dx%d \n", tag, p->W, p->H,
	       p->ClipOn, p->Clip_x, p->Clip_y);
}

static void _KGPU_Trace_Planes(const KER_GPU_PLANE *s1, const KER_GPU_PLANE *s2,
			       const KER_GPU_PLANE *d)
{
	kgpu_trace_plane("Src1", s1);
	kgpu_trace_plane("Src2", s2);
	kgpu_trace_plane("Dst", d);
}

static bool q3_tracing(void)
{
	return READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRACE;
}

static void _KGPU_Trace_Setting_Fill(const _ST_KER_GPU_FILL_SETTING *f)
{
	const u8 *c;

	if (!f || !q3_tracing())
		return;
	if (f->FillMode == KER_GPU_FILL_SOLID) {
		printk(KERN_INFO "[TRC]Fill : solid, Color(0x%08X)\n", f->Color);
		return;
	}
	c = f->stGradient.StartColor;
	printk(KERN_INFO "[TRC]Fill : gradient, Wrap(%d), Domain(%d), YUV_To_RGB(%d), WxH = %dx%d\n",
	       f->stGradient.Wrap, f->stGradient.Domain, f->stGradient.YUV_To_RGB_Mode,
	       f->stGradient.Width, f->stGradient.Height);
	printk(KERN_INFO "[TRC]Fill : HDiff = %d, %d, %d, %d, VDiff = %d, %d, %d, %d\n",
	       f->stGradient.HDiff[0], f->stGradient.HDiff[1], f->stGradient.HDiff[2],
	       f->stGradient.HDiff[3], f->stGradient.VDiff[0], f->stGradient.VDiff[1],
	       f->stGradient.VDiff[2], f->stGradient.VDiff[3]);
	printk(KERN_INFO "[TRC]Fill : Start = %02X %02X %02X %02X\n", c[0], c[1], c[2], c[3]);
}

static void _KGPU_Trace_Setting_Blend(const _ST_KER_GPU_BLEND_SETTING *b)
{
	const u8 *p;

	if (!b || !q3_tracing())
		return;
	printk(KERN_INFO "[TRC]Blend : SrcKey(%d, 0x%08X), DstKey(%d, 0x%08X), ConstColor(0x%08X)\n",
	       b->SrcColorKey_Enable, b->SrcColorKey, b->DstColorKey_Enable, b->DstColorKey,
	       b->ConstColor);
	if (!b->pstGpuBlendParam)
		return;
	p = b->pstGpuBlendParam->Param;
	printk(KERN_INFO "[TRC]Blend : Param = %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d\n",
	       p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
	       p[13], p[14], p[15], p[16]);
}

/* The scaling context's own traces say what a scale setting did. */
static void _KGPU_Trace_Setting_Scale(const _ST_KER_GPU_SCLP_SETTING *s)
{
}

static s32 cx(const KER_GPU_PLANE *p)
{
	return p->ClipOn ? p->Clip_x : 0;
}

static s32 cy(const KER_GPU_PLANE *p)
{
	return p->ClipOn ? p->Clip_y : 0;
}

static int q3_src_size(const KER_GPU_PLANE *p)
{
	return p->H > KGPU_SRC_H_LIMIT || !p->W || !p->H ? -33 : 0;
}

/*
 * Runs the programmed staging record: its batch list, the reach of
 * everything it names, lock, reset, coefficients, units, trigger.
 */
static int q3_run(const char *func, int engine, ST_KGPU_Q3_HW_SETTING *s,
		  const KER_GPU_PLANE *src1, const KER_GPU_PLANE *src2,
		  KER_GPU_PLANE *dst, int kind, bool coef)
{
	const ST_KER_GPU_HW_REG *hw;
	KGPU_CMDBUF_HANDLE list = NULL;
	ktime_t t0 = 0;
	int ret;

	if (kind != Q3_LIST_NONE && dst->stBatch.Count) {
		ret = q3_build_list(kind, s, src1, src2, dst, &list);
		if (ret)
			return ret;
	}
	ret = kgpu_q3_guard(s, src1, src2, dst);
	if (!ret)
		ret = _KGPU_OP_Q3_preprocessing(engine, &t0);
	if (ret) {
		if (list)
			KGPU_Cmdbuf_Close(list);
		return ret;
	}
	hw = q3_hw(engine);
	_GPU_Q3_SwReset(engine);
	if (coef)
		_KGPU_Q3_Scaling_Coef(engine, hw, &s->stFunc);
	kgpu_q3_write_units(hw, s);
	return _KGPU_OP_Q3_postprocessing(func, engine, dst, list, t0);
}

/* ------------------------------------------------------------------------ */
/* Blend unit                                                                */

static void q3_blend_from_setting(ST_KGPU_Q3_BLEND *b, const _ST_KER_GPU_BLEND_SETTING *bs)
{
	const u8 *P = bs->pstGpuBlendParam->Param;

	b->SrcKeyMode = bs->SrcColorKey_Enable;
	b->DstKeyMode = bs->DstColorKey_Enable ? bs->DstColorKey_Enable + 4 : 0;
	b->sA_Mode = (bs->SrcAlpha_Flag2 ? 1 : 0) | (bs->SrcAlpha_Flag1 ? 2 : 0) |
		     (P[3] ? 1 : 0) | (P[4] ? 2 : 0);
	b->sC_x_cC = !!bs->ColorMultiply;
	b->sC_PreAlpha = !!(bs->BlendParam[0] | P[0]);
	b->dC_PreAlpha = !!(bs->BlendParam[1] | P[7]);
	b->DivAlpha = (bs->BlendParam[2] | P[2]) ? 7 : 0;
	b->Coef_sC = P[9];
	b->Coef_dC = P[10];
	b->Coef_sA = P[13];
	b->Coef_dA = P[14];
	b->Xor = (bs->Xor_Flag1 ? 1 : 0) | (bs->Xor_Flag2 ? 2 : 0) |
		 (P[16] ? 1 : 0) | (P[15] ? 2 : 0);
	b->SrcKey = bs->SrcColorKey;
	b->DstKey = bs->DstColorKey;
	b->ConstColor = bs->ConstColor;
}

/* ------------------------------------------------------------------------ */
/* Fill                                                                      */

static void _KGPU_Q3_Gradient_Setting(const _ST_KER_GPU_FILL_SETTING *f, ST_KGPU_Q3_PATGEN *p)
{
	static const u8 chan[4] = { 3, 0, 1, 2 };
	const typeof(f->stGradient) *g = &f->stGradient;
	int k;

	for (k = 0; k < 8; k++) {
		s32 d = k < 4 ? g->HDiff[chan[k]] : g->VDiff[chan[k - 4]];
		u32 size = k < 4 ? g->Width : g->Height;
		u32 mag = d < 0 ? (u32)-d : (u32)d;

		p->Incr[k] = size > 1 ? (mag << 16) / (size - 1) : 0;
		if (d < 0)
			p->Flags |= BIT(k);
	}
	p->Divisor = g->Wrap == 1 ? 85 : g->Wrap == 2 ? 170 : g->Wrap == 3 ? 255 : 0;
	p->StartColor = (u32)g->StartColor[3] << 24 | (u32)g->StartColor[0] << 16 |
			(u32)g->StartColor[1] << 8 | g->StartColor[2];
	p->UpperBound = (u32)g->UpperBound[3] << 24 | (u32)g->UpperBound[0] << 16 |
			(u32)g->UpperBound[1] << 8 | g->UpperBound[2];
	p->LowerBound = (u32)g->LowerBound[3] << 24 | (u32)g->LowerBound[0] << 16 |
			(u32)g->LowerBound[1] << 8 | g->LowerBound[2];
	KGPU_OP_TRC("[TRC]Gradient Wrap(%d) CheckAllBound(%d) Domain(%d) YUV_To_RGB_Mode(%d) WxH = %dx%d\n",
		    g->Wrap, g->CheckAllBound, g->Domain, g->YUV_To_RGB_Mode, g->Width, g->Height);
}

static void _KGPU_Q3_GradientFill_ColorTransform(const _ST_KER_GPU_FILL_SETTING *f,
						 ST_KGPU_Q3_DST *d)
{
	u8 mode = f->stGradient.YUV_To_RGB_Mode == 1 ? 1 : 0;

	if (!f->stGradient.Domain)
		return;
	if (d->MatrixId == KGPU_MATRIX_IDENTITY) {
		KGPU_OP_REG("[REG]%s()  reset Dst Matrix to YUV to RGB Matrix %d\n", __func__,
			    mode + 1);
		memcpy(d->Matrix, kgpu_yuv_to_rgb_matrix(mode), sizeof(KGPU_MATRIX));
		d->MatrixId = mode + 1;
	} else if (d->MatrixId >= 1 && d->MatrixId <= 4) {
		KGPU_OP_REG("[REG]%s()  reset Dst Matrix to Identity Matrix \n", __func__);
		memcpy(d->Matrix, IdentityMatrix, sizeof(KGPU_MATRIX));
		d->MatrixId = KGPU_MATRIX_IDENTITY;
	}
}

static void q3_dst_plane_key(ST_KGPU_Q3_BLEND *b, const KER_GPU_PLANE *dst)
{
	if (dst->ColorKey_Enable) {
		b->DstKeyMode = (dst->ColorKey_Enable & 3) | 4;
		b->DstKey = dst->ColorKey;
	}
}

int KGPU_OP_Q3_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill,
		    _ST_KER_GPU_BLEND_SETTING *pstBlend)
{
	ST_KGPU_Q3_HW_SETTING s;
	int engine, ret;

	if (q3_required(__func__, pstDst, "pstDst") ||
	    q3_required(__func__, pstFill, "pstFillSetting") ||
	    (pstBlend && q3_required(__func__, pstBlend->pstGpuBlendParam,
				     "pstBlendSetting->pstGpuBlendParam")))
		return -22;
	if (pstFill->FillMode != KER_GPU_FILL_SOLID && pstFill->FillMode != KER_GPU_FILL_GRADIENT)
		return -22;
	_KGPU_Trace_Planes(pstBlend ? pstDst : NULL, NULL, pstDst);
	_KGPU_Trace_Setting_Fill(pstFill);
	_KGPU_Trace_Setting_Blend(pstBlend);
	engine = _KGPU_OP_Q3_Get_HwID(Q3_CTX, pstDst);
	memset(&s, 0, sizeof(s));
	if (pstBlend) {
		ret = _GPU_Q3_Plane_to_HwReadSetting(pstDst, cx(pstDst), cy(pstDst), &s.stSrc1);
		if (ret)
			return ret;
	}
	ret = _GPU_Q3_Plane_to_HwWriteSetting(pstDst, cx(pstDst), cy(pstDst), &s.stDst);
	if (ret)
		return ret;

	s.stFunc.Src1_blend_only = pstBlend ? 1 : 0;
	q3_func_common(&s, pstDst);

	s.stScaler.DstW = pstDst->W - 1;
	s.stScaler.DstH = pstDst->H - 1;
	if (pstBlend) {
		if (q3_src_size(pstDst))
			return -33;
		s.stScaler.SrcW = pstDst->W - 1;
		s.stScaler.SrcH = pstDst->H - 1;
		s.stScaler.FactorH = s.stScaler.FactorV = 0x8001;
		s.stScaler.EndPhaseH = (pstDst->W - 1) * 0x8001;
		s.stScaler.EndPhaseV = (pstDst->H - 1) * 0x8001;
	}

	s.PatGenUsed = 1;
	s.stPatGen.Enable = 1;
	if (pstFill->FillMode == KER_GPU_FILL_SOLID) {
		s.stPatGen.StartColor = pstFill->Color;
		s.stPatGen.UpperBound = 0xFFFFFFFF;
		s.stPatGen.LowerBound = 0;
	} else {
		_KGPU_Q3_Gradient_Setting(pstFill, &s.stPatGen);
		_KGPU_Q3_GradientFill_ColorTransform(pstFill, &s.stDst);
	}

	if (pstBlend) {
		s.stBlend.FillBlend = 1;
		q3_blend_from_setting(&s.stBlend, pstBlend);
	} else {
		s.stBlend.sA_Mode = 2;
		s.stBlend.Coef_dC = 1;
		s.stBlend.Coef_dA = 1;
	}
	q3_dst_plane_key(&s.stBlend, pstDst);

	return q3_run(__func__, engine, &s, pstBlend ? pstDst : NULL, NULL, pstDst, Q3_LIST_FILL,
		      false);
}

/* ------------------------------------------------------------------------ */
/* Copy                                                                      */

static bool q3_format_differs(const KER_GPU_PLANE *a, const KER_GPU_PLANE *b)
{
	return a->FormatMode != b->FormatMode || a->Bit24Mode != b->Bit24Mode ||
	       a->scl_PreAlpha || b->scl_PreAlpha || a->FixedValue_Enable ||
	       b->FixedValue_Enable;
}

int KGPU_OP_Q3_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst)
{
	ST_KGPU_Q3_HW_SETTING s;
	int engine, ret;

	if (q3_required(__func__, pstSrc, "pstSrc") || q3_required(__func__, pstDst, "pstDst"))
		return -22;
	if (q3_format_differs(pstSrc, pstDst))
		KGPU_OP_WRN("[WRN]Copy mode not support format transform !!!!!!!!!!!!!!\n");
	_KGPU_Trace_Planes(NULL, pstSrc, pstDst);
	if (q3_src_size(pstSrc))
		return -33;
	engine = _KGPU_OP_Q3_Get_HwID(Q3_CTX, pstDst);
	memset(&s, 0, sizeof(s));
	ret = _GPU_Q3_Plane_to_HwReadSetting(pstSrc, cx(pstSrc), cy(pstSrc), &s.stSrc2);
	if (ret)
		return ret;
	ret = _GPU_Q3_Plane_to_HwWriteSetting(pstDst, cx(pstDst), cy(pstDst), &s.stDst);
	if (ret)
		return ret;
	_GPU_Matrix_Simplification(&s.stSrc2, &s.stDst);

	s.stFunc.Src2 = 1;
	if (pstDst->Vsync_Trigger) {
		s.stFunc.Vsync_Trigger = 1;
		if (Q3_CTX->pfnVsyncSource)
			Q3_CTX->pfnVsyncSource(pstDst->Vsync_Source);
	}
	if (pstDst->Hsync_Limit) {
		s.stFunc.Hsync_Limit = 1;
		s.stFunc.Hsync_Limit_Value = pstDst->Hsync_Limit_Value;
	}
	if (pstDst->BottomUp) {
		s.stFunc.FRE = 6;
		s.stFunc.DstVflipSeq = 1;
	}
	q3_func_common(&s, pstDst);

	s.stScaler.SrcW = pstSrc->W - 1;
	s.stScaler.SrcH = pstSrc->H - 1;
	s.stScaler.DstW = pstDst->W - 1;
	s.stScaler.DstH = pstDst->H - 1;

	s.stBlend.sA_Mode = 2;
	s.stBlend.Coef_dC = 1;
	s.stBlend.Coef_dA = 1;
	if (pstSrc->ColorKey_Enable) {
		s.stBlend.SrcKeyMode = pstSrc->ColorKey_Enable & 7;
		s.stBlend.SrcKey = pstSrc->ColorKey;
	}
	q3_dst_plane_key(&s.stBlend, pstDst);

	return q3_run(__func__, engine, &s, NULL, pstSrc, pstDst, Q3_LIST_COPY, false);
}

/* ------------------------------------------------------------------------ */
/* Scale and blend-scale                                                     */

int KGPU_OP_Q3_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				   _ST_KER_GPU_SCLP_SETTING *pstScale)
{
	ST_KGPU_Q3_HW_SETTING s;
	ST_KGPU_SCALING_CTX c;
	int engine, ret;

	if (q3_required(__func__, pstSrc, "pstSrc") || q3_required(__func__, pstDst, "pstDst"))
		return -22;
	if (pstDst->stBatch.Count)
		return -38;
	_KGPU_Trace_Planes(pstSrc, NULL, pstDst);
	_KGPU_Trace_Setting_Scale(pstScale);
	engine = _KGPU_OP_Q3_Get_HwID(Q3_CTX, pstDst);
	ret = _KGPU_Q3_Scaling_Setting(pstSrc, pstDst, pstScale, &c);
	if (ret) {
		KGPU_OP_ERR("%s() Scaling_Setting Fail(%d) !!!!\n", __func__, ret);
		return ret;
	}
	if (c.SrcH > KGPU_SRC_H_LIMIT)
		return -33;
	memset(&s, 0, sizeof(s));
	ret = _GPU_Q3_Plane_to_HwReadSetting(pstSrc, c.SrcX, c.SrcY, &s.stSrc1);
	if (ret)
		return ret;
	ret = _GPU_Q3_Plane_to_HwWriteSetting(pstDst, c.DstX, c.DstY, &s.stDst);
	if (ret)
		return ret;
	_GPU_Matrix_Simplification(&s.stSrc1, &s.stDst);

	s.stFunc.Scaler = c.Scaling_Mode;
	s.stFunc.LowPass = c.LowPass_Mode;
	s.stFunc.Src1 = c.Scaling;
	s.stFunc.Src1_blend_only = !c.Scaling;
	s.stSrc1.Alpha0Fix0 = 1;
	q3_func_common(&s, pstDst);
	kgpu_scaling_to_unit(&c, &s.stScaler);

	s.stBlend.sA_Mode = 2;
	s.stBlend.Coef_sC = 1;
	s.stBlend.Coef_sA = 1;
	return q3_run(__func__, engine, &s, pstSrc, NULL, pstDst, Q3_LIST_NONE, c.Scaling);
}

int KGPU_OP_Q3_BlendScale(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
			  KER_GPU_PLANE *pstDst, _ST_KER_GPU_BLEND_SETTING *pstBlend,
			  _ST_KER_GPU_SCLP_SETTING *pstScale)
{
	ST_KGPU_Q3_HW_SETTING s;
	ST_KGPU_SCALING_CTX c;
	int engine, ret;
	bool same;

	if (q3_required(__func__, pstSrc1, "pstSrc1") ||
	    q3_required(__func__, pstSrc2, "pstSrc2") ||
	    q3_required(__func__, pstDst, "pstDst") ||
	    q3_required(__func__, pstBlend, "pstBlendSetting") ||
	    q3_required(__func__, pstBlend->pstGpuBlendParam, "pstBlendSetting->pstGpuBlendParam"))
		return -22;
	if (pstSrc2->W != pstDst->W || pstSrc2->H != pstDst->H)
		return -33;
	if (pstSrc1->FlipCode > 7) {
		KGPU_OP_ERR("enFlipRotateMode(%d) not support !!!!!!!!!!!!!!\n", pstSrc1->FlipCode);
		return -22;
	}
	_KGPU_Trace_Planes(pstSrc1, pstSrc2, pstDst);
	_KGPU_Trace_Setting_Blend(pstBlend);
	_KGPU_Trace_Setting_Scale(pstScale);
	engine = _KGPU_OP_Q3_Get_HwID(Q3_CTX, pstDst);
	ret = _KGPU_Q3_Scaling_Setting(pstSrc1, pstDst, pstScale, &c);
	if (ret) {
		KGPU_OP_ERR("%s() Scaling_Setting Fail(%d) !!!!\n", __func__, ret);
		return ret;
	}
	KGPU_OP_TRC("[TRC]Hw Scaling size %dx%d -> %dx%d\n", c.SrcW, c.SrcH, c.DstW, c.DstH);
	if (c.SrcH > KGPU_SRC_H_LIMIT)
		return -33;
	memset(&s, 0, sizeof(s));
	ret = _GPU_Q3_Plane_to_HwReadSetting(pstSrc1, c.SrcX, c.SrcY, &s.stSrc1);
	if (!ret)
		ret = _GPU_Q3_Plane_to_HwReadSetting(pstSrc2, c.DstX + cx(pstSrc2) - cx(pstDst),
						     c.DstY + cy(pstSrc2) - cy(pstDst), &s.stSrc2);
	if (!ret)
		ret = _GPU_Q3_Plane_to_HwWriteSetting(pstDst, c.DstX, c.DstY, &s.stDst);
	if (ret)
		return ret;

	s.stFunc.Scaler = c.Scaling_Mode;
	s.stFunc.LowPass = c.LowPass_Mode;
	s.stFunc.FRE = pstSrc1->FlipCode;
	same = pstSrc1->W == pstDst->W && pstSrc1->H == pstDst->H;
	if (same && pstSrc1->FlipCode) {
		/* The first source is read turned or mirrored onto the destination. */
		s.stFunc.AccessMode = 1;
		s.stFunc.Src1 = 1;
		s.stFunc.Src2 = 1;
		s.stSrc1.Alpha0Fix0 = 1;
	} else if (same) {
		s.stFunc.Src2 = 1;
		s.stFunc.Src1_blend_only = 1;
	} else {
		s.stFunc.Src1 = 1;
		s.stFunc.Src2 = 1;
		s.stSrc1.Alpha0Fix0 = 1;
	}
	q3_func_common(&s, pstDst);
	kgpu_scaling_to_unit(&c, &s.stScaler);

	q3_blend_from_setting(&s.stBlend, pstBlend);
	s.stBlend.FillBlend = 0;
	s.stBlend.DstKeyMode = pstBlend->DstColorKey_Enable | 4;
	if (pstSrc1->ColorKey_Enable) {
		s.stBlend.SrcKeyMode = pstSrc1->ColorKey_Enable & 7;
		s.stBlend.SrcKey = pstSrc1->ColorKey;
	}
	q3_dst_plane_key(&s.stBlend, pstDst);

	return q3_run(__func__, engine, &s, pstSrc1, pstSrc2, pstDst, Q3_LIST_BLEND,
		      s.stFunc.Src1);
}

/* ------------------------------------------------------------------------ */
/* Flip/rotate                                                               */

int KGPU_OP_Q3_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
			  EN_KER_GPU_FLIP_ROTATE_MODE enMode)
{
	ST_KGPU_Q3_HW_SETTING s;
	u32 tw, th;
	int engine, ret;

	if (q3_required(__func__, pstSrc, "pstSrc") || q3_required(__func__, pstDst, "pstDst"))
		return -22;
	if (enMode > 7) {
		KGPU_OP_ERR("enFlipRotateMode(%d) not support !!!!!!!!!!!!!!\n", enMode);
		return -22;
	}
	if (pstDst->stBatch.Count)
		return -38;
	tw = enMode & 1 ? pstDst->H : pstDst->W;
	th = enMode & 1 ? pstDst->W : pstDst->H;
	if (pstSrc->W > tw || pstSrc->H > th) {
		KGPU_OP_ERR("%s()  block mode scaling %d:%d to %d:%d\n", __func__, pstSrc->W,
			    pstSrc->H, tw, th);
		return -33;
	}
	if (q3_src_size(pstSrc))
		return -33;
	if (q3_format_differs(pstSrc, pstDst))
		KGPU_OP_WRN("[WRN]Flip Rotate mode not support format transform FormatMode(%d != %d), 24bit mode (%d != %d), scl_PreAlpha(%d), FixedValue_Enable(%d, %d)!!!!!!!!!!!!!!\n",
			    pstSrc->FormatMode, pstDst->FormatMode, pstSrc->Bit24Mode,
			    pstDst->Bit24Mode, pstSrc->scl_PreAlpha, pstSrc->FixedValue_Enable,
			    pstDst->FixedValue_Enable);
	_KGPU_Trace_Planes(pstSrc, NULL, pstDst);
	engine = _KGPU_OP_Q3_Get_HwID(Q3_CTX, pstDst);
	memset(&s, 0, sizeof(s));
	ret = _GPU_Q3_Plane_to_HwReadSetting(pstSrc, cx(pstSrc), cy(pstSrc), &s.stSrc1);
	if (ret)
		return ret;
	ret = _GPU_Q3_Plane_to_HwWriteSetting(pstDst, cx(pstDst), cy(pstDst), &s.stDst);
	if (ret)
		return ret;
	_GPU_Matrix_Simplification(&s.stSrc1, &s.stDst);

	s.stFunc.AccessMode = 1;
	s.stFunc.FRE = enMode;
	s.stFunc.Src1 = 1;
	if (pstSrc->W == tw && pstSrc->H == th) {
		s.stFunc.Tap = 0;
		s.stFunc.Scaler = 0;
	} else {
		s.stFunc.Tap = 1;
		s.stFunc.Scaler = 1;
	}
	q3_func_common(&s, pstDst);

	s.stScaler.SrcW = pstSrc->W - 1;
	s.stScaler.SrcH = pstSrc->H - 1;
	s.stScaler.DstW = tw - 1;
	s.stScaler.DstH = th - 1;
	/* The 40-bit step: sources of 8192 pixels and more need the high byte. */
	_KGPU_Q3_Scaling_Step_Calc(pstSrc->W, tw, &s.stScaler.HiFactorH, &s.stScaler.FactorH);
	_KGPU_Q3_Scaling_Step_Calc(pstSrc->H, th, &s.stScaler.HiFactorV, &s.stScaler.FactorV);
	kgpu_end_phase(0, 0, s.stScaler.FactorH, s.stScaler.HiFactorH, tw,
		       &s.stScaler.EndPhaseH, &s.stScaler.EndHiH);
	kgpu_end_phase(0, 0, s.stScaler.FactorV, s.stScaler.HiFactorV, th,
		       &s.stScaler.EndPhaseV, &s.stScaler.EndHiV);

	s.stBlend.sA_Mode = 2;
	s.stBlend.Coef_sC = 1;
	s.stBlend.Coef_sA = 1;
	return q3_run(__func__, engine, &s, pstSrc, NULL, pstDst, Q3_LIST_NONE, false);
}

/* ------------------------------------------------------------------------ */
/* Command mode                                                              */

int KGPU_OP_Q3_CmdMode(u32 u32CmdPhyAddr)
{
	const ST_KER_GPU_INIT *c = Q3_CTX;
	const ST_KER_GPU_HW_REG *hw;
	ktime_t t0 = 0;
	bool list_err;
	u32 status;
	int ret;

	if (!u32CmdPhyAddr)
		return -22;
	ret = _KGPU_OP_Q3_preprocessing(0, &t0);
	if (ret)
		return ret;
	hw = q3_hw(0);
	_GPU_Q3_SwReset(0);
	kgpu_reg_or(hw, AGE_DST_ADDR_HI, AGE_FIN_STRICT);
	kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, u32CmdPhyAddr);
	ret = _GPU_Q3_Go(0, KER_GPU_TRIGGER_BLOCK, NULL, NULL, NULL, NULL);
	if (ret < 0)
		_GPU_Q3_SwReset(0);
	list_err = kgpu_cp_rd(hw, CP_STATUS) & BIT(1);
	kgpu_cp_wr(hw, CP_PC_SET_BY_ARM, 0);
	status = kgpu_reg_rd(hw, AGE_STATUS);
	q3_after_run(0, status);
	if (c->pfnUnlock)
		c->pfnUnlock(0);
	q3_time_diff(__func__, t0);
	return q3_result(__func__, ret, status, list_err);
}

/* ------------------------------------------------------------------------ */
/* Core hooks                                                                */

void KGPU_OP_Q3_trigger(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);

	if (!hw || !hw->Gpu_RegReMap || !hw->Cpu_RegReMap)
		return;
	if (kgpu_cp_rd(hw, CP_PC_SET_BY_ARM)) {
		KGPU_CORE_TRC("[TRC_DRV_GPU]Q3 trigger for cmd mode !!!!\n");
		kgpu_cp_wr(hw, CP_PC_SETTING, CP_PC_MODE);
		kgpu_cp_wr(hw, CP_PC_SETTING, CP_PC_GO);
	} else {
		kgpu_reg_or(hw, AGE_CTRL, 1);
	}
}

int KGPU_OP_Q3_irq_handle(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);
	u32 status, cpu;

	if (!hw || !hw->Gpu_RegReMap || !hw->Cpu_RegReMap)
		return -1;
	if (Q3_CTX->HwVersion == 4)
		kgpu_reg_wr(hw, AGE_CTRL, AGE_Q5_IRQ_ACK);
	kgpu_reg_wr(hw, AGE_DST_ADDR_HI, kgpu_reg_rd(hw, AGE_DST_ADDR_HI) &
					 ~(AGE_FIN_INT | AGE_FIN_RL_OVF));
	status = kgpu_reg_rd(hw, AGE_STATUS);
	if (!kgpu_cp_rd(hw, CP_PC_SET_BY_ARM))
		return (status & AGE_STATUS_BUSY) ? 1 : 0;
	cpu = kgpu_cp_rd(hw, CP_STATUS);
	if (cpu & BIT(1)) {
		KGPU_OP_PRINT(KGPU_OP_DBG_ISR, "[REG]AGE2 ISR, status = 0x%X, 0x%X\n", status, cpu);
		return -1;
	}
	g_kgpu_q3_irq_pc = kgpu_cp_rd(hw, CP_PC);
	g_kgpu_q3_cmd_irq_cnt++;
	return cpu & BIT(0);
}

int KGPU_OP_Q3_status(int engine, u32 *out)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);
	u32 status, cpu, pc, last, base;

	if (!hw || !hw->Gpu_RegReMap || !hw->Cpu_RegReMap) {
		if (out)
			*out = 0;
		return -1;
	}
	if (kgpu_cp_rd(hw, CP_PC_SETTING) & BIT(0)) {
		cpu = kgpu_cp_rd(hw, CP_STATUS);
		pc = kgpu_cp_rd(hw, CP_PC);
		last = kgpu_cp_rd(hw, CP_LAST_PC);
		base = kgpu_cp_rd(hw, CP_PC_SET_BY_ARM);
		if (out)
			*out = 0;
		if (cpu & BIT(0)) {
			printk(KERN_INFO "%s() busy = 0x%X\n", __func__, cpu);
			printk(KERN_INFO "%s() PC = 0x%X\n", __func__, pc);
			printk(KERN_INFO "%s() Last PC = 0x%X\n", __func__, last);
			printk(KERN_INFO "%s() Total PC = 0x%X\n", __func__,
			       lower_32_bits(g_kgpu_q3_last_pc));
			printk(KERN_INFO "%s() Irq cnt = 0x%X\n", __func__, g_kgpu_q3_cmd_irq_cnt);
			KGPU_OP_TRC("[TRC]GPU CMD Busy !\n");
			KGPU_OP_Q3_DumpReg(engine);
			return -16;
		}
		printk(KERN_INFO "%s() CMD mode done but no irq !!!!!\n", __func__);
		printk(KERN_INFO "Status = 0x%X\n", cpu);
		printk(KERN_INFO "PC = 0x%X ( %d )\n", pc, pc - base);
		printk(KERN_INFO "Last PC = 0x%X( %d )\n", last, last - base);
		printk(KERN_INFO "Total PC = 0x%X( %d )\n", lower_32_bits(g_kgpu_q3_last_pc),
		       lower_32_bits(g_kgpu_q3_last_pc) - base);
		printk(KERN_INFO "Irq cnt = %d\n", g_kgpu_q3_cmd_irq_cnt);
		KGPU_OP_Q3_DumpReg(engine);
		return 1;
	}
	status = kgpu_reg_rd(hw, AGE_STATUS);
	if (out)
		*out = status;
	if (status & AGE_STATUS_BUSY) {
		KGPU_OP_TRC("[TRC]GPU Busy !!!\n");
		if (kgpu_reg_rd(hw, AGE_DST_CTRL) & AGE_VSYNC_TRIGGER)
			kgpu_reg_or(hw, AGE_FUNC, 0x400000);
		return -16;
	}
	KGPU_OP_WRN("[WRN]%s() Hw done but no irq !!!!!\n", __func__);
	KGPU_OP_WRN("[WRN]%s() PC = 0x%X\n", __func__, kgpu_reg_rd(hw, AGE_RESULT0));
	return 1;
}

void KGPU_OP_Q3_DumpReg(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);
	u32 off;

	printk(KERN_INFO "[DBG_OP_GPU]%s()\n", __func__);
	if (!hw || !hw->Gpu_RegReMap || !hw->Cpu_RegReMap)
		return;
	for (off = 0; off <= AGE_REG_LAST; off += 16)
		printk(KERN_INFO "[DBG_OP_GPU]0x%08x: %08x %08x %08x %08x \n",
		       hw->Gpu_RegBase + off, kgpu_reg_rd(hw, off), kgpu_reg_rd(hw, off + 4),
		       kgpu_reg_rd(hw, off + 8), kgpu_reg_rd(hw, off + 12));
	if (kgpu_cp_rd(hw, CP_PC_SET_BY_ARM)) {
		printk(KERN_INFO "[DBG_OP_GPU]CPU Status    : 0x%X\n", kgpu_cp_rd(hw, CP_STATUS));
		printk(KERN_INFO "[DBG_OP_GPU]ERROR_CMD_LSB : 0x%X\n", kgpu_cp_rd(hw, CP_ERROR_CMD_LSB));
		printk(KERN_INFO "[DBG_OP_GPU]ERROR_CMD_NSB : 0x%X\n", kgpu_cp_rd(hw, CP_ERROR_CMD_NSB));
		printk(KERN_INFO "[DBG_OP_GPU]PC            : 0x%X\n", kgpu_cp_rd(hw, CP_PC));
		printk(KERN_INFO "[DBG_OP_GPU]LAST_PC       : 0x%X\n", kgpu_cp_rd(hw, CP_LAST_PC));
		printk(KERN_INFO "[DBG_OP_GPU]PC_SET_BY_ARM : 0x%X\n", kgpu_cp_rd(hw, CP_PC_SET_BY_ARM));
		printk(KERN_INFO "[DBG_OP_GPU]PC_Setting    : 0x%X\n", kgpu_cp_rd(hw, CP_PC_SETTING));
	}
}

int KGPU_OP_Q3_Which_IP_Use_Bus(int engine)
{
	const ST_KER_GPU_HW_REG *hw = q3_hw(engine);

	if (!hw || !hw->Gpu_RegReMap)
		return 0;
	return (kgpu_reg_rd(hw, AGE_DST_CTRL) & AGE_BUS_OWNER) ? 1 : 0;
}

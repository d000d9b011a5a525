// SPDX-License-Identifier: GPL-2.0
/*
 * Bottom of the 2D engine's programming backends: the feature, issue and
 * debug words both backends and the operation layer read, the register
 * write trace, the helpers the Q2 and Q3 backends share, and the one check
 * of what an operation may reach, made where its register program is
 * computed.
 */
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/overflow.h>
#include "ker_gpu_hw.h"

/* g_GpuHwFeature is the core's module parameter. */
unsigned int g_GpuFeatureMask;
unsigned int g_GpuHwIssue;
unsigned int g_GpuIssueMask;
unsigned int g_GpuOpDbgMask = 1;
module_param(g_GpuOpDbgMask, uint, 0644);
MODULE_PARM_DESC(g_GpuOpDbgMask, "2D operation debug mask (bit 0 errors)");
unsigned int g_Debug_Register_Msg;
module_param(g_Debug_Register_Msg, uint, 0644);
MODULE_PARM_DESC(g_Debug_Register_Msg, "Register write trace: 1 test-bench form, 2 mww form");

/* ------------------------------------------------------------------------ */
/* Trace helpers                                                             */

void KGPU_Print_WrReg(u32 u32Addr, u32 u32Value)
{
	unsigned int sw = READ_ONCE(g_Debug_Register_Msg);

	if (!sw || !(READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRACE))
		return;
	if (sw == 2)
		printk(KERN_INFO "[TRC]mww phys 0x%08X 0x%08X\n", u32Addr, u32Value);
	else if (sw == 1)
		printk(KERN_INFO "[TRC]BB_task.mww ( 32'h %08X, 32'h %08X );\n", u32Addr, u32Value);
}

void KGPU_Print_wait_idle(int kind)
{
	if (READ_ONCE(g_Debug_Register_Msg) != 1 ||
	    !(READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRACE))
		return;
	printk(KERN_INFO "%s", kind ? "[TRC]BB_task.wait_age_cpu_isr;\n" : "[TRC]BB_task.age_wait;\n");
}

void KGPU_Print_DbgMsg(const char *fmt, ...)
{
	char buf[128];
	va_list args;

	if (!READ_ONCE(g_Debug_Register_Msg))
		return;
	va_start(args, fmt);
	vsnprintf(buf, sizeof(buf), fmt, args);
	va_end(args);
	KGPU_OP_TRC("[TRC]%s", buf);
}

/* ------------------------------------------------------------------------ */
/* Shared by both backends                                                   */

int _KGPU_OP_Q3_Get_HwID(const ST_KER_GPU_INIT *ctx, const KER_GPU_PLANE *pstDst)
{
	if ((READ_ONCE(g_GpuHwIssue) & READ_ONCE(g_GpuIssueMask) & KER_GPU_HW_ISSUE_AGE_1) &&
	    ctx->HwNum > 1) {
		KGPU_OP_TRC("[TRC]KER_GPU_HW_ISSUE_AGE_1 ON");
		return 1;
	}
	if (pstDst && pstDst->pstOption && pstDst->pstOption->HwId < ctx->HwNum)
		return pstDst->pstOption->HwId;
	return 0;
}

u8 kgpu_plane_nonblock(const KER_GPU_PLANE *p)
{
	return p && p->pstOption ? !!p->pstOption->NonBlock : 0;
}

/* Runs the completion callback a non-blocking caller attached to the plane. */
void kgpu_plane_done(const KER_GPU_PLANE *p)
{
	if (p && p->pstOption && p->pstOption->pfnDone)
		p->pstOption->pfnDone(p->pstOption->pDoneArg);
}

u32 kgpu_power_bits(void)
{
	u32 issue = READ_ONCE(g_GpuHwIssue) & READ_ONCE(g_GpuIssueMask);
	u32 v = 0;

	if (issue & KER_GPU_HW_ISSUE_POWER)
		v |= AGE_POWER_WA1;
	if (issue & KER_GPU_HW_ISSUE_CH4LV3)
		v |= AGE_POWER_WA2;
	if (v)
		KGPU_OP_TRC("[TRC]Use KER_GPU_HW_ISSUE_POWER\n");
	return v;
}

/* Entry i of the plane's batch rectangles. */
void kgpu_batch_entry(const KER_GPU_PLANE *p, int i, s32 *x, s32 *y, u32 *w, u32 *h)
{
	const ST_KER_GPU_BATCH *b = &p->stBatch;
	size_t o = (size_t)i * (b->Stride & ~1u);

	*x = *(const s16 *)((const u8 *)b->pX + o);
	*y = *(const s16 *)((const u8 *)b->pY + o);
	*w = *(const u16 *)((const u8 *)b->pW + o);
	*h = *(const u16 *)((const u8 *)b->pH + o);
}

/*
 * Batch entries come from user space: every rectangle must lie inside what
 * the engine can address from the plane's start (x, y >= 0, 1 <= w, h <
 * 32768), on a plane with a packed pixel size. The plane whose entries a
 * list writes to the source-size register (`src_size`) is read no taller
 * than its height field holds, as a single operation's source.
 */
int kgpu_batch_check(const KER_GPU_PLANE *p, int bpp, bool src_size)
{
	u32 hmax = src_size ? KGPU_SRC_H_LIMIT : KGPU_SIZE_LIMIT - 1;
	const ST_KER_GPU_BATCH *b = &p->stBatch;
	int i;

	if (!b->pX || !b->pY || !b->pW || !b->pH || (b->Stride & ~1u) < 2 || bpp <= 0)
		return -22;
	for (i = 0; i < b->Count; i++) {
		s32 x, y;
		u32 w, h;

		kgpu_batch_entry(p, i, &x, &y, &w, &h);
		if (x < 0 || y < 0 || !w || !h || w >= KGPU_SIZE_LIMIT || h > hmax)
			return -22;
	}
	return 0;
}

/* ------------------------------------------------------------------------ */
/* What the engine reaches                                                   */

/*
 * The engine is about to be programmed to touch `lines` lines of `bytes`
 * bytes, `stride` apart, from the 36-bit address `start` (upwards from it
 * when `up`): all of it must lie in the reach the plane's owner was given
 * for buffer `buf`. A plane without a reach is not bounded, but nobody's
 * area may be empty: the size registers take the size less one, and an
 * empty area would reach them as the largest. 0 or -EINVAL.
 */
int kgpu_reach_check(const KER_GPU_REACH *r, int buf, u64 start, u32 stride, u64 bytes,
		     u32 lines, bool up, const char *what)
{
	u64 span, first, end;

	if (!bytes || !lines) {
		KGPU_OP_ERR("%s %d: %u lines of %llu bytes\n", what, buf, lines, bytes);
		return -EINVAL;
	}
	if (!r)
		return 0;
	if (check_mul_overflow((u64)(lines - 1), (u64)stride, &span))
		goto out;
	if (up) {
		if (span > start || check_add_overflow(start, bytes, &end))
			goto out;
		first = start - span;
	} else {
		first = start;
		if (check_add_overflow(start, span, &end) || check_add_overflow(end, bytes, &end))
			goto out;
	}
	if (first >= r->Lo[buf] && end <= r->Hi[buf])
		return 0;
out:
	KGPU_OP_ERR("%s %d: %u lines of %llu bytes, stride %u, from 0x%llx%s are not the caller's\n",
		    what, buf, lines, bytes, stride, start, up ? " upwards" : "");
	return -EINVAL;
}

// SPDX-License-Identifier: GPL-2.0
/* Test-only operation layer; see kgpu_op_fake.h. */
#include <linux/kernel.h>
#include <linux/string.h>
#include <linux/io.h>
#include "kgpu_op_fake.h"

struct kgpu_fake kgpu_fake = { .status_result = -16 };

unsigned int g_GpuFeatureMask;
unsigned int g_GpuHwIssue;
unsigned int g_GpuIssueMask;
unsigned int g_GpuOpDbgMask = 1;
unsigned int g_Debug_Register_Msg;

static struct kgpu_fake_call *fake_call(int op)
{
	struct kgpu_fake_call *c;

	if (kgpu_fake.ncalls >= KGPU_FAKE_MAX_CALLS)
		return NULL;
	c = &kgpu_fake.calls[kgpu_fake.ncalls++];
	memset(c, 0, sizeof(*c));
	c->op = op;
	return c;
}

/* Lock, start, trigger, unlock: what a backend does with the record. */
static int fake_run(KER_GPU_PLANE *dst)
{
	ST_KER_GPU_OP_OPTION *opt = dst ? dst->pstOption : NULL;
	int hw = (opt && opt->HwId < kgpu_fake.init.HwNum) ? opt->HwId : 0;
	u32 mode = opt ? opt->NonBlock : 0;
	int ret;

	if (!kgpu_fake.init.pfnLock)
		return -19;
	ret = kgpu_fake.init.pfnLock(hw);
	kgpu_fake.lock_result = ret;
	if (ret)
		return ret;
	ret = kgpu_fake.init.pfnTrigger(hw, mode, opt ? opt->pfnDone : NULL,
					opt ? opt->pDoneArg : NULL, NULL, NULL);
	kgpu_fake.run_result = ret;
	if (!mode || kgpu_fake.unlock_after_nonblock)
		kgpu_fake.init.pfnUnlock(hw);
	if (ret < 0)
		return -16;
	return mode ? 0 : kgpu_fake.op_result;
}

static void fake_batch(struct kgpu_fake_call *c, const KER_GPU_PLANE *dst)
{
	int i;

	for (i = 0; i < dst->stBatch.Count && i < 8; i++) {
		size_t step = (size_t)i * dst->stBatch.Stride;

		c->batch[i][0] = *(const u16 *)((const u8 *)dst->stBatch.pX + step);
		c->batch[i][1] = *(const u16 *)((const u8 *)dst->stBatch.pY + step);
		c->batch[i][2] = *(const u16 *)((const u8 *)dst->stBatch.pW + step);
		c->batch[i][3] = *(const u16 *)((const u8 *)dst->stBatch.pH + step);
	}
}

int KGPU_OP_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill,
		 _ST_KER_GPU_BLEND_SETTING *pstBlend)
{
	struct kgpu_fake_call *c = fake_call(FAKE_FILL);

	if (c) {
		c->dst = *pstDst;
		c->fill = *pstFill;
		if (pstBlend) {
			c->has_blend = 1;
			c->blend = *pstBlend;
			c->param = *pstBlend->pstGpuBlendParam;
		}
		fake_batch(c, pstDst);
	}
	return fake_run(pstDst);
}

int KGPU_OP_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst)
{
	struct kgpu_fake_call *c = fake_call(FAKE_COPY);

	if (c) {
		c->src1 = *pstSrc;
		c->dst = *pstDst;
		fake_batch(c, pstDst);
	}
	if (pstDst->RunLen_Enable)
		pstDst->RunLen_Size = kgpu_fake.rl_size;
	return fake_run(pstDst);
}

int KGPU_OP_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				_ST_KER_GPU_SCLP_SETTING *pstScale)
{
	struct kgpu_fake_call *c = fake_call(FAKE_SCALE);

	if (c) {
		c->src1 = *pstSrc;
		c->dst = *pstDst;
		if (pstScale) {
			c->has_scale = 1;
			c->scale = *pstScale;
		}
		fake_batch(c, pstDst);
	}
	return fake_run(pstDst);
}

int KGPU_OP_BlendScale(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2, KER_GPU_PLANE *pstDst,
		       _ST_KER_GPU_BLEND_SETTING *pstBlend, _ST_KER_GPU_SCLP_SETTING *pstScale)
{
	struct kgpu_fake_call *c = fake_call(FAKE_BLEND);

	if (c) {
		c->src1 = *pstSrc1;
		c->src2 = *pstSrc2;
		c->dst = *pstDst;
		c->has_blend = 1;
		c->blend = *pstBlend;
		c->param = *pstBlend->pstGpuBlendParam;
		if (pstScale) {
			c->has_scale = 1;
			c->scale = *pstScale;
		}
		fake_batch(c, pstDst);
	}
	return fake_run(pstDst);
}

int KGPU_OP_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
		       EN_KER_GPU_FLIP_ROTATE_MODE enMode)
{
	struct kgpu_fake_call *c = fake_call(FAKE_ROTATE);

	if (c) {
		c->src1 = *pstSrc;
		c->dst = *pstDst;
		c->mode = enMode;
	}
	return fake_run(pstDst);
}

int KGPU_OP_CmdMode(u32 u32CmdPhyAddr)
{
	if (!u32CmdPhyAddr)
		return -22;
	fake_call(FAKE_CMD);
	return fake_run(NULL);
}

int KGPU_OP_Initial(ST_KER_GPU_INIT *pstInit)
{
	kgpu_fake.initial_calls++;
	kgpu_fake.init = *pstInit;
	return kgpu_fake.initial_result;
}

void KGPU_OP_trigger(int engine)
{
	ST_KER_GPU_HW_REG *r = &kgpu_fake.init.pstHwReg[engine];

	kgpu_fake.triggers[engine & 1]++;
	writel(readl(r->Gpu_RegReMap) | 1, r->Gpu_RegReMap);
}

int KGPU_OP_irq_handle(int engine)
{
	return kgpu_fake.irq_result;
}

int KGPU_OP_status(int engine, u32 *pu32Status)
{
	kgpu_fake.status_calls++;
	*pu32Status = 0;
	return kgpu_fake.status_result;
}

void KGPU_OP_DumpReg(int engine)
{
	kgpu_fake.dump_calls++;
}

int KGPU_OP_Use_Apu(int engine)
{
	return 0;
}

int KGPU_OP_Set_Speed_Limit(u32 u32Num, u32 u32Den)
{
	kgpu_fake.speed_num = u32Num;
	kgpu_fake.speed_den = u32Den;
	return 0;
}

int KGPU_OP_Resume(void)
{
	return 0;
}

void KGPU_OP_ToggleDbgMask(int n)
{
	if (n >= 1 && n <= 11)
		g_GpuOpDbgMask ^= 1u << (n - 1);
}

void KGPU_OP_Toggle_FetureMask(int bit)
{
	kgpu_fake.toggles[0]++;
	if (bit >= 0 && bit < 32)
		g_GpuFeatureMask ^= 1u << bit;
}

void KGPU_OP_Toggle_IssueMask(int bit)
{
	kgpu_fake.toggles[1]++;
	if (bit >= 0 && bit < 32)
		g_GpuIssueMask ^= 1u << bit;
}

void KGPU_OP_Reset_IssueMask(void)
{
	g_GpuIssueMask = 0;
}

void KGPU_OP_Disable_All_DbgMask(void)
{
	g_GpuOpDbgMask = 1;
}

void KGPU_OP_PrintDbgGroup(int first)
{
	printk(KERN_INFO "op mask from %d\n", first);
}

void KGPU_OP_PrintFeatureGroup(int first)
{
	printk(KERN_INFO "features from %d\n", first);
}

void KGPU_OP_PrintIssueGroup(int first)
{
	printk(KERN_INFO "issues from %d\n", first);
}

/* The format knowledge the exec layer asks for: 4-byte pixels in one buffer. */
int KGPU_OP_Plane_Buffers(u8 u8Format, u8 u8Bit24Mode, u8 u8SeparateUV)
{
	return 1;
}

bool KGPU_OP_Plane_Palette(u8 u8Format, u8 u8Bit24Mode, u8 u8SeparateUV)
{
	return false;
}

void KGPU_OP_Reset(int engine)
{
	kgpu_fake.reset_calls++;
}

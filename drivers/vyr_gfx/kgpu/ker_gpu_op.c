// SPDX-License-Identifier: GPL-2.0
/*
 * 2D engine operation layer: keeps the hardware feature and issue words,
 * exports the engine operations to other modules and sends each one to the
 * Q2 backend (luma/chroma planes, with "NV12_ACC") or the Q3 backend.
 */
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/export.h>
#include "ker_gpu_hw.h"

static int (*fpKGPU_OP_Fill)(KER_GPU_PLANE *, _ST_KER_GPU_FILL_SETTING *,
			     _ST_KER_GPU_BLEND_SETTING *);
static int (*fpKGPU_OP_Copy)(KER_GPU_PLANE *, KER_GPU_PLANE *);
static int (*fpKGPU_OP_Scale_LowPassFilter)(KER_GPU_PLANE *, KER_GPU_PLANE *,
					    _ST_KER_GPU_SCLP_SETTING *);
static int (*fpKGPU_OP_BlendScale)(KER_GPU_PLANE *, KER_GPU_PLANE *, KER_GPU_PLANE *,
				   _ST_KER_GPU_BLEND_SETTING *, _ST_KER_GPU_SCLP_SETTING *);
static int (*fpKGPU_OP_FlipRotate)(KER_GPU_PLANE *, KER_GPU_PLANE *,
				   EN_KER_GPU_FLIP_ROTATE_MODE);
static int (*fpKGPU_OP_CmdMode)(u32);

/* ------------------------------------------------------------------------ */
/* Choosing functions                                                        */

static int kgpu_op_end(const char *func, int ret, void *caller)
{
	KGPU_OP_TRC("[TRC]%s() end %d\n", func, ret);
	if (ret < 0 && (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_ERROR))
		printk(KERN_ERR "%s() error return %d, caller %pS\n", func, ret, caller);
	return ret;
}

static int _KGPU_OP_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill,
			 _ST_KER_GPU_BLEND_SETTING *pstBlend)
{
	int ret;

	/* Q2 has no blend unit: a blended fill stays on Q3. */
	if (pstFill && pstFill->FillMode == KER_GPU_FILL_SOLID && !pstBlend &&
	    KGPU_OP_Q2_IMVQ_Accelerate_Case(NULL, pstDst, KGPU_Q2_OP_FILL) == 0)
		ret = KGPU_OP_Q2_Fill(pstDst, pstFill);
	else
		ret = KGPU_OP_Q3_Fill(pstDst, pstFill, pstBlend);
	return kgpu_op_end(__func__, ret, __builtin_return_address(0));
}

static int _KGPU_OP_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst)
{
	int ret;

	if (KGPU_OP_Q2_IMVQ_Accelerate_Case(pstSrc, pstDst, KGPU_Q2_OP_COPY) == 0)
		ret = KGPU_OP_Q2_Copy(pstSrc, pstDst);
	else
		ret = KGPU_OP_Q3_Copy(pstSrc, pstDst);
	return kgpu_op_end(__func__, ret, __builtin_return_address(0));
}

static int _KGPU_OP_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
					_ST_KER_GPU_SCLP_SETTING *pstScale)
{
	int ret;

	if (KGPU_OP_Q2_IMVQ_Accelerate_Case(pstSrc, pstDst, KGPU_Q2_OP_SCALE) == 0 &&
	    KGPU_OP_Q2_IMVQ_Accelerate_Scaling(pstScale) == 0)
		ret = KGPU_OP_Q2_Scale_LowPassFilter(pstSrc, pstDst, pstScale);
	else
		ret = KGPU_OP_Q3_Scale_LowPassFilter(pstSrc, pstDst, pstScale);
	return kgpu_op_end(__func__, ret, __builtin_return_address(0));
}

static int _KGPU_OP_BlendScale(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
			       KER_GPU_PLANE *pstDst, _ST_KER_GPU_BLEND_SETTING *pstBlend,
			       _ST_KER_GPU_SCLP_SETTING *pstScale)
{
	int ret = KGPU_OP_Q3_BlendScale(pstSrc1, pstSrc2, pstDst, pstBlend, pstScale);

	return kgpu_op_end(__func__, ret, __builtin_return_address(0));
}

static int _KGPU_OP_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
			       EN_KER_GPU_FLIP_ROTATE_MODE enMode)
{
	int ret;

	if (KGPU_OP_Q2_IMVQ_Accelerate_Case(pstSrc, pstDst, KGPU_Q2_OP_COPY) == 0)
		ret = KGPU_OP_Q2_FlipRotate(pstSrc, pstDst, enMode);
	else
		ret = KGPU_OP_Q3_FlipRotate(pstSrc, pstDst, enMode);
	return kgpu_op_end(__func__, ret, __builtin_return_address(0));
}

static int _KGPU_OP_CmdMode(u32 u32CmdPhyAddr)
{
	int ret = KGPU_OP_Q3_CmdMode(u32CmdPhyAddr);

	return kgpu_op_end(__func__, ret, __builtin_return_address(0));
}

/* ------------------------------------------------------------------------ */
/* Exported operations                                                       */

#define KGPU_OP_CALLER() \
	KGPU_OP_TRC("[TRC]%s() caller %pS\n", __func__, __builtin_return_address(0))

/* Before start-up, or when the engine failed to start, nothing is chosen. */
#define KGPU_OP_CALL(fp, ...) ((fp) ? (fp)(__VA_ARGS__) : -19)

int KGPU_OP_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill,
		 _ST_KER_GPU_BLEND_SETTING *pstBlend)
{
	KGPU_OP_CALLER();
	return KGPU_OP_CALL(fpKGPU_OP_Fill, pstDst, pstFill, pstBlend);
}
EXPORT_SYMBOL(KGPU_OP_Fill);

int KGPU_OP_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst)
{
	KGPU_OP_CALLER();
	return KGPU_OP_CALL(fpKGPU_OP_Copy, pstSrc, pstDst);
}
EXPORT_SYMBOL(KGPU_OP_Copy);

int KGPU_OP_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				_ST_KER_GPU_SCLP_SETTING *pstScale)
{
	KGPU_OP_CALLER();
	return KGPU_OP_CALL(fpKGPU_OP_Scale_LowPassFilter, pstSrc, pstDst, pstScale);
}
EXPORT_SYMBOL(KGPU_OP_Scale_LowPassFilter);

int KGPU_OP_BlendScale(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
		       KER_GPU_PLANE *pstDst, _ST_KER_GPU_BLEND_SETTING *pstBlend,
		       _ST_KER_GPU_SCLP_SETTING *pstScale)
{
	KGPU_OP_CALLER();
	return KGPU_OP_CALL(fpKGPU_OP_BlendScale, pstSrc1, pstSrc2, pstDst, pstBlend, pstScale);
}
EXPORT_SYMBOL(KGPU_OP_BlendScale);

int KGPU_OP_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
		       EN_KER_GPU_FLIP_ROTATE_MODE enMode)
{
	KGPU_OP_CALLER();
	return KGPU_OP_CALL(fpKGPU_OP_FlipRotate, pstSrc, pstDst, enMode);
}
EXPORT_SYMBOL(KGPU_OP_FlipRotate);

int KGPU_OP_CmdMode(u32 u32CmdPhyAddr)
{
	KGPU_OP_CALLER();
	return KGPU_OP_CALL(fpKGPU_OP_CmdMode, u32CmdPhyAddr);
}
EXPORT_SYMBOL(KGPU_OP_CmdMode);

/* ------------------------------------------------------------------------ */
/* Core side                                                                 */

int KGPU_OP_Initial(ST_KER_GPU_INIT *pstInit)
{
	int ret;

	if (!pstInit)
		return -22;
	WRITE_ONCE(g_GpuHwFeature, pstInit->HwFeature);
	WRITE_ONCE(g_GpuFeatureMask, pstInit->FeatureMask);
	WRITE_ONCE(g_GpuHwIssue, pstInit->HwIssue);
	WRITE_ONCE(g_GpuIssueMask, pstInit->IssueMask);
	fpKGPU_OP_Fill = _KGPU_OP_Fill;
	fpKGPU_OP_Copy = _KGPU_OP_Copy;
	fpKGPU_OP_Scale_LowPassFilter = _KGPU_OP_Scale_LowPassFilter;
	fpKGPU_OP_BlendScale = _KGPU_OP_BlendScale;
	fpKGPU_OP_FlipRotate = _KGPU_OP_FlipRotate;
	fpKGPU_OP_CmdMode = _KGPU_OP_CmdMode;
	ret = KGPU_OP_Q3_Initial(pstInit);
	if (ret == 0 && kgpu_nv12_acc())
		KGPU_OP_Q2_Initial(pstInit);
	return ret;
}

void KGPU_OP_trigger(int engine)
{
	if (kgpu_nv12_acc() && KGPU_OP_Q2_Using_SRAM(engine))
		KGPU_OP_Q2_trigger(engine);
	else
		KGPU_OP_Q3_trigger(engine);
}

int KGPU_OP_irq_handle(int engine)
{
	return KGPU_OP_Q3_irq_handle(engine);
}

int KGPU_OP_status(int engine, u32 *pu32Status)
{
	return KGPU_OP_Q3_status(engine, pu32Status);
}

void KGPU_OP_DumpReg(int engine)
{
	KGPU_OP_Q3_DumpReg(engine);
}

int KGPU_OP_Use_Apu(int engine)
{
	return KGPU_OP_Q3_Which_IP_Use_Bus(engine) ? 1 : 0;
}

int KGPU_OP_Set_Speed_Limit(u32 u32Num, u32 u32Den)
{
	KGPU_OP_Q3_Set_Speed_Limit(u32Num, u32Den);
	KGPU_OP_Q2_Set_Speed_Limit(u32Num, u32Den);
	return 0;
}

int KGPU_OP_Plane_Buffers(u8 u8Format, u8 u8Bit24Mode, u8 u8SeparateUV)
{
	return _GPU_Q3_Plane_Buffers(u8Format, u8Bit24Mode, u8SeparateUV);
}

bool KGPU_OP_Plane_Palette(u8 u8Format, u8 u8Bit24Mode, u8 u8SeparateUV)
{
	return _GPU_Q3_Plane_Palette(u8Format, u8Bit24Mode, u8SeparateUV);
}

void KGPU_OP_Reset(int engine)
{
	KGPU_OP_Q3_Reset(engine);
}

int KGPU_OP_Resume(void)
{
	return 0;
}

/* ------------------------------------------------------------------------ */
/* Masks for the debug menu                                                  */

static const struct {
	u8 bit;
	const char *name;
} kgpu_op_dbg_items[KGPU_OP_DBG_MASK_ITEMS] = {
	{ 0, "Error" }, { 1, "Warning" }, { 2, "Message" }, { 4, "Trace Flow" },
	{ 5, "Register Dump " }, { 6, "Register Trace" }, { 7, "Unit Informance: Scale" },
	{ 8, "Unit Informance: Matrix" }, { 10, "Time Diff" }, { 11, "ISR_DSR" },
	{ 12, "VLINECOUNT" },
};

static const char *const kgpu_feature_names[] = {
	"OLD_HW", "FMT_YUYV", "NV12_ACC", "WORK_QUEUE" };
static const char *const kgpu_issue_names[] = {
	"FORCE_OLD_HW", "BYTE_COPY", "AGE_1", "POWER", "CH4LV3" };

void KGPU_OP_ToggleDbgMask(int n)
{
	if (n < 1 || n > KGPU_OP_DBG_MASK_ITEMS) {
		printk(KERN_INFO "Dbg Mask No change !!!!!\n");
		return;
	}
	WRITE_ONCE(g_GpuOpDbgMask, g_GpuOpDbgMask ^ BIT(kgpu_op_dbg_items[n - 1].bit));
}

void KGPU_OP_Toggle_FetureMask(int bit)
{
	if (bit >= 0 && bit < 32)
		WRITE_ONCE(g_GpuFeatureMask, g_GpuFeatureMask ^ BIT(bit));
	printk(KERN_INFO "HwFeature = 0x%08X / 0x%08X\n", g_GpuFeatureMask, g_GpuHwFeature);
}

void KGPU_OP_Toggle_IssueMask(int bit)
{
	if (bit >= 0 && bit < 32)
		WRITE_ONCE(g_GpuIssueMask, g_GpuIssueMask ^ BIT(bit));
	printk(KERN_INFO "HwIssues Mask = 0x%08X / 0x%08X\n", g_GpuIssueMask, g_GpuHwIssue);
}

void KGPU_OP_Reset_IssueMask(void)
{
	WRITE_ONCE(g_GpuIssueMask, 0);
}

void KGPU_OP_Disable_All_DbgMask(void)
{
	WRITE_ONCE(g_GpuOpDbgMask, 1);
}

/* Four names a line; "*" marks a set bit. */
static void KGPU_OP_PrintGpuGroup(const char *const *names, const u8 *bits, int count,
				  u32 mask, int first)
{
	char line[160];
	int i, len = 0;

	for (i = 0; i < count; i++) {
		len += scnprintf(line + len, sizeof(line) - len, "%04d)%s%9s", first + i,
				 (mask & BIT(bits ? bits[i] : i)) ? "*" : " ", names[i]);
		if (i % 4 == 3 || i == count - 1) {
			printk(KERN_INFO "%s\n", line);
			len = 0;
		}
	}
}

void KGPU_OP_PrintDbgGroup(int first)
{
	const char *names[KGPU_OP_DBG_MASK_ITEMS];
	u8 bits[KGPU_OP_DBG_MASK_ITEMS];
	int i;

	for (i = 0; i < KGPU_OP_DBG_MASK_ITEMS; i++) {
		names[i] = kgpu_op_dbg_items[i].name;
		bits[i] = kgpu_op_dbg_items[i].bit;
	}
	KGPU_OP_PrintGpuGroup(names, bits, KGPU_OP_DBG_MASK_ITEMS, g_GpuOpDbgMask, first);
}

void KGPU_OP_PrintFeatureGroup(int first)
{
	KGPU_OP_PrintGpuGroup(kgpu_feature_names, NULL, ARRAY_SIZE(kgpu_feature_names),
			      g_GpuFeatureMask, first);
}

void KGPU_OP_PrintIssueGroup(int first)
{
	KGPU_OP_PrintGpuGroup(kgpu_issue_names, NULL, ARRAY_SIZE(kgpu_issue_names),
			      g_GpuIssueMask, first);
}

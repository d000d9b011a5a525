/* SPDX-License-Identifier: GPL-2.0 */
/*
 * 2D engine programming backends: register map, the register units both
 * programming models fill, and what the two backends share beneath them
 * (ker_gpu_hw_common.c, ker_gpu_q3_units.c, ker_gpu_q3_scaler.c). The
 * operation layer (ker_gpu_op.c) calls down into them; nothing here calls
 * up into it.
 */
#ifndef KER_GPU_HW_H
#define KER_GPU_HW_H

#include <linux/types.h>
#include <linux/io.h>
#include <linux/printk.h>
#include <linux/ratelimit.h>
#include "ker_gpu_if.h"

/* ------------------------------------------------------------------------ */
/* Debug mask bits of g_GpuOpDbgMask                                         */

#define KGPU_OP_DBG_ERROR	BIT(0)
#define KGPU_OP_DBG_WARNING	BIT(1)
#define KGPU_OP_DBG_MESSAGE	BIT(2)
#define KGPU_OP_DBG_TRACE	BIT(4)
#define KGPU_OP_DBG_REG_DUMP	BIT(5)
#define KGPU_OP_DBG_REG_TRACE	BIT(6)
#define KGPU_OP_DBG_SCALE	BIT(7)
#define KGPU_OP_DBG_MATRIX	BIT(8)
#define KGPU_OP_DBG_CMDBUF	BIT(9)
#define KGPU_OP_DBG_TIME	BIT(10)
#define KGPU_OP_DBG_ISR		BIT(11)
#define KGPU_OP_DBG_VLINE	BIT(12)

#define KGPU_ERR_TAG	"\033[0;31m[ERR]\033[0m"

/* Errors and warnings a caller can repeat come at most in bursts. */
#define KGPU_OP_ERR(fmt, ...)						\
	do {								\
		if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_ERROR)	\
			printk_ratelimited(KERN_ERR KGPU_ERR_TAG fmt, ##__VA_ARGS__); \
	} while (0)
#define KGPU_OP_WRN(fmt, ...)						\
	do {								\
		if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_WARNING)	\
			printk_ratelimited(KERN_INFO fmt, ##__VA_ARGS__);	\
	} while (0)
#define KGPU_OP_PRINT(bit, fmt, ...)					\
	do {								\
		if (READ_ONCE(g_GpuOpDbgMask) & (bit))			\
			printk(KERN_INFO fmt, ##__VA_ARGS__);		\
	} while (0)
#define KGPU_OP_MSG(fmt, ...)	KGPU_OP_PRINT(KGPU_OP_DBG_MESSAGE, fmt, ##__VA_ARGS__)
#define KGPU_OP_TRC(fmt, ...)	KGPU_OP_PRINT(KGPU_OP_DBG_TRACE, fmt, ##__VA_ARGS__)
#define KGPU_OP_REG(fmt, ...)	KGPU_OP_PRINT(KGPU_OP_DBG_REG_TRACE, fmt, ##__VA_ARGS__)

/* ------------------------------------------------------------------------ */
/* Bottom of the backends (ker_gpu_hw_common.c)                              */

/* Register write trace. */
void KGPU_Print_WrReg(u32 u32Addr, u32 u32Value);
void KGPU_Print_wait_idle(int kind);
__printf(1, 2) void KGPU_Print_DbgMsg(const char *fmt, ...);

/* Shared by both backends. */
int _KGPU_OP_Q3_Get_HwID(const ST_KER_GPU_INIT *ctx, const KER_GPU_PLANE *pstDst);
void kgpu_batch_entry(const KER_GPU_PLANE *p, int i, s32 *x, s32 *y, u32 *w, u32 *h);
int kgpu_batch_check(const KER_GPU_PLANE *pstPlane, int bpp, bool src_size);
u32 kgpu_power_bits(void);
u8 kgpu_plane_nonblock(const KER_GPU_PLANE *pstPlane);
void kgpu_plane_done(const KER_GPU_PLANE *pstPlane);
int kgpu_reach_check(const KER_GPU_REACH *r, int buf, u64 start, u32 stride, u64 bytes,
		     u32 lines, bool up, const char *what);

/* ------------------------------------------------------------------------ */
/* Register map of one engine                                                */

#define AGE_CTRL		0x000	/* bit 0 start; 0xF0000000 reset */
#define AGE_STATUS		0x004	/* bit 8 error, bit 9 busy */
#define AGE_RESULT0		0x008
#define AGE_RESULT1		0x00C
#define AGE_SRAM		0x010	/* bit 16 (16-19): Q2 owns the SRAM */
#define AGE_SRC1_FMT		0x018
#define AGE_SRC1_CH		0x01C
#define AGE_SRC1_ALPHA		0x020
#define AGE_SRC1_MATRIX		0x024
#define AGE_SRC1_ADDR0		0x038
#define AGE_SRC2_ADDR0		0x044
#define AGE_PALETTE		0x050
#define AGE_STRIDE_S1_01	0x054
#define AGE_STRIDE_S1_2_S2_0	0x058
#define AGE_STRIDE_S2_12	0x05C
#define AGE_SRC2_FMT		0x060
#define AGE_SRC2_CH		0x064
#define AGE_SRC2_ALPHA		0x068
#define AGE_SRC2_MATRIX		0x06C
#define AGE_FUNC		0x080
#define AGE_FACTOR_H		0x084
#define AGE_FACTOR_V		0x088
#define AGE_FACTOR15_H		0x08C
#define AGE_FACTOR15_V		0x090
#define AGE_START_PHASE_H	0x094
#define AGE_START_PHASE_V	0x098
#define AGE_END_PHASE_H		0x09C
#define AGE_END_PHASE_V		0x0A0
#define AGE_SRC_SIZE		0x0A4
#define AGE_DST_SIZE		0x0A8
#define AGE_SPEED_LIMIT		0x0AC
#define AGE_TAP_CNT		0x0B0
#define AGE_HI_FACTOR		0x0B4
#define AGE_HI_PHASE		0x0B8
#define AGE_PATGEN		0x0C0
#define AGE_COEF_PORT		0x0C4
#define AGE_UPPER_BOUND		0x0D0
#define AGE_LOWER_BOUND		0x0D4
#define AGE_GRAD_INT_H		0x0D8
#define AGE_GRAD_INT_V		0x0DC
#define AGE_FILL_COLOR		0x0E0
#define AGE_GRAD_FRAC0		0x0E4
#define AGE_SRC_ADDR_HI		0x0F8
#define AGE_DST_ADDR_HI		0x0FC
#define AGE_BLEND_CTRL		0x100
#define AGE_BLEND_COEF		0x104
#define AGE_SRC_KEY		0x108
#define AGE_DST_KEY		0x10C
#define AGE_CONST_COLOR		0x110
#define AGE_DST_ALPHA1		0x114
#define AGE_UV_SEP		0x120	/* Q2; the destination matrix for Q3 */
#define AGE_DST_MATRIX		0x120
#define AGE_DST_SIGN		0x12C
#define AGE_DST_SHIFT		0x134
#define AGE_DST_LSHIFT		0x138
#define AGE_DST_FMT		0x13C
#define AGE_DST_CTRL		0x140
#define AGE_DST_KEY_MASK	0x144
#define AGE_DST_KEY_VALUE	0x148
#define AGE_DST_ADDR0		0x14C
#define AGE_DST_ADDR1		0x150
#define AGE_DST_ADDR2		0x154
#define AGE_DST_STRIDE_01	0x158
#define AGE_STRIDE_HI_A		0x15C
#define AGE_STRIDE_HI_B		0x160
#define AGE_REG_LAST		0x18C

/* Bits. */
#define AGE_STATUS_ERROR	BIT(8)
#define AGE_STATUS_BUSY		BIT(9)
#define AGE_RESET_VALUE		0xF0000000u
#define AGE_Q5_IRQ_ACK		0x400
#define AGE_FIN_STRICT		BIT(12)	/* 0x0FC; also the command-mode bit */
#define AGE_FIN_INT		BIT(13)
#define AGE_FIN_RL_OVF		BIT(14)
#define AGE_POWER_WA1		BIT(15)
#define AGE_POWER_WA2		BIT(16)
#define AGE_BUS_OWNER		BIT(19)	/* 0x140, read only */
#define AGE_VSYNC_TRIGGER	BIT(16)	/* 0x140 */
#define AGE_HSYNC_LIMIT		BIT(17)	/* 0x140 */

/* Command-processor block. */
#define CP_CTRL			0x00	/* bit 31 reset */
#define CP_STATUS		0x04	/* bit 0 busy, bit 1 error */
#define CP_ERROR_CMD_LSB	0x08
#define CP_ERROR_CMD_NSB	0x0C
#define CP_PC			0x10
#define CP_LAST_PC		0x14
#define CP_PC_SET_BY_ARM	0x18
#define CP_PC_SETTING		0x1C
#define CP_SRAM_CTRL		0x10	/* engine 0x010 (see AGE_SRAM) */
#define CP_PC_MODE		0x1000
#define CP_PC_GO		0x30101

/* Addresses the engine can reach: 36 bits. */
#define KGPU_ADDR_LIMIT		(1ULL << 36)
/* Strides are 20 bits, written sizes below 32768. */
#define KGPU_STRIDE_LIMIT	(1U << 20)
#define KGPU_SIZE_LIMIT		32768
#define KGPU_SRC_H_LIMIT	8192	/* 0x0A4 holds H - 1 in 13 bits */

#define KGPU_FLD(v, shift, width) \
	((((u32)(v)) & (u32)((1ULL << (width)) - 1)) << (shift))

/* Register access: every write is traced, then stored. */
static inline void kgpu_reg_wr(const ST_KER_GPU_HW_REG *hw, u32 off, u32 v)
{
	KGPU_Print_WrReg(hw->Gpu_RegBase + off, v);
	writel(v, (u8 __iomem *)hw->Gpu_RegReMap + off);
}

static inline u32 kgpu_reg_rd(const ST_KER_GPU_HW_REG *hw, u32 off)
{
	return readl((u8 __iomem *)hw->Gpu_RegReMap + off);
}

static inline void kgpu_reg_or(const ST_KER_GPU_HW_REG *hw, u32 off, u32 v)
{
	kgpu_reg_wr(hw, off, kgpu_reg_rd(hw, off) | v);
}

static inline void kgpu_cp_wr(const ST_KER_GPU_HW_REG *hw, u32 off, u32 v)
{
	KGPU_Print_WrReg(hw->Cpu_RegBase + off, v);
	writel(v, (u8 __iomem *)hw->Cpu_RegReMap + off);
}

static inline u32 kgpu_cp_rd(const ST_KER_GPU_HW_REG *hw, u32 off)
{
	return readl((u8 __iomem *)hw->Cpu_RegReMap + off);
}

static inline u32 kgpu_ror8(u32 v)
{
	return (v >> 8) | (v << 24);
}

/* ------------------------------------------------------------------------ */
/* Register units                                                            */

typedef s32 KGPU_MATRIX[3][4];

enum {
	KGPU_MATRIX_IDENTITY = 0,
	KGPU_MATRIX_601_LR = 1,
	KGPU_MATRIX_601_FR = 2,
	KGPU_MATRIX_YUV400 = 5,
};

typedef struct {
	u8 used;
	u8 ChEn;
	u8 UV_intrlvd;
	u8 SRamBase[3];		/* [1], [2] */
	u8 SRamSize[3];
	u8 PixBits[3];
	u8 YUYV;
	u8 YUYV_Mode;
	u8 L_SHIFT[2];
	u8 PaletteEn;
	u8 PalIdxSize;
	u32 PalAddr;
	u8 PalAddrHi;
	u8 ChUpSampleWidth[4];
	u8 ChUpSampleMode[4];
	u8 Alpha_p, Alpha_m, Alpha_i;
	u8 ConstAlphaEn;
	u8 Alpha1bitEn;
	u8 Alpha0Fix0;
	u8 ConstAlpha;
	u8 ConstAlpha2;
	KGPU_MATRIX Matrix;
	u8 MatrixId;
	u8 Order[3];
	u32 Addr[3];
	u8 AddrHi[3];
	u32 Stride[3];
} ST_KGPU_Q3_SRC;

typedef struct {
	u8 AlphaInv;
	KGPU_MATRIX Matrix;
	u8 MatrixId;
	u8 Order[3];
	u8 Alpha1bitEn, Alpha1bitThr, Alpha1bitA0, Alpha1bitA1;
	u8 AlphaInsert;
	u8 R_Shift[4];
	u8 ConstAlphaEn;
	u8 ConstAlpha;
	u8 L_SHIFT[4];		/* [1]..[3] */
	u8 ChEn;
	u8 RunLenEn;
	u32 RunLenValue;
	u8 PixBits[3];
	u8 SRamBase[3];		/* [1], [2] */
	u8 R_ShiftCh[2];
	u8 CH1_UV_Interleaved_Mode;
	u8 ColorKeyMode;
	u32 ColorKeyMask;
	u32 ColorKey;
	u32 Addr[3];
	u8 AddrHi[3];
	u32 Stride[3];
} ST_KGPU_Q3_DST;

typedef struct {
	u8 AccessMode;
	u8 Tap;
	u8 Scaler;
	u8 LowPass;
	u8 FRE;
	u8 DstVflipSeq;
	u8 Src1;
	u8 Src2;
	u8 Src1_blend_only;
	u8 Vsync_Trigger;
	u8 Hsync_Limit;
	u8 Hsync_Limit_Value;
	u32 SpeedLimit;
	u8 Finish_Strict;
	u8 Enable_Finish_Int;
	u8 Enable_RL_Overflow_Int;
} ST_KGPU_Q3_FUNC;

typedef struct {
	u32 SrcW, SrcH;		/* size - 1 */
	u32 DstW, DstH;		/* size - 1 */
	u32 StartPhaseH, StartPhaseV;
	u32 FactorH, FactorV;
	u32 EndPhaseH, EndPhaseV;
	u8 TapT, TapB, TapL, TapR;
	u8 StartHiH, StartHiV;
	u8 HiFactorH, HiFactorV;
	u8 EndHiH, EndHiV;
} ST_KGPU_Q3_SCALER;

typedef struct {
	u8 Enable;
	u32 Flags;		/* 8 sign bits */
	u32 Divisor;
	u32 UpperBound;
	u32 LowerBound;
	u32 StartColor;
	u32 Incr[8];		/* 16.16 */
} ST_KGPU_Q3_PATGEN;

typedef struct {
	u8 FillBlend;
	u8 SrcKeyMode;
	u8 DstKeyMode;
	u8 sA_Mode;
	u8 sC_x_cC;
	u8 sC_PreAlpha;
	u8 dC_PreAlpha;
	u8 Coef_sC, Coef_dC, Coef_sA, Coef_dA;
	u8 DivAlpha;
	u8 Xor;
	u32 SrcKey;
	u32 DstKey;
	u32 ConstColor;
} ST_KGPU_Q3_BLEND;

/* The staging record every Q3 operation fills, on the caller's stack. */
typedef struct {
	ST_KGPU_Q3_SRC stSrc1;
	ST_KGPU_Q3_SRC stSrc2;
	ST_KGPU_Q3_FUNC stFunc;
	ST_KGPU_Q3_SCALER stScaler;
	ST_KGPU_Q3_PATGEN stPatGen;
	ST_KGPU_Q3_BLEND stBlend;
	ST_KGPU_Q3_DST stDst;
	u8 PatGenUsed;
	u8 PowerBits;		/* AGE_POWER_WA1/2 >> 15 */
} ST_KGPU_Q3_HW_SETTING;

/* Scaling context of one operation. */
typedef struct {
	u8 Scaling;
	u8 Scaling_Mode;
	u8 LowPass_Mode;
	s32 SrcX, SrcY, SrcW, SrcH;
	s32 DstX, DstY, DstW, DstH;
	u32 StartPhaseH, StartPhaseV;
	u32 StepH, StepV;
	u32 EndPhaseH, EndPhaseV;
	u8 StartHiH, StartHiV;
	u8 HiFactorH, HiFactorV;
	u8 EndHiH, EndHiV;
	u8 TapT, TapB, TapL, TapR;
} ST_KGPU_SCALING_CTX;

#define KGPU_STEP_ONE	0x80001u	/* 1:1 */

/* ------------------------------------------------------------------------ */
/* Format table and conversions (ker_gpu_q3_units.c)                         */

#define KGPU_Q3_FMT_NUM		40
#define KGPU_Q3_FMT_BYTES	18

extern const u8 g_KGpu_Q3_Fmt_Info[KGPU_Q3_FMT_NUM][KGPU_Q3_FMT_BYTES];
extern const u32 g_KGpu_Q3_Fmt_Num;
extern const KGPU_MATRIX IdentityMatrix;
extern const KGPU_MATRIX YUV_to_RGB_601_LR_Matrix;
extern const KGPU_MATRIX YUV_to_RGB_601_FR_Matrix;
extern const KGPU_MATRIX RGB_to_YUV_601_LR_Matrix;
extern const KGPU_MATRIX RGB_to_YUV_601_FR_Matrix;
extern const KGPU_MATRIX YUV400_to_RGB_Matrix;

int _AGE2_Q3_format_table(u8 FormatMode, u8 Bit24Mode, u8 SeparateUV);
int _KGPU_Q3_Pixel_Width(const KER_GPU_PLANE *pstPlane);
u32 _GPU_Q3_Chroma_Offset(u32 mode, u32 ch, u32 x, u32 y, u32 bpp, u32 stride);
int _GPU_Q3_Plane_Buffers(u8 FormatMode, u8 Bit24Mode, u8 SeparateUV);
bool _GPU_Q3_Plane_Palette(u8 FormatMode, u8 Bit24Mode, u8 SeparateUV);
u32 kgpu_q3_engine_bytes(const KER_GPU_PLANE *p, bool write);
/* The palette the engine reads: 256 entries of four bytes. */
#define KGPU_PALETTE_BYTES	1024
int kgpu_q3_guard(const ST_KGPU_Q3_HW_SETTING *s, const KER_GPU_PLANE *src1,
		  const KER_GPU_PLANE *src2, const KER_GPU_PLANE *dst);
void _GPU_Q3_ReOrder_SrcMatrix(const KGPU_MATRIX in, const u8 order[3], KGPU_MATRIX out);
void _GPU_Q3_ReOrder_DstMatrix(const KGPU_MATRIX in, const u8 order[3], KGPU_MATRIX out);
const s32 (*kgpu_yuv_to_rgb_matrix(u8 mode))[4];
int _GPU_Q3_Plane_to_HwReadSetting(const KER_GPU_PLANE *pstPlane, s32 x, s32 y,
				   ST_KGPU_Q3_SRC *pstSrc);
int _GPU_Q3_Plane_to_HwWriteSetting(const KER_GPU_PLANE *pstPlane, s32 x, s32 y,
				    ST_KGPU_Q3_DST *pstDst);
void _GPU_Matrix_Simplification(ST_KGPU_Q3_SRC *pstSrc, ST_KGPU_Q3_DST *pstDst);
void _GPU_Q3_Matrix_SetReg(const ST_KER_GPU_HW_REG *hw, const KGPU_MATRIX m, int which);
void _GPU_Q3_Src1_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SRC *s);
void _GPU_Q3_Src2_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SRC *s);
void _GPU_Q3_Function_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_FUNC *f);
void _GPU_Q3_Scaler_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_SCALER *s);
void _GPU_Q3_PatGen_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_PATGEN *p);
void _GPU_Q3_Blend_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_BLEND *b);
void _GPU_Q3_Dst_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_DST *d);
void _GPU_Q3_Final_SetReg(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_HW_SETTING *s);
void kgpu_q3_write_units(const ST_KER_GPU_HW_REG *hw, const ST_KGPU_Q3_HW_SETTING *s);
/* 64-bit address plus offset, refused (-33) at 64 GiB or above. */
int kgpu_addr_split(u64 addr, u32 *lo, u8 *hi);

/* ------------------------------------------------------------------------ */
/* Scaler (ker_gpu_q3_scaler.c)                                              */

#define KGPU_COEF_H_WORDS	128
#define KGPU_COEF_V_WORDS	64
#define KGPU_COEF_WORDS		(KGPU_COEF_H_WORDS + KGPU_COEF_V_WORDS)
#define KGPU_COEF_PHASES	32
#define KGPU_COEF_ONE_TAP	0xC0000000u
#define KGPU_COEF_H_ONLY	0x80000000u

extern unsigned int g_GpuOpEnablePartialScaling;
extern unsigned int g_GpuOpForceScaleTap;
extern unsigned int g_GpuOpForceScaleLowPass;
extern const s32 linear_coeff[KGPU_COEF_PHASES][2];
extern const s32 cubic_coeff[KGPU_COEF_PHASES][4];
extern const u32 ScaleCoef_H8V1[KGPU_COEF_WORDS];
extern const u32 ScaleCoef_H8V2[KGPU_COEF_WORDS];
extern const u32 ScaleCoef_H8V4[KGPU_COEF_WORDS];

int _KGPU_Q3_Scaling_Setting(const KER_GPU_PLANE *pstSrc, const KER_GPU_PLANE *pstDst,
			     const _ST_KER_GPU_SCLP_SETTING *pstScale,
			     ST_KGPU_SCALING_CTX *ctx);
int _KGPU_Q3_PartialScaling_Setting(const _ST_KER_GPU_SCLP_SETTING *pstScale,
				    ST_KGPU_SCALING_CTX *ctx);
int _KGPU_Q3_Scaling_Step_Calc(u32 src, u32 dst, u8 *hi, u32 *step);
void kgpu_scaling_mode_choice(const _ST_KER_GPU_SCLP_SETTING *pstScale,
			      u32 srcW, u32 dstW, u8 *mode, u8 *lowpass);
void kgpu_end_phase(u32 start, u8 start_hi, u32 step, u8 step_hi, u32 size,
		    u32 *end, u8 *end_hi);
void _KGPU_Q3_Scaling_Coef(int engine, const ST_KER_GPU_HW_REG *hw, ST_KGPU_Q3_FUNC *f);
int _GPU_Q3_Scaler_H_with_Lpf_Coef_Set(const s32 *base, int taps, int lpf, u32 *out);
int _GPU_Q3_Scaler_V_with_Lpf_Coef_Set(const s32 *base, int taps, int lpf, u32 *out);
void _GPU_Q3_Scaler_Coef_Set(const ST_KER_GPU_HW_REG *hw, const u32 *words, int count);
void _GPU_Q3_Scaler_Coef_Print(const u32 *words, int taps);
void _GPU_Q3_Scaler_Coef_Reset(const ST_KER_GPU_HW_REG *hw, int a, int b);
int KGPU_Q3_Scaling_Coef_Initial(void);
int KGPU_Q3_Scaling_Coef_Rusume(void);
void kgpu_scaling_to_unit(const ST_KGPU_SCALING_CTX *ctx, ST_KGPU_Q3_SCALER *s);

/* ------------------------------------------------------------------------ */
/* Q3 backend (ker_gpu_hw_q3.c)                                              */

extern ST_KER_GPU_INIT g_Kgpu_Q3_Ctrl_Ctx;
extern u64 g_kgpu_q3_last_pc;
extern u32 g_kgpu_q3_irq_pc;
extern u32 g_kgpu_q3_cmd_irq_cnt;

int KGPU_OP_Q3_Initial(const ST_KER_GPU_INIT *pstInit);
int KGPU_OP_Q3_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill,
		    _ST_KER_GPU_BLEND_SETTING *pstBlend);
int KGPU_OP_Q3_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst);
int KGPU_OP_Q3_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				   _ST_KER_GPU_SCLP_SETTING *pstScale);
int KGPU_OP_Q3_BlendScale(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
			  KER_GPU_PLANE *pstDst, _ST_KER_GPU_BLEND_SETTING *pstBlend,
			  _ST_KER_GPU_SCLP_SETTING *pstScale);
int KGPU_OP_Q3_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
			  EN_KER_GPU_FLIP_ROTATE_MODE enMode);
int KGPU_OP_Q3_CmdMode(u32 u32CmdPhyAddr);
void KGPU_OP_Q3_trigger(int engine);
int KGPU_OP_Q3_irq_handle(int engine);
int KGPU_OP_Q3_status(int engine, u32 *pu32Status);
void KGPU_OP_Q3_DumpReg(int engine);
int KGPU_OP_Q3_Which_IP_Use_Bus(int engine);
int KGPU_OP_Q3_Set_Speed_Limit(u32 a, u32 b);
int KGPU_OP_Q3_Rusume(void);
KGPU_CMDBUF_HANDLE KGPU_OP_Q3_CmdBuf_Fill(KER_GPU_PLANE *pstDst);
KGPU_CMDBUF_HANDLE KGPU_OP_Q3_CmdBuf_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst);
KGPU_CMDBUF_HANDLE KGPU_OP_Q3_CmdBuf_Blend(KER_GPU_PLANE *pstSrc1, KER_GPU_PLANE *pstSrc2,
					   KER_GPU_PLANE *pstDst);
void KGPU_OP_Q3_CmdBuf_Free(void *arg);
int _GPU_Q3_Go(int engine, unsigned int mode, KER_GPU_CALLBACK cb1, void *arg1,
	       KER_GPU_CALLBACK cb2, void *arg2);
u32 _GPU_Q3_SpeedLimit_Set(u32 a, u32 b);
u32 KGPU_Q3_Reg_Plane_Size(u32 w, u32 h);
u64 KGPU_Q3_Reg_Plane_Addr(const KER_GPU_PLANE *pstPlane, u32 x, u32 y);

void KGPU_OP_Q3_Reset(int engine);

/* ------------------------------------------------------------------------ */
/* Q2 backend (ker_gpu_hw_q2.c)                                              */

#define KGPU_Q2_OP_FILL		0
#define KGPU_Q2_OP_COPY		1
#define KGPU_Q2_OP_SCALE	2

extern ST_KER_GPU_INIT g_Kgpu_Q2_Ctrl_Ctx;
extern u64 g_kgpu_q2_last_pc;

int KGPU_OP_Q2_Initial(const ST_KER_GPU_INIT *pstInit);
int KGPU_OP_Q2_Set_Speed_Limit(u32 a, u32 b);
int KGPU_OP_Q2_IMVQ_Accelerate_Case(const KER_GPU_PLANE *pstSrc,
				    const KER_GPU_PLANE *pstDst, int op);
int KGPU_OP_Q2_IMVQ_Accelerate_Scaling(const _ST_KER_GPU_SCLP_SETTING *pstScale);
int KGPU_OP_Q2_Fill(KER_GPU_PLANE *pstDst, _ST_KER_GPU_FILL_SETTING *pstFill);
int KGPU_OP_Q2_Copy(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst);
int KGPU_OP_Q2_Scale_LowPassFilter(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
				   _ST_KER_GPU_SCLP_SETTING *pstScale);
int KGPU_OP_Q2_FlipRotate(KER_GPU_PLANE *pstSrc, KER_GPU_PLANE *pstDst,
			  EN_KER_GPU_FLIP_ROTATE_MODE enMode);
void KGPU_OP_Q2_trigger(int engine);
u32 KGPU_OP_Q2_Using_SRAM(int engine);
void KGPU_OP_Q2_CmdBuf_Free(void *arg);
KGPU_CMDBUF_HANDLE KGPU_OP_Q2_CmdBuf_Fill(const KER_GPU_PLANE *pstDst, int *pRet);
KGPU_CMDBUF_HANDLE KGPU_OP_Q2_CmdBuf_Copy(const KER_GPU_PLANE *pstSrc, const KER_GPU_PLANE *pstDst,
					  int *pRet);
int _GPU_Q2_Go(int engine, unsigned int mode, KER_GPU_CALLBACK cb1, void *arg1,
	       KER_GPU_CALLBACK cb2, void *arg2);
int _KGPU_OP_Set_UV_mode(const KER_GPU_PLANE *pstSrc, const KER_GPU_PLANE *pstDst);
int _KGPU_Q2_SpeedLimit_Set(u32 a, u32 b, int fill, int factor);
const char *_KGPU_Q2_FractionToStr(u32 num, u32 den);

/* Feature test shared by the layer and Q2. */
static inline bool kgpu_nv12_acc(void)
{
	return READ_ONCE(g_GpuHwFeature) & READ_ONCE(g_GpuFeatureMask) &
	       KER_GPU_HW_FEATURE_NV12_ACC;
}

/* A backend context's register block for one engine, or NULL. */
static inline const ST_KER_GPU_HW_REG *kgpu_ctx_hw(const ST_KER_GPU_INIT *c, int engine)
{
	if (!c->pstHwReg || engine < 0 || engine >= c->HwNum)
		return NULL;
	return &c->pstHwReg[engine];
}

#endif /* KER_GPU_HW_H */

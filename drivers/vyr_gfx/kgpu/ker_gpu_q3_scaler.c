// SPDX-License-Identifier: GPL-2.0
/*
 * 2D engine scaler: scale steps and phases (13.19 fixed point, 40 bits),
 * the partial-scaling clip window, and the polyphase coefficient sets
 * loaded through the coefficient port.
 */
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/string.h>
#include "ker_gpu_hw.h"

unsigned int g_GpuOpEnablePartialScaling = 2;
module_param(g_GpuOpEnablePartialScaling, uint, 0644);
MODULE_PARM_DESC(g_GpuOpEnablePartialScaling,
		 "Partial scaling: 0 off, 1 crop, 2 crop and filter taps");
unsigned int g_GpuOpForceScaleTap;
module_param(g_GpuOpForceScaleTap, uint, 0644);
MODULE_PARM_DESC(g_GpuOpForceScaleTap, "Force scaling taps: 1, 2 or 4 (0: as asked)");
unsigned int g_GpuOpForceScaleLowPass;
module_param(g_GpuOpForceScaleLowPass, uint, 0644);
MODULE_PARM_DESC(g_GpuOpForceScaleLowPass, "Force the low-pass strength (0: as asked)");

#define KGPU_PARTIAL_MARKER	3579

const s32 linear_coeff[KGPU_COEF_PHASES][2] = {
	{ 256, 0 },
	{ 256, 0 },
	{ 252, 4 },
	{ 248, 8 },
	{ 244, 12 },
	{ 240, 16 },
	{ 236, 20 },
	{ 230, 26 },
	{ 224, 32 },
	{ 212, 44 },
	{ 200, 56 },
	{ 188, 68 },
	{ 176, 80 },
	{ 164, 92 },
	{ 152, 104 },
	{ 140, 116 },
	{ 128, 128 },
	{ 116, 140 },
	{ 104, 152 },
	{ 92, 164 },
	{ 80, 176 },
	{ 68, 188 },
	{ 56, 200 },
	{ 44, 212 },
	{ 32, 224 },
	{ 26, 230 },
	{ 20, 236 },
	{ 16, 240 },
	{ 12, 244 },
	{ 8, 248 },
	{ 4, 252 },
	{ 0, 256 },
};

const s32 cubic_coeff[KGPU_COEF_PHASES][4] = {
	{ 0, 256, 0, 0 },
	{ -4, 256, 4, 0 },
	{ -6, 252, 12, -2 },
	{ -9, 248, 19, -2 },
	{ -11, 243, 27, -3 },
	{ -13, 238, 35, -4 },
	{ -15, 233, 42, -4 },
	{ -17, 228, 50, -5 },
	{ -18, 222, 58, -6 },
	{ -18, 213, 68, -7 },
	{ -18, 203, 79, -8 },
	{ -18, 193, 90, -9 },
	{ -18, 182, 102, -10 },
	{ -18, 172, 113, -11 },
	{ -17, 163, 123, -13 },
	{ -17, 153, 134, -14 },
	{ -16, 144, 144, -16 },
	{ -14, 134, 153, -17 },
	{ -13, 123, 163, -17 },
	{ -11, 113, 172, -18 },
	{ -10, 102, 182, -18 },
	{ -9, 90, 193, -18 },
	{ -8, 79, 203, -18 },
	{ -7, 68, 213, -18 },
	{ -6, 58, 222, -18 },
	{ -5, 50, 228, -17 },
	{ -4, 42, 233, -15 },
	{ -4, 35, 238, -13 },
	{ -3, 27, 243, -11 },
	{ -2, 19, 248, -9 },
	{ -2, 12, 252, -6 },
	{ 0, 4, 256, -4 },
};

/* 8-tap horizontal set, phases 0-31 (taps 0-7):
 *   0: 0, 0, 0, 256, 0, 0, 0, 0
 *   1: -1, 2, -7, 257, 7, -3, 1, 0
 *   2: -1, 5, -13, 253, 15, -5, 2, 0
 *   3: -2, 7, -19, 251, 24, -8, 3, 0
 *   4: -3, 9, -24, 248, 33, -11, 4, 0
 *   5: -3, 10, -29, 245, 42, -14, 5, 0
 *   6: -3, 12, -33, 240, 52, -17, 6, -1
 *   7: -4, 13, -36, 235, 62, -20, 7, -1
 *   8: -4, 14, -39, 229, 72, -23, 8, -1
 *   9: -4, 15, -41, 221, 83, -26, 9, -1
 *  10: -4, 16, -43, 214, 94, -29, 10, -2
 *  11: -4, 16, -44, 206, 105, -32, 11, -2
 *  12: -4, 16, -45, 199, 115, -35, 12, -2
 *  13: -4, 16, -45, 189, 126, -37, 13, -2
 *  14: -4, 16, -44, 179, 137, -39, 14, -3
 *  15: -3, 16, -44, 168, 148, -41, 15, -3
 *  16: -2, 12, -40, 158, 158, -40, 12, -2
 *  17: -3, 15, -41, 148, 168, -44, 16, -3
 *  18: -3, 14, -39, 137, 179, -44, 16, -4
 *  19: -2, 13, -37, 126, 189, -45, 16, -4
 *  20: -2, 12, -35, 115, 199, -45, 16, -4
 *  21: -2, 11, -32, 105, 206, -44, 16, -4
 *  22: -2, 10, -29, 94, 214, -43, 16, -4
 *  23: -1, 9, -26, 83, 221, -41, 15, -4
 *  24: -1, 8, -23, 72, 229, -39, 14, -4
 *  25: -1, 7, -20, 62, 235, -36, 13, -4
 *  26: -1, 6, -17, 52, 240, -33, 12, -3
 *  27: 0, 5, -14, 42, 245, -29, 10, -3
 *  28: 0, 4, -11, 33, 248, -24, 9, -3
 *  29: 0, 3, -8, 24, 251, -19, 7, -2
 *  30: 0, 2, -5, 15, 253, -13, 5, -1
 *  31: 0, 1, -3, 7, 257, -7, 2, -1
 */
const u32 ScaleCoef_H8V1[KGPU_COEF_WORDS] = {
	0x10000000, 0x10040000, 0x10000000, 0x10000000, 0x10000A01, 0x10040607,
	0x10080C07, 0x10000001, 0x10001601, 0x1003F60D, 0x1008140F, 0x10000002,
	0x10001E02, 0x1003EE13, 0x10082018, 0x10000003, 0x10002603, 0x1003E218,
	0x10082C21, 0x10000004, 0x10002A03, 0x1003D61D, 0x1008382A, 0x10000005,
	0x10003203, 0x1003C221, 0x10084434, 0x10080406, 0x10003604, 0x1003AE24,
	0x1008503E, 0x10080407, 0x10003A04, 0x10039627, 0x10085C48, 0x10080408,
	0x10003E04, 0x10037629, 0x10086853, 0x10080409, 0x10004204, 0x10035A2B,
	0x1008745E, 0x1008080A, 0x10004204, 0x10033A2C, 0x10088069, 0x1008080B,
	0x10004204, 0x10031E2D, 0x10088C73, 0x1008080C, 0x10004204, 0x1002F62D,
	0x1008947E, 0x1008080D, 0x10004204, 0x1002CE2C, 0x10089C89, 0x10080C0E,
	0x10004203, 0x1002A22C, 0x1008A494, 0x10080C0F, 0x10003202, 0x10027A28,
	0x1008A09E, 0x1008080C, 0x10003E03, 0x10025229, 0x1008B0A8, 0x10080C10,
	0x10003A03, 0x10022627, 0x1008B0B3, 0x10081010, 0x10003602, 0x1001FA25,
	0x1008B4BD, 0x10081010, 0x10003202, 0x1001CE23, 0x1008B4C7, 0x10081010,
	0x10002E02, 0x1001A620, 0x1008B0CE, 0x10081010, 0x10002A02, 0x10017A1D,
	0x1008ACD6, 0x10081010, 0x10002601, 0x10014E1A, 0x1008A4DD, 0x1008100F,
	0x10002201, 0x10012217, 0x10089CE5, 0x1008100E, 0x10001E01, 0x1000FA14,
	0x100890EB, 0x1008100D, 0x10001A01, 0x1000D211, 0x100884F0, 0x10080C0C,
	0x10001400, 0x1000AA0E, 0x100874F5, 0x10080C0A, 0x10001000, 0x1000860B,
	0x100860F8, 0x10080C09, 0x10000C00, 0x10006208, 0x10084CFB, 0x10080807,
	0x10000800, 0x10003E05, 0x100834FD, 0x10080405, 0x10000400, 0x10001E03,
	0x10081D01, 0x10080402, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x20040000, 0x20000000, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
};

const u32 ScaleCoef_H8V2[KGPU_COEF_WORDS] = {
	0x10000000, 0x10040000, 0x10000000, 0x10000000, 0x10000A01, 0x10040607,
	0x10080C07, 0x10000001, 0x10001601, 0x1003F60D, 0x1008140F, 0x10000002,
	0x10001E02, 0x1003EE13, 0x10082018, 0x10000003, 0x10002603, 0x1003E218,
	0x10082C21, 0x10000004, 0x10002A03, 0x1003D61D, 0x1008382A, 0x10000005,
	0x10003203, 0x1003C221, 0x10084434, 0x10080406, 0x10003604, 0x1003AE24,
	0x1008503E, 0x10080407, 0x10003A04, 0x10039627, 0x10085C48, 0x10080408,
	0x10003E04, 0x10037629, 0x10086853, 0x10080409, 0x10004204, 0x10035A2B,
	0x1008745E, 0x1008080A, 0x10004204, 0x10033A2C, 0x10088069, 0x1008080B,
	0x10004204, 0x10031E2D, 0x10088C73, 0x1008080C, 0x10004204, 0x1002F62D,
	0x1008947E, 0x1008080D, 0x10004204, 0x1002CE2C, 0x10089C89, 0x10080C0E,
	0x10004203, 0x1002A22C, 0x1008A494, 0x10080C0F, 0x10003202, 0x10027A28,
	0x1008A09E, 0x1008080C, 0x10003E03, 0x10025229, 0x1008B0A8, 0x10080C10,
	0x10003A03, 0x10022627, 0x1008B0B3, 0x10081010, 0x10003602, 0x1001FA25,
	0x1008B4BD, 0x10081010, 0x10003202, 0x1001CE23, 0x1008B4C7, 0x10081010,
	0x10002E02, 0x1001A620, 0x1008B0CE, 0x10081010, 0x10002A02, 0x10017A1D,
	0x1008ACD6, 0x10081010, 0x10002601, 0x10014E1A, 0x1008A4DD, 0x1008100F,
	0x10002201, 0x10012217, 0x10089CE5, 0x1008100E, 0x10001E01, 0x1000FA14,
	0x100890EB, 0x1008100D, 0x10001A01, 0x1000D211, 0x100884F0, 0x10080C0C,
	0x10001400, 0x1000AA0E, 0x100874F5, 0x10080C0A, 0x10001000, 0x1000860B,
	0x100860F8, 0x10080C09, 0x10000C00, 0x10006208, 0x10084CFB, 0x10080807,
	0x10000800, 0x10003E05, 0x100834FD, 0x10080405, 0x10000400, 0x10001E03,
	0x10081D01, 0x10080402, 0x20040000, 0x20000000, 0x20040000, 0x20000000,
	0x2003F000, 0x20000004, 0x2003E000, 0x20000008, 0x2003D000, 0x2000000C,
	0x2003C000, 0x20000010, 0x2003B000, 0x20000014, 0x20039800, 0x2000001A,
	0x20038000, 0x20000020, 0x20035000, 0x2000002C, 0x20032000, 0x20000038,
	0x2002F000, 0x20000044, 0x2002C000, 0x20000050, 0x20029000, 0x2000005C,
	0x20026000, 0x20000068, 0x20023000, 0x20000074, 0x20020000, 0x20000080,
	0x2001D000, 0x2000008C, 0x2001A000, 0x20000098, 0x20017000, 0x200000A4,
	0x20014000, 0x200000B0, 0x20011000, 0x200000BC, 0x2000E000, 0x200000C8,
	0x2000B000, 0x200000D4, 0x20008000, 0x200000E0, 0x20006800, 0x200000E6,
	0x20005000, 0x200000EC, 0x20004000, 0x200000F0, 0x20003000, 0x200000F4,
	0x20002000, 0x200000F8, 0x20001000, 0x200000FC, 0x20000000, 0x20000100,
};

const u32 ScaleCoef_H8V4[KGPU_COEF_WORDS] = {
	0x10000000, 0x10040000, 0x10000000, 0x10000000, 0x10000A01, 0x10040607,
	0x10080C07, 0x10000001, 0x10001601, 0x1003F60D, 0x1008140F, 0x10000002,
	0x10001E02, 0x1003EE13, 0x10082018, 0x10000003, 0x10002603, 0x1003E218,
	0x10082C21, 0x10000004, 0x10002A03, 0x1003D61D, 0x1008382A, 0x10000005,
	0x10003203, 0x1003C221, 0x10084434, 0x10080406, 0x10003604, 0x1003AE24,
	0x1008503E, 0x10080407, 0x10003A04, 0x10039627, 0x10085C48, 0x10080408,
	0x10003E04, 0x10037629, 0x10086853, 0x10080409, 0x10004204, 0x10035A2B,
	0x1008745E, 0x1008080A, 0x10004204, 0x10033A2C, 0x10088069, 0x1008080B,
	0x10004204, 0x10031E2D, 0x10088C73, 0x1008080C, 0x10004204, 0x1002F62D,
	0x1008947E, 0x1008080D, 0x10004204, 0x1002CE2C, 0x10089C89, 0x10080C0E,
	0x10004203, 0x1002A22C, 0x1008A494, 0x10080C0F, 0x10003202, 0x10027A28,
	0x1008A09E, 0x1008080C, 0x10003E03, 0x10025229, 0x1008B0A8, 0x10080C10,
	0x10003A03, 0x10022627, 0x1008B0B3, 0x10081010, 0x10003602, 0x1001FA25,
	0x1008B4BD, 0x10081010, 0x10003202, 0x1001CE23, 0x1008B4C7, 0x10081010,
	0x10002E02, 0x1001A620, 0x1008B0CE, 0x10081010, 0x10002A02, 0x10017A1D,
	0x1008ACD6, 0x10081010, 0x10002601, 0x10014E1A, 0x1008A4DD, 0x1008100F,
	0x10002201, 0x10012217, 0x10089CE5, 0x1008100E, 0x10001E01, 0x1000FA14,
	0x100890EB, 0x1008100D, 0x10001A01, 0x1000D211, 0x100884F0, 0x10080C0C,
	0x10001400, 0x1000AA0E, 0x100874F5, 0x10080C0A, 0x10001000, 0x1000860B,
	0x100860F8, 0x10080C09, 0x10000C00, 0x10006208, 0x10084CFB, 0x10080807,
	0x10000800, 0x10003E05, 0x100834FD, 0x10080405, 0x10000400, 0x10001E03,
	0x10081D01, 0x10080402, 0x20040000, 0x20000000, 0x20040204, 0x20000004,
	0x2003F206, 0x2008080C, 0x2003E209, 0x20080813, 0x2003CE0B, 0x20080C1B,
	0x2003BA0D, 0x20081023, 0x2003A60F, 0x2008102A, 0x20039211, 0x20081432,
	0x20037A12, 0x2008183A, 0x20035612, 0x20081C44, 0x20032E12, 0x2008204F,
	0x20030612, 0x2008245A, 0x2002DA12, 0x20082866, 0x2002B212, 0x20082C71,
	0x20028E11, 0x2008347B, 0x20026611, 0x20083886, 0x20024210, 0x20084090,
	0x20021A0E, 0x20084499, 0x2001EE0D, 0x200844A3, 0x2001C60B, 0x200848AC,
	0x20019A0A, 0x200848B6, 0x20016A09, 0x200848C1, 0x20013E08, 0x200848CB,
	0x20011207, 0x200848D5, 0x2000EA06, 0x200848DE, 0x2000CA05, 0x200844E4,
	0x2000AA04, 0x20083CE9, 0x20008E04, 0x200834EE, 0x20006E03, 0x20082CF3,
	0x20004E02, 0x200824F8, 0x20003202, 0x200818FC, 0x20001000, 0x20081100,
};

/*
 * Generated sets are staged here, horizontal words first, so a whole set
 * loads as one run. One set per engine: two engines scale concurrently.
 */
static u32 kgpu_coef_stage[KER_GPU_MAX_ENGINES][KGPU_COEF_WORDS];

int KGPU_Q3_Scaling_Coef_Initial(void)
{
	return 0;
}

int KGPU_Q3_Scaling_Coef_Rusume(void)
{
	return 0;
}

int _KGPU_Q3_Scaling_Step_Calc(u32 src, u32 dst, u8 *hi, u32 *step)
{
	u64 v;

	if (dst < 2) {
		*hi = 0;
		*step = 1;
		return 0;
	}
	v = ((u64)src << 19) - 0x80000;
	v = v / (dst - 1) + 1;
	*hi = (v >> 32) & 0xFF;
	*step = lower_32_bits(v);
	KGPU_OP_MSG("[MSG]%s(%d, %d) calc (0x%X%08X / 0x%08X) + 1 = 0x%X%08X\n",
		    __func__, src, dst, upper_32_bits(((u64)src << 19) - 0x80000),
		    lower_32_bits(((u64)src << 19) - 0x80000), dst - 1, *hi, *step);
	return 0;
}

static void kgpu_step(u32 src, u32 dst, u8 *hi, u32 *step)
{
	*hi = 0;
	if (src == 1 || dst == 1)
		*step = 1;
	else if (src < 8192)
		*step = (((src << 19) - 0x80000) / (dst - 1)) + 1;
	else
		_KGPU_Q3_Scaling_Step_Calc(src, dst, hi, step);
}

void kgpu_end_phase(u32 start, u8 start_hi, u32 step, u8 step_hi, u32 size,
		    u32 *end, u8 *end_hi)
{
	u64 v = ((u64)start_hi << 32) | start;

	if (size >= 2)
		v += (((u64)step_hi << 32) | step) * (size - 1);
	*end = lower_32_bits(v);
	*end_hi = (v >> 32) & 0xFF;
}

void kgpu_scaling_mode_choice(const _ST_KER_GPU_SCLP_SETTING *sc, u32 srcW, u32 dstW,
			      u8 *mode, u8 *lowpass)
{
	static const u8 table[8][2] = {
		{ 0, 0 }, { 0, 0 }, { 0, 0 }, { 0, 4 }, { 0, 10 }, { 2, 2 }, { 1, 8 }, { 0, 0 },
	};
	u32 op;

	*lowpass = 0;
	if (sc && sc->ScaleHwVersion) {
		*mode = sc->ScaleOp_Mode;
		*lowpass = sc->LowPass_Mode;
		return;
	}
	op = sc ? sc->ScaleOp_Mode & 0xF : 0;
	if (!sc || op == 0) {
		*mode = srcW != dstW ? 1 : 32;
	} else if (op == 1) {
		*mode = srcW != dstW ? 1 : 64;
	} else {
		*mode = table[op < 8 ? op : 7][0];
		*lowpass = table[op < 8 ? op : 7][1];
	}
}

static u32 kgpu_min(s64 a, u32 b)
{
	if (a < 0)
		return 0;
	return a < b ? a : b;
}

/* One direction of the clip window: returns -33 when nothing is left. */
static int kgpu_partial_dir(s32 lo, s32 hi, s32 *dx, s32 *dw, s32 *sx, s32 *sw,
			    u32 step, u8 step_hi, u32 *phase, u8 *tap_a, u8 *tap_b,
			    u32 max_a, u32 max_b, bool taps)
{
	s32 ox = *dx, osx = *sx, osw = *sw;
	u64 st = ((u64)step_hi << 32) | step;
	u64 off;
	s64 d;

	if (*dw < 2)
		return 0;
	if (*dx < lo) {
		*dw -= lo - *dx;
		*dx = lo;
	}
	if ((s64)*dx + *dw - 1 > hi)
		*dw = hi - *dx + 1;
	if (*dw < 1)
		return -33;
	d = *dx - ox;
	off = st * d;
	*sx = osx + (s32)(off >> 19);
	*phase = off & 0x7FFFF;
	*sw = (s32)((*phase + (u64)(*dw - 1) * st) >> 19) + 1;
	if (taps) {
		*tap_a = kgpu_min(*sx, max_a);
		*tap_b = kgpu_min((s64)osx + osw - *sx - *sw, max_b);
	}
	return 0;
}

int _KGPU_Q3_PartialScaling_Setting(const _ST_KER_GPU_SCLP_SETTING *sc,
				    ST_KGPU_SCALING_CTX *c)
{
	unsigned int mode = READ_ONCE(g_GpuOpEnablePartialScaling);
	bool taps = mode >= 2, trace;
	ST_KGPU_SCALING_CTX old = *c;
	int ret;

	if (!sc || sc->Partial_Marker != KGPU_PARTIAL_MARKER || !mode)
		return 0;
	ret = kgpu_partial_dir(sc->X1, sc->X2, &c->DstX, &c->DstW, &c->SrcX, &c->SrcW,
			       c->StepH, c->HiFactorH, &c->StartPhaseH, &c->TapL, &c->TapR,
			       3, 4, taps);
	if (!ret)
		ret = kgpu_partial_dir(sc->Y1, sc->Y2, &c->DstY, &c->DstH, &c->SrcY,
				       &c->SrcH, c->StepV, c->HiFactorV, &c->StartPhaseV,
				       &c->TapT, &c->TapB, 1, 2, taps);
	trace = READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_SCALE;
	if (trace) {
		printk(KERN_INFO "%s() Ori Src  X:Y   WxH  = %d:%d %dx%d \n", __func__,
		       old.SrcX, old.SrcY, old.SrcW, old.SrcH);
		printk(KERN_INFO "%s() Ori Dst  X:Y   WxH  = %d:%d %dx%d \n", __func__,
		       old.DstX, old.DstY, old.DstW, old.DstH);
		printk(KERN_INFO "%s()    Clip X1:Y1 X2:Y2 = %d:%d %d:%d \n", __func__,
		       sc->X1, sc->Y1, sc->X2, sc->Y2);
		printk(KERN_INFO "%s() New Src  X:Y   WxH  = %d:%d %dx%d \n", __func__,
		       c->SrcX, c->SrcY, c->SrcW, c->SrcH);
		printk(KERN_INFO "%s() New Dst  X:Y   WxH  = %d:%d %dx%d \n", __func__,
		       c->DstX, c->DstY, c->DstW, c->DstH);
		printk(KERN_INFO "%s() Start Phase H-V     = %08X-%08X \n", __func__,
		       c->StartPhaseH, c->StartPhaseV);
		printk(KERN_INFO "%s() Left - Right   Cnt  = %d-%d \n", __func__, c->TapL, c->TapR);
		printk(KERN_INFO "%s() Top  - Bottom  Cnt  = %d-%d \n", __func__, c->TapT, c->TapB);
	}
	if (ret)
		KGPU_OP_ERR("%s() clip window %d:%d %d:%d misses the destination\n",
			    __func__, sc->X1, sc->Y1, sc->X2, sc->Y2);
	return ret;
}

int _KGPU_Q3_Scaling_Setting(const KER_GPU_PLANE *src, const KER_GPU_PLANE *dst,
			     const _ST_KER_GPU_SCLP_SETTING *sc, ST_KGPU_SCALING_CTX *c)
{
	unsigned int force;
	int ret;

	memset(c, 0, sizeof(*c));
	c->SrcX = src->ClipOn ? src->Clip_x : 0;
	c->SrcY = src->ClipOn ? src->Clip_y : 0;
	c->SrcW = src->W;
	c->SrcH = src->H;
	c->DstX = dst->ClipOn ? dst->Clip_x : 0;
	c->DstY = dst->ClipOn ? dst->Clip_y : 0;
	c->DstW = dst->W;
	c->DstH = dst->H;
	c->StepH = c->StepV = KGPU_STEP_ONE;

	/* Sizes are checked before any step is derived from them. */
	if (!c->SrcW || !c->SrcH) {
		KGPU_OP_ERR("Out Src WxH = %dx%d, setting error !!!!\n", c->SrcW, c->SrcH);
		return -33;
	}
	if (!c->DstW || !c->DstH) {
		KGPU_OP_ERR("Out Dst WxH = %dx%d, setting error !!!!\n", c->DstW, c->DstH);
		return -33;
	}

	if (c->SrcW != c->DstW || c->SrcH != c->DstH) {
		c->Scaling = 1;
		kgpu_scaling_mode_choice(sc, c->SrcW, c->DstW, &c->Scaling_Mode,
					 &c->LowPass_Mode);
		force = READ_ONCE(g_GpuOpForceScaleTap);
		if (force == 1)
			c->Scaling_Mode = 0;
		else if (force == 2)
			c->Scaling_Mode = 1;
		else if (force == 4)
			c->Scaling_Mode = 2;
		force = READ_ONCE(g_GpuOpForceScaleLowPass);
		if (force)
			c->LowPass_Mode = force;
		if (src->FormatMode == 2 && dst->FormatMode == 2) {
			c->Scaling_Mode = 0;
			c->LowPass_Mode = 0;
			KGPU_OP_TRC("%s() palette to palette : ScaleOp_Mode(%d), LowPass_Mode(%d) \n",
				    __func__, c->Scaling_Mode, c->LowPass_Mode);
		}
		if (c->LowPass_Mode >= 11) {
			KGPU_OP_ERR("LowPass_Mode = %d, setting error !!!!\n", c->LowPass_Mode);
			return -33;
		}
		kgpu_step(c->SrcW, c->DstW, &c->HiFactorH, &c->StepH);
		kgpu_step(c->SrcH, c->DstH, &c->HiFactorV, &c->StepV);
		ret = _KGPU_Q3_PartialScaling_Setting(sc, c);
		if (ret)
			return ret;
		if (c->StepH == KGPU_STEP_ONE && !c->HiFactorH)
			c->SrcW = c->DstW;
		if (c->StepV == KGPU_STEP_ONE && !c->HiFactorV)
			c->SrcH = c->DstH;
	}

	kgpu_end_phase(c->StartPhaseH, c->StartHiH, c->StepH, c->HiFactorH, c->DstW,
		       &c->EndPhaseH, &c->EndHiH);
	kgpu_end_phase(c->StartPhaseV, c->StartHiV, c->StepV, c->HiFactorV, c->DstH,
		       &c->EndPhaseV, &c->EndHiV);
	if (c->DstH == 1)
		c->EndPhaseV = c->StartPhaseV + 1;
	if ((c->DstW >= 2 && !c->EndPhaseH && !c->EndHiH) ||
	    (!c->EndPhaseV && !c->EndHiV)) {
		KGPU_OP_ERR("%s() EndPhase H = 0x%08X, V = 0x%08X\n", __func__,
			    c->EndPhaseH, c->EndPhaseV);
		return -34;
	}
	return 0;
}

void kgpu_scaling_to_unit(const ST_KGPU_SCALING_CTX *c, ST_KGPU_Q3_SCALER *s)
{
	s->SrcW = c->SrcW - 1;
	s->SrcH = c->SrcH - 1;
	s->DstW = c->DstW - 1;
	s->DstH = c->DstH - 1;
	s->StartPhaseH = c->StartPhaseH;
	s->StartPhaseV = c->StartPhaseV;
	s->FactorH = c->StepH;
	s->FactorV = c->StepV;
	s->EndPhaseH = c->EndPhaseH;
	s->EndPhaseV = c->EndPhaseV;
	s->TapT = c->TapT;
	s->TapB = c->TapB;
	s->TapL = c->TapL;
	s->TapR = c->TapR;
	s->StartHiH = c->StartHiH;
	s->StartHiV = c->StartHiV;
	s->HiFactorH = c->HiFactorH;
	s->HiFactorV = c->HiFactorV;
	s->EndHiH = c->EndHiH;
	s->EndHiV = c->EndHiV;
}

/* ------------------------------------------------------------------------ */
/* Coefficients                                                              */

static u32 kgpu_coef_pack(s32 a, s32 b, u32 tag)
{
	return KGPU_FLD(abs(a), 0, 9) | (a < 0 ? BIT(9) : 0) |
	       KGPU_FLD(abs(b), 10, 9) | (b < 0 ? BIT(19) : 0) | tag << 28;
}

static void __convolution(const s32 *taps, int n, const s32 *kernel, int k, s32 *out)
{
	int i, j;

	for (i = 0; i < n + k - 1; i++) {
		s32 sum = 0;

		for (j = 0; j < k; j++)
			if (i - j >= 0 && i - j < n)
				sum += taps[i - j] * kernel[j];
		out[i] = sum >= 0 ? (sum + 16) >> 5 : -((16 - sum) >> 5);
	}
}

static void __normalize(s32 *taps, int n)
{
	s32 sum = 0, d;
	int i;

	for (i = 0; i < n; i++)
		sum += taps[i];
	d = 256 - sum;
	taps[0] += d / 2;
	taps[n - 1] += d - d / 2;
}

/* slots: 8 horizontally, 4 vertically. */
static int kgpu_coef_gen(const s32 *base, int taps, int lpf, int slots, u32 tag, u32 *out)
{
	s32 row[10], conv[6];
	s32 kernel[3] = { lpf, 32 - 2 * lpf, lpf };
	int ph, i, w = 0;

	for (ph = 0; ph < KGPU_COEF_PHASES; ph++) {
		const s32 *t = base + ph * taps;
		const s32 *p;

		memset(row, 0, sizeof(row));
		if (!lpf) {
			for (i = 0; i < taps; i++)
				row[(slots - taps) / 2 + i] = t[i];
			p = row;
		} else {
			int wide = slots + 2, off = (wide - (taps + 2)) / 2;

			__convolution(t, taps, kernel, 3, conv);
			__normalize(conv, taps + 2);
			for (i = 0; i < taps + 2; i++)
				row[off + i] = conv[i];
			row[1] += row[0];
			row[wide - 2] += row[wide - 1];
			p = row + 1;
		}
		for (i = 0; i < slots; i += 2)
			out[w++] = kgpu_coef_pack(p[i], p[i + 1], tag);
	}
	return w;
}

int _GPU_Q3_Scaler_H_with_Lpf_Coef_Set(const s32 *base, int taps, int lpf, u32 *out)
{
	if (taps > 8 || taps < 1 || lpf < 0 || lpf > 10) {
		KGPU_OP_ERR("%s() %d taps not support !!!!\n", __func__, taps);
		return -22;
	}
	return kgpu_coef_gen(base, taps, lpf, 8, 1, out);
}

int _GPU_Q3_Scaler_V_with_Lpf_Coef_Set(const s32 *base, int taps, int lpf, u32 *out)
{
	if (taps > 4 || taps < 1 || lpf < 0 || lpf > 10) {
		KGPU_OP_ERR("%s() %d taps not support !!!!\n", __func__, taps);
		return -22;
	}
	return kgpu_coef_gen(base, taps, lpf, 4, 2, out);
}

void _GPU_Q3_Scaler_Coef_Print(const u32 *words, int taps)
{
	int ph, i, per = taps / 2;
	char line[96];

	if (taps != 2 && taps != 4 && taps != 8) {
		printk(KERN_INFO "[TRC]not support tap number %d\n", taps);
		return;
	}
	for (ph = 0; ph < KGPU_COEF_PHASES; ph++) {
		int len = 0;

		for (i = 0; i < per; i++) {
			u32 v = words[ph * per + i];

			len += scnprintf(line + len, sizeof(line) - len, "%s%c%3d, %c%3d",
					 i ? ", " : "", v & BIT(9) ? '-' : ' ', v & 0x1FF,
					 v & BIT(19) ? '-' : ' ', (v >> 10) & 0x1FF);
		}
		printk(KERN_INFO "[TRC]%2d : %s\n", ph, line);
	}
}

void _GPU_Q3_Scaler_Coef_Set(const ST_KER_GPU_HW_REG *hw, const u32 *words, int count)
{
	int i;

	if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRACE) {
		_GPU_Q3_Scaler_Coef_Print(words, 8);
		if (count > KGPU_COEF_H_WORDS)
			_GPU_Q3_Scaler_Coef_Print(words + KGPU_COEF_H_WORDS, 4);
	}
	for (i = 0; i < count; i++)
		kgpu_reg_wr(hw, AGE_COEF_PORT, words[i]);
}

void _GPU_Q3_Scaler_Coef_Reset(const ST_KER_GPU_HW_REG *hw, int a, int b)
{
	kgpu_reg_wr(hw, AGE_COEF_PORT, (u32)(b & 1) << 31 | (u32)(a & 1) << 30);
}

static void kgpu_coef_one_tap(const ST_KER_GPU_HW_REG *hw)
{
	kgpu_reg_wr(hw, AGE_COEF_PORT, KGPU_COEF_ONE_TAP);
}

void _KGPU_Q3_Scaling_Coef(int engine, const ST_KER_GPU_HW_REG *hw, ST_KGPU_Q3_FUNC *f)
{
	u32 *stage = kgpu_coef_stage[engine < KER_GPU_MAX_ENGINES ? engine : 0];
	u32 *vstage = stage + KGPU_COEF_H_WORDS;
	u8 L = f->LowPass;

	switch (f->Scaler) {
	case 0:
		f->Tap = L ? 2 : 0;
		KGPU_OP_TRC("%s", L ? "[TRC]reset to 1 tap Coef.\n" :
				      "[TRC]reset to use 1tap Scaling Coef.\n");
		kgpu_coef_one_tap(hw);
		break;
	case 1:
		f->Tap = L ? 3 : 1;
		KGPU_OP_TRC("%s", L ? "[TRC]Gen H4V4 Scaling Coef.\n" : "[TRC]Gen H2V2 Scaling Coef.\n");
		_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(&linear_coeff[0][0], 2, L, stage);
		_GPU_Q3_Scaler_V_with_Lpf_Coef_Set(&linear_coeff[0][0], 2, L, vstage);
		_GPU_Q3_Scaler_Coef_Set(hw, stage, KGPU_COEF_WORDS);
		break;
	case 2:
		f->Tap = 3;
		KGPU_OP_TRC("%s", L ? "[TRC]Gen H6V4 Scaling Coef.\n" : "[TRC]Gen H4V4 Scaling Coef.\n");
		_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(&cubic_coeff[0][0], 4, L, stage);
		_GPU_Q3_Scaler_V_with_Lpf_Coef_Set(&cubic_coeff[0][0], 4, L, vstage);
		_GPU_Q3_Scaler_Coef_Set(hw, stage, KGPU_COEF_WORDS);
		break;
	case 3:
		f->Tap = 3;
		KGPU_OP_TRC("[TRC]use H8V4 Scaling Coef.\n");
		_GPU_Q3_Scaler_Coef_Set(hw, ScaleCoef_H8V4, KGPU_COEF_WORDS);
		break;
	case 32:
	case 64:
		f->Tap = 0;
		KGPU_OP_TRC("%s", f->Scaler == 32 ? "[TRC]Gen H2V1 Scaling Coef.\n" :
						    "[TRC]Gen H4V1 Scaling Coef.\n");
		kgpu_reg_wr(hw, AGE_COEF_PORT, KGPU_COEF_H_ONLY);
		if (f->Scaler == 32)
			_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(&linear_coeff[0][0], 2, 0, stage);
		else
			_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(&cubic_coeff[0][0], 4, 0, stage);
		_GPU_Q3_Scaler_Coef_Set(hw, stage, KGPU_COEF_H_WORDS);
		break;
	case 128:
		f->Tap = 0;
		KGPU_OP_TRC("[TRC]use H8V1 Scaling Coef.\n");
		_GPU_Q3_Scaler_Coef_Set(hw, ScaleCoef_H8V1, KGPU_COEF_WORDS);
		break;
	case 129:
		f->Tap = 0;
		KGPU_OP_TRC("[TRC]use H8V2 Scaling Coef.\n");
		_GPU_Q3_Scaler_Coef_Set(hw, ScaleCoef_H8V2, KGPU_COEF_WORDS);
		break;
	default:
		KGPU_OP_ERR("Scaler_Mode = %d, lpf_tap = %d, not support !!!!\n",
			    f->Scaler, L ? 2 : 0);
		KGPU_OP_TRC("[TRC]reset to use 1tap Scaling Coef.\n");
		kgpu_coef_one_tap(hw);
		break;
	}
}

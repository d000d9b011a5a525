/* SPDX-License-Identifier: GPL-2.0 */
/*
 * DispAge operation layer: fill and format transform programmed on the
 * engine's registers. The driver core hands over the mapped windows and its
 * lock, start-and-wait and unlock operations once, at probe.
 */
#ifndef KER_DISPAGE_OP_H
#define KER_DISPAGE_OP_H

#include <linux/types.h>
#include <linux/kernel.h>
#include <linux/printk.h>
#include "uapi/vyr_dispage.h"

typedef struct ST_KDISPAGE_OP_INIT {
	void __iomem *RegBase;		/* DispAge registers */
	void __iomem *SecureRegBase;	/* address registers */
	void __iomem *LpaeReg;		/* high address bits; NULL on chips without it */
	int (*pfLock)(void);
	int (*pfTrigger)(void);
	void (*pfUnlock)(void);
	unsigned long Reserved;
} ST_KDISPAGE_OP_INIT;

typedef struct ST_KDISPAGE_COLOR_FMT {
	u32 u32Id;
	u32 u32Separate;
	u32 u32Bits[3];		/* bits per pixel of planes 0, 1, 2 */
	u32 u32HSub;		/* 1: chroma halved horizontally */
	u32 u32VSub;		/* 1: chroma halved vertically */
	char szName[20];
} ST_KDISPAGE_COLOR_FMT;

#define KDISPAGE_COLOR_TABLE_ROWS 24
extern const ST_KDISPAGE_COLOR_FMT g_dispage_color_table[KDISPAGE_COLOR_TABLE_ROWS];

/* Registers of the DispAge window. */
#define DISPAGE_REG_CTRL	0x00
#define DISPAGE_REG_FORMAT	0x04
#define DISPAGE_REG_SRC_OPT	0x08
#define DISPAGE_REG_FILL_COLOR	0x20
#define DISPAGE_REG_SIZE	0x28
#define DISPAGE_REG_SRC_STRIDE	0x3C
#define DISPAGE_REG_DST_STRIDE	0x40
#define DISPAGE_REG_DST_CLIP	0x44
#define DISPAGE_REG_AUX0	0x68
#define DISPAGE_REG_MATRIX0	0x74
#define DISPAGE_REG_SRC_CLIP	0x84
#define DISPAGE_REG_MATRIX_C22	0x88
#define DISPAGE_REG_INT_EN	0xAC
#define DISPAGE_REG_INT_STATUS	0xB0
#define DISPAGE_REG_FEEDBACK	0xB4
#define DISPAGE_REG_HW_ID	0x140
#define DISPAGE_REG_LAST	0x14C

#define DISPAGE_CTRL_START	0x1u
#define DISPAGE_INT_DONE	0x1000u
#define DISPAGE_INT_ERRORS	0x78010100u
#define DISPAGE_INT_ENABLE_ALL	0x780111FFu
#define DISPAGE_HW_ID		0x01020000u

/* Secure (address) window. */
#define DISPAGE_SREG_SRC_ADDR0	0x48
#define DISPAGE_SREG_SRC_ADDR1	0x4C
#define DISPAGE_SREG_DST_ADDR0	0x50
#define DISPAGE_SREG_DST_ADDR1	0x54
#define DISPAGE_SREG_DST_ADDR2	0x6C
#define DISPAGE_SREG_SRC_ADDR2	0x70

#define DISPAGE_STD_601		601
#define DISPAGE_STD_709		709

/* Messages carry the 2D engine's tags. */
#define DISPAGE_ERR_TAG	"\033[0;32;41m[ERR_DRV_GPU]\033[0m"
#define DISPAGE_PRINT(mask, bit, level, tag, fmt, ...) \
	do { if (READ_ONCE(mask) & (bit)) printk(level tag fmt, ##__VA_ARGS__); } while (0)

extern unsigned int g_DispAgeDbgMask;
extern unsigned int g_DispAgeOpDbgMask;

#define DISPAGE_ERR(fmt, ...) DISPAGE_PRINT(g_DispAgeDbgMask, 0x1, KERN_ERR, DISPAGE_ERR_TAG, fmt, ##__VA_ARGS__)
#define DISPAGE_MSG(fmt, ...) DISPAGE_PRINT(g_DispAgeDbgMask, 0x4, KERN_INFO, "[MSG_DRV_GPU]", fmt, ##__VA_ARGS__)
#define DISPAGE_TRC(fmt, ...) DISPAGE_PRINT(g_DispAgeDbgMask, 0x8, KERN_INFO, "[TRC_DRV_GPU]", fmt, ##__VA_ARGS__)
#define DISPAGE_DBG(fmt, ...) printk(KERN_INFO "[DBG_DRV_GPU]" fmt, ##__VA_ARGS__)

#define DISPAGE_OP_ERR(fmt, ...) DISPAGE_PRINT(g_DispAgeOpDbgMask, 0x1, KERN_ERR, DISPAGE_ERR_TAG, fmt, ##__VA_ARGS__)
#define DISPAGE_OP_MSG(fmt, ...) DISPAGE_PRINT(g_DispAgeOpDbgMask, 0x4, KERN_INFO, "[MSG_DRV_GPU]", fmt, ##__VA_ARGS__)
#define DISPAGE_OP_TRC(fmt, ...) DISPAGE_PRINT(g_DispAgeOpDbgMask, 0x8, KERN_INFO, "[TRC_DRV_GPU]", fmt, ##__VA_ARGS__)

int KDispAge_OP_Initial(const ST_KDISPAGE_OP_INIT *pstInit);
/* Forgets the windows handed over at probe (they are unmapped at exit). */
void KDispAge_OP_Terminate(void);
int KDispAge_OP_Fill(ST_KDISPAGE_PLANE *pstDst, u32 u32Color);
int KDispAge_OP_FormatTransform(ST_KDISPAGE_PLANE *pstSrc, ST_KDISPAGE_PLANE *pstDst);
void KDispAge_Op_DumpReg(void);
const ST_KDISPAGE_COLOR_FMT *KDispAge_Op_FindFormat(u32 u32Id);

int _DispAge_Op_Format_Domain(u32 u32Format);
int _DispAge_Op_ColorTransform_Enable(u8 u8On);
int _DispAge_Op_ColorTransform_Coefficient(u8 u8Row, s16 s16C0, s16 s16C1, s16 s16C2, s32 s32Offset);
int _DispAge_Op_ColorTransform_RGB2YUV(u32 u32Std, u32 u32Range);
int _DispAge_Op_ColorTransform_YUV2RGB(u32 u32Std, u32 u32Range, u32 u32Order);
int _DispAge_Op_ColorTransform_RGBswap_mode(u32 u32Order);
int _DispAge_Op_ColorTransform_Setting(int s32SrcDomain, int s32DstDomain, u32 u32Std, u32 u32Range,
				       u32 u32Order);

void Ker_DispAge_Op_Disable_All_DbgMask(void);
void Ker_DispAge_Op_ToggleDbgMask(u32 u32Row);
void Ker_DispAge_Op_PrintDbgGroup(u32 u32Base);

#endif /* KER_DISPAGE_OP_H */

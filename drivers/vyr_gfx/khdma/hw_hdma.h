/* SPDX-License-Identifier: GPL-2.0 */
/* HDMA register layer: four channels programmed for one transfer each. */
#ifndef HW_HDMA_H
#define HW_HDMA_H

#include <linux/types.h>
#include <linux/compiler.h>

#define HDMA_REG_BASE		0xFC0C0000UL
#define HDMA_REG_SIZE		768
#define HDMA_CHANNELS		4

#define HDMA_REG_HIGH_ADDR	0x3C
#define HDMA_REG_READ_DELAY	0x78
#define HDMA_REG_READ_DELAY_EN	0x7C
#define HDMA_CH(c)		(0x40 * (c))
#define HDMA_REG_HLINE		0x80
#define HDMA_REG_TRIG_MODE	0x84
#define HDMA_REG_CTRL		0x88
#define HDMA_REG_ENABLE_A	0x8C
#define HDMA_REG_SRC		0x90
#define HDMA_REG_DST		0x94
#define HDMA_REG_LEN		0x98
#define HDMA_REG_DATA		0x9C
#define HDMA_REG_START		0xA0
#define HDMA_REG_FINISH		0xA4
#define HDMA_REG_ENABLE_B	0xA8
#define HDMA_REG_FINISH_HLINE	0xAC
#define HDMA_REG_BIST_ADDR	0x200
#define HDMA_REG_BIST_LEN	0x204
#define HDMA_REG_BIST_VALUE	0x208
#define HDMA_REG_BIST_BURST	0x20C
#define HDMA_REG_BIST_CTRL	0x210
#define HDMA_REG_BIST_STATUS	0x214
#define HDMA_REG_BIST_FAIL_ADDR	0x218
#define HDMA_REG_BIST_DATA_LO	0x220
#define HDMA_REG_BIST_DATA_HI	0x224
#define HDMA_REG_BIST_GOLD_LO	0x228
#define HDMA_REG_BIST_GOLD_HI	0x22C
#define HDMA_REG_BIST_DELAY0	0x240
#define HDMA_REG_BIST_DELAY1	0x244

#define HDMA_CLK_RESET_A	70
#define HDMA_CLK_RESET_B	16

typedef struct ST_KER_HDMA_OP {
	void __iomem *RegBase;
	int (*pfLock)(void);
	int (*pfWait)(u32 u32TimeoutMs, u32 u32Channel);
	void (*pfUnlock)(void);
} ST_KER_HDMA_OP;

typedef struct ST_HDMA_FILL {
	u32 u32DstMode;		/* 0 DST_INCRE, else DST_FIXED */
	u64 u64DstAddr;
	u32 u32Data;
	u32 u32Length;
} ST_HDMA_FILL;

typedef struct ST_HDMA_COPY {
	u32 u32DstMode;
	u64 u64SrcAddr;
	u64 u64DstAddr;
	u32 u32Length;
} ST_HDMA_COPY;

typedef struct ST_HDMA_DATA_ADDR {
	u64 u64SrcAddr;		/* entry list {u32 data, u32 address} */
	u32 u32Length;		/* bytes */
} ST_HDMA_DATA_ADDR;

typedef struct ST_HDMA_CH_SETTING {
	u32 SrcAddr;
	u32 DstAddr;
	u32 Length;
	u16 HLine;
	u32 FillData;
	u32 Ctrl;
	u32 Valid;
	u32 TriggerMode;
} ST_HDMA_CH_SETTING;

typedef struct ST_HDMA_BIST {
	u32 u32Mode;
	u32 u32Option;
	u32 u32StartAddr;
	u32 u32WriteValue;
	u32 u32WriteLength;
	u32 u32BurstLength;
} ST_HDMA_BIST;

/* No channel claimed. */
#define HDMA_NO_CHANNEL 0xFFFFFFFFu

extern unsigned int g_HDMADbgMask;

#define HDMA_PFX_ERR "\033[0;32;41m[ERR_DRV_HDMA]\033[0m"
#define HDMA_ERR(fmt, ...) do { if (g_HDMADbgMask & 0x1) printk(KERN_ERR HDMA_PFX_ERR fmt, ##__VA_ARGS__); } while (0)
#define HDMA_WRN(fmt, ...) do { if (g_HDMADbgMask & 0x2) printk(KERN_WARNING "[WRN_DRV_HDMA]" fmt, ##__VA_ARGS__); } while (0)
#define HDMA_INF(fmt, ...) do { if (g_HDMADbgMask & 0x4) printk(KERN_INFO fmt, ##__VA_ARGS__); } while (0)
#define HDMA_DBG(fmt, ...) do { if (g_HDMADbgMask & 0x8) printk(KERN_DEBUG fmt, ##__VA_ARGS__); } while (0)

int HW_HDMA_initialize(const ST_KER_HDMA_OP *pstOp);
void HW_HDMA_deinitialize(void);
int HW_HDMA_Fill(const ST_HDMA_FILL *p, u32 u32TrigMode, u32 u32HLine, u32 u32Wait, u32 *pu32Ch);
int HW_HDMA_Copy(const ST_HDMA_COPY *p, u32 u32TrigMode, u32 u32HLine, u32 u32Wait, u32 *pu32Ch);
int HW_HDMA_DataAddr(const ST_HDMA_DATA_ADDR *p, u32 u32TrigMode, u32 u32HLine, u32 u32Wait,
		     u32 *pu32Ch);
int HW_HDMA_Trigger(u32 u32Ch, u32 u32Wait);
void HW_HDMA_Set_hline(u32 u32Ch, u32 u32TrigMode, u32 u32HLine);
int HW_HDMA_Get_Finish_Status(void);
int HW_HDMA_Interrupt(void);
u32 HW_HDMA_Get_Finish_HLine(u32 u32Ch);
int HW_HDMA_Timeout(u32 u32Ch);
/* Gives back a channel whose end its owner has seen (a completed wait). */
void HW_HDMA_Release(u32 u32Ch);
void HW_HDMA_Reset(void);
void HW_HDMA_PrintReg(u32 u32AsError);
int HW_HDMA_GetHWSetting(ST_HDMA_CH_SETTING *pstParam);
int HW_HDMA_SetHWSetting(const ST_HDMA_CH_SETTING *pstParam);
int HW_HDMA_Enable_BIST(const ST_HDMA_BIST *pstBIST);
int HW_HDMA_BIST_Delay(const ST_HDMA_BIST *pstBIST);
void HW_HDMA_Disable_BIST(void);
int HW_HDMA_Compute_CRC(u32 u32Addr, u32 u32Length, u32 *pu32Low, u32 *pu32High);
void HW_HDMA_READ_Delay(u32 u32Value);
void HW_HDMA_Disable_READ_Delay(void);
/* True when the engine reaches [addr, addr + len) in one 4 GiB window. */
bool HW_HDMA_AddrReachable(u64 u64Addr, u64 u64Len);

#endif /* HW_HDMA_H */

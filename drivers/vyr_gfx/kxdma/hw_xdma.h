/* SPDX-License-Identifier: GPL-2.0 */
/* XDMA register layer: programs the engine; the driver owns lock and wait. */
#ifndef HW_XDMA_H
#define HW_XDMA_H

#include <linux/types.h>
#include <linux/compiler.h>
#include "uapi/vyr_xdma.h"

#define XDMA_REG_BASE		0xFC090000UL
#define XDMA_REG_SIZE		0x100

#define XDMA_REG_SRC		0x00
#define XDMA_REG_DST		0x04
#define XDMA_REG_LEN		0x08
#define XDMA_REG_SRC_STRIDE	0x0C
#define XDMA_REG_DST_STRIDE	0x10	/* stride 15:0, line width 31:16 */
#define XDMA_REG_FILL		0x14
#define XDMA_REG_MODE		0x18
#define XDMA_REG_START		0x20
#define XDMA_REG_STATUS		0x24
#define XDMA_REG_HIGH_ADDR	0x2C	/* src 33:32 in 29:28, dst 33:32 in 31:30 */
#define XDMA_REG_ECO		0x30
#define XDMA_REG_PRESTART	0x34

#define XDMA_MODE_COPY		2
#define XDMA_MODE_COPY_LINES	18
#define XDMA_MODE_FILL		3
#define XDMA_MODE_FILL_LINES	19

#define XDMA_STATUS_DONE	0x1	/* write 1 to clear */

/* Clock resets that hold the engine. */
#define XDMA_CLK_RESET_A	0x45
#define XDMA_CLK_RESET_B	0xF

/* What the driver hands over at start-up. */
typedef struct ST_KER_XDMA_OP {
	void __iomem *pRegBase;
	int (*pfLock)(void);
	int (*pfWait)(u32 u32TimeoutMs);
	void (*pfUnlock)(void);
} ST_KER_XDMA_OP;

/* One transfer as the register layer programs it. */
typedef struct ST_HW_XDMA_PARAM {
	u64 u64SrcAddr;
	u64 u64DstAddr;
	u32 u32Length;
	u16 u16SrcStride;
	u16 u16DstStride;
	u16 u16LineWidth;
	u32 u32FillValue;
} ST_HW_XDMA_PARAM;

/* The command list being run; the layer owns the copy while it runs. */
typedef struct ST_XDMA_COMMAND_PAR {
	struct vyr_xdma_cmd *pstCommands;
	u32 u32Count;
	u32 u32Index;
} ST_XDMA_COMMAND_PAR;

#define XDMA_SAVED_REGS 13	/* 0x00-0x24 and 0x2C-0x34, by word */

typedef struct ST_XDMA_HW_SETTING {
	u32 au32Reg[XDMA_SAVED_REGS];
	u32 u32Valid;
} ST_XDMA_HW_SETTING;

/* Interrupt results. */
#define XDMA_IRQ_SINGLE_DONE	0
#define XDMA_IRQ_LIST_STEP	1
#define XDMA_IRQ_LIST_END	2	/* the list's last command finished or was given up */
#define XDMA_IRQ_SPURIOUS	(-1)

extern u32 g_XDMADbgMask;
extern u32 u32gECO_Enable;

int HW_XDMA_initialize(const ST_KER_XDMA_OP *pstOp);
void HW_XDMA_deinitialize(void);
/* -EINVAL: a side of the transfer lies beyond what the engine reaches. */
int HW_XDMA_Fill(const ST_HW_XDMA_PARAM *pstParam);
int HW_XDMA_Copy(const ST_HW_XDMA_PARAM *pstParam);
int HW_XDMA_Trigger(u32 u32Length);
/*
 * Takes over the kernel copy of the commands (-EINVAL, taking nothing, when
 * a command reaches past 4 GiB); sets the engine up for the list and starts
 * its first command.
 */
int HW_XDMA_CMD(const ST_XDMA_COMMAND_PAR *pstHeader);
int HW_XDMA_CMD_GO(void);
/* The copy of a list that has ended, once; NULL otherwise. */
struct vyr_xdma_cmd *HW_XDMA_CMD_Reap(void);
bool HW_XDMA_CMD_Running(void);
/* Stops a running list without an unlock (driver exit); returns its copy. */
struct vyr_xdma_cmd *HW_XDMA_CMD_Abort(void);
int HW_XDMA_Interrupt(void);
u32 HW_XDMA_GetHWStatus(void);
void HW_XDMA_get_command_status(struct vyr_xdma_cmd_status *pstOut);
int HW_XDMA_GetHWSetting(ST_XDMA_HW_SETTING *pstOut);
int HW_XDMA_SetHWSetting(const ST_XDMA_HW_SETTING *pstIn);
void HW_XDMA_PrintReg(u32 u32Kind);
void HW_XDMA_Timeout(void);
void HW_XDMA_PauseWatchdog(void);
void HW_XDMA_ResumeWatchdog(void);
void HW_XDMA_Reset(void);
void HW_ENABLE_ECO(u32 u32Value);
void HW_XDMA_Mask(u32 u32Mask);

#endif /* HW_XDMA_H */

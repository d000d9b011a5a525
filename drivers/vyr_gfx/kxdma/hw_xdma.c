// SPDX-License-Identifier: GPL-2.0
/*
 * XDMA register layer: fills, copies (contiguous or as lines) and command
 * lists. It takes no lock of its own for single transfers: the driver holds
 * the engine (its semaphore) around every call. Command lists advance from
 * the interrupt handler and the watchdog, so their state sits under a
 * spinlock here.
 */
#include <linux/kernel.h>
#include <linux/io.h>
#include <linux/delay.h>
#include <linux/spinlock.h>
#include <linux/timer.h>
#include <linux/workqueue.h>
#include <linux/jiffies.h>
#include <linux/overflow.h>
#include "crv_platform.h"
#include "vyr_reach.h"
#include "hw_xdma.h"

#define CHIP_ID_Q2 0x51323030u
#define CHIP_ID_Q5 0x51353030u

/* Attempts of one command before the list is given up. */
#define XDMA_CMD_RETRIES 3

u32 g_XDMADbgMask = 0x7;
u32 u32gECO_Enable = 1;

#define XDMA_ERR(fmt, ...) do { if (g_XDMADbgMask & 0x1) printk(KERN_ERR fmt, ##__VA_ARGS__); } while (0)
#define XDMA_WRN(fmt, ...) do { if (g_XDMADbgMask & 0x2) printk(KERN_WARNING fmt, ##__VA_ARGS__); } while (0)
#define XDMA_MSG(fmt, ...) do { if (g_XDMADbgMask & 0x4) printk(KERN_INFO fmt, ##__VA_ARGS__); } while (0)
#define XDMA_DBG(fmt, ...) do { if (g_XDMADbgMask & 0x8) printk(KERN_DEBUG fmt, ##__VA_ARGS__); } while (0)

static ST_KER_XDMA_OP g_KER_XDMA_op;
static bool g_bHighAddr;		/* the chip has register 0x2C */

static DEFINE_SPINLOCK(g_xdma_cmd_lock);
static ST_XDMA_COMMAND_PAR gst_command_par;
static struct vyr_xdma_cmd *g_pstFinishedCommands;
static struct vyr_xdma_cmd_status g_stCmdStatus;
static u32 g_u32CmdRetries;
static struct timer_list g_xdma_watchdog;
static struct work_struct g_xdma_watchdog_work;
static bool g_bWatchdogReady;
static bool g_bWatchdogPaused;		/* suspended: the engine's clocks may be off */

static inline void xdma_write(u32 off, u32 val)
{
	writel(val, g_KER_XDMA_op.pRegBase + off);
}

static inline u32 xdma_read(u32 off)
{
	return readl(g_KER_XDMA_op.pRegBase + off);
}

static u32 xdma_timeout_ms(u64 len)
{
	return len < (1u << 20) ? 50 : (u32)(len >> 20) * 50;
}

/* A command programs only the low 32 bits of its addresses. */
static bool xdma_cmd_reachable(const struct vyr_xdma_cmd *c)
{
	return c->length && vyr_reach_window(c->src_addr, c->length, false) &&
	       vyr_reach_window(c->dst_addr, c->length, false);
}

/* Lines are used when the line width is set and differs from the stride. */
static bool xdma_lines(const ST_HW_XDMA_PARAM *p)
{
	return p->u16LineWidth && p->u16DstStride != p->u16LineWidth;
}

static int xdma_check_width(const ST_HW_XDMA_PARAM *p, const char *func)
{
	if (p->u16LineWidth && p->u32Length % p->u16LineWidth) {
		XDMA_WRN("%s, XDMA %u/%u is not 0\n", func, p->u32Length, p->u16LineWidth);
		return -1;
	}
	return 0;
}

/*
 * The bytes one side of a transfer spans, from the very numbers programmed:
 * the length, or with lines (length / width) rows of width bytes, stride
 * apart.
 */
static bool xdma_side_reachable(const ST_HW_XDMA_PARAM *p, u64 addr, u16 stride)
{
	u64 span = p->u32Length;

	if (xdma_lines(p) &&
	    (check_mul_overflow((u64)(p->u32Length / p->u16LineWidth - 1), (u64)stride, &span) ||
	     check_add_overflow(span, (u64)p->u16LineWidth, &span)))
		return false;
	return vyr_reach_window(addr, span, g_bHighAddr);
}

static void xdma_high_bits(u64 src, u64 dst)
{
	u32 v;

	if (!g_bHighAddr)
		return;
	v = xdma_read(XDMA_REG_HIGH_ADDR) & 0xFFFF;
	v |= (u32)((src >> 32) & 0x3) << 28;
	v |= (u32)((dst >> 32) & 0x3) << 30;
	xdma_write(XDMA_REG_HIGH_ADDR, v);
}

void HW_XDMA_Reset(void)
{
	KER_CLK_SetClockReset(XDMA_CLK_RESET_A, 1);
	KER_CLK_SetClockReset(XDMA_CLK_RESET_B, 1);
	msleep(1);
	KER_CLK_SetClockReset(XDMA_CLK_RESET_B, 0);
	KER_CLK_SetClockReset(XDMA_CLK_RESET_A, 0);
	msleep(1);
	XDMA_MSG("HW_XDMA_Reset\n");
}

int HW_XDMA_Trigger(u32 u32Length)
{
	int ret;

	xdma_write(XDMA_REG_PRESTART, 256);
	xdma_write(XDMA_REG_START, 1);
	ret = g_KER_XDMA_op.pfWait(xdma_timeout_ms(u32Length));
	if (ret)
		HW_XDMA_Reset();
	return ret;
}

int HW_XDMA_Fill(const ST_HW_XDMA_PARAM *pstParam)
{
	if (!pstParam || !g_KER_XDMA_op.pRegBase)
		return -1;
	if (xdma_check_width(pstParam, __func__))
		return -1;
	if (!xdma_side_reachable(pstParam, pstParam->u64DstAddr, pstParam->u16DstStride))
		return -EINVAL;
	xdma_write(XDMA_REG_SRC, 0);
	xdma_write(XDMA_REG_SRC_STRIDE, 0);
	xdma_write(XDMA_REG_DST, lower_32_bits(pstParam->u64DstAddr));
	xdma_high_bits(0, pstParam->u64DstAddr);
	xdma_write(XDMA_REG_FILL, pstParam->u32FillValue);
	xdma_write(XDMA_REG_LEN, pstParam->u32Length);
	if (xdma_lines(pstParam)) {
		xdma_write(XDMA_REG_MODE, XDMA_MODE_FILL_LINES);
		xdma_write(XDMA_REG_DST_STRIDE,
			   ((u32)pstParam->u16LineWidth << 16) | pstParam->u16DstStride);
	} else {
		xdma_write(XDMA_REG_MODE, XDMA_MODE_FILL);
		xdma_write(XDMA_REG_DST_STRIDE, 0);
	}
	return HW_XDMA_Trigger(pstParam->u32Length);
}

int HW_XDMA_Copy(const ST_HW_XDMA_PARAM *pstParam)
{
	if (!pstParam || !g_KER_XDMA_op.pRegBase)
		return -1;
	if (xdma_check_width(pstParam, __func__))
		return -1;
	if (!xdma_side_reachable(pstParam, pstParam->u64DstAddr, pstParam->u16DstStride) ||
	    !xdma_side_reachable(pstParam, pstParam->u64SrcAddr, pstParam->u16SrcStride))
		return -EINVAL;
	xdma_write(XDMA_REG_SRC, lower_32_bits(pstParam->u64SrcAddr));
	xdma_write(XDMA_REG_DST, lower_32_bits(pstParam->u64DstAddr));
	xdma_high_bits(pstParam->u64SrcAddr, pstParam->u64DstAddr);
	xdma_write(XDMA_REG_LEN, pstParam->u32Length);
	xdma_write(XDMA_REG_FILL, 0);
	if (xdma_lines(pstParam)) {
		xdma_write(XDMA_REG_MODE, XDMA_MODE_COPY_LINES);
		xdma_write(XDMA_REG_SRC_STRIDE, pstParam->u16SrcStride);
		xdma_write(XDMA_REG_DST_STRIDE,
			   ((u32)pstParam->u16LineWidth << 16) | pstParam->u16DstStride);
	} else {
		xdma_write(XDMA_REG_MODE, XDMA_MODE_COPY);
		xdma_write(XDMA_REG_SRC_STRIDE, 0);
		xdma_write(XDMA_REG_DST_STRIDE, 0);
	}
	xdma_write(XDMA_REG_ECO, u32gECO_Enable ? 0x10000 : 0);
	return HW_XDMA_Trigger(pstParam->u32Length);
}

/* Called with g_xdma_cmd_lock held. */
static int xdma_cmd_go_locked(void)
{
	const struct vyr_xdma_cmd *c;
	u32 i;

	if (!gst_command_par.pstCommands) {
		XDMA_ERR("%s: command memory allocated by ker_xdma failed.\n", __func__);
		return -1;
	}
	i = gst_command_par.u32Index++;
	if (i >= gst_command_par.u32Count) {
		del_timer(&g_xdma_watchdog);
		gst_command_par.u32Count = 0;
		g_pstFinishedCommands = gst_command_par.pstCommands;
		gst_command_par.pstCommands = NULL;
		return 0;
	}
	c = &gst_command_par.pstCommands[i];
	xdma_write(XDMA_REG_SRC, lower_32_bits(c->src_addr));
	xdma_write(XDMA_REG_DST, lower_32_bits(c->dst_addr));
	xdma_write(XDMA_REG_LEN, lower_32_bits(c->length));
	XDMA_DBG("[%s] CMD%d 0x%x,0x%x,%d\n", __func__, i, lower_32_bits(c->src_addr),
		 lower_32_bits(c->dst_addr), lower_32_bits(c->length));
	g_stCmdStatus.index = i;
	g_stCmdStatus.dst_addr = lower_32_bits(c->dst_addr);
	g_stCmdStatus.length = lower_32_bits(c->length);
	g_stCmdStatus.irq_flag = 0;
	if (!g_bWatchdogPaused)
		mod_timer(&g_xdma_watchdog, jiffies + msecs_to_jiffies(xdma_timeout_ms(c->length)));
	xdma_write(XDMA_REG_PRESTART, 256);
	xdma_write(XDMA_REG_START, xdma_read(XDMA_REG_START) | 1);
	return 0;
}

int HW_XDMA_CMD_GO(void)
{
	unsigned long flags;
	int ret;

	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	ret = xdma_cmd_go_locked();
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
	return ret;
}

/*
 * Commands are contiguous copies below 4 GiB: the mode, strides, fill word
 * and high address bits of the last single transfer must not stay in force.
 */
static void xdma_cmd_setup(void)
{
	xdma_write(XDMA_REG_SRC_STRIDE, 0);
	xdma_write(XDMA_REG_DST_STRIDE, 0);
	xdma_write(XDMA_REG_FILL, 0);
	xdma_write(XDMA_REG_MODE, XDMA_MODE_COPY);
	xdma_high_bits(0, 0);
	xdma_write(XDMA_REG_ECO, u32gECO_Enable ? 0x10000 : 0);
}

int HW_XDMA_CMD(const ST_XDMA_COMMAND_PAR *pstHeader)
{
	unsigned long flags;
	u32 i;
	int ret;

	if (!pstHeader || !pstHeader->pstCommands || !pstHeader->u32Count || !g_KER_XDMA_op.pRegBase)
		return -1;
	for (i = 0; i < pstHeader->u32Count; i++)
		if (!xdma_cmd_reachable(&pstHeader->pstCommands[i]))
			return -EINVAL;
	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	if (gst_command_par.pstCommands) {
		spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
		return -1;
	}
	xdma_cmd_setup();
	gst_command_par = *pstHeader;
	gst_command_par.u32Index = 0;
	g_stCmdStatus.fail_count = 0;
	g_u32CmdRetries = 0;
	ret = xdma_cmd_go_locked();
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
	return ret;
}

struct vyr_xdma_cmd *HW_XDMA_CMD_Reap(void)
{
	struct vyr_xdma_cmd *p;
	unsigned long flags;

	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	p = g_pstFinishedCommands;
	g_pstFinishedCommands = NULL;
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
	return p;
}

bool HW_XDMA_CMD_Running(void)
{
	return READ_ONCE(gst_command_par.pstCommands) != NULL;
}

struct vyr_xdma_cmd *HW_XDMA_CMD_Abort(void)
{
	struct vyr_xdma_cmd *p;
	unsigned long flags;

	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	p = gst_command_par.pstCommands;
	gst_command_par.pstCommands = NULL;
	gst_command_par.u32Count = 0;
	if (!p) {
		p = g_pstFinishedCommands;
		g_pstFinishedCommands = NULL;
	}
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
	return p;
}

int HW_XDMA_Interrupt(void)
{
	bool running;
	u32 status;
	int ret;

	spin_lock(&g_xdma_cmd_lock);
	status = xdma_read(XDMA_REG_STATUS);
	/* Acknowledge what we saw: the level line stays high until done is cleared. */
	if (status & XDMA_STATUS_DONE)
		xdma_write(XDMA_REG_STATUS, XDMA_STATUS_DONE);
	running = gst_command_par.pstCommands && gst_command_par.u32Count;
	if (!(status & XDMA_STATUS_DONE)) {
		XDMA_ERR("Transfer not completed!\n");
		if (running)
			g_stCmdStatus.fail_count++;
	}
	if (!running) {
		spin_unlock(&g_xdma_cmd_lock);
		/* Without the done bit nothing has finished: the waiter goes on waiting. */
		return (status & XDMA_STATUS_DONE) ? XDMA_IRQ_SINGLE_DONE : XDMA_IRQ_SPURIOUS;
	}
	g_stCmdStatus.irq_flag = 1;
	g_u32CmdRetries = 0;
	xdma_cmd_go_locked();
	ret = gst_command_par.pstCommands ? XDMA_IRQ_LIST_STEP : XDMA_IRQ_LIST_END;
	spin_unlock(&g_xdma_cmd_lock);
	return ret;
}

u32 HW_XDMA_GetHWStatus(void)
{
	if (!g_KER_XDMA_op.pRegBase)
		return 0;
	return xdma_read(XDMA_REG_STATUS);
}

void HW_XDMA_get_command_status(struct vyr_xdma_cmd_status *pstOut)
{
	unsigned long flags;

	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	*pstOut = g_stCmdStatus;
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
}

static u32 xdma_saved_offset(int i)
{
	return i < 10 ? i * 4 : XDMA_REG_HIGH_ADDR + (i - 10) * 4;
}

int HW_XDMA_GetHWSetting(ST_XDMA_HW_SETTING *pstOut)
{
	int i;

	if (!pstOut || !g_KER_XDMA_op.pRegBase)
		return -EINVAL;
	for (i = 0; i < XDMA_SAVED_REGS; i++)
		pstOut->au32Reg[i] = xdma_read(xdma_saved_offset(i));
	pstOut->u32Valid = 1;
	return 0;
}

int HW_XDMA_SetHWSetting(const ST_XDMA_HW_SETTING *pstIn)
{
	int i;

	if (!pstIn || !g_KER_XDMA_op.pRegBase)
		return -EINVAL;
	for (i = 0; i < XDMA_SAVED_REGS; i++) {
		u32 off = xdma_saved_offset(i);

		/* Writing the start word would start a transfer; the status is read-only. */
		if (off == XDMA_REG_START || off == XDMA_REG_STATUS)
			continue;
		xdma_write(off, pstIn->au32Reg[i]);
	}
	return 0;
}

void HW_XDMA_PrintReg(u32 u32Kind)
{
	void __iomem *base = g_KER_XDMA_op.pRegBase;
	int i;

	if (!base)
		return;
	if (!(u32Kind == 0 && (g_XDMADbgMask & 0x8)) && !(u32Kind == 1 && (g_XDMADbgMask & 0x4)))
		return;
	for (i = 0; i < 80; i += 16)
		printk(KERN_INFO " 0x%p : %08x %08x %08x %08x \n\r", base + i, readl(base + i),
		       readl(base + i + 4), readl(base + i + 8), readl(base + i + 12));
}

/*
 * Watchdog of a command list, in process context (the reset sleeps): the
 * command that did not finish is started again, three times at most; then the
 * list is given up and the engine released.
 */
void HW_XDMA_Timeout(void)
{
	ST_XDMA_HW_SETTING saved;
	unsigned long flags;
	u32 index;

	printk(KERN_ERR "HW_XDMA_Timeout\n");
	if (!HW_XDMA_CMD_Running() || READ_ONCE(g_bWatchdogPaused))
		return;
	HW_XDMA_PrintReg(1);
	HW_XDMA_GetHWSetting(&saved);
	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	index = gst_command_par.u32Index;
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
	HW_XDMA_Reset();
	HW_XDMA_SetHWSetting(&saved);

	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	/* The interrupt may have come meanwhile and moved the list on. */
	if (!gst_command_par.pstCommands || gst_command_par.u32Index != index) {
		spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
		return;
	}
	if (++g_u32CmdRetries >= XDMA_CMD_RETRIES) {
		g_stCmdStatus.fail_count++;
		gst_command_par.u32Index = gst_command_par.u32Count;
		xdma_cmd_go_locked();
		spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
		XDMA_ERR("XDMA command %u given up\n", index - 1);
		g_KER_XDMA_op.pfUnlock();
		return;
	}
	gst_command_par.u32Index--;
	xdma_cmd_go_locked();
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
}

static void xdma_watchdog_work(struct work_struct *w)
{
	HW_XDMA_Timeout();
}

/* Waits until neither the timer nor its work runs or is pending. */
static void xdma_watchdog_stop(void)
{
	del_timer_sync(&g_xdma_watchdog);
	cancel_work_sync(&g_xdma_watchdog_work);
	/* The work may have re-armed the timer before it was cancelled. */
	del_timer_sync(&g_xdma_watchdog);
}

/* Stops the watchdog before the engine's clocks go off; nothing re-arms it until resume. */
void HW_XDMA_PauseWatchdog(void)
{
	unsigned long flags;

	if (!g_bWatchdogReady)
		return;
	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	g_bWatchdogPaused = true;
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
	xdma_watchdog_stop();
}

/* The registers are back: a list still running is watched again from its current command. */
void HW_XDMA_ResumeWatchdog(void)
{
	unsigned long flags;

	if (!g_bWatchdogReady)
		return;
	spin_lock_irqsave(&g_xdma_cmd_lock, flags);
	g_bWatchdogPaused = false;
	if (gst_command_par.pstCommands && gst_command_par.u32Index)
		mod_timer(&g_xdma_watchdog, jiffies + msecs_to_jiffies(xdma_timeout_ms(
			gst_command_par.pstCommands[gst_command_par.u32Index - 1].length)));
	spin_unlock_irqrestore(&g_xdma_cmd_lock, flags);
}

static void xdma_watchdog_fire(struct timer_list *t)
{
	schedule_work(&g_xdma_watchdog_work);
}

void HW_ENABLE_ECO(u32 u32Value)
{
	WRITE_ONCE(u32gECO_Enable, u32Value);
}

void HW_XDMA_Mask(u32 u32Mask)
{
	WRITE_ONCE(g_XDMADbgMask, u32Mask);
}

int HW_XDMA_initialize(const ST_KER_XDMA_OP *pstOp)
{
	u32 chip;

	if (!pstOp || !pstOp->pRegBase || !pstOp->pfWait || !pstOp->pfUnlock)
		return -1;
	g_KER_XDMA_op = *pstOp;
	chip = CHP_GetChipID();
	g_bHighAddr = chip == CHIP_ID_Q2 || chip == CHIP_ID_Q5;
	memset(&gst_command_par, 0, sizeof(gst_command_par));
	memset(&g_stCmdStatus, 0, sizeof(g_stCmdStatus));
	g_pstFinishedCommands = NULL;
	g_bWatchdogPaused = false;
	timer_setup(&g_xdma_watchdog, xdma_watchdog_fire, 0);
	INIT_WORK(&g_xdma_watchdog_work, xdma_watchdog_work);
	g_bWatchdogReady = true;
	return 0;
}

/* Stops the watchdog; the driver has stopped the interrupt and took back any list. */
void HW_XDMA_deinitialize(void)
{
	if (g_bWatchdogReady) {
		xdma_watchdog_stop();
		g_bWatchdogReady = false;
	}
	memset(&g_KER_XDMA_op, 0, sizeof(g_KER_XDMA_op));
}

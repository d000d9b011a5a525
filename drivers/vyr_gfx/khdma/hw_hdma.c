// SPDX-License-Identifier: GPL-2.0
/*
 * HDMA register layer. A transfer claims the lowest free channel, programs
 * it and starts it. The interrupt's finish scan marks the channel finished;
 * the channel stays claimed until its owner has seen the end (a completed
 * wait, HW_HDMA_Release) or gave up on it (HW_HDMA_Timeout), so that no
 * other holder can claim it in between and have its transfer taken for the
 * late one. The driver's semaphore serialises the programming; claims and
 * marks are atomic and the shared high-address word is updated under a
 * spinlock.
 */
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/io.h>
#include <linux/bitops.h>
#include <linux/delay.h>
#include <linux/jiffies.h>
#include <linux/spinlock.h>
#include "crv_platform.h"
#include "vyr_reach.h"
#include "hw_hdma.h"

#define CHIP_ID_Q2 0x51323030u
#define CHIP_ID_Q5 0x51353030u
/* Longest wait for the memory test and CRC units. */
#define HDMA_POLL_MS 100

unsigned int g_HDMADbgMask = 7;
module_param(g_HDMADbgMask, uint, 0644);
MODULE_PARM_DESC(g_HDMADbgMask, "HDMA debug mask: 1 error, 2 warning, 4 info, 8 debug, 16 trigger lines");

static ST_KER_HDMA_OP g_KER_HDMA_op;
static unsigned long g_HDMA_channel_busy;	/* bit c: channel c claimed */
static unsigned long g_HDMA_channel_done;	/* bit c: the scan saw channel c finish */
static DEFINE_SPINLOCK(g_HDMA_high_lock);
static bool g_bHdmaWide;			/* Q2/Q5: 34-bit addresses, 15-bit lines */

static inline void hdma_write(u32 off, u32 val)
{
	writel(val, g_KER_HDMA_op.RegBase + off);
}

static inline u32 hdma_read(u32 off)
{
	return readl(g_KER_HDMA_op.RegBase + off);
}

static u32 _HW_HDMA_GetChipID(void)
{
	return CHP_GetChipID();
}

bool HW_HDMA_AddrReachable(u64 u64Addr, u64 u64Len)
{
	return vyr_reach_window(u64Addr, u64Len, g_bHdmaWide);
}

static int _HW_HDMA_GetValidChannel(void)
{
	int c;

	for (c = 0; c < HDMA_CHANNELS; c++)
		if (!test_and_set_bit(c, &g_HDMA_channel_busy))
			return c;
	return -1;
}

static void hdma_release_channel(u32 c)
{
	clear_bit(c, &g_HDMA_channel_done);
	clear_bit(c, &g_HDMA_channel_busy);
}

/* The owner of channel c has seen its transfer end. */
void HW_HDMA_Release(u32 u32Ch)
{
	if (u32Ch < HDMA_CHANNELS)
		hdma_release_channel(u32Ch);
}

/*
 * Takes channel c's finish status: marked first, cleared second, so that a
 * timeout that reads the status as clear finds the mark.
 */
static void hdma_take_finish(u32 c)
{
	set_bit(c, &g_HDMA_channel_done);
	hdma_write(HDMA_CH(c) + HDMA_REG_FINISH, 1);
}

/* Bits 3:0 (test select) are kept; the address bits are replaced. */
static void hdma_set_high(u64 src, u64 dst)
{
	unsigned long flags;
	u32 v;

	if (!g_bHdmaWide)
		return;
	spin_lock_irqsave(&g_HDMA_high_lock, flags);
	v = hdma_read(HDMA_REG_HIGH_ADDR) & 0xF;
	v |= (u32)((dst >> 32) & 0x3) << 24;
	v |= (u32)((src >> 32) & 0x3) << 28;
	hdma_write(HDMA_REG_HIGH_ADDR, v);
	spin_unlock_irqrestore(&g_HDMA_high_lock, flags);
}

void HW_HDMA_Set_hline(u32 u32Ch, u32 u32TrigMode, u32 u32HLine)
{
	u32 mask = g_bHdmaWide ? 0x7FFF : 0xFFF;

	if (u32Ch >= HDMA_CHANNELS || !g_KER_HDMA_op.RegBase)
		return;
	hdma_write(HDMA_CH(u32Ch) + HDMA_REG_TRIG_MODE, u32TrigMode);
	hdma_write(HDMA_CH(u32Ch) + HDMA_REG_HLINE, u32HLine & mask);
	HDMA_DBG("[%d] mode=%d, hline=%d (Mask:0x%x)\n", u32Ch, u32TrigMode, u32HLine & mask, mask);
}

int HW_HDMA_Trigger(u32 u32Ch, u32 u32Wait)
{
	u32 len, ms;

	if (u32Ch >= HDMA_CHANNELS || !g_KER_HDMA_op.RegBase)
		return -1;
	len = hdma_read(HDMA_CH(u32Ch) + HDMA_REG_LEN);
	if (g_HDMADbgMask & 0x10)
		printk(KERN_INFO "Trigger in CH%d!\n", u32Ch);
	hdma_write(HDMA_CH(u32Ch) + HDMA_REG_START, 1);
	if (!u32Wait)
		return 0;
	ms = len < 0x100000 ? 1630 : (len >> 20) * 1500 + 130;
	return g_KER_HDMA_op.pfWait(ms, u32Ch);
}

/*
 * Claims a channel for a transfer whose record and addresses are sound; a
 * refused record claims nothing.
 */
static int hdma_claim(const void *rec, u32 *pu32Ch, const char *func, bool list)
{
	int c;

	if (pu32Ch)
		*pu32Ch = HDMA_NO_CHANNEL;
	if (!rec || !g_KER_HDMA_op.RegBase) {
		if (list)
			HDMA_ERR("%s: Ivalid input parameter!\n", func);
		else
			HDMA_ERR("%s: Invalid input parameter!\n", func);
		return -1;
	}
	c = _HW_HDMA_GetValidChannel();
	if (c < 0) {
		HDMA_ERR("Can not get valid channel!\n");
		return -1;
	}
	if (pu32Ch)
		*pu32Ch = c;
	return c;
}

/* A record the engine cannot carry out as written: nothing is claimed. */
static int hdma_refuse(u32 *pu32Ch)
{
	if (pu32Ch)
		*pu32Ch = HDMA_NO_CHANNEL;
	HDMA_ERR("address beyond the engine's reach\n");
	return -EINVAL;
}

static void hdma_prepare(u32 c, u32 trig, u32 hline)
{
	hdma_write(HDMA_CH(c) + HDMA_REG_ENABLE_A, 1);
	hdma_write(HDMA_CH(c) + HDMA_REG_ENABLE_B, 1);
	HW_HDMA_Set_hline(c, trig, hline);
}

static const char *hdma_dst_mode(u32 m)
{
	return m ? "DST_FIXED" : "DST_INCRE";
}

int HW_HDMA_Fill(const ST_HDMA_FILL *p, u32 u32TrigMode, u32 u32HLine, u32 u32Wait, u32 *pu32Ch)
{
	int c;

	if (p && !HW_HDMA_AddrReachable(p->u64DstAddr, p->u32DstMode ? 4 : p->u32Length))
		return hdma_refuse(pu32Ch);
	c = hdma_claim(p, pu32Ch, __func__, false);
	if (c < 0)
		return -1;
	HDMA_DBG("-------------------------------------\n");
	HDMA_DBG("Channel_%d\n", c);
	HDMA_DBG("dst mode: %s\n", hdma_dst_mode(p->u32DstMode));
	HDMA_DBG("dst add: 0x%08x_%08x\n", upper_32_bits(p->u64DstAddr), lower_32_bits(p->u64DstAddr));
	HDMA_DBG("data: %08x\n", p->u32Data);
	HDMA_DBG("length: %08x\n", p->u32Length);
	hdma_prepare(c, u32TrigMode, u32HLine);
	hdma_write(HDMA_CH(c) + HDMA_REG_SRC, 0);
	hdma_write(HDMA_CH(c) + HDMA_REG_DST, lower_32_bits(p->u64DstAddr));
	hdma_set_high(0, p->u64DstAddr);
	hdma_write(HDMA_CH(c) + HDMA_REG_DATA, p->u32Data);
	hdma_write(HDMA_CH(c) + HDMA_REG_LEN, p->u32Length);
	hdma_write(HDMA_CH(c) + HDMA_REG_CTRL, p->u32DstMode ? 0x11 : 0x01);
	return HW_HDMA_Trigger(c, u32Wait);
}

int HW_HDMA_Copy(const ST_HDMA_COPY *p, u32 u32TrigMode, u32 u32HLine, u32 u32Wait, u32 *pu32Ch)
{
	int c;

	if (p && (!HW_HDMA_AddrReachable(p->u64SrcAddr, p->u32Length) ||
		  !HW_HDMA_AddrReachable(p->u64DstAddr, p->u32DstMode ? 4 : p->u32Length)))
		return hdma_refuse(pu32Ch);
	c = hdma_claim(p, pu32Ch, __func__, false);
	if (c < 0)
		return -1;
	HDMA_DBG("-------------------------------------\n");
	HDMA_DBG("Channel_%d\n", c);
	HDMA_DBG("dst mode: %s\n", hdma_dst_mode(p->u32DstMode));
	HDMA_DBG("src add: 0x%08x_%08x\n", upper_32_bits(p->u64SrcAddr), lower_32_bits(p->u64SrcAddr));
	HDMA_DBG("dst add: 0x%08x_%08x\n", upper_32_bits(p->u64DstAddr), lower_32_bits(p->u64DstAddr));
	HDMA_DBG("length: %08x\n", p->u32Length);
	hdma_prepare(c, u32TrigMode, u32HLine);
	hdma_write(HDMA_CH(c) + HDMA_REG_DATA, 0);
	hdma_write(HDMA_CH(c) + HDMA_REG_SRC, lower_32_bits(p->u64SrcAddr));
	hdma_write(HDMA_CH(c) + HDMA_REG_DST, lower_32_bits(p->u64DstAddr));
	hdma_set_high(p->u64SrcAddr, p->u64DstAddr);
	hdma_write(HDMA_CH(c) + HDMA_REG_LEN, p->u32Length);
	hdma_write(HDMA_CH(c) + HDMA_REG_CTRL, p->u32DstMode ? 0x10 : 0x00);
	return HW_HDMA_Trigger(c, u32Wait);
}

int HW_HDMA_DataAddr(const ST_HDMA_DATA_ADDR *p, u32 u32TrigMode, u32 u32HLine, u32 u32Wait,
		     u32 *pu32Ch)
{
	int c;

	if (p && !HW_HDMA_AddrReachable(p->u64SrcAddr, p->u32Length))
		return hdma_refuse(pu32Ch);
	c = hdma_claim(p, pu32Ch, __func__, true);
	if (c < 0)
		return -1;
	HDMA_DBG("-------------------------------------\n");
	HDMA_DBG("Channel_%d\n", c);
	HDMA_DBG("src add: 0x%08x_%08x\n", upper_32_bits(p->u64SrcAddr), lower_32_bits(p->u64SrcAddr));
	HDMA_DBG("length: %08x\n", p->u32Length);
	hdma_prepare(c, u32TrigMode, u32HLine);
	hdma_write(HDMA_CH(c) + HDMA_REG_DATA, 0);
	hdma_write(HDMA_CH(c) + HDMA_REG_DST, 0);
	hdma_write(HDMA_CH(c) + HDMA_REG_SRC, lower_32_bits(p->u64SrcAddr));
	hdma_set_high(p->u64SrcAddr, 0);
	hdma_write(HDMA_CH(c) + HDMA_REG_LEN, p->u32Length);
	hdma_write(HDMA_CH(c) + HDMA_REG_CTRL, 0x100);
	return HW_HDMA_Trigger(c, u32Wait);
}

int HW_HDMA_Get_Finish_Status(void)
{
	u32 c;

	if (!g_KER_HDMA_op.RegBase)
		return -1;
	for (c = 0; c < HDMA_CHANNELS; c++) {
		if (hdma_read(HDMA_CH(c) + HDMA_REG_FINISH) == 1) {
			hdma_take_finish(c);
			return c;
		}
	}
	/* A level line may ask again after the scan; not worth an error line. */
	HDMA_DBG("HW Not finish\n");
	return -1;
}

int HW_HDMA_Interrupt(void)
{
	return HW_HDMA_Get_Finish_Status();
}

u32 HW_HDMA_Get_Finish_HLine(u32 u32Ch)
{
	u32 hline;

	if (u32Ch >= HDMA_CHANNELS || !g_KER_HDMA_op.RegBase)
		return 0;
	hline = hdma_read(HDMA_CH(u32Ch) + HDMA_REG_FINISH_HLINE);
	HDMA_DBG("%s:[%d] mode=%d, hline=%d\n", __func__, u32Ch,
		 hdma_read(HDMA_CH(u32Ch) + HDMA_REG_TRIG_MODE), hline);
	return hline;
}

void HW_HDMA_Reset(void)
{
	KER_CLK_SetClockReset(HDMA_CLK_RESET_A, 1);
	KER_CLK_SetClockReset(HDMA_CLK_RESET_B, 1);
	mdelay(1);
	KER_CLK_SetClockReset(HDMA_CLK_RESET_B, 0);
	KER_CLK_SetClockReset(HDMA_CLK_RESET_A, 0);
	mdelay(1);
	HDMA_INF("%s\n", __func__);
}

/*
 * The wait for channel c timed out. Only c's own end counts (another
 * channel's belongs to its own waiter): its finish status, or the mark of a
 * scan that took the status meanwhile, when the interrupt came just late.
 */
int HW_HDMA_Timeout(u32 u32Ch)
{
	if (u32Ch >= HDMA_CHANNELS || !g_KER_HDMA_op.RegBase)
		return -EINVAL;
	HDMA_ERR("%s:[%d] mode=%d, hline=%d\n", __func__, u32Ch,
		 hdma_read(HDMA_CH(u32Ch) + HDMA_REG_TRIG_MODE),
		 hdma_read(HDMA_CH(u32Ch) + HDMA_REG_HLINE));
	if (hdma_read(HDMA_CH(u32Ch) + HDMA_REG_FINISH) == 1)
		hdma_take_finish(u32Ch);
	if (test_bit(u32Ch, &g_HDMA_channel_done)) {
		hdma_release_channel(u32Ch);
		HDMA_WRN("HDMA done but Irq timeout !!!!!\n");
		HW_HDMA_PrintReg(0);
		return 0;
	}
	HDMA_ERR("HDMA Transfer not completed!\n");
	HW_HDMA_PrintReg(1);
	HW_HDMA_Reset();
	/* The reset stopped the transfer: the channel is free again. */
	hdma_release_channel(u32Ch);
	return -EBUSY;
}

void HW_HDMA_PrintReg(u32 u32AsError)
{
	void __iomem *b = g_KER_HDMA_op.RegBase;
	int i, c;

	if (!b)
		return;
	if (u32AsError ? !(g_HDMADbgMask & 0x1) : !(g_HDMADbgMask & 0x8))
		return;
	for (i = 0; i < 0x40; i += 4)
		printk(KERN_ERR "[%p+%x]\t%x\n", b, i, readl(b + i));
	for (c = 0; c < HDMA_CHANNELS; c++) {
		void __iomem *cb = b + 0x80 + HDMA_CH(c);

		printk(KERN_ERR "Channel_%d :\n", c);
		for (i = 0; i < 0x40; i += 16)
			printk(KERN_ERR "%p : %08x %08x %08x %08x \n\r", cb + i, readl(cb + i),
			       readl(cb + i + 4), readl(cb + i + 8), readl(cb + i + 12));
	}
	printk(KERN_ERR "\n");
}

int HW_HDMA_GetHWSetting(ST_HDMA_CH_SETTING *pstParam)
{
	u32 c;

	if (!pstParam) {
		HDMA_ERR("%s: pstParam is null\n", __func__);
		return -EINVAL;
	}
	if (!g_KER_HDMA_op.RegBase) {
		HDMA_ERR("%s: Drv has not initialized properly!\n", __func__);
		return -EINVAL;
	}
	for (c = 0; c < HDMA_CHANNELS; c++) {
		ST_HDMA_CH_SETTING *s = &pstParam[c];

		s->SrcAddr = hdma_read(HDMA_CH(c) + HDMA_REG_SRC);
		s->DstAddr = hdma_read(HDMA_CH(c) + HDMA_REG_DST);
		s->Length = hdma_read(HDMA_CH(c) + HDMA_REG_LEN);
		s->HLine = (u16)hdma_read(HDMA_CH(c) + HDMA_REG_HLINE);
		s->FillData = hdma_read(HDMA_CH(c) + HDMA_REG_DATA);
		s->Ctrl = hdma_read(HDMA_CH(c) + HDMA_REG_CTRL);
		s->TriggerMode = hdma_read(HDMA_CH(c) + HDMA_REG_TRIG_MODE);
		s->Valid = 1;
	}
	return 0;
}

int HW_HDMA_SetHWSetting(const ST_HDMA_CH_SETTING *pstParam)
{
	u32 c;

	if (!pstParam) {
		HDMA_ERR("%s: pstParam is null\n", __func__);
		return -EINVAL;
	}
	if (!g_KER_HDMA_op.RegBase) {
		HDMA_ERR("%s: Drv has not initialized properly!\n", __func__);
		return -EINVAL;
	}
	for (c = 0; c < HDMA_CHANNELS; c++) {
		const ST_HDMA_CH_SETTING *s = &pstParam[c];

		hdma_write(HDMA_CH(c) + HDMA_REG_ENABLE_A, 1);
		hdma_write(HDMA_CH(c) + HDMA_REG_CTRL, s->Ctrl);
		hdma_write(HDMA_CH(c) + HDMA_REG_TRIG_MODE, s->TriggerMode);
		hdma_write(HDMA_CH(c) + HDMA_REG_HLINE, s->HLine);
		hdma_write(HDMA_CH(c) + HDMA_REG_SRC, s->SrcAddr);
		hdma_write(HDMA_CH(c) + HDMA_REG_DST, s->DstAddr);
		hdma_write(HDMA_CH(c) + HDMA_REG_LEN, s->Length);
		hdma_write(HDMA_CH(c) + HDMA_REG_DATA, s->FillData);
		hdma_write(HDMA_CH(c) + HDMA_REG_ENABLE_B, 1);
	}
	return 0;
}

/* Polls the memory-test status while it runs, 100 ms at most. */
static int hdma_bist_poll(u32 *status)
{
	unsigned long end = jiffies + msecs_to_jiffies(HDMA_POLL_MS);

	for (;;) {
		*status = hdma_read(HDMA_REG_BIST_STATUS);
		if (!(*status & 0x4))
			return 0;
		HDMA_DBG("BIST running... status : 0x%08x\n", *status);
		if (time_after(jiffies, end))
			return -EBUSY;
		udelay(10);
	}
}

static int hdma_bist_run(u32 ctrl)
{
	u32 status;
	int ret;

	hdma_write(HDMA_REG_BIST_CTRL, ctrl | 0x1);
	ret = hdma_bist_poll(&status);
	if (!ret && status == 1) {
		HDMA_DBG("BIST done! status : 0x%08x\n", status);
	} else if (!ret && status == 2) {
		HDMA_ERR("BIST failure! status : 0x%08x\n", status);
		HDMA_ERR("--->fail occar in address : 0x%08x\n", hdma_read(HDMA_REG_BIST_FAIL_ADDR));
		HDMA_ERR("--->fail data(31:0) : 0x%08x,      --->golden(31:0) : 0x%08x\n",
			 hdma_read(HDMA_REG_BIST_DATA_LO), hdma_read(HDMA_REG_BIST_GOLD_LO));
		HDMA_ERR("--->fail data(63:32) : 0x%08x,    --->golden(63:32) : 0x%08x\n",
			 hdma_read(HDMA_REG_BIST_DATA_HI), hdma_read(HDMA_REG_BIST_GOLD_HI));
		ret = -EIO;
	}
	/* Transfers keep the test select: give it back. */
	hdma_write(HDMA_REG_HIGH_ADDR, hdma_read(HDMA_REG_HIGH_ADDR) & ~0xFu);
	return ret;
}

static void hdma_bist_setup(const ST_HDMA_BIST *b)
{
	hdma_write(HDMA_REG_HIGH_ADDR, (hdma_read(HDMA_REG_HIGH_ADDR) & ~0xFu) | 3);
	hdma_write(HDMA_REG_BIST_ADDR, b->u32StartAddr);
	hdma_write(HDMA_REG_BIST_LEN, b->u32WriteLength);
	hdma_write(HDMA_REG_BIST_VALUE, b->u32WriteValue);
	hdma_write(HDMA_REG_BIST_BURST, b->u32BurstLength);
	HDMA_DBG("BIST ready, status : 0x%08x\n", hdma_read(HDMA_REG_BIST_STATUS));
}

int HW_HDMA_Enable_BIST(const ST_HDMA_BIST *pstBIST)
{
	static const u32 ctrl_of_mode[] = { 0x80010, 0x80040, 0x80020, 0x80080, 0x80100 };
	u32 ctrl;

	if (!pstBIST || !g_KER_HDMA_op.RegBase) {
		HDMA_ERR("%s: Invalid input parameter!\n", __func__);
		return -1;
	}
	if (pstBIST->u32Mode >= ARRAY_SIZE(ctrl_of_mode)) {
		HDMA_ERR("%s: Not support this BIST mode!\n", __func__);
		return -EINVAL;
	}
	HDMA_DBG("pstBIST->u32StartAddr: 0x%08x\n", pstBIST->u32StartAddr);
	HDMA_DBG("pstBIST->u32WriteLength: 0x%08x\n", pstBIST->u32WriteLength);
	HDMA_DBG("pstBIST->u32WriteValue: 0x%08x\n", pstBIST->u32WriteValue);
	HDMA_DBG("pstBIST->u32BurstLength: 0x%08x\n", pstBIST->u32BurstLength);
	hdma_bist_setup(pstBIST);
	ctrl = ctrl_of_mode[pstBIST->u32Mode];
	if (pstBIST->u32Option)
		ctrl |= 0x80000 | 0x8000;
	hdma_write(HDMA_REG_BIST_CTRL, ctrl);
	return hdma_bist_run(ctrl);
}

int HW_HDMA_BIST_Delay(const ST_HDMA_BIST *pstBIST)
{
	u32 ctrl = 0x80020;

	if (!pstBIST || !g_KER_HDMA_op.RegBase) {
		HDMA_ERR("%s: Invalid input parameter!\n", __func__);
		return -1;
	}
	hdma_bist_setup(pstBIST);
	hdma_write(HDMA_REG_BIST_CTRL, ctrl);
	hdma_write(HDMA_REG_BIST_DELAY0, 16);
	hdma_write(HDMA_REG_BIST_DELAY1, 16);
	ctrl |= 0x1000000 | 0x800000;
	if (pstBIST->u32Option)
		ctrl |= 0x8000;
	hdma_write(HDMA_REG_BIST_CTRL, ctrl);
	return hdma_bist_run(ctrl);
}

void HW_HDMA_Disable_BIST(void)
{
	if (!g_KER_HDMA_op.RegBase)
		return;
	hdma_write(HDMA_REG_HIGH_ADDR, 0);
	hdma_write(HDMA_REG_BIST_ADDR, 0);
	hdma_write(HDMA_REG_BIST_LEN, 0);
	hdma_write(HDMA_REG_BIST_VALUE, 0);
	hdma_write(HDMA_REG_BIST_BURST, 0);
	hdma_write(HDMA_REG_BIST_DELAY0, 0);
	hdma_write(HDMA_REG_BIST_DELAY1, 0);
	hdma_write(HDMA_REG_BIST_CTRL, 0x80800);
}

int HW_HDMA_Compute_CRC(u32 u32Addr, u32 u32Length, u32 *pu32Low, u32 *pu32High)
{
	u32 status;
	int ret;

	if (pu32Low)
		*pu32Low = 0;
	if (pu32High)
		*pu32High = 0;
	if (u32Length % 8 || !pu32Low || !pu32High || !g_KER_HDMA_op.RegBase)
		return -1;
	hdma_write(HDMA_REG_HIGH_ADDR, 3);
	hdma_write(HDMA_REG_BIST_ADDR, u32Addr);
	hdma_write(HDMA_REG_BIST_LEN, u32Length);
	hdma_write(HDMA_REG_BIST_VALUE, 0);
	hdma_write(HDMA_REG_BIST_BURST, u32Length % 32 ? 0xFFFF0011 : 0xFFFF0000);
	hdma_write(HDMA_REG_BIST_CTRL, 0);
	hdma_write(HDMA_REG_BIST_CTRL, 0x780001);
	ret = hdma_bist_poll(&status);
	if (!ret && (status & 0x2)) {
		HDMA_ERR("%s() HW Fail !!!!!\n", __func__);
		ret = -EIO;
	} else if (!ret && status == 1) {
		*pu32Low = hdma_read(HDMA_REG_BIST_DATA_LO);
		*pu32High = hdma_read(HDMA_REG_BIST_DATA_HI);
	}
	hdma_write(HDMA_REG_HIGH_ADDR, 0);
	return ret;
}

void HW_HDMA_READ_Delay(u32 u32Value)
{
	hdma_write(HDMA_REG_READ_DELAY, u32Value);
	hdma_write(HDMA_REG_READ_DELAY_EN, 1);
}

void HW_HDMA_Disable_READ_Delay(void)
{
	hdma_write(HDMA_REG_READ_DELAY, 0);
	hdma_write(HDMA_REG_READ_DELAY_EN, 0);
}

int HW_HDMA_initialize(const ST_KER_HDMA_OP *pstOp)
{
	u32 chip, c;

	HDMA_DBG("Enter %s\n", __func__);
	if (!pstOp || !pstOp->RegBase || !pstOp->pfWait)
		return -1;
	HDMA_DBG("Virtual address : %p\n", pstOp->RegBase);
	g_KER_HDMA_op = *pstOp;
	chip = _HW_HDMA_GetChipID();
	g_bHdmaWide = chip == CHIP_ID_Q2 || chip == CHIP_ID_Q5;
	g_HDMA_channel_busy = 0;
	g_HDMA_channel_done = 0;
	for (c = 0; c < HDMA_CHANNELS; c++) {
		hdma_write(HDMA_CH(c) + HDMA_REG_ENABLE_A, 1);
		hdma_write(HDMA_CH(c) + HDMA_REG_ENABLE_B, 1);
	}
	HW_HDMA_Disable_BIST();
	return 0;
}

void HW_HDMA_deinitialize(void)
{
	memset(&g_KER_HDMA_op, 0, sizeof(g_KER_HDMA_op));
	g_HDMA_channel_busy = 0;
	g_HDMA_channel_done = 0;
}

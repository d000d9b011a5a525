// SPDX-License-Identifier: GPL-2.0
/* XDMA debug menu "DRV_XDMA": transfer tests, power hooks and debug masks. */
#include <linux/kernel.h>
#include <linux/delay.h>
#include <linux/jiffies.h>
#include <linux/ktime.h>
#include <linux/timekeeping.h>
#include <linux/math64.h>
#include "crv_platform.h"
#include "hw_xdma.h"
#include "ker_xdma_priv.h"

static void xdma_dbg_result(int ret)
{
	printk(KERN_INFO "%s", ret ? "AXI DMA Faill!\n" : "AXI DMA Success!\n");
}

static s64 xdma_dbg_ms_since(u64 t0)
{
	return (s64)div_u64(ktime_get_ns() - t0, 1000000);
}

static int _dbgFun_XDMA_FillTest(u32 *args)
{
	ST_XDMA_REQUEST req = {
		.u64DstAddr = 0x107000000ULL,
		.u32ByteCount = 0x140,
		.u16SrcStride = 0,
		.u16DstStride = 64,
		.u16LineWidth = 64,
		.u32FillValue = 0x12345678,
	};

	xdma_dbg_result(KER_XDMA_FillRect(&req));
	return 0;
}

static int _dbgFun_XDMA_BlitTest(u32 *args)
{
	ST_XDMA_REQUEST req = {
		.u64SrcAddr = 0x107000000ULL,
		.u64DstAddr = 0x108000000ULL,
		.u32ByteCount = 0x1800000,
		.u16SrcStride = 64,
		.u16DstStride = 64,
		.u16LineWidth = 64,
	};

	xdma_dbg_result(KER_XDMA_Blit(&req));
	return 0;
}

static int _dbgFun_XDMA_KerFillTest(u32 *args)
{
	ST_XDMA_REQUEST req = { .u32FillValue = 0xABCDEF78 };
	u64 t0;
	int ret;

	printk(KERN_INFO "Dst Addr ? ");
	req.u64DstAddr = DRV_DBG_GetNumber();
	printk(KERN_INFO "Data size ? ");
	req.u32ByteCount = DRV_DBG_GetNumber();
	t0 = ktime_get_ns();
	ret = KER_XDMA_FillRect(&req);
	printk(KERN_INFO "Fill 0x%x in %lldms\n", req.u32ByteCount, (long long)xdma_dbg_ms_since(t0));
	xdma_dbg_result(ret);
	return 0;
}

static int _dbgFun_XDMA_KerCopyTest(u32 *args)
{
	ST_XDMA_REQUEST req = { 0 };
	u64 t0;
	int ret;

	printk(KERN_INFO "src phys addr ? ");
	req.u64SrcAddr = DRV_DBG_GetNumber();
	printk(KERN_INFO "Dst Addr ? ");
	req.u64DstAddr = DRV_DBG_GetNumber();
	printk(KERN_INFO "Data size ? ");
	req.u32ByteCount = DRV_DBG_GetNumber();
	t0 = ktime_get_ns();
	ret = KER_XDMA_Blit(&req);
	printk(KERN_INFO "Copy 0x%x in %lldms\n", req.u32ByteCount, (long long)xdma_dbg_ms_since(t0));
	xdma_dbg_result(ret);
	return 0;
}

static const u64 xdma_dbg_cmd_len[] = { 0x100, 0x3F, 0x15, 0x4, 0xA00000, 0x200 };

static int _dbgFun_XDMA_CMDModeTest(u32 *args)
{
	struct vyr_xdma_cmd cmds[ARRAY_SIZE(xdma_dbg_cmd_len)];
	u64 off = 0;
	u32 loops, n, i;
	int ret = 0;

	for (i = 0; i < ARRAY_SIZE(cmds); i++) {
		cmds[i].src_addr = 0x35C00000ULL + off;
		cmds[i].dst_addr = 0x35D00000ULL + off;
		cmds[i].length = xdma_dbg_cmd_len[i];
		off += xdma_dbg_cmd_len[i];
	}
	printk(KERN_INFO "command mode loop times? \n");
	loops = DRV_DBG_GetNumber();
	for (n = 0; n < loops && !ret; n++) {
		unsigned long end;

		ret = KER_XDMA_CMD(cmds, ARRAY_SIZE(cmds));
		/* The list runs on after the call; wait for it to let the engine go. */
		end = jiffies + msecs_to_jiffies(2000);
		while (!ret && KER_XDMA_IsBusy() && time_before(jiffies, end))
			msleep(1);
		if (!ret && KER_XDMA_IsBusy())
			ret = -EBUSY;
	}
	xdma_dbg_result(ret);
	return 0;
}

static int _dbgFun_XDMA_SuspendTest(u32 *args)
{
	return _ker_xdma_suspend();
}

static int _dbgFun_XDMA_ResumeTest(u32 *args)
{
	return _ker_xdma_resume();
}

static int _dbgFun_XDMA_TimerTest(u32 *args)
{
	char line[16];
	u64 t0;

	printk(KERN_INFO "Press Enter to start timer ? ");
	DRV_DBG_GetString(line, sizeof(line));
	t0 = ktime_get_ns();
	printk(KERN_INFO "Press Enter to stop timer ? ");
	DRV_DBG_GetString(line, sizeof(line));
	printk(KERN_INFO "Time diff = %lldms\n", (long long)xdma_dbg_ms_since(t0));
	return 0;
}

static int _dbgFun_XDMA_SetDbgMask(u32 *args)
{
	s32 level;
	u32 mask = 0;

	printk(KERN_INFO "\n0 = Error\n1 = WARNING\n2 = MESSAGE\n3 = DBG\n");
	level = (s32)DRV_DBG_GetNumber();
	if (level >= 0)
		mask = level >= 31 ? 0xFFFFFFFFu : (2u << level) - 1;
	g_KerXDMADbgMask = mask;
	HW_XDMA_Mask(mask);
	printk(KERN_INFO "g_XDMADbgMask = %u\n", g_XDMADbgMask);
	return 0;
}

#define XDMA_ACTION(fn) static const ST_DRV_DBG_MENU_ACTION fn##_act = { .pfHandler = fn }
XDMA_ACTION(_dbgFun_XDMA_FillTest);
XDMA_ACTION(_dbgFun_XDMA_BlitTest);
XDMA_ACTION(_dbgFun_XDMA_KerFillTest);
XDMA_ACTION(_dbgFun_XDMA_KerCopyTest);
XDMA_ACTION(_dbgFun_XDMA_CMDModeTest);
XDMA_ACTION(_dbgFun_XDMA_SuspendTest);
XDMA_ACTION(_dbgFun_XDMA_ResumeTest);
XDMA_ACTION(_dbgFun_XDMA_TimerTest);
XDMA_ACTION(_dbgFun_XDMA_SetDbgMask);

#define XDMA_ITEM(name, fn) { DRV_DBG_MENU_ACTION, 0, name, &fn##_act }

const ST_DRV_DBG_MENU_ENTRY g_stXdmaDbgMenu[] = {
	XDMA_ITEM("Fill Test", _dbgFun_XDMA_FillTest),
	XDMA_ITEM("Blit Test", _dbgFun_XDMA_BlitTest),
	XDMA_ITEM("Ker_Fill Test", _dbgFun_XDMA_KerFillTest),
	XDMA_ITEM("Ker_Copy Test", _dbgFun_XDMA_KerCopyTest),
	XDMA_ITEM("Ker_CMDMode Test", _dbgFun_XDMA_CMDModeTest),
	XDMA_ITEM("Ker_Suspend Test", _dbgFun_XDMA_SuspendTest),
	XDMA_ITEM("Ker_Resume Test", _dbgFun_XDMA_ResumeTest),
	XDMA_ITEM("Ker_Timer Test", _dbgFun_XDMA_TimerTest),
	XDMA_ITEM("Set Dbg Mask", _dbgFun_XDMA_SetDbgMask),
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

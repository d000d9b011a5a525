// SPDX-License-Identifier: GPL-2.0
/*
 * HDMA self-tests against the OSD palette, the IMVQ SRAM and the PQ
 * registers, and the "DRV_HDMA" debug menu that runs them.
 */
#include <linux/kernel.h>
#include <linux/io.h>
#include <linux/slab.h>
#include <linux/delay.h>
#include <linux/jiffies.h>
#include <linux/kthread.h>
#include <linux/mutex.h>
#include <linux/sched/task.h>
#include <linux/atomic.h>
#include "vyr_compat.h"
#include "crv_platform.h"
#include "ker_hdma.h"
#include "hw_hdma.h"
#include "ker_hdma_priv.h"

#define HDMA_PATTERN 0xAA550000u
#define OSD_PHYS 0xFC0D0000UL
#define IMVQ_PHYS 0xFC310000UL
#define PQ_PHYS 0xFE005A00UL

static void __iomem *DP_RegRemap;
static void __iomem *OSD_RegRemap;
static void __iomem *OSD_update_RegRemap;
static void __iomem *IMVQ_RegRemap;
static void __iomem *IMVQ_CTRL_RegRemap;
static void __iomem *PQ_RegRemap;
/* The menu's IMVQ test threads, held until they are stopped and joined. */
#define HDMA_MENU_THREADS 5
static struct task_struct *g_HdmaMenuTask[HDMA_MENU_THREADS];
static DEFINE_MUTEX(g_HdmaMenuTaskMutex);

static const char *const hdma_test_text[] = {
	"Test Src incre, Dst fixed (Copy DRAM -> OSD Palette)",
	"Test Src incre, Dst incre (Copy DRAM -> IMVQ SRAM)",
	"",
	"Test Src fixed, Dst incre (Fill Data -> IMVQ SRAM)",
	"Test Dst addr in DRAM\t(Data ADDR to IMVQ)",
	"Test Dst addr in DRAM\t(Data ADDR to PQ)",
};

int _KER_HDMA_other_reg_remap(void)
{
	static const struct {
		void __iomem **p;
		unsigned long phys;
		size_t size;
		const char *fail;
	} w[] = {
		{ &DP_RegRemap, 0xFE000FC0UL, 32, "Can't remap osd register window\n" },
		/* The palette test reaches 0x420: map the whole page. */
		{ &OSD_RegRemap, OSD_PHYS, 4096, "Can't remap osd register window\n" },
		{ &OSD_update_RegRemap, 0xFC0DB000UL, 256, "Can't remap osd update register window\n" },
		{ &IMVQ_RegRemap, IMVQ_PHYS, 8192, "Can't remap imvq register window\n" },
		{ &IMVQ_CTRL_RegRemap, 0xFD110820UL, 256, "Can't remap imvq ctrl register window\n" },
		{ &PQ_RegRemap, PQ_PHYS, 4096, "Can't remap pq register window\n" },
	};
	int i;

	for (i = 0; i < ARRAY_SIZE(w); i++) {
		if (*w[i].p)
			continue;
		*w[i].p = vyr_ioremap_nocache(w[i].phys, w[i].size);
		if (!*w[i].p) {
			HDMA_ERR("%s", w[i].fail);
			return -ENOMEM;
		}
	}
	return 0;
}

void _KER_HDMA_other_reg_unmap(void)
{
	void __iomem **p[] = { &DP_RegRemap, &OSD_RegRemap, &OSD_update_RegRemap, &IMVQ_RegRemap,
			       &IMVQ_CTRL_RegRemap, &PQ_RegRemap };
	int i;

	for (i = 0; i < ARRAY_SIZE(p); i++) {
		if (*p[i])
			iounmap(*p[i]);
		*p[i] = NULL;
	}
}

void _set_PQ_Port(u32 port)
{
	static const u32 v[] = { 12, 10, 9 };

	if (port < ARRAY_SIZE(v) && PQ_RegRemap)
		writel(v[port], PQ_RegRemap + 0xE0);
}

static void hdma_trace(const ST_HDMA_TRANSFER *t)
{
	HDMA_DBG("DMAMode %d\n", t->DMAMode);
	if (t->DMAMode != HDMA_MODE_FILL_DST_INCRE && t->DMAMode != HDMA_MODE_FILL_DST_FIXED)
		HDMA_DBG("Src Addr: %llx\n", (unsigned long long)t->SrcAddr);
	HDMA_DBG("Dst Addr: %llx\n", (unsigned long long)t->DstAddr);
	HDMA_DBG("Size: %x\n", t->Size);
	HDMA_DBG("[0x80]: %x , linecount = %d\n", t->TriggerMode, t->HLine);
}

static int hdma_mismatch(int i, const void __iomem *addr, u32 got, u32 want)
{
	HDMA_ERR("index: %d\n", i);
	HDMA_ERR("pu32DstAddr_SW addr: %lx\n", (unsigned long)(uintptr_t)addr);
	HDMA_ERR("read data: %x\n", got);
	HDMA_ERR("pattern data: %x\n", want);
	return 22;
}

/* Runs a transfer with its waits; the pattern is the caller's. */
static int hdma_test_run(ST_HDMA_TRANSFER *t)
{
	int ret;

	t->Reserved = 1;
	hdma_trace(t);
	msleep(100);
	ret = DRV_HdmaTransfer(t);
	msleep(100);
	return ret;
}

static void osd_palette_prepare(void)
{
	unsigned long end = jiffies + msecs_to_jiffies(100);

	writel(0, OSD_RegRemap + 0x404);
	writel(0x14, OSD_RegRemap + 0x410);
	writel(0x12300000, OSD_RegRemap + 0x420);
	writel(0x40, OSD_update_RegRemap);
	/* Latched at the next vsync; with the display off it never comes. */
	while (readl(OSD_update_RegRemap) && time_before(jiffies, end))
		msleep(1);
}

static int hdma_test_osd_palette(u32 trig, u32 line)
{
	ST_HDMA_TRANSFER t = { .DMAMode = HDMA_MODE_COPY_DST_FIXED, .TriggerMode = trig, .HLine = line,
			       .DstAddr = OSD_PHYS + 0x408, .Size = 0x400 };
	u32 *pat;
	int i, ret;

	pat = kmalloc(0x400, GFP_KERNEL);
	if (!pat) {
		HDMA_ERR("DRV_HDMA kmalloc fail\n");
		return -EINVAL;
	}
	for (i = 0; i < 256; i++)
		pat[i] = HDMA_PATTERN + i;
	t.SrcAddr = (u64)(uintptr_t)pat;
	osd_palette_prepare();
	ret = hdma_test_run(&t);
	osd_palette_prepare();
	for (i = 0; !ret && i < 256; i++) {
		u32 v = readl(OSD_RegRemap + 0x408);

		if (v != pat[i])
			ret = hdma_mismatch(i, OSD_RegRemap + 0x408, v, pat[i]);
	}
	kfree(pat);
	return ret;
}

/* IMVQ tests: the control word is off during the transfer and on after it. */
static int hdma_test_imvq(u32 test, u32 trig, u32 line)
{
	ST_HDMA_TRANSFER t = { .TriggerMode = trig, .HLine = line, .DstAddr = IMVQ_PHYS };
	u32 words = 0, *buf = NULL, ctrl, i;
	int ret;

	switch (test) {
	case 1:
		words = 2048;
		t.DMAMode = HDMA_MODE_COPY_DST_INCRE;
		t.Size = words * 4;
		break;
	case 3:
		words = 256;
		t.DMAMode = HDMA_MODE_FILL_DST_INCRE;
		t.FillData = HDMA_PATTERN;
		t.Size = 0x400;
		break;
	default:
		words = 256;
		t.DMAMode = HDMA_MODE_DATA_ADDR;
		t.Size = words * 8;
		break;
	}
	if (test != 3) {
		buf = kmalloc(t.Size, GFP_KERNEL);
		if (!buf) {
			HDMA_ERR("DRV_HDMA kmalloc fail\n");
			return -EINVAL;
		}
		for (i = 0; i < words; i++) {
			if (test == 1) {
				buf[i] = HDMA_PATTERN + i;
			} else {
				buf[2 * i] = HDMA_PATTERN + i;
				buf[2 * i + 1] = IMVQ_PHYS + 4 * i;
			}
		}
		t.SrcAddr = (u64)(uintptr_t)buf;
	}
	ctrl = readl(IMVQ_CTRL_RegRemap);
	writel(0, IMVQ_CTRL_RegRemap);
	ret = hdma_test_run(&t);
	writel(1, IMVQ_CTRL_RegRemap);
	for (i = 0; !ret && i < words; i++) {
		u32 want = test == 3 ? HDMA_PATTERN : HDMA_PATTERN + i;
		u32 v = readl(IMVQ_RegRemap + 4 * i);

		if (v != want)
			ret = hdma_mismatch(i, IMVQ_RegRemap + 4 * i, v, want);
	}
	if (!ret)
		writel(ctrl, IMVQ_CTRL_RegRemap);
	kfree(buf);
	return ret;
}

/* Three PQ ports' tables as one address list. */
static int _KER_HDMA_Test_PqDataAddr(u32 trig, u32 line)
{
	static const u32 port_value[] = { 12, 10, 9 };
	ST_HDMA_TRANSFER t = { .DMAMode = HDMA_MODE_DATA_ADDR, .TriggerMode = trig, .HLine = line,
			       .DstAddr = 0xFE005AE4, .Size = 3 * 1027 * 8 };
	u32 *list, *e, p, k;
	int ret;

	list = kmalloc(t.Size, GFP_KERNEL);
	if (!list) {
		HDMA_ERR("DRV_HDMA kmalloc fail\n");
		return -EINVAL;
	}
	writel(2, PQ_RegRemap + 0xC0);
	for (p = 0, e = list; p < 3; p++) {
		*e++ = 0;
		*e++ = 0xFE000F44;
		*e++ = port_value[p];
		*e++ = 0xFE005AE0;
		for (k = 0; k < 1024; k++) {
			*e++ = 4 * k;
			*e++ = 0xFE005AE4;
		}
		*e++ = 4095;
		*e++ = 0xFE005AE4;
	}
	t.SrcAddr = (u64)(uintptr_t)list;
	t.Reserved = 1;
	hdma_trace(&t);
	msleep(1000);
	ret = DRV_HdmaTransfer(&t);
	msleep(1000);
	kfree(list);
	return ret;
}

/* 8 KiB of pattern copied into the IMVQ SRAM. */
static int _KER_HDMA_Test_ImvqCopy(u32 trig, u32 line)
{
	return hdma_test_imvq(1, trig, line);
}

static int hdma_run_test(u32 test, u32 trig, u32 line)
{
	if ((test == 0 && (!OSD_RegRemap || !OSD_update_RegRemap)) ||
	    ((test == 1 || test == 3 || test == 4) && (!IMVQ_RegRemap || !IMVQ_CTRL_RegRemap)) ||
	    (test == 5 && !PQ_RegRemap))
		return -EINVAL;
	switch (test) {
	case 0:
		return hdma_test_osd_palette(trig, line);
	case 1:
		return _KER_HDMA_Test_ImvqCopy(trig, line);
	case 3:
	case 4:
		return hdma_test_imvq(test, trig, line);
	case 2:
		return 0;
	case 5:
		return _KER_HDMA_Test_PqDataAddr(trig, line);
	default:
		return -EINVAL;
	}
}

static void hdma_trigger_of(u32 choice, u32 *mode, u32 *line)
{
	if (choice == 0) {
		*mode = 0;
		*line = 0;
	} else if (choice == 2) {
		*mode = 3;
		*line = 10;
	} else {
		*mode = 1;
		*line = 2050;
	}
}

int _KER_HDMA_Bat(u32 u32Test, const ST_HDMA_BAT_PARAM *pstParam)
{
	u32 mode, line, run;
	u64 runs;
	int ret = 0;

	if (!READ_ONCE(g_HDMA_initial)) {
		HDMA_ERR("DRV_HDMA is not initialized!\n");
		return 22;
	}
	if (u32Test >= ARRAY_SIZE(hdma_test_text))
		return -EINVAL;
	runs = pstParam->u32Count ? pstParam->u32Count : (1ULL << 32);
	if (!pstParam->u32Count)
		g_HDMADbgMask = 1;
	hdma_trigger_of(pstParam->u32Trigger, &mode, &line);
	if (_KER_HDMA_other_reg_remap())
		return -EINVAL;
	for (run = 0; run < runs && READ_ONCE(g_HDMA_initial); run++) {
		ret = hdma_run_test(u32Test, mode, line);
		if (!ret)
			HDMA_INF("%s success! Run count: 0x%x\n", hdma_test_text[u32Test], run);
		else
			HDMA_ERR("%s fail!\n", hdma_test_text[u32Test]);
		if (run == 0xFFFFFFFFu)
			break;
	}
	return ret;
}

/* ---- debug menu ---- */

static int hdma_menu_bat(u32 test, const u32 *args)
{
	ST_HDMA_BAT_PARAM p = { .u32Trigger = args[0], .u32Count = args[1] };

	return _KER_HDMA_Bat(test, &p);
}

static int _dbgFun_HDMA_SrcIncreDstFixed(u32 *args) { return hdma_menu_bat(0, args); }
static int _dbgFun_HDMA_SrcIncreDstIncre(u32 *args) { return hdma_menu_bat(1, args); }
static int _dbgFun_HDMA_SrcFixedDstIncre(u32 *args) { return hdma_menu_bat(3, args); }
static int _dbgFun_HDMA_DataAddrDRAM2IMVQ(u32 *args) { return hdma_menu_bat(4, args); }
static int _dbgFun_HDMA_DataAddrDRAM2PQ(u32 *args) { return hdma_menu_bat(5, args); }

static int _dbgFun_HDMA_thread_IMVQ(void *data)
{
	int i;

	for (i = 0; i < 10 && !kthread_should_stop(); i++) {
		if (_KER_HDMA_Test_ImvqCopy(0, 0)) {
			HDMA_ERR("Test Dst addr in DRAM\t(Data ADDR to IMVQ) fail!\n");
			break;
		}
	}
	return 0;
}

/* Caller holds g_HdmaMenuTaskMutex. */
static void hdma_menu_threads_stop_locked(void)
{
	int i;

	for (i = 0; i < HDMA_MENU_THREADS; i++) {
		if (!g_HdmaMenuTask[i])
			continue;
		kthread_stop(g_HdmaMenuTask[i]);
		put_task_struct(g_HdmaMenuTask[i]);
		g_HdmaMenuTask[i] = NULL;
	}
}

void _KER_HDMA_StopMenuThreads(void)
{
	mutex_lock(&g_HdmaMenuTaskMutex);
	hdma_menu_threads_stop_locked();
	mutex_unlock(&g_HdmaMenuTaskMutex);
}

int _dbgFun_HDMA_thread_PQ(void *data)
{
	int i;

	for (i = 0; i < 10 && READ_ONCE(g_HDMA_initial); i++) {
		if (_KER_HDMA_Test_PqDataAddr(1, 2050)) {
			HDMA_ERR("Test Dst addr in DRAM\t(Data ADDR to PQ) fail!\n");
			break;
		}
	}
	return 0;
}

static int _dbgFun_HDMA_Thread_DataAddrPQ(u32 *args)
{
	int i;

	if (!READ_ONCE(g_HDMA_initial) || _KER_HDMA_other_reg_remap())
		return -EINVAL;
	mutex_lock(&g_HdmaMenuTaskMutex);
	/* The threads of an earlier run end first: five at a time. */
	hdma_menu_threads_stop_locked();
	for (i = 0; i < HDMA_MENU_THREADS; i++) {
		struct task_struct *t = kthread_run(_dbgFun_HDMA_thread_IMVQ, NULL, "HDMA kthread IMVQ");

		/* Held: a thread that ends on its own is still joined by kthread_stop. */
		if (!IS_ERR(t))
			g_HdmaMenuTask[i] = get_task_struct(t);
	}
	mutex_unlock(&g_HdmaMenuTaskMutex);
	for (i = 0; i < 10; i++) {
		if (_KER_HDMA_Test_PqDataAddr(1, 2050)) {
			HDMA_ERR("Test Dst addr in DRAM\t(Data ADDR to PQ) fail!\n");
			break;
		}
	}
	return 0;
}

static int _dbgFun_HDMA_TestAll(u32 *args)
{
	ST_HDMA_BAT_PARAM p = { .u32Trigger = args[0], .u32Count = 1 };
	u32 n, test;

	for (n = 0; n < args[1] || (!args[1] && n != 0xFFFFFFFFu); n++)
		for (test = 0; test < ARRAY_SIZE(hdma_test_text); test++)
			_KER_HDMA_Bat(test, &p);
	return 0;
}

static int _dbgFun_HDMA_PMI(u32 *args)
{
	return args[0] == 0 ? _ker_hdma_suspend_p() : _ker_hdma_resume_p();
}

static int _dbgFun_HDMA_Set_Semaphore_max(u32 *args)
{
	u32 n;

	printk(KERN_INFO "\nSet Semaphore = ? ");
	n = DRV_DBG_GetNumber();
	if (_KER_HDMA_SetSemMax(n))
		return -EINVAL;
	printk(KERN_INFO "Semaphore max = %d reinit!\n", n);
	return 0;
}

static int _dbgFun_HDMA_Dbg_Mask(u32 *args)
{
	s32 n;

	printk(KERN_INFO "\n0 = Error\n1 = WARNING\n2 = MESSAGE\n3 = DBG\n");
	n = (s32)DRV_DBG_GetNumber();
	if (n < 0)
		g_HDMADbgMask = 0;
	else
		g_HDMADbgMask = n >= 31 ? 0xFFFFFFFFu : (2u << n) - 1;
	printk(KERN_INFO "g_HDMADbgMask = %u\n", g_HDMADbgMask);
	return 0;
}

static const char hdma_prompt_trigger[] =
	"Trigger mode? 0-Immediately, 1-H line trigger(DP), 2-H line trigger(OSD)";
static const char hdma_prompt_count[] = "Test count? 0-Infinite or user define";

#define HDMA_ACTION2(fn) \
	static const ST_DRV_DBG_MENU_ACTION fn##_act = { fn, { hdma_prompt_trigger, hdma_prompt_count } }
#define HDMA_ACTION0(fn) static const ST_DRV_DBG_MENU_ACTION fn##_act = { fn, { NULL, NULL } }
HDMA_ACTION2(_dbgFun_HDMA_SrcIncreDstFixed);
HDMA_ACTION2(_dbgFun_HDMA_SrcIncreDstIncre);
HDMA_ACTION2(_dbgFun_HDMA_SrcFixedDstIncre);
HDMA_ACTION2(_dbgFun_HDMA_DataAddrDRAM2IMVQ);
HDMA_ACTION2(_dbgFun_HDMA_DataAddrDRAM2PQ);
HDMA_ACTION0(_dbgFun_HDMA_Thread_DataAddrPQ);
HDMA_ACTION2(_dbgFun_HDMA_TestAll);
static const ST_DRV_DBG_MENU_ACTION _dbgFun_HDMA_PMI_act = {
	_dbgFun_HDMA_PMI, { "Test 0-suspend, 1-resume", NULL } };
HDMA_ACTION0(_dbgFun_HDMA_Set_Semaphore_max);
HDMA_ACTION0(_dbgFun_HDMA_Dbg_Mask);

#define HDMA_ITEM(name, fn) { DRV_DBG_MENU_ACTION, 0, name, &fn##_act }

const ST_DRV_DBG_MENU_ENTRY g_stHdmaDbgMenu[] = {
	HDMA_ITEM("Test Src incre, Dst fixed (Copy DRAM -> OSD Palette)", _dbgFun_HDMA_SrcIncreDstFixed),
	HDMA_ITEM("Test Src incre, Dst incre (Copy DRAM -> IMVQ SRAM)", _dbgFun_HDMA_SrcIncreDstIncre),
	HDMA_ITEM("Test Src fixed, Dst incre (Fill Data -> IMVQ SRAM)", _dbgFun_HDMA_SrcFixedDstIncre),
	HDMA_ITEM("Test Dst addr in DRAM\t(Data ADDR to IMVQ)", _dbgFun_HDMA_DataAddrDRAM2IMVQ),
	HDMA_ITEM("Test Dst addr in DRAM\t(Data ADDR to PQ)", _dbgFun_HDMA_DataAddrDRAM2PQ),
	HDMA_ITEM("Start thread (Data ADDR to PQ)", _dbgFun_HDMA_Thread_DataAddrPQ),
	HDMA_ITEM("Test All", _dbgFun_HDMA_TestAll),
	HDMA_ITEM("Test Suspend/Resume", _dbgFun_HDMA_PMI),
	HDMA_ITEM("Set Sem Max", _dbgFun_HDMA_Set_Semaphore_max),
	HDMA_ITEM("Set Dbg Mask", _dbgFun_HDMA_Dbg_Mask),
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

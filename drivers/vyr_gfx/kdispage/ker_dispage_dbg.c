// SPDX-License-Identifier: GPL-2.0
/*
 * DispAge debug menu "Ker_DispAge": message masks, self tests on two test
 * pages, performance runs and the AHB property bits.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/io.h>
#include <linux/mm.h>
#include <linux/gfp.h>
#include <linux/highmem.h>
#include <linux/ktime.h>
#include <linux/string.h>
#include "crv_platform.h"
#include "ker_dispage.h"
#include "ker_dispage_op.h"

#define PERF_WIDTH	1920
#define PERF_HEIGHT	1080
#define PERF_LOOPS	100
#define AHB_NS_PHYS	0xFD650008
#define AHB_TRIGGER_PHYS 0xFD6500E0

static struct {
	struct page *apPage[2];
} stKdispage_DbgCtx;

void _KDispAge_DbgFreePages(void)
{
	int i;

	for (i = 0; i < 2; i++) {
		if (stKdispage_DbgCtx.apPage[i])
			__free_page(stKdispage_DbgCtx.apPage[i]);
		stKdispage_DbgCtx.apPage[i] = NULL;
	}
}

static u64 _KDispAge_DbgGetU64(void)
{
	char buf[16];
	u64 val;

	DRV_DBG_GetString(buf, sizeof(buf));
	if (kstrtou64(strim(buf), 0, &val))
		return 0;
	return val;
}

static u64 _dbg_page_phys(int i)
{
	return stKdispage_DbgCtx.apPage[i] ? page_to_phys(stKdispage_DbgCtx.apPage[i]) : 0;
}

/* The first 12 words of a test page, when there is one. */
static void _dbg_print_page(int i)
{
	struct page *page = stKdispage_DbgCtx.apPage[i];
	u32 *w;
	int l;

	if (!page)
		return;
	w = kmap(page);
	for (l = 0; l < 3; l++)
		printk(KERN_INFO "0x%08X : 0x%08X, 0x%08X, 0x%08X, 0x%08X\n",
		       (u32)(page_to_phys(page) + l * 16), w[l * 4], w[l * 4 + 1], w[l * 4 + 2], w[l * 4 + 3]);
	kunmap(page);
}

static void _dbg_test_plane(ST_KDISPAGE_PLANE *p, u8 fmt, u64 addr)
{
	memset(p, 0, sizeof(*p));
	p->FormatMode = fmt;
	p->Apha_1 = 0xFF;
	p->Apha_2 = 0xFF;
	p->Buf_Address[0] = addr;
	p->Buf_Stride[0] = 64;
	p->Width = 10;
	p->Height = 10;
}

static int _KDispAge_DbgFun_SetDbgMask(u32 *args)
{
	u32 n;

	for (;;) {
		printk(KERN_INFO "---------------------- Basic ----------------------\n");
		Ker_DispAge_PrintDbgGroup();
		printk(KERN_INFO "----------------------- Op ------------------------\n");
		Ker_DispAge_Op_PrintDbgGroup(32);
		printk(KERN_INFO "%d) ALL OFF\n", 999);
		printk(KERN_INFO "%d) EXIT\n", 12345);
		printk(KERN_INFO "Please choose a module to toggle message: ");
		n = DRV_DBG_GetNumber();
		if (n == 999) {
			Ker_DispAge_Disable_All_DbgMask();
			Ker_DispAge_Op_Disable_All_DbgMask();
		} else if (n == 12345) {
			return 0;
		} else if (n > 31) {
			Ker_DispAge_Op_ToggleDbgMask(n - 32);
		} else {
			Ker_DispAge_ToggleDbgMask(n);
		}
	}
}

static int _KDispAge_DbgFun_AllocBuffer(u32 *args)
{
	int i;

	for (i = 0; i < 2; i++)
		if (!stKdispage_DbgCtx.apPage[i])
			stKdispage_DbgCtx.apPage[i] = alloc_page(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO);
	return 0;
}

static int _KDispAge_DbgFun_FreeBuffer(u32 *args)
{
	_KDispAge_DbgFreePages();
	return 0;
}

static int _KDispAge_DbgFun_FillBuffer(u32 *args)
{
	ST_KDISPAGE_PLANE dst;
	u64 addr = _dbg_page_phys(0);
	u32 color;

	if (!addr) {
		printk(KERN_INFO "Dst Addr ? ");
		addr = _KDispAge_DbgGetU64();
	}
	_dbg_test_plane(&dst, KDISPAGE_FMT_ARGB8888, addr);
	printk(KERN_INFO "Fill Color ? ");
	color = DRV_DBG_GetNumber();
	KDispAge_OP_Fill(&dst, color);
	printk(KERN_INFO "Buffer 0x%08X Fill color %X\n", (u32)addr, color);
	_dbg_print_page(0);
	return 0;
}

static int _KDispAge_DbgFun_FormatTransform(u32 *args)
{
	ST_KDISPAGE_PLANE src, dst;
	u64 src_addr = _dbg_page_phys(0), dst_addr;
	u32 fmt;

	if (!src_addr) {
		printk(KERN_INFO "Src Addr ? ");
		src_addr = _KDispAge_DbgGetU64();
	}
	printk(KERN_INFO "Dst Color mode ? ");
	fmt = DRV_DBG_GetNumber();
	dst_addr = _dbg_page_phys(1);
	if (!dst_addr) {
		printk(KERN_INFO "Dst Addr ? ");
		dst_addr = _KDispAge_DbgGetU64();
	}
	_dbg_test_plane(&src, KDISPAGE_FMT_ARGB8888, src_addr);
	_dbg_test_plane(&dst, (u8)fmt, dst_addr);
	KDispAge_OP_FormatTransform(&src, &dst);
	printk(KERN_INFO "Fmt Transform from 0x%08X to 0x%08X\n", (u32)src_addr, (u32)dst_addr);
	_dbg_print_page(0);
	_dbg_print_page(1);
	return 0;
}

static int _KDispAge_DbgFun_DumpRegister(u32 *args)
{
	KDispAge_Op_DumpReg();
	return 0;
}

/* loops x (W x H / 1024) x 1000 / (ms x 1024): mega pixels per second. */
static u64 _dbg_rate(u32 loops, u32 w, u32 h, s64 ms)
{
	if (ms <= 0)
		return 0;
	return div64_u64((u64)loops * ((w * h) / 1024) * 1000, (u64)ms * 1024);
}

static int _KDispAge_DbgFun_PerformanceTest_1(u32 *args)
{
	ST_KDISPAGE_PLANE src, dst;
	u32 stride = ALIGN(PERF_WIDTH * 4, 8);
	u64 addr;
	u32 mode, i;
	s64 t0, ms;

	printk(KERN_INFO "Dst Addr ? ");
	addr = _KDispAge_DbgGetU64();
	printk(KERN_INFO "Op Mode ? (0: Fill, 1: Fmt Transform)");
	mode = DRV_DBG_GetNumber();
	if (mode > 1) {
		printk(KERN_INFO "[DBG_DRV_GPU]unknow op !!!!!!\n");
		return 0;
	}
	_dbg_test_plane(&src, KDISPAGE_FMT_ARGB8888, addr);
	src.Width = PERF_WIDTH;
	src.Height = PERF_HEIGHT;
	src.Buf_Stride[0] = stride;
	dst = src;
	dst.Buf_Address[0] = addr + (u64)stride * PERF_HEIGHT;
	t0 = ktime_to_ms(ktime_get());
	for (i = 0; i < PERF_LOOPS; i++) {
		if (mode == 0)
			KDispAge_OP_Fill(&src, 0x5A5A5A5A);
		else
			KDispAge_OP_FormatTransform(&src, &dst);
	}
	ms = ktime_to_ms(ktime_get()) - t0;
	printk(KERN_INFO "[DBG_DRV_GPU]Time Diff = %lld, %lld MegaPixelsPreSec\n", (long long)ms,
	       (long long)_dbg_rate(PERF_LOOPS, PERF_WIDTH, PERF_HEIGHT, ms));
	return 0;
}

/* Asks for one plane; false when the operator ends the item (address 0). */
static bool _dbg_ask_plane(const char *who, ST_KDISPAGE_PLANE *p)
{
	memset(p, 0, sizeof(*p));
	printk(KERN_INFO "%s Format ? \n", who);
	p->FormatMode = (u8)DRV_DBG_GetNumber();
	printk(KERN_INFO "%s Address ? \n", who);
	p->Buf_Address[0] = _KDispAge_DbgGetU64();
	if (!p->Buf_Address[0])
		return false;
	do {
		printk(KERN_INFO "%s Buf_Stride ? \n", who);
		p->Buf_Stride[0] = DRV_DBG_GetNumber();
	} while (!p->Buf_Stride[0]);
	printk(KERN_INFO "%s Clip X ? \n", who);
	p->ClipX = (u16)DRV_DBG_GetNumber();
	printk(KERN_INFO "%s Clip Y ? \n", who);
	p->ClipY = (u16)DRV_DBG_GetNumber();
	printk(KERN_INFO "%s Width ? \n", who);
	p->Width = (u16)DRV_DBG_GetNumber();
	printk(KERN_INFO "%s Height ? \n", who);
	p->Height = (u16)DRV_DBG_GetNumber();
	p->Buf_Address[1] = p->Buf_Address[0] + (u64)(p->ClipY + p->Height) * p->Buf_Stride[0];
	p->Buf_Stride[1] = p->Buf_Stride[0];
	if (p->FormatMode == 17 || p->FormatMode == 18)
		p->Buf_Stride[1] *= 2;
	p->ClipOn = p->ClipX || p->ClipY;
	p->Apha_1 = 0xFF;
	p->Apha_2 = 0xFF;
	return true;
}

static int _KDispAge_DbgFun_PerformanceTest_Customize(u32 *args)
{
	ST_KDISPAGE_PLANE src, dst;
	u32 op, loops, i;
	s64 t0, ms;

	printk(KERN_INFO "Select Copy or Scaling ? (0: Fill, 1: Fmt Transform)\n");
	op = DRV_DBG_GetNumber();
	memset(&src, 0, sizeof(src));
	if (op == 1 && !_dbg_ask_plane("Src", &src))
		return 0;
	if (!_dbg_ask_plane("Dst", &dst))
		return 0;
	printk(KERN_INFO "Test loops ? \n");
	loops = DRV_DBG_GetNumber();
	printk(KERN_INFO "Test start !!\n");
	t0 = ktime_to_ms(ktime_get());
	for (i = 0; i < loops; i++) {
		if (op == 0) {
			KDispAge_OP_Fill(&dst, 0xDEADBEEF);
		} else if (op == 1) {
			KDispAge_OP_FormatTransform(&src, &dst);
		} else {
			printk(KERN_INFO "Not support Op: %d\n", op);
			return 0;
		}
	}
	ms = ktime_to_ms(ktime_get()) - t0;
	printk(KERN_INFO "Time Diff = %lld, %lld MegaPixelsPreSec\n", (long long)ms,
	       (long long)_dbg_rate(loops, dst.Width, dst.Height, ms));
	return 0;
}

/* The AHB word (bit 16 at offset 4) and the trigger-mask word (bit 1). */
static int _dbg_ahb_map(void __iomem **ns, void __iomem **trig)
{
	*ns = ioremap(AHB_NS_PHYS, 8);
	*trig = ioremap(AHB_TRIGGER_PHYS, 4);
	if (*ns && *trig)
		return 0;
	if (*ns)
		iounmap(*ns);
	if (*trig)
		iounmap(*trig);
	printk(KERN_ERR "DispAge property registers not mapped\n");
	return -EFAULT;
}

static void _dbg_ahb_unmap(void __iomem *ns, void __iomem *trig)
{
	iounmap(ns);
	iounmap(trig);
}

static int _KDispAge_DbgFun_Property_Check(u32 *args)
{
	void __iomem *ns, *trig;

	if (_dbg_ahb_map(&ns, &trig))
		return -EFAULT;
	printk(KERN_INFO "DispAge Reg. Page   : Non-Secure = %d\n", (readl(ns + 4) >> 16) & 1);
	printk(KERN_INFO "DispAge Trigger Bit :    Mask    = %d\n", (readl(trig) >> 1) & 1);
	_dbg_ahb_unmap(ns, trig);
	return 0;
}

static int _KDispAge_DbgFun_Property_AHB_Ns_Toggle(u32 *args)
{
	void __iomem *ns, *trig;
	u32 v;

	if (_dbg_ahb_map(&ns, &trig))
		return -EFAULT;
	v = readl(ns + 4) ^ BIT(16);
	writel(v, ns + 4);
	printk(KERN_INFO "DispAge Reg. Page Non-Secure set to %d\n", (v >> 16) & 1);
	_dbg_ahb_unmap(ns, trig);
	return 0;
}

static int _KDispAge_DbgFun_Property_AHB_TriggerMask_Toggle(u32 *args)
{
	void __iomem *ns, *trig;
	u32 v;

	if (_dbg_ahb_map(&ns, &trig))
		return -EFAULT;
	v = readl(trig) ^ BIT(1);
	writel(v, trig);
	printk(KERN_INFO "DispAge Trigger Bit Mask Set to %d\n", (v >> 1) & 1);
	_dbg_ahb_unmap(ns, trig);
	return 0;
}

#define DISPAGE_ACTION(fn) static const ST_DRV_DBG_MENU_ACTION fn##_act = { .pfHandler = fn }
DISPAGE_ACTION(_KDispAge_DbgFun_SetDbgMask);
DISPAGE_ACTION(_KDispAge_DbgFun_AllocBuffer);
DISPAGE_ACTION(_KDispAge_DbgFun_FreeBuffer);
DISPAGE_ACTION(_KDispAge_DbgFun_FillBuffer);
DISPAGE_ACTION(_KDispAge_DbgFun_FormatTransform);
DISPAGE_ACTION(_KDispAge_DbgFun_DumpRegister);
DISPAGE_ACTION(_KDispAge_DbgFun_PerformanceTest_1);
DISPAGE_ACTION(_KDispAge_DbgFun_PerformanceTest_Customize);
DISPAGE_ACTION(_KDispAge_DbgFun_Property_Check);
DISPAGE_ACTION(_KDispAge_DbgFun_Property_AHB_Ns_Toggle);
DISPAGE_ACTION(_KDispAge_DbgFun_Property_AHB_TriggerMask_Toggle);

#define ITEM(name, fn) { DRV_DBG_MENU_ACTION, 0, name, &fn##_act }
#define SUB(name, tbl) { DRV_DBG_MENU_SUBMENU, 0, name, tbl }
#define END { DRV_DBG_MENU_END, 0, NULL, NULL }

static const ST_DRV_DBG_MENU_ENTRY _KerDispAgeDbgMenu_SelfTest[] = {
	ITEM("Alloc Buffer", _KDispAge_DbgFun_AllocBuffer),
	ITEM("Free  Buffer", _KDispAge_DbgFun_FreeBuffer),
	ITEM("Fill", _KDispAge_DbgFun_FillBuffer),
	ITEM("Format Transform", _KDispAge_DbgFun_FormatTransform),
	ITEM("Dump Register", _KDispAge_DbgFun_DumpRegister),
	END,
};

static const ST_DRV_DBG_MENU_ENTRY _KerDispAgeDbgMenu_PerformanceTest[] = {
	ITEM("Fix size  Performance Test", _KDispAge_DbgFun_PerformanceTest_1),
	ITEM("Customize Performance Test", _KDispAge_DbgFun_PerformanceTest_Customize),
	END,
};

static const ST_DRV_DBG_MENU_ENTRY _KerDispAgeDbgMenu_Property[] = {
	ITEM("Property Check", _KDispAge_DbgFun_Property_Check),
	ITEM("Property AHB Ns", _KDispAge_DbgFun_Property_AHB_Ns_Toggle),
	ITEM("Property AHB Lock", _KDispAge_DbgFun_Property_AHB_TriggerMask_Toggle),
	END,
};

const ST_DRV_DBG_MENU_ENTRY _KerDispAgeDbgMenu[] = {
	ITEM("Set Dbg Msg Mask", _KDispAge_DbgFun_SetDbgMask),
	SUB("Self Test", _KerDispAgeDbgMenu_SelfTest),
	SUB("Performance Test", _KerDispAgeDbgMenu_PerformanceTest),
	SUB("Property", _KerDispAgeDbgMenu_Property),
	END,
};

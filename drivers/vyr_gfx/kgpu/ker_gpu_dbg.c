// SPDX-License-Identifier: GPL-2.0
/* 2D engine debug menu "Ker_Gpu": masks, self tests, performance tests. */
#include <linux/kernel.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/kthread.h>
#include <linux/delay.h>
#include <linux/completion.h>
#include <linux/ktime.h>
#include <linux/math64.h>
#include <linux/dma-mapping.h>
#include <linux/err.h>

#include "crv_platform.h"
#include "ker_gpu.h"

/* Menu order of the driver mask bits. */
static const struct {
	u32 bit;
	const char *name;
} g_kgpu_dbg_bits[] = {
	{ 0, "Error" }, { 1, "Warning" }, { 2, "Message" }, { 3, "Trace Flow" },
	{ 4, "Time Diff" }, { 6, "Dump Register" }, { 5, "Work Queue" },
};

#define KGPU_DBG_ALL_OFF	999
#define KGPU_DBG_EXIT		12345
#define KGPU_DBG_OP_FIRST	33

/* Two pages the self tests draw into. */
static struct page *g_kgpu_test_page[2];

static struct task_struct *g_kgpu_age_thread;
static struct completion g_kgpu_age_done;
static bool g_kgpu_age_started;

static u32 _kgpu_ask(const char *prompt)
{
	printk(KERN_INFO "%s", prompt);
	return DRV_DBG_GetNumber();
}

static int _kgpu_dbg_set_mask(u32 *args)
{
	for (;;) {
		u32 n, i;

		for (i = 0; i < ARRAY_SIZE(g_kgpu_dbg_bits); i++)
			printk(KERN_INFO "%d) %s %s\n", i + 1,
			       (READ_ONCE(g_GpuDbgMask) & BIT(g_kgpu_dbg_bits[i].bit)) ? "*" : " ",
			       g_kgpu_dbg_bits[i].name);
		KGPU_OP_PrintDbgGroup(KGPU_DBG_OP_FIRST);
		printk(KERN_INFO "%d) ALL OFF\n", KGPU_DBG_ALL_OFF);
		printk(KERN_INFO "%d) EXIT\n", KGPU_DBG_EXIT);
		n = _kgpu_ask("Please choose a module to toggle message: ");
		if (n == KGPU_DBG_EXIT)
			return 0;
		if (n >= 1 && n <= ARRAY_SIZE(g_kgpu_dbg_bits)) {
			WRITE_ONCE(g_GpuDbgMask, g_GpuDbgMask ^ BIT(g_kgpu_dbg_bits[n - 1].bit));
		} else if (n >= KGPU_DBG_OP_FIRST &&
			   n < KGPU_DBG_OP_FIRST + KGPU_OP_DBG_MASK_ITEMS) {
			KGPU_OP_ToggleDbgMask(n - KGPU_DBG_OP_FIRST + 1);
		} else if (n == KGPU_DBG_ALL_OFF) {
			WRITE_ONCE(g_GpuDbgMask, 1);
			KGPU_OP_Disable_All_DbgMask();
		}
	}
}

static int _kgpu_dbg_version(u32 *args)
{
	printk(KERN_INFO "%s(): Gpu ver. = %d\n", __func__,
	       g_KerGpuCtx.Hw ? g_KerGpuCtx.Hw[0].HwVersion : 0);
	return 0;
}

/* ---- self tests ---- */

static int _kgpu_dbg_get_buffer(u32 *args)
{
	int i;

	for (i = 0; i < 2; i++)
		if (!g_kgpu_test_page[i])
			g_kgpu_test_page[i] = alloc_page(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO);
	printk(KERN_INFO "%s() 0x%08llX 0x%08llX\n", __func__,
	       g_kgpu_test_page[0] ? (u64)page_to_phys(g_kgpu_test_page[0]) : 0ULL,
	       g_kgpu_test_page[1] ? (u64)page_to_phys(g_kgpu_test_page[1]) : 0ULL);
	return 0;
}

static int _kgpu_dbg_put_buffer(u32 *args)
{
	int i;

	for (i = 0; i < 2; i++) {
		if (g_kgpu_test_page[i])
			__free_page(g_kgpu_test_page[i]);
		g_kgpu_test_page[i] = NULL;
	}
	return 0;
}

static void _kgpu_plane(KER_GPU_PLANE *p, u8 fmt, u64 addr, u32 stride, u16 w, u16 h)
{
	memset(p, 0, sizeof(*p));
	p->FormatMode = fmt;
	p->Buf_Address[0] = addr;
	p->Buf_Stride[0] = stride;
	p->W = w;
	p->H = h;
	p->ClipOn = 1;
}

static void _kgpu_dump_page(int i, u32 len)
{
	const u32 *w;
	u32 k;

	if (!g_kgpu_test_page[i])
		return;
	w = page_address(g_kgpu_test_page[i]);
	for (k = 0; k + 4 <= len / 4; k += 4)
		printk(KERN_INFO "%08x %08x %08x %08x\n", w[k], w[k + 1], w[k + 2], w[k + 3]);
}

static int _kgpu_dbg_fill(u32 *args)
{
	_ST_KER_GPU_FILL_SETTING fill;
	KER_GPU_PLANE dst;
	u64 addr;
	int ret;

	addr = g_kgpu_test_page[0] ? page_to_phys(g_kgpu_test_page[0]) : _kgpu_ask("Dst Addr ? ");
	memset(&fill, 0, sizeof(fill));
	fill.FillMode = KER_GPU_FILL_SOLID;
	fill.Color = _kgpu_ask("Fill Color ? ");
	_kgpu_plane(&dst, 3, addr, 64, 10, 10);
	ret = KGPU_OP_Fill(&dst, &fill, NULL);
	printk(KERN_INFO "Normal Fill to 0x%08llX\n", (unsigned long long)addr);
	_kgpu_dump_page(0, 48);
	return ret;
}

static int _kgpu_dbg_scale(u32 *args)
{
	KER_GPU_PLANE src, dst;
	u64 s, d;
	u32 fmt;
	int ret;

	s = _kgpu_ask("Src Addr ? ");
	fmt = _kgpu_ask("Dst Color mode ? ");
	d = _kgpu_ask("Dst Addr ? ");
	if (!s && g_kgpu_test_page[0])
		s = page_to_phys(g_kgpu_test_page[0]);
	if (!d && g_kgpu_test_page[1])
		d = page_to_phys(g_kgpu_test_page[1]);
	_kgpu_plane(&src, 3, s, 64, 10, 10);
	_kgpu_plane(&dst, (u8)fmt, d, 64, 10, 10);
	ret = KGPU_OP_Scale_LowPassFilter(&src, &dst, NULL);
	printk(KERN_INFO "Scale from 0x%08llX to 0x%08llX\n", (unsigned long long)s,
	       (unsigned long long)d);
	_kgpu_dump_page(0, 48);
	_kgpu_dump_page(1, 48);
	return ret;
}

/* "2AGE": copies between two blocks on a thread of its own. */
struct kgpu_age_test {
	u32 check;
	u32 trigger;
};
static struct kgpu_age_test g_kgpu_age_args;

#define KGPU_AGE_W	64
#define KGPU_AGE_H	64
#define KGPU_AGE_STRIDE	256
#define KGPU_AGE_BYTES	(KGPU_AGE_STRIDE * KGPU_AGE_H)

static int _kgpu_age_thread(void *data)
{
	struct kgpu_age_test *t = data;
	unsigned int order = get_order(KGPU_AGE_BYTES);
	struct device *dev = g_KerGpuCtx.pDevice;
	struct page *ps = alloc_pages(GFP_KERNEL | GFP_DMA32, order);
	struct page *pd = alloc_pages(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO, order);
	dma_addr_t ds = 0, dd = 0;
	u64 t0, t1;
	int i;

	if (!ps || !pd || !dev)
		goto out;
	for (i = 0; i < KGPU_AGE_BYTES / 4; i++)
		((u32 *)page_address(ps))[i] = 0x01000000u + i;
	ds = dma_map_page(dev, ps, 0, KGPU_AGE_BYTES, DMA_BIDIRECTIONAL);
	dd = dma_map_page(dev, pd, 0, KGPU_AGE_BYTES, DMA_BIDIRECTIONAL);
	t0 = ktime_get_ns();
	for (i = 0; t->trigger && i < 10; i++) {
		KER_GPU_PLANE src, dst;

		_kgpu_plane(&src, 3, ds, KGPU_AGE_STRIDE, KGPU_AGE_W, KGPU_AGE_H);
		_kgpu_plane(&dst, 3, dd, KGPU_AGE_STRIDE, KGPU_AGE_W, KGPU_AGE_H);
		KGPU_OP_Copy(&src, &dst);
	}
	t1 = ktime_get_ns();
	printk(KERN_INFO "Time Diff = %lld\n", (long long)(t1 - t0));
	dma_sync_single_for_cpu(dev, dd, KGPU_AGE_BYTES, DMA_FROM_DEVICE);
	dma_unmap_page(dev, ds, KGPU_AGE_BYTES, DMA_BIDIRECTIONAL);
	dma_unmap_page(dev, dd, KGPU_AGE_BYTES, DMA_BIDIRECTIONAL);
	if (t->check) {
		const u32 *s = page_address(ps), *d = page_address(pd);

		for (i = 0; i < KGPU_AGE_BYTES / 4; i++) {
			if (s[i] != d[i]) {
				printk(KERN_ERR "Copy Failed case index = %d . src = 0x%08x , dst = 0x%08x",
				       i, s[i], d[i]);
				break;
			}
		}
	}
out:
	if (ps)
		__free_pages(ps, order);
	if (pd)
		__free_pages(pd, order);
	complete(&g_kgpu_age_done);
	/* Stays until stopped, so whoever stops it finds it. */
	while (!kthread_should_stop())
		msleep(20);
	return 0;
}

static int _kgpu_dbg_2age(u32 *args)
{
	struct task_struct *t;

	if (g_kgpu_age_started && !completion_done(&g_kgpu_age_done))
		return -EBUSY;
	if (g_kgpu_age_started) {
		kthread_stop(g_kgpu_age_thread);
		g_kgpu_age_started = false;
	}
	g_kgpu_age_args.check = _kgpu_ask("CheckResult ? ");
	g_kgpu_age_args.trigger = _kgpu_ask("Trigger HW ? ");
	init_completion(&g_kgpu_age_done);
	t = kthread_run(_kgpu_age_thread, &g_kgpu_age_args, "KGPU AGE thread test");
	if (IS_ERR(t))
		return PTR_ERR(t);
	g_kgpu_age_thread = t;
	g_kgpu_age_started = true;
	return 0;
}

/* ---- performance tests ---- */

static void _kgpu_perf_done(void *arg)
{
	static int cycle;

	printk(KERN_INFO "CycleCount = %d\n", ++cycle);
}

static void _kgpu_perf_report(u64 ns, u64 pixels)
{
	u64 rate = ns ? div64_u64(pixels * 1000, ns) : 0;	/* mega pixels per second */

	printk(KERN_INFO "Time Diff = %lld\n", (long long)ns);
	printk(KERN_INFO "%lld MegaPixelsPreSec\n", (long long)rate);
}

static int _kgpu_perf_run(u32 op, KER_GPU_PLANE *src, KER_GPU_PLANE *dst, u32 rot)
{
	_ST_KER_GPU_FILL_SETTING fill;
	_ST_KER_GPU_BLEND_PARAM param;
	_ST_KER_GPU_BLEND_SETTING blend;

	switch (op) {
	case 0:
		memset(&fill, 0, sizeof(fill));
		fill.Color = 0x5A5A5A5A;
		return KGPU_OP_Fill(dst, &fill, NULL);
	case 1:
		return KGPU_OP_Copy(src, dst);
	case 2:
		return KGPU_OP_Scale_LowPassFilter(src, dst, NULL);
	case 3:
		memset(&param, 0, sizeof(param));
		memset(&blend, 0, sizeof(blend));
		blend.pstGpuBlendParam = &param;
		blend.BlendParam[3] = 1;
		return KGPU_OP_BlendScale(src, dst, dst, &blend, NULL);
	case 4:
		return KGPU_OP_FlipRotate(src, dst, rot);
	default:
		return -EINVAL;
	}
}

static int _kgpu_dbg_perf_fix(u32 *args)
{
	ST_KER_GPU_OP_OPTION opt = { .NonBlock = 1, .pfnDone = _kgpu_perf_done };
	KER_GPU_PLANE src, dst;
	u64 addr, t0;
	u32 op, rot = 0;
	int i, ret = 0;

	addr = _kgpu_ask("Dst Addr ? ");
	op = _kgpu_ask("Op Mode ? ");
	if (op == 4)
		rot = _kgpu_ask("rotate Mode ? ") & 3;
	t0 = ktime_get_ns();
	for (i = 0; i < 10 && !ret; i++) {
		_kgpu_plane(&src, 3, addr, 7680, 1920, 1080);
		_kgpu_plane(&dst, 3, addr, 7680, 1920, 1080);
		if (op == 1)
			dst.pstOption = &opt;
		ret = _kgpu_perf_run(op, &src, &dst, rot);
	}
	/* The last non-blocking copy ends before the timing does. */
	if (op == 1 && !KER_GPU_Lock(0))
		KER_GPU_Unlock(0);
	_kgpu_perf_report(ktime_get_ns() - t0, 10ULL * 1920 * 1080);
	return ret;
}

static int _kgpu_dbg_perf_nv12(u32 *args)
{
	KER_GPU_PLANE sy, dy, suv, duv;
	u64 addr, t0;
	u32 op;
	int i, ret = 0;

	op = _kgpu_ask("Select Copy or Scaling ? (0: Copy, 1: Scaling, 2: Flip Rotate)\n");
	addr = _kgpu_ask("Dst Addr ? ");
	t0 = ktime_get_ns();
	for (i = 0; i < 10 && !ret; i++) {
		_kgpu_plane(&sy, 26, addr, 1920, 1920, 1080);
		_kgpu_plane(&dy, 26, addr, 1920, 1920, 1080);
		_kgpu_plane(&suv, 29, addr + 1920 * 1080, 1920, 960, 540);
		_kgpu_plane(&duv, 29, addr + 1920 * 1080, 1920, 960, 540);
		ret = _kgpu_perf_run(op == 0 ? 1 : op == 1 ? 2 : 4, &sy, &dy, 1);
		if (!ret)
			ret = _kgpu_perf_run(op == 0 ? 1 : op == 1 ? 2 : 4, &suv, &duv, 1);
	}
	_kgpu_perf_report(ktime_get_ns() - t0, 10ULL * 1920 * 1080 * 3 / 2);
	return ret;
}

static int _kgpu_dbg_perf_custom(u32 *args)
{
	KER_GPU_PLANE src, dst;
	_ST_KER_GPU_SCLP_SETTING scale;
	u32 op, sf, df, sw, sh, dw, dh, ss, ds, tap, rot, loops, i;
	u64 sa, da, t0, ns, rate;
	s32 sx, sy, dx, dy;
	int ret = 0;

	op = _kgpu_ask("Op Mode ? ");
	sf = _kgpu_ask("Src Format ? ");
	df = _kgpu_ask("Dst Format ? ");
	sa = _kgpu_ask("Src Addr ? ");
	da = _kgpu_ask("Dst Addr ? ");
	ss = _kgpu_ask("Src Stride ? ");
	ds = _kgpu_ask("Dst Stride ? ");
	sx = _kgpu_ask("Src Clip X ? ");
	sy = _kgpu_ask("Src Clip Y ? ");
	dx = _kgpu_ask("Dst Clip X ? ");
	dy = _kgpu_ask("Dst Clip Y ? ");
	sw = _kgpu_ask("Src Width ? ");
	sh = _kgpu_ask("Src Height ? ");
	dw = _kgpu_ask("Dst Width ? ");
	dh = _kgpu_ask("Dst Height ? ");
	tap = _kgpu_ask("Scaling Tap ? ");
	rot = _kgpu_ask("rotate Mode ? ");
	loops = _kgpu_ask("Loops ? ");
	loops = min_t(u32, loops, 1000);

	memset(&scale, 0, sizeof(scale));
	scale.ScaleOp_Mode = tap;
	t0 = ktime_get_ns();
	for (i = 0; i < loops && !ret; i++) {
		_kgpu_plane(&src, (u8)sf, sa, ss, (u16)sw, (u16)sh);
		_kgpu_plane(&dst, (u8)df, da, ds, (u16)dw, (u16)dh);
		src.Clip_x = sx;
		src.Clip_y = sy;
		dst.Clip_x = dx;
		dst.Clip_y = dy;
		ret = op == 2 ? KGPU_OP_Scale_LowPassFilter(&src, &dst, &scale)
			      : _kgpu_perf_run(op, &src, &dst, rot);
	}
	ns = ktime_get_ns() - t0;
	rate = ns ? div64_u64((u64)loops * dw * dh * 1000, ns) : 0;
	printk(KERN_INFO "Time Diff = %lld, %lld MegaPixelsPreSec\n", (long long)ns, (long long)rate);
	printk(KERN_INFO "Src fmt %d, %dx%d at %d:%d, stride %d\n", sf, sw, sh, sx, sy, ss);
	printk(KERN_INFO "Dst fmt %d, %dx%d at %d:%d, stride %d\n", df, dw, dh, dx, dy, ds);
	return ret;
}

/* ---- power and debug options ---- */

static int _kgpu_dbg_suspend_resume(u32 *args)
{
	u32 mode = args ? args[0] : 0;

	if (mode == 0 || mode == 1) {
		printk(KERN_INFO "Suspend !!!!!\n");
		_ker_gpu_pmi_suspend_p();
	}
	if (mode == 0 || mode == 2) {
		printk(KERN_INFO "Resume !!!!!\n");
		_ker_gpu_pmi_resume_p();
	}
	return 0;
}

static int _kgpu_dbg_disable(u32 *args)
{
	WRITE_ONCE(g_KerGpuCtx.DBG_ForceDisable, (args && args[0]) ? 1 : 0);
	printk(KERN_INFO "Set g_KerGpuCtx.DBG_ForceDisable = %d\n", g_KerGpuCtx.DBG_ForceDisable);
	return 0;
}

static int _kgpu_dbg_feature(u32 *args)
{
	u32 n;

	KGPU_OP_PrintFeatureGroup(1);
	n = DRV_DBG_GetNumber();
	if (n >= 1 && n <= 32)
		KGPU_OP_Toggle_FetureMask(n - 1);
	return 0;
}

static int _kgpu_dbg_issue(u32 *args)
{
	u32 n;

	KGPU_OP_PrintIssueGroup(1);
	n = DRV_DBG_GetNumber();
	if (n >= 1 && n <= 32)
		KGPU_OP_Toggle_IssueMask(n - 1);
	return 0;
}

static int _kgpu_dbg_speed(u32 *args)
{
	u32 num = _kgpu_ask("Speed Limit Number \n");
	u32 den = _kgpu_ask("Speed Limit Denominator \n");

	return KGPU_OP_Set_Speed_Limit(num, den);
}

#define KGPU_ACTION(name, fn) static const ST_DRV_DBG_MENU_ACTION name = { fn, { NULL, NULL }, { 0 } }
KGPU_ACTION(act_mask, _kgpu_dbg_set_mask);
KGPU_ACTION(act_version, _kgpu_dbg_version);
KGPU_ACTION(act_get, _kgpu_dbg_get_buffer);
KGPU_ACTION(act_put, _kgpu_dbg_put_buffer);
KGPU_ACTION(act_fill, _kgpu_dbg_fill);
KGPU_ACTION(act_scale, _kgpu_dbg_scale);
KGPU_ACTION(act_2age, _kgpu_dbg_2age);
KGPU_ACTION(act_perf_fix, _kgpu_dbg_perf_fix);
KGPU_ACTION(act_perf_nv12, _kgpu_dbg_perf_nv12);
KGPU_ACTION(act_perf_custom, _kgpu_dbg_perf_custom);
KGPU_ACTION(act_feature, _kgpu_dbg_feature);
KGPU_ACTION(act_issue, _kgpu_dbg_issue);
KGPU_ACTION(act_speed, _kgpu_dbg_speed);
static const ST_DRV_DBG_MENU_ACTION act_suspend = {
	_kgpu_dbg_suspend_resume, { "0: Suspend and Resume, 1: Suspend, 2: Resume ? ", NULL }, { 0 }
};
static const ST_DRV_DBG_MENU_ACTION act_disable = {
	_kgpu_dbg_disable, { "Disable ? (0: No, 1: Yes) ", NULL }, { 0 }
};

static const ST_DRV_DBG_MENU_ENTRY g_kgpu_menu_self[] = {
	{ DRV_DBG_MENU_ACTION, 0, "Get Buffer", &act_get },
	{ DRV_DBG_MENU_ACTION, 0, "Put Buffer", &act_put },
	{ DRV_DBG_MENU_ACTION, 0, "Fill", &act_fill },
	{ DRV_DBG_MENU_ACTION, 0, "Scale", &act_scale },
	{ DRV_DBG_MENU_ACTION, 0, "2AGE", &act_2age },
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

static const ST_DRV_DBG_MENU_ENTRY g_kgpu_menu_perf[] = {
	{ DRV_DBG_MENU_ACTION, 0, "Fix size  Performance Test", &act_perf_fix },
	{ DRV_DBG_MENU_ACTION, 0, "Y_UV NV12 Performance Test", &act_perf_nv12 },
	{ DRV_DBG_MENU_ACTION, 0, "Customize Performance Test", &act_perf_custom },
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

static const ST_DRV_DBG_MENU_ENTRY g_kgpu_menu_op[] = {
	{ DRV_DBG_MENU_ACTION, 0, "Feture Mask", &act_feature },
	{ DRV_DBG_MENU_ACTION, 0, "Issue Mask", &act_issue },
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

static const ST_DRV_DBG_MENU_ENTRY g_kgpu_menu_debug[] = {
	{ DRV_DBG_MENU_ACTION, 0, "Disable GPU All Function", &act_disable },
	{ DRV_DBG_MENU_SUBMENU, 0, "Change  GPU Op  Option", g_kgpu_menu_op },
	{ DRV_DBG_MENU_ACTION, 0, "  Set   GPU Speed Limit", &act_speed },
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

static const ST_DRV_DBG_MENU_ENTRY g_kgpu_menu[] = {
	{ DRV_DBG_MENU_ACTION, 0, "Set Dbg Msg Mask", &act_mask },
	{ DRV_DBG_MENU_ACTION, 0, "Show GPU Version", &act_version },
	{ DRV_DBG_MENU_SUBMENU, 0, "Self Test", g_kgpu_menu_self },
	{ DRV_DBG_MENU_SUBMENU, 0, "Performance Test", g_kgpu_menu_perf },
	{ DRV_DBG_MENU_ACTION, 0, "Suspend Resume Test", &act_suspend },
	{ DRV_DBG_MENU_SUBMENU, 0, "Debug Option", g_kgpu_menu_debug },
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

int kgpu_dbg_register(void)
{
	return DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "Ker_Gpu",
				g_kgpu_menu);
}

void kgpu_dbg_exit(void)
{
	/* The test thread ends before the module does. */
	if (g_kgpu_age_started) {
		kthread_stop(g_kgpu_age_thread);
		g_kgpu_age_started = false;
		g_kgpu_age_thread = NULL;
	}
	_kgpu_dbg_put_buffer(NULL);
}

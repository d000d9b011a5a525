// SPDX-License-Identifier: GPL-2.0
/*
 * XDMA driver layer: the "crkxdma" device, the engine's semaphore, its
 * interrupt and the wait, power hooks, and the exported fill and blit.
 *
 * One transfer or one command list holds the engine (g_xdma_sem) at a time;
 * a second caller fails fast with -EINTR while the busy flag is set. A
 * command list keeps the engine after its ioctl returns; the interrupt of its
 * last command (or the watchdog giving it up) releases it.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/fs.h>
#include <linux/cdev.h>
#include <linux/device.h>
#include <linux/io.h>
#include <linux/ioport.h>
#include <linux/interrupt.h>
#include <linux/irq.h>
#include <linux/of.h>
#include <linux/of_irq.h>
#include <linux/semaphore.h>
#include <linux/completion.h>
#include <linux/slab.h>
#include <linux/uaccess.h>
#include <linux/compat.h>
#include <linux/delay.h>
#include <linux/jiffies.h>
#include <linux/ktime.h>
#include <linux/timekeeping.h>
#include <linux/dma-mapping.h>
#include <linux/cpumask.h>
#include <linux/math64.h>
#include <linux/ratelimit.h>
#include <linux/string.h>
#include "vyr_compat.h"
#include "vyr_components.h"
#include "vyr_perm.h"
#include "crv_platform.h"
#include "hw_xdma.h"
#include "ker_xdma_priv.h"

#define XDMA_DEV_NAME "crkxdma"
#define XDMA_PMI_ID 29
#define XDMA_PMI_KIND 17
#define XDMA_PMI_ORDER 21
#define XDMA_CLK_MASK_A 0x8843
#define XDMA_CLK_MASK_B 0x8043
#define XDMA_ATTEMPTS 3
/* Largest buffer the self-test allocates. */
#define XDMA_SELFTEST_MAX (64u << 20)

u32 g_KerXDMADbgMask = 0x7;

#define KXDMA_ERR(fmt, ...) do { if (g_KerXDMADbgMask & 0x1) printk(KERN_ERR fmt, ##__VA_ARGS__); } while (0)
#define KXDMA_WRN(fmt, ...) do { if (g_KerXDMADbgMask & 0x2) printk(KERN_WARNING fmt, ##__VA_ARGS__); } while (0)
#define KXDMA_MSG(fmt, ...) do { if (g_KerXDMADbgMask & 0x4) printk(KERN_INFO fmt, ##__VA_ARGS__); } while (0)
#define KXDMA_DBG(fmt, ...) do { if (g_KerXDMADbgMask & 0x8) printk(KERN_DEBUG fmt, ##__VA_ARGS__); } while (0)

static struct semaphore g_xdma_sem;
static u32 g_u32XdmaBusy;
static u32 g_u32XdmaSuspend;
static int g_s32XdmaIrq = -1;
static int g_s32XdmaIrqAffinity = -1;
static struct completion g_xdma_done;
static dev_t g_XdmaDevNo;
static struct cdev g_XdmaCdev;
static struct class *g_pXdmaClass;
static struct device *g_pXdmaDevice;
static bool g_bXdmaChrdev, g_bXdmaCdev;
static void __iomem *g_pXdmaRegBase;
static bool g_bXdmaRegion;
static u32 g_u32XdmaInitialised;
static bool g_bXdmaStarted;
static ST_XDMA_HW_SETTING g_stXdmaSaved;
static u64 g_u64XdmaLockTime;

static const char xdma_stars[] =
	"***********************************************************************************************\n";

/* ---- engine ownership ---- */

static int _KER_XDMA_Lock(void)
{
	return down_interruptible(&g_xdma_sem);
}

/* Releases the engine; also frees the copy of a command list that ended. */
static void _KER_XDMA_Unlock(void)
{
	kfree(HW_XDMA_CMD_Reap());
	WRITE_ONCE(g_u32XdmaBusy, 0);
	up(&g_xdma_sem);
}

bool KER_XDMA_IsBusy(void)
{
	return READ_ONCE(g_u32XdmaBusy) != 0;
}

/* ---- interrupt and wait ---- */

static irqreturn_t _KER_XDMA_interrupt(int irq, void *dev_id)
{
	switch (HW_XDMA_Interrupt()) {
	case XDMA_IRQ_SINGLE_DONE:
		complete(&g_xdma_done);
		break;
	case XDMA_IRQ_LIST_END:
		_KER_XDMA_Unlock();
		break;
	default:
		break;
	}
	return IRQ_HANDLED;
}

/*
 * After a wait timed out: whether the transfer finished all the same. The
 * interrupt may have come meanwhile and taken the done bit already, so the
 * done bit counts, and so does a completion once a handler still running
 * has ended.
 */
static bool xdma_done_late(void)
{
	if (try_wait_for_completion(&g_xdma_done))
		return true;
	if (HW_XDMA_GetHWStatus() & XDMA_STATUS_DONE)
		return true;
	if (g_s32XdmaIrq >= 0)
		synchronize_irq(g_s32XdmaIrq);
	return try_wait_for_completion(&g_xdma_done);
}

static int KER_XDMA_WaitInterrupt(u32 u32TimeoutMs)
{
	unsigned long deadline = jiffies + msecs_to_jiffies(2 * u32TimeoutMs);
	long ret;

	ret = wait_for_completion_interruptible_timeout(&g_xdma_done, msecs_to_jiffies(u32TimeoutMs));
	if (ret > 0) {
		KXDMA_DBG("%s:normal end!\n", __func__);
		return 0;
	}
	if (ret < 0) {
		/*
		 * A signal does not stop the engine: wait on, without being
		 * interrupted again, until the deadline.
		 */
		KXDMA_WRN("[XDMA] Retry\n");
		if (time_before(jiffies, deadline) &&
		    wait_for_completion_timeout(&g_xdma_done, deadline - jiffies))
			return 0;
		return -1;
	}
	if (xdma_done_late()) {
		KXDMA_WRN("[%s]XDMA done but Irq timeout !!!!!\n", __func__);
		return 0;
	}
	KXDMA_ERR("[%s]wait completion timeout!\n", __func__);
	KXDMA_ERR("timeout=%d jiff=%ld\n", u32TimeoutMs, (long)jiffies);
	HW_XDMA_PrintReg(1);
	return -1;
}

/* ---- one transfer ---- */

/* Bytes one side of a transfer spans (the self-test sizes its buffers by it). */
static u64 xdma_span(u32 count, u16 stride, u16 width, u16 dst_stride)
{
	if (!width || dst_stride == width || count % width)
		return count;
	return (u64)(count / width - 1) * stride + width;
}

static int _KER_XDMA_RunHW(const struct vyr_xdma_transfer *t)
{
	ST_HW_XDMA_PARAM p;
	int i, ret = -1;

	if (!t->byte_count) {
		KXDMA_DBG("WARNING: Transfered data size %d\n", t->byte_count);
		return -1;
	}
	if (t->mode != KXDMA_MODE_FILL && t->mode != KXDMA_MODE_COPY)
		return -EINVAL;
	KXDMA_DBG("SrcAddr=\t%16llx\n", (unsigned long long)t->src_addr);
	KXDMA_DBG("DstAddr=\t%16llx\n", (unsigned long long)t->dst_addr);
	KXDMA_DBG("ByteCount=\t%x\n", t->byte_count);
	KXDMA_DBG("SrcStride=\t%x\n", t->src_stride);
	KXDMA_DBG("DstStride=\t%x\n", t->dst_stride);
	KXDMA_DBG("FillValue=\t%x\n", t->fill_value);

	p.u64SrcAddr = t->src_addr;
	p.u64DstAddr = t->dst_addr;
	p.u32Length = t->byte_count;
	p.u16SrcStride = t->src_stride;
	p.u16DstStride = t->dst_stride;
	p.u16LineWidth = t->line_width;
	p.u32FillValue = t->fill_value;
	for (i = 0; i < XDMA_ATTEMPTS; i++) {
		/* A late interrupt of an earlier attempt must not end this wait. */
		if (g_s32XdmaIrq >= 0)
			synchronize_irq(g_s32XdmaIrq);
		reinit_completion(&g_xdma_done);
		ret = t->mode == KXDMA_MODE_FILL ? HW_XDMA_Fill(&p) : HW_XDMA_Copy(&p);
		if (!ret)
			return 0;
		/* Beyond the engine's reach: nothing was started, a retry would not help. */
		if (ret == -EINVAL)
			return -EINVAL;
		KXDMA_ERR("XDMA timeout or fail\n");
		/* Suspend went ahead without us: the engine's clocks may be off now. */
		if (READ_ONCE(g_u32XdmaSuspend))
			return -EINTR;
	}
	return -EINVAL;
}

/* ---- self-test ---- */

static void *xdma_test_alloc(size_t size, dma_addr_t *pa)
{
	void *va = dma_alloc_coherent(g_pXdmaDevice, size, pa, GFP_KERNEL | __GFP_NOWARN);

	if (va)
		KXDMA_MSG("Allocated buffer:  phys addr 0x%08x, virt addr 0x%p! \n", (u32)*pa, va);
	else
		KXDMA_ERR("allocate buffer fail\n");
	return va;
}

static int _KER_XDMA_SelfTest(const struct vyr_xdma_transfer *in)
{
	struct vyr_xdma_transfer t = *in;
	bool lines = t.line_width && t.dst_stride != t.line_width;
	u32 nlines = lines ? t.byte_count / t.line_width : 1;
	u32 width = lines ? t.line_width : t.byte_count;
	u64 src_size, dst_size;
	dma_addr_t src_pa = 0, dst_pa = 0;
	u8 *src = NULL, *dst = NULL;
	u32 l, i;
	int ret = 0;

	if (t.mode != KXDMA_MODE_FILL && t.mode != KXDMA_MODE_COPY)
		return -1;
	/* Lines may overlap (stride 0): the count is bounded as the buffers are. */
	if (!t.byte_count || t.byte_count > XDMA_SELFTEST_MAX || (lines && t.byte_count % t.line_width))
		return -EINVAL;
	/* Lines are laid out by their strides: size the buffers for the whole span. */
	dst_size = xdma_span(t.byte_count, t.dst_stride, t.line_width, t.dst_stride);
	src_size = xdma_span(t.byte_count, t.src_stride, t.line_width, t.dst_stride);
	if (dst_size > XDMA_SELFTEST_MAX || src_size > XDMA_SELFTEST_MAX)
		return -EINVAL;
	dma_coerce_mask_and_coherent(g_pXdmaDevice, DMA_BIT_MASK(32));
	if (t.mode == KXDMA_MODE_COPY) {
		src = xdma_test_alloc(src_size, &src_pa);
		if (!src) {
			KXDMA_ERR("alloc src buffer failed!\n");
			return -ENOMEM;
		}
		for (i = 0; i < src_size; i++)
			src[i] = (u8)(i * 7 + 3);
	}
	dst = xdma_test_alloc(dst_size, &dst_pa);
	if (!dst) {
		KXDMA_ERR("alloc dst buffer failed!\n");
		ret = -ENOMEM;
		goto out;
	}
	memset(dst, 0x5A, dst_size);
	t.src_addr = src_pa;
	t.dst_addr = dst_pa;
	if (_KER_XDMA_RunHW(&t)) {
		KXDMA_ERR("run XDMA failed!\n");
		ret = -EBUSY;
		goto out;
	}
	for (l = 0; l < nlines && !ret; l++) {
		/* A fill has no source buffer. */
		const u8 *sl = src ? src + (size_t)l * (lines ? t.src_stride : 0) : NULL;
		const u8 *dl = dst + (size_t)l * (lines ? t.dst_stride : 0);

		for (i = 0; i + 4 <= width; i += 4) {
			u32 d, s;

			memcpy(&d, dl + i, sizeof(d));
			if (t.mode == KXDMA_MODE_COPY) {
				memcpy(&s, sl + i, sizeof(s));

				if (s != d) {
					KXDMA_ERR("[XDMA_ERR]: ChkError !!!!, i = %d 0x%X = 0x%X\n",
						  (int)(l * width + i) / 4, s, d);
					ret = 1;
					break;
				}
			} else if (d != t.fill_value) {
				KXDMA_ERR("[XDMA_ERR]: ChkError !!!!, position = %d, pPixel = 0x%X @ %p\n",
					  (int)(l * width + i) / 4, d, dl + i);
				ret = 1;
				break;
			}
		}
	}
out:
	if (dst)
		dma_free_coherent(g_pXdmaDevice, dst_size, dst, dst_pa);
	if (src)
		dma_free_coherent(g_pXdmaDevice, src_size, src, src_pa);
	return ret;
}

/* ---- command lists ---- */

static int _KER_XDMA_CommandMode(u32 nr, unsigned long arg, bool bKernel, bool *pbKeep)
{
	struct vyr_xdma_cmd_header hdr;
	ST_XDMA_COMMAND_PAR par;
	struct vyr_xdma_cmd *cmds;
	size_t bytes;
	int ret;

	if (bKernel) {
		memcpy(&hdr, (const void *)arg, sizeof(hdr));
	} else if (copy_from_user(&hdr, (const void __user *)arg, sizeof(hdr))) {
		KXDMA_ERR("XDMA ioctl command error (%d)! Copy from user fail\n", nr);
		return -EFAULT;
	}
	if (!hdr.count || hdr.count > KXDMA_CMD_MAX) {
		KXDMA_ERR("%s(), Command Buffer overflow!\n", __func__);
		return -EINVAL;
	}
	bytes = (size_t)hdr.count * sizeof(*cmds);
	cmds = kmalloc(bytes, GFP_KERNEL);
	if (!cmds) {
		KXDMA_ERR("%s(), Can not allocate xdma command memory!\n", __func__);
		return -EFAULT;
	}
	if (bKernel) {
		memcpy(cmds, (const void *)(uintptr_t)hdr.commands, bytes);
	} else if (copy_from_user(cmds, u64_to_user_ptr(hdr.commands), bytes)) {
		KXDMA_ERR("XDMA ioctl command buffer (%d)! Copy from user fail\n", hdr.count);
		kfree(cmds);
		return -EFAULT;
	}
	par.pstCommands = cmds;
	par.u32Count = hdr.count;
	par.u32Index = 0;
	ret = HW_XDMA_CMD(&par);
	if (ret) {
		kfree(cmds);
		return ret == -EINVAL ? -EINVAL : -1;
	}
	*pbKeep = true;
	return 0;
}

/* ---- ioctl ---- */

/* Any caller can loop on a bad number: its four lines are rate-limited together. */
static void xdma_bad_command(u32 nr)
{
	static DEFINE_RATELIMIT_STATE(rs, DEFAULT_RATELIMIT_INTERVAL, DEFAULT_RATELIMIT_BURST);

	if (!__ratelimit(&rs))
		return;
	printk(KERN_ERR "%s", xdma_stars);
	printk(KERN_ERR "XDMA ioctl command error (%d)! Only allow COPY_PHYS_TO_PHYS & FILL_PHYS\n", nr);
	printk(KERN_ERR "Check user driver if you use invalid ioctl command.\n");
	printk(KERN_ERR "%s", xdma_stars);
}

/*
 * Numbers 7, 8 and kernel-held command lists come only from inside the
 * kernel (bKernel); the device file refuses them like unknown numbers.
 * Numbers the engine does not run are answered before the busy check and
 * the lock, so that no caller looping on them keeps the engine from others.
 */
static long _KER_XDMA_Dispatch(unsigned int cmd, unsigned long arg, bool bKernel)
{
	u32 nr = KXDMA_IO_NR(cmd);
	struct vyr_xdma_transfer t;
	bool keep = false;
	long ret;

	if (READ_ONCE(g_u32XdmaSuspend)) {
		KXDMA_ERR("%s() PMI Suspend HW !!!!!\n", __func__);
		return -EINTR;
	}
	if (nr == 6 || nr == 10) {
		struct vyr_xdma_cmd_status st;

		HW_XDMA_get_command_status(&st);
		if (bKernel) {
			memcpy((void *)arg, &st, sizeof(st));
			return 0;
		}
		return copy_to_user((void __user *)arg, &st, sizeof(st)) ? -EFAULT : 0;
	}
	if (nr == 1 || nr == 4)
		return -1;
	if (nr == 0 || nr > 11 || ((nr == 7 || nr == 8) && !bKernel)) {
		xdma_bad_command(nr);
		return -EINVAL;
	}
	if (READ_ONCE(g_u32XdmaBusy)) {
		KXDMA_ERR("%s() HW Busy !!!!!\n", __func__);
		return -EINTR;
	}
	ret = _KER_XDMA_Lock();
	if (ret) {
		KXDMA_ERR("%s() Can't Get Hw lock, SemRet = %ld !!!!\n", __func__, ret);
		return ret;
	}
	WRITE_ONCE(g_u32XdmaBusy, 1);
	if (g_KerXDMADbgMask & 0x8) {
		KXDMA_DBG("get semaphore\n");
		g_u64XdmaLockTime = ktime_get_ns();
	}

	switch (nr) {
	case 2:
	case 3:
	case 11:
		if (copy_from_user(&t, (const void __user *)arg, sizeof(t))) {
			KXDMA_ERR("XDMA ioctl command error (%d)! Copy from user fail\n", nr);
			ret = -EFAULT;
			break;
		}
		ret = nr == 11 ? _KER_XDMA_SelfTest(&t) : _KER_XDMA_RunHW(&t);
		break;
	case 7:
	case 8:
		ret = _KER_XDMA_RunHW((const struct vyr_xdma_transfer *)arg);
		break;
	case 5:
	case 9:
		ret = _KER_XDMA_CommandMode(nr, arg, bKernel, &keep);
		break;
	}

	if (!keep) {
		if (g_KerXDMADbgMask & 0x8)
			KXDMA_DBG("release semaphore, hold mutex %lldns\n",
				  (long long)(ktime_get_ns() - g_u64XdmaLockTime));
		_KER_XDMA_Unlock();
	}
	return ret;
}

/*
 * Transfers and command lists name raw physical memory; the self-test
 * allocates up to two large buffers and runs the engine on them.
 */
static int xdma_may(struct file *f, unsigned int cmd)
{
	switch (KXDMA_IO_NR(cmd)) {
	case 2:
	case 3:
	case 5:
	case 9:
		return vyr_perm_rawio(f);
	case 11:
		return vyr_perm_admin(f);
	default:
		return 0;
	}
}

static long _KER_XDMA_Ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	return xdma_may(f, cmd) ?: _KER_XDMA_Dispatch(cmd, arg, false);
}

#ifdef CONFIG_COMPAT
static long _KER_XDMA_Compat_Ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	return xdma_may(f, cmd) ?: _KER_XDMA_Dispatch(cmd, (unsigned long)compat_ptr(arg), false);
}
#endif

static const struct file_operations g_stXdmaFops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = _KER_XDMA_Ioctl,
#ifdef CONFIG_COMPAT
	.compat_ioctl = _KER_XDMA_Compat_Ioctl,
#endif
};

/* ---- exported operations ---- */

static int xdma_kernel_transfer(const ST_XDMA_REQUEST *req, u32 mode)
{
	struct vyr_xdma_transfer t = { 0 };

	if (!READ_ONCE(g_u32XdmaInitialised)) {
		printk(KERN_ERR "DRV_XDMA is not initialized!\n");
		return -EINVAL;
	}
	if (!req) {
		printk(KERN_ERR "NULL parameter!\n");
		return -EINVAL;
	}
	t.src_addr = mode == KXDMA_MODE_COPY ? req->u64SrcAddr : 0;
	t.dst_addr = req->u64DstAddr;
	t.byte_count = req->u32ByteCount;
	t.src_stride = req->u16SrcStride;
	t.dst_stride = req->u16DstStride;
	t.line_width = req->u16LineWidth;
	t.fill_value = req->u32FillValue;
	t.mode = mode;
	return _KER_XDMA_Dispatch(_IOC(_IOC_WRITE, KXDMA_IO_TYPE, mode == KXDMA_MODE_COPY ? 8 : 7,
				       sizeof(t)), (unsigned long)&t, true);
}

int KER_XDMA_FillRect(ST_XDMA_REQUEST *pstReq)
{
	return xdma_kernel_transfer(pstReq, KXDMA_MODE_FILL);
}
EXPORT_SYMBOL(KER_XDMA_FillRect);

int KER_XDMA_Blit(ST_XDMA_REQUEST *pstReq)
{
	return xdma_kernel_transfer(pstReq, KXDMA_MODE_COPY);
}
EXPORT_SYMBOL(KER_XDMA_Blit);

int KER_XDMA_CMD(const struct vyr_xdma_cmd *pstCommands, u32 u32Count)
{
	struct vyr_xdma_cmd_header hdr = {
		.commands = (u64)(uintptr_t)pstCommands,
		.count = u32Count,
	};

	if (!READ_ONCE(g_u32XdmaInitialised)) {
		printk(KERN_ERR "DRV_XDMA is not initialized!\n");
		return -EINVAL;
	}
	if (!pstCommands) {
		printk(KERN_ERR "NULL parameter!\n");
		return -EINVAL;
	}
	return _KER_XDMA_Dispatch(_IOC(_IOC_WRITE, KXDMA_IO_TYPE, 9, sizeof(hdr)),
				  (unsigned long)&hdr, true);
}

/* ---- power ---- */

int _ker_xdma_suspend(void)
{
	unsigned long end = jiffies + 500;
	u64 t0 = ktime_get_ns();

	printk(KERN_INFO "%s\n", __func__);
	while (READ_ONCE(g_u32XdmaBusy) && time_before(jiffies, end))
		msleep(1);
	if (READ_ONCE(g_u32XdmaSuspend)) {
		KXDMA_WRN("%s:Suspend twice or not resume yet.\n", __func__);
		return 0;
	}
	WRITE_ONCE(g_u32XdmaSuspend, 1);
	/* A list still running is not restarted on a clock-gated engine. */
	HW_XDMA_PauseWatchdog();
	if (g_s32XdmaIrq >= 0) {
		disable_irq(g_s32XdmaIrq);
		KXDMA_MSG("[INF_DRV_XDMA]XDMA disable IRQ\r\n");
	}
	HW_XDMA_GetHWSetting(&g_stXdmaSaved);
	if (KER_PMI_Mode() == KER_PMI_MODE_STANDBY) {
		KER_CLK_SetClockMask(XDMA_CLK_MASK_A, 0);
		KER_CLK_SetClockMask(XDMA_CLK_MASK_B, 0);
		KXDMA_MSG("PMI Suspend for inactive mode done.\n");
	}
	KXDMA_DBG("%s: %lld ms\n", __func__, (long long)div_u64(ktime_get_ns() - t0, 1000000));
	return 0;
}

int _ker_xdma_resume(void)
{
	u64 t0 = ktime_get_ns();

	printk(KERN_INFO "%s\n", __func__);
	if (!READ_ONCE(g_u32XdmaSuspend)) {
		KXDMA_WRN("%s:Not suspend before resume.\n", __func__);
		return 0;
	}
	/* The clocks come back before the registers are written. */
	if (KER_PMI_Mode() == KER_PMI_MODE_STANDBY) {
		KER_CLK_SetClockMask(XDMA_CLK_MASK_B, 1);
		KER_CLK_SetClockMask(XDMA_CLK_MASK_A, 1);
		KXDMA_MSG("PMI Resume for inactive mode done.\n");
	}
	HW_XDMA_SetHWSetting(&g_stXdmaSaved);
	if (g_s32XdmaIrq >= 0) {
		if (g_s32XdmaIrqAffinity >= 0)
			irq_set_affinity_hint(g_s32XdmaIrq, cpumask_of(g_s32XdmaIrqAffinity));
		enable_irq(g_s32XdmaIrq);
	}
	HW_XDMA_ResumeWatchdog();
	WRITE_ONCE(g_u32XdmaSuspend, 0);
	KXDMA_DBG("%s: %lld ms\n", __func__, (long long)div_u64(ktime_get_ns() - t0, 1000000));
	return 0;
}

static ST_KER_PMI_OPS g_stXdmaPmiOps = {
	.pfSuspend = _ker_xdma_suspend,
	.pfResume = _ker_xdma_resume,
};

/* ---- start-up and exit ---- */

static char *xdma_devnode(struct device *dev, umode_t *mode)
{
	if (mode)
		*mode = 0666;
	return NULL;
}

static void _KER_XDMA_device_release(void)
{
	if (g_pXdmaDevice) {
		device_destroy(g_pXdmaClass, g_XdmaDevNo);
		g_pXdmaDevice = NULL;
	}
	if (g_pXdmaClass) {
		class_destroy(g_pXdmaClass);
		g_pXdmaClass = NULL;
	}
	if (g_bXdmaCdev) {
		cdev_del(&g_XdmaCdev);
		g_bXdmaCdev = false;
	}
	if (g_bXdmaChrdev) {
		unregister_chrdev_region(g_XdmaDevNo, 1);
		g_bXdmaChrdev = false;
	}
}

static int _KER_XDMA_device_initialize(void)
{
	int ret;

	ret = alloc_chrdev_region(&g_XdmaDevNo, 0, 1, XDMA_DEV_NAME);
	if (ret) {
		KXDMA_ERR("alloc_chrdev_region() = %d Fail !!!!! \n", ret);
		return ret;
	}
	g_bXdmaChrdev = true;
	cdev_init(&g_XdmaCdev, &g_stXdmaFops);
	g_XdmaCdev.owner = THIS_MODULE;
	ret = cdev_add(&g_XdmaCdev, g_XdmaDevNo, 1);
	if (ret) {
		KXDMA_ERR("fail cdev_add() = %d\n", ret);
		goto fail;
	}
	g_bXdmaCdev = true;
	g_pXdmaClass = class_create(THIS_MODULE, XDMA_DEV_NAME);
	if (IS_ERR(g_pXdmaClass)) {
		KXDMA_ERR("can't create class \n");
		ret = PTR_ERR(g_pXdmaClass);
		g_pXdmaClass = NULL;
		goto fail;
	}
	g_pXdmaClass->devnode = xdma_devnode;
	g_pXdmaDevice = device_create(g_pXdmaClass, NULL, g_XdmaDevNo, NULL, XDMA_DEV_NAME);
	if (IS_ERR(g_pXdmaDevice)) {
		KXDMA_ERR("device_create() Fail !!!! \n");
		ret = PTR_ERR(g_pXdmaDevice);
		g_pXdmaDevice = NULL;
		goto fail;
	}
	KXDMA_MSG("device_create() Success , dev = (%d, %d) !!!! \n", MAJOR(g_XdmaDevNo),
		  MINOR(g_XdmaDevNo));
	return 0;
fail:
	_KER_XDMA_device_release();
	return ret;
}

static int _KER_XDMA_reg_remap(void)
{
	ST_KER_XDMA_OP op;

	if (!request_mem_region(XDMA_REG_BASE, XDMA_REG_SIZE, XDMA_DEV_NAME)) {
		KXDMA_ERR("Register window unavailable\n");
		return -EBUSY;
	}
	g_bXdmaRegion = true;
	g_pXdmaRegBase = vyr_ioremap_nocache(XDMA_REG_BASE, XDMA_REG_SIZE);
	if (!g_pXdmaRegBase) {
		KXDMA_ERR("Can't remap register window\n");
		release_mem_region(XDMA_REG_BASE, XDMA_REG_SIZE);
		g_bXdmaRegion = false;
		return -ENOMEM;
	}
	op.pRegBase = g_pXdmaRegBase;
	op.pfLock = _KER_XDMA_Lock;
	op.pfWait = KER_XDMA_WaitInterrupt;
	op.pfUnlock = _KER_XDMA_Unlock;
	if (HW_XDMA_initialize(&op)) {
		KXDMA_ERR("Initial XDMA Op Fail !!!!!!\n");
		return -EINVAL;
	}
	return 0;
}

static void _KER_XDMA_reg_unmap(void)
{
	HW_XDMA_deinitialize();
	if (g_pXdmaRegBase) {
		iounmap(g_pXdmaRegBase);
		g_pXdmaRegBase = NULL;
	}
	if (g_bXdmaRegion) {
		release_mem_region(XDMA_REG_BASE, XDMA_REG_SIZE);
		g_bXdmaRegion = false;
	}
}

static int _KER_XDMA_request_irq(void)
{
	struct device_node *np;
	unsigned int irq;
	u32 cpu;
	int ret;

	np = of_find_node_by_name(NULL, XDMA_DEV_NAME);
	if (!np) {
		KXDMA_ERR(">>>error node not found\n");
		return -1;
	}
	irq = irq_of_parse_and_map(np, 0);
	g_s32XdmaIrqAffinity = -1;
	ret = irq ? request_irq(irq, _KER_XDMA_interrupt, IRQF_TRIGGER_HIGH, XDMA_DEV_NAME,
				&g_xdma_done) : -EINVAL;
	if (ret) {
		of_node_put(np);
		return ret;
	}
	g_s32XdmaIrq = irq;
	if (of_property_read_u32(np, "interrupt-affinity", &cpu)) {
		KXDMA_MSG("%s interrupt-affinity not found in DTB !!!!\n", __func__);
	} else if (cpu >= num_online_cpus()) {
		KXDMA_ERR("%s interrupt-affinity read %d, but only %d cpus !!!!\n", __func__, cpu,
			  num_online_cpus());
	} else {
		g_s32XdmaIrqAffinity = cpu;
		KXDMA_MSG("Khdma set interrupt-affinity = %d\n", cpu);
		irq_set_affinity_hint(irq, cpumask_of(cpu));
	}
	of_node_put(np);
	return 0;
}

static void _KER_XDMA_free_irq(void)
{
	if (g_s32XdmaIrq < 0)
		return;
	if (!READ_ONCE(g_u32XdmaSuspend))
		disable_irq(g_s32XdmaIrq);
	irq_set_affinity_hint(g_s32XdmaIrq, NULL);
	free_irq(g_s32XdmaIrq, &g_xdma_done);
	g_s32XdmaIrq = -1;
	g_s32XdmaIrqAffinity = -1;
}

static void _KER_XDMA_teardown(void)
{
	_KER_XDMA_free_irq();
	kfree(HW_XDMA_CMD_Abort());
	_KER_XDMA_reg_unmap();
	_KER_XDMA_device_release();
}

int KER_XDMA_DrvInit(void)
{
	int ret;

	if (g_bXdmaStarted)
		return g_u32XdmaInitialised ? 0 : -EINVAL;
	g_bXdmaStarted = true;
	KXDMA_MSG("use direct probe\n");
	sema_init(&g_xdma_sem, 1);
	init_completion(&g_xdma_done);
	g_u32XdmaBusy = 0;
	g_u32XdmaSuspend = 0;
	g_s32XdmaIrq = -1;
	g_s32XdmaIrqAffinity = -1;
	memset(&g_stXdmaSaved, 0, sizeof(g_stXdmaSaved));

	ret = _KER_XDMA_device_initialize();
	if (ret)
		goto fail;
	/* The window is mapped before the interrupt can reach the handler. */
	ret = _KER_XDMA_reg_remap();
	if (ret)
		goto fail;
	ret = _KER_XDMA_request_irq();
	if (ret) {
		KXDMA_ERR("can't request IRQ for %s\n", XDMA_DEV_NAME);
		goto fail;
	}
	KER_PMI_Install(XDMA_PMI_ID, XDMA_PMI_KIND, &g_stXdmaPmiOps, XDMA_PMI_ORDER, NULL,
			g_pXdmaDevice);
	DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "DRV_XDMA", g_stXdmaDbgMenu);
	KXDMA_MSG("[MSG_DRV_XDMA]driver loaded > OK\r\n");
	WRITE_ONCE(g_u32XdmaInitialised, 1);
	return 0;
fail:
	_KER_XDMA_teardown();
	KXDMA_ERR("driver loaded > ERROR !!!\r\n");
	return ret;
}

void KER_XDMA_DrvExit(void)
{
	KXDMA_MSG("[INF_DRV_XDMA]driver unloading...\r\n");
	WRITE_ONCE(g_u32XdmaInitialised, 0);
	_KER_XDMA_teardown();
	g_bXdmaStarted = false;
	KXDMA_MSG("[INF_DRV_XDMA]driver unloaded > OK\r\n");
}

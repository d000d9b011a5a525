// SPDX-License-Identifier: GPL-2.0
/*
 * HDMA driver layer: the engine's counting semaphore, the staging buffer
 * (allocated by the first transfer), the interrupt that wakes the finished
 * channel's waiter, the "crkhdma" device, power hooks and the exports.
 *
 * Every path that gives up on a channel (timeout, signal deadline, the
 * non-blocking waiter's timeout) goes through HW_HDMA_Timeout, which frees
 * the channel and resets the engine if it did not finish, and then forgets
 * any late completion before the engine is released.
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
#include <linux/of_device.h>
#include <linux/semaphore.h>
#include <linux/mutex.h>
#include <linux/completion.h>
#include <linux/kthread.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/vmalloc.h>
#include <linux/sched/task_stack.h>
#include <linux/uaccess.h>
#include <linux/compat.h>
#include <linux/delay.h>
#include <linux/jiffies.h>
#include <linux/ktime.h>
#include <linux/timekeeping.h>
#include <linux/dma-mapping.h>
#include <linux/cpumask.h>
#include <linux/atomic.h>
#include <linux/math64.h>
#include <linux/ratelimit.h>
#include "vyr_compat.h"
#include "vyr_components.h"
#include "vyr_perm.h"
#include "crv_platform.h"
#include "ker_hdma.h"
#include "uapi/vyr_hdma.h"
#include "hw_hdma.h"
#include "ker_hdma_priv.h"

#define HDMA_DEV_NAME "crkhdma"
#define HDMA_CMA_DEFAULT 0x8000
#define HDMA_CLK_MASK_A 34884	/* 0x8844 */
#define HDMA_CLK_MASK_B 32836	/* 0x8044 */
#define HDMA_SEM_LIMIT 4

u32 g_HDMA_sem_max = 1;
struct semaphore g_HDMA_Semaphore;
static DEFINE_MUTEX(g_HDMA_SemMax_Mutex);
/* The staging buffer: one holder from the copy into it until the engine has read it. */
static struct semaphore g_HDMA_Stage;
static DEFINE_MUTEX(g_HDMA_CMA_Mutex);	/* its allocation on first use */
static DEFINE_MUTEX(gstHDMA_HW_Exexuting_Mutex);
u32 g_HDMA_initial;
static atomic_t u32HwBusy = ATOMIC_INIT(0);
static int u32Irq = -1;
static int s32IrqAffinity = -1;
u32 u32PmiSuspend;
static dev_t DevNo;
static struct cdev Cdev;
static struct class *pClass;
static struct device *pDevice;
static bool bChrdev, bCdev;
static struct completion ChDone[HDMA_CHANNELS];
void *g_HDMA_CMA_vaddr;
dma_addr_t g_HDMA_CMA_paddr;
u32 g_HDMA_CMA_size = HDMA_CMA_DEFAULT;
static u32 g_HDMA_CMA_alloc_size;
static ST_HDMA_CH_SETTING g_stHdmaSnapshot[HDMA_CHANNELS];
static u64 g_timer_start, g_timer_end;
static void __iomem *g_pHdmaRegBase;
static bool g_bHdmaRegion;
static bool g_bHdmaStarted;
static atomic_t g_HdmaThreads = ATOMIC_INIT(0);

static const char hdma_stars[] =
	"***********************************************************************************************\n";

/* ---- lock, wait, interrupt ---- */

static int _KER_HDMA_Lock(void)
{
	int ret = down_interruptible(&g_HDMA_Semaphore);

	if (ret) {
		HDMA_ERR("%s() Can't Get Hw lock, SemRet = %d !!!!\n", __func__, ret);
		return ret;
	}
	atomic_inc(&u32HwBusy);
	HDMA_DBG("lock sem ,HwBusy = %d\n", atomic_read(&u32HwBusy));
	return 0;
}

static void _KER_HDMA_unLock(void)
{
	atomic_dec(&u32HwBusy);
	HDMA_DBG("unlock sem ,HwBusy = %d\n", atomic_read(&u32HwBusy));
	up(&g_HDMA_Semaphore);
}

/* A channel given up: stop it if needed and forget its late completion. */
static int hdma_give_up(u32 ch)
{
	int ret = HW_HDMA_Timeout(ch);

	if (u32Irq >= 0)
		synchronize_irq(u32Irq);
	reinit_completion(&ChDone[ch]);
	return ret;
}

static int _KER_HDMA_wait_interrupt(u32 timeout_ms, u32 ch)
{
	unsigned long deadline = jiffies + msecs_to_jiffies(timeout_ms + 1000);
	long ret;

	if (ch >= HDMA_CHANNELS)
		return -EINVAL;
	ret = wait_for_completion_interruptible_timeout(&ChDone[ch], msecs_to_jiffies(timeout_ms));
	if (ret > 0) {
		u32 hline = HW_HDMA_Get_Finish_HLine(ch);

		HW_HDMA_Release(ch);
		HDMA_INF("completed. [%d] hline=%d \n", ch, hline);
		return 0;
	}
	if (ret == 0)
		return hdma_give_up(ch);
	HDMA_INF("%s() HDMA waitRet = %ld\n", __func__, ret);
	/* A pending signal would end every further wait at once: wait on without it. */
	if (time_before(jiffies, deadline) &&
	    wait_for_completion_timeout(&ChDone[ch], deadline - jiffies)) {
		HW_HDMA_Release(ch);
		return 0;
	}
	hdma_give_up(ch);
	return (int)ret;
}

static irqreturn_t _KER_HDMA_interrupt_handler(int irq, void *dev_id)
{
	int ch = HW_HDMA_Get_Finish_Status();

	if (ch >= 0 && ch < HDMA_CHANNELS)
		complete(&ChDone[ch]);
	return IRQ_HANDLED;
}

/* ---- staging buffer ---- */

static int _KER_HDMA_alloc_pages(void)
{
	struct device_node *np = of_find_node_by_name(NULL, HDMA_DEV_NAME);
	u32 size = HDMA_CMA_DEFAULT;

	if (!pDevice) {
		of_node_put(np);
		return -ENODEV;
	}
	if (!np || of_property_read_u32(np, "cma-size", &size)) {
		HDMA_DBG("dts dont have cma-size\n");
		size = HDMA_CMA_DEFAULT;
	}
	HDMA_DBG("HDMA CMA size : 0x%08x\n", size);
	g_HDMA_CMA_size = size;
	dma_coerce_mask_and_coherent(pDevice, DMA_BIT_MASK(32));
	of_dma_configure(pDevice, np, true);
	of_node_put(np);
	if (!size)
		return -EINVAL;
	g_HDMA_CMA_vaddr = dma_alloc_coherent(pDevice, size, &g_HDMA_CMA_paddr,
					      GFP_KERNEL | GFP_DMA | __GFP_NOWARN);
	if (!g_HDMA_CMA_vaddr) {
		HDMA_ERR("HDMA allocate buffer fail\n");
		return -ENOMEM;
	}
	g_HDMA_CMA_alloc_size = size;
	HDMA_DBG("HDMA mem phys addr 0x%pad, virt addr 0x%px! \n", &g_HDMA_CMA_paddr, g_HDMA_CMA_vaddr);
	return 0;
}

static void _KER_HDMA_free_pages(void)
{
	if (g_HDMA_CMA_vaddr)
		dma_free_coherent(pDevice, g_HDMA_CMA_alloc_size, g_HDMA_CMA_vaddr, g_HDMA_CMA_paddr);
	g_HDMA_CMA_vaddr = NULL;
	g_HDMA_CMA_paddr = 0;
	g_HDMA_CMA_alloc_size = 0;
}

/* ---- mode dispatch ---- */

/* True when [p, p + len) lies in the kernel's linear map, page by page. */
static bool hdma_linear(const void *p, u32 len)
{
	uintptr_t a = (uintptr_t)p, last = a + len - 1;

	if (!len || last < a)
		return false;
	for (;;) {
		if (!virt_addr_valid((const void *)a))
			return false;
		if ((a | ~PAGE_MASK) >= last)
			return virt_addr_valid((const void *)last);
		a = (a | ~PAGE_MASK) + 1;
	}
}

/* What one transfer holds from its set-up until the engine is done with it. */
struct hdma_job {
	u64 src;		/* the source the engine reads (copy, list) */
	dma_addr_t map;		/* streaming mapping of the caller's memory; 0: none */
	u32 map_size;
	bool staged;		/* holds the staging buffer */
};

static bool hdma_mode_reads_memory(u32 mode)
{
	return mode == HDMA_MODE_COPY_DST_INCRE || mode == HDMA_MODE_COPY_DST_FIXED ||
	       mode == HDMA_MODE_DATA_ADDR;
}

/*
 * The source of a copy or list, for the engine to read. What fits the staging
 * buffer is a kernel address of any kind (linear map, vmalloc, module data,
 * stack) and is copied there. A larger source in the linear map is mapped
 * for the engine; other kernel memory is not contiguous for a device and is
 * refused; anything else is the physical address of the data.
 */
static int hdma_job_begin(const ST_HDMA_TRANSFER *t, bool direct, struct hdma_job *job)
{
	const void *p = (const void *)(uintptr_t)t->SrcAddr;

	memset(job, 0, sizeof(*job));
	if (!hdma_mode_reads_memory(t->DMAMode))
		return 0;
	if (!t->SrcAddr || !t->Size)
		return -EINVAL;
	if (!direct) {
		down(&g_HDMA_Stage);
		memcpy(g_HDMA_CMA_vaddr, p, t->Size);
		job->staged = true;
		job->src = g_HDMA_CMA_paddr;
		return 0;
	}
	if (hdma_linear(p, t->Size)) {
		dma_addr_t a = dma_map_single(pDevice, (void *)p, t->Size, DMA_TO_DEVICE);

		if (dma_mapping_error(pDevice, a)) {
			HDMA_ERR("%s: source %p of %u bytes cannot be mapped\n", __func__, p, t->Size);
			return -EINVAL;
		}
		job->map = a;
		job->map_size = t->Size;
		job->src = a;
		return 0;
	}
	if (is_vmalloc_addr(p) || object_is_on_stack(p)) {
		HDMA_ERR("%s: source %p of %u bytes is not contiguous for the engine\n", __func__, p,
			 t->Size);
		return -EINVAL;
	}
	job->src = t->SrcAddr;
	return 0;
}

/* The engine is done with the source (finished, or stopped by a reset). */
static void hdma_job_end(struct hdma_job *job)
{
	if (job->map)
		dma_unmap_single(pDevice, job->map, job->map_size, DMA_TO_DEVICE);
	if (job->staged)
		up(&g_HDMA_Stage);
	memset(job, 0, sizeof(*job));
}

static int _KER_HDMA_Start(const ST_HDMA_TRANSFER *t, const struct hdma_job *job, u32 wait, u32 *ch)
{
	HDMA_DBG("%s\n", __func__);
	*ch = HDMA_NO_CHANNEL;
	switch (t->DMAMode) {
	case HDMA_MODE_COPY_DST_INCRE:
	case HDMA_MODE_COPY_DST_FIXED: {
		ST_HDMA_COPY c = { .u32DstMode = t->DMAMode != 0, .u64SrcAddr = job->src,
				   .u64DstAddr = t->DstAddr, .u32Length = t->Size };

		return HW_HDMA_Copy(&c, t->TriggerMode, t->HLine, wait, ch);
	}
	case HDMA_MODE_FILL_DST_INCRE:
	case HDMA_MODE_FILL_DST_FIXED: {
		ST_HDMA_FILL f = { .u32DstMode = t->DMAMode != 2, .u64DstAddr = t->DstAddr,
				   .u32Data = t->FillData, .u32Length = t->Size };

		return HW_HDMA_Fill(&f, t->TriggerMode, t->HLine, wait, ch);
	}
	case HDMA_MODE_DATA_ADDR: {
		ST_HDMA_DATA_ADDR d = { .u64SrcAddr = job->src, .u32Length = t->Size };

		return HW_HDMA_DataAddr(&d, t->TriggerMode, t->HLine, wait, ch);
	}
	default:
		HDMA_ERR("Not support DMA Mode = %d\n", t->DMAMode);
		return -1;
	}
}

static int hdma_stage_alloc(void)
{
	int ret = 0;

	mutex_lock(&g_HDMA_CMA_Mutex);
	if (!g_HDMA_CMA_vaddr)
		ret = _KER_HDMA_alloc_pages();
	mutex_unlock(&g_HDMA_CMA_Mutex);
	return ret;
}

/* Takes the engine, makes sure the staging buffer is there and sets the source up. */
static int hdma_enter(const ST_HDMA_TRANSFER *t, struct hdma_job *job, const char *func)
{
	bool direct;
	int ret;

	if (READ_ONCE(u32PmiSuspend)) {
		HDMA_INF("%s() PMI Suspend HW !!!!!\n", func);
		return -EINTR;
	}
	ret = _KER_HDMA_Lock();
	if (ret)
		return ret;
	if (hdma_stage_alloc()) {
		HDMA_ERR("[HDMA] g_HDMA_CMA_vaddr ERROR\n");
		_KER_HDMA_unLock();
		return 22;
	}
	direct = t->Size > g_HDMA_CMA_size;
	if (direct)
		HDMA_WRN("%s Not Enough CMA buffer size. force Continous\n", func);
	ret = hdma_job_begin(t, direct, job);
	if (ret)
		_KER_HDMA_unLock();
	return ret;
}

static void hdma_leave(struct hdma_job *job)
{
	hdma_job_end(job);
	_KER_HDMA_unLock();
}

int DRV_HdmaTransfer(ST_HDMA_TRANSFER *pstTransfer)
{
	struct hdma_job job;
	u32 ch;
	int i, ret;

	if (!READ_ONCE(g_HDMA_initial)) {
		HDMA_ERR("DRV_HDMA is not initialized!\n");
		return 22;
	}
	if (!pstTransfer)
		return -EINVAL;
	ret = hdma_enter(pstTransfer, &job, __func__);
	if (ret)
		return ret;
	for (i = 0; i < 3; i++) {
		ret = _KER_HDMA_Start(pstTransfer, &job, 1, &ch);
		if (!ret)
			break;
		HDMA_ERR("[HDMA] FAIL\n");
		/* A record the engine cannot carry out stays so. */
		if (ret == -EINVAL)
			break;
		/* Suspend went ahead without us: the engine is off now. */
		if (READ_ONCE(u32PmiSuspend)) {
			ret = -EINTR;
			break;
		}
	}
	hdma_leave(&job);
	return ret;
}
EXPORT_SYMBOL(DRV_HdmaTransfer);

struct hdma_waiter {
	u32 ch;
	struct hdma_job job;
};

/* Waits for the channel, gives the engine back and answers what the wait saw. */
static int hdma_waiter_finish(struct hdma_waiter *w)
{
	int ret = _KER_HDMA_wait_interrupt(500, w->ch);

	hdma_leave(&w->job);
	kfree(w);
	atomic_dec(&g_HdmaThreads);
	return ret;
}

static int _KER_HDMA_kthread_wait(void *data)
{
	HDMA_INF("[HDMA] nonblocking %s\n", __func__);
	hdma_waiter_finish(data);
	return 0;
}

int DRV_HdmaTransfer_forQE(ST_HDMA_TRANSFER *pstTransfer)
{
	struct task_struct *task;
	struct hdma_waiter *w;
	int ret;

	if (!READ_ONCE(g_HDMA_initial)) {
		HDMA_ERR("DRV_HDMA is not initialized!\n");
		return 22;
	}
	if (!pstTransfer)
		return -EINVAL;
	w = kzalloc(sizeof(*w), GFP_KERNEL);
	if (!w)
		return -ENOMEM;
	ret = hdma_enter(pstTransfer, &w->job, __func__);
	if (ret) {
		kfree(w);
		return ret;
	}
	/*
	 * Kernel memory too large to stage is mapped and read in place: the
	 * caller may reuse it once the call returns, so the engine has read it
	 * by then. A physical source (its owner keeps it for the transfer, as
	 * for one triggered at a display line) is left to the waiter.
	 */
	if (w->job.map) {
		ret = _KER_HDMA_Start(pstTransfer, &w->job, 1, &w->ch);
		hdma_leave(&w->job);
		kfree(w);
		return ret;
	}
	ret = _KER_HDMA_Start(pstTransfer, &w->job, 0, &w->ch);
	if (w->ch >= HDMA_CHANNELS) {
		hdma_leave(&w->job);
		kfree(w);
		return ret ? ret : -EINVAL;
	}
	atomic_inc(&g_HdmaThreads);
	task = kthread_run(_KER_HDMA_kthread_wait, w, "HDMA kthread wait completion");
	/* No thread to wait: wait here, and answer what the transfer did. */
	return IS_ERR(task) ? hdma_waiter_finish(w) : 0;
}
EXPORT_SYMBOL(DRV_HdmaTransfer_forQE);

/* ---- device file ---- */

static void hdma_banner(void)
{
	printk(KERN_ERR HDMA_PFX_ERR "\n\n\n %s", hdma_stars);
}

static void hdma_banner_end(void)
{
	printk(KERN_ERR HDMA_PFX_ERR "%s\n\n\n", hdma_stars);
}

/* Any caller can loop on these refusals: each one's lines are rate-limited together. */
static DEFINE_RATELIMIT_STATE(rs_direct, DEFAULT_RATELIMIT_INTERVAL, DEFAULT_RATELIMIT_BURST);
static DEFINE_RATELIMIT_STATE(rs_range, DEFAULT_RATELIMIT_INTERVAL, DEFAULT_RATELIMIT_BURST);
static DEFINE_RATELIMIT_STATE(rs_bad, DEFAULT_RATELIMIT_INTERVAL, DEFAULT_RATELIMIT_BURST);

static long hdma_ioctl(unsigned int cmd, void __user *arg)
{
	u32 nr = KHDMA_IO_NR(cmd), v;
	long ret = 0;

	mutex_lock(&gstHDMA_HW_Exexuting_Mutex);
	switch (nr) {
	case 2:
	case 5:
		if ((g_HDMADbgMask & 0x4) && (unsigned long)arg != 0xFFFFFFFFul &&
		    __ratelimit(&rs_direct)) {
			printk(KERN_INFO "\n\n\n %s", hdma_stars);
			printk(KERN_INFO "Using ioctl directly is not allowed. Check if drivers use HDMA ioctl and set parameter directly\n");
			printk(KERN_INFO "%s\n\n\n", hdma_stars);
		}
		break;
	case 3:
		v = lower_32_bits(g_HDMA_CMA_paddr);
		ret = copy_to_user(arg, &v, sizeof(v)) ? -EFAULT : 0;
		break;
	case 4:
		if (copy_from_user(&v, arg, sizeof(v))) {
			ret = -EFAULT;
			break;
		}
		if (v & 0x3FFFE000) {
			if (__ratelimit(&rs_range))
				HDMA_ERR("Require address is out of memory \n");
			ret = -EFAULT;
			break;
		}
		if (v >= 8192 || !g_HDMA_CMA_vaddr || (u64)v * 4 + 4 > g_HDMA_CMA_alloc_size) {
			ret = -EFAULT;
			break;
		}
		v = ((u32 *)g_HDMA_CMA_vaddr)[v];
		ret = copy_to_user(arg, &v, sizeof(v)) ? -EFAULT : 0;
		break;
	case 7: {
		ST_HDMA_BAT_PARAM p = { .u32Trigger = 0, .u32Count = 1 };

		if (copy_from_user(&v, arg, sizeof(v))) {
			ret = -EFAULT;
			break;
		}
		HDMA_DBG("Test BAT: %d\n", v);
		ret = _KER_HDMA_Bat(v, &p);
		break;
	}
	default:
		if (__ratelimit(&rs_bad)) {
			hdma_banner();
			HDMA_ERR("HDMA ioctl command error (%d)! Only allow COPY_PHYS_TO_PHYS & FILL_PHYS\n", nr);
			HDMA_ERR("Check user driver if you use invalid ioctl command.\n");
			hdma_banner_end();
		}
		ret = -EINVAL;
		break;
	}
	mutex_unlock(&gstHDMA_HW_Exexuting_Mutex);
	return ret;
}

/* The self-tests rewrite the palette, the IMVQ SRAM and the PQ registers of the running set. */
static long _KER_HDMA_ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	if (KHDMA_IO_NR(cmd) == 7 && vyr_perm_admin(f))
		return -EPERM;
	return hdma_ioctl(cmd, (void __user *)arg);
}

#ifdef CONFIG_COMPAT
static long _KER_HDMA_Compat_Ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	if (KHDMA_IO_NR(cmd) == 7 && vyr_perm_admin(f))
		return -EPERM;
	return hdma_ioctl(cmd, compat_ptr(arg));
}
#endif

/*
 * The staging buffer holds other modules' data and address lists between
 * their copy and the engine's read: only CAP_SYS_RAWIO may map it writable.
 */
static int _KER_HDMA_mmap(struct file *f, struct vm_area_struct *vma)
{
	unsigned long pages, npages;

	if (!g_HDMA_CMA_vaddr)
		return -EINVAL;
	/* In pages and unsigned long: a byte count cut to 32 bits could pass. */
	npages = g_HDMA_CMA_alloc_size >> PAGE_SHIFT;
	pages = vma_pages(vma);
	if (vma->vm_pgoff >= npages || pages > npages - vma->vm_pgoff)
		return -EINVAL;
	if (vyr_perm_rawio(f)) {
		if (vma->vm_flags & VM_WRITE)
			return -EPERM;
		vyr_vm_flags_clear(vma, VM_MAYWRITE);
	}
	vyr_vm_flags_clear(vma, VM_EXEC | VM_MAYEXEC);
	if (dma_mmap_coherent(pDevice, vma, g_HDMA_CMA_vaddr, g_HDMA_CMA_paddr, g_HDMA_CMA_alloc_size))
		return -EAGAIN;
	return 0;
}

static const struct file_operations g_stHdmaFops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = _KER_HDMA_ioctl,
#ifdef CONFIG_COMPAT
	.compat_ioctl = _KER_HDMA_Compat_Ioctl,
#endif
	.mmap = _KER_HDMA_mmap,
};

int DRV_HDMA_Init(void)
{
	return 0;
}

int DRV_HDMA_Open(void)
{
	return 0;
}

void _KER_HDMA_start_timer(void)
{
	g_timer_start = ktime_get_raw_ns();
	HDMA_DBG("get semaphore\n");
}

void _KER_HDMA_end_timer(void)
{
	g_timer_end = ktime_get_raw_ns();
	HDMA_DBG("release semaphore, hold mutex %lldns\n", (long long)(g_timer_end - g_timer_start));
}

u32 _KER_HDMA_GetChipID(void)
{
	return CHP_GetChipID();
}

/* ---- power ---- */

int _ker_hdma_suspend_p(void)
{
	unsigned long start = jiffies;
	u64 t0 = ktime_get_ns();

	printk(KERN_INFO "@suspend(in) %s\n", __func__);
	while (atomic_read(&u32HwBusy) && time_before(jiffies, start + 50))
		mdelay(1);
	if (atomic_read(&u32HwBusy))
		printk(KERN_ERR HDMA_PFX_ERR KERN_INFO "waiting hw finish for %dns expired.\n", 200);
	if (READ_ONCE(u32PmiSuspend)) {
		HDMA_WRN("%s:Suspend twice or not resume yet.\n", __func__);
		return 0;
	}
	WRITE_ONCE(u32PmiSuspend, 1);
	HDMA_DBG("[INF_DRV_HDMA]HDMA disable IRQ\r\n");
	if (u32Irq >= 0)
		disable_irq(u32Irq);
	HW_HDMA_GetHWSetting(g_stHdmaSnapshot);
	if (KER_PMI_Mode() == KER_PMI_MODE_STANDBY) {
		KER_CLK_SetClockMask(HDMA_CLK_MASK_A, 0);
		KER_CLK_SetClockMask(HDMA_CLK_MASK_B, 0);
		HDMA_INF("PMI Suspend for inacitve mode done.\n");
	}
	printk(KERN_INFO "@suspend_time/%s/%d/msec\n", __func__,
	       (int)div_u64(ktime_get_ns() - t0, 1000000));
	return 0;
}

int _ker_hdma_resume_p(void)
{
	u64 t0 = ktime_get_ns();

	printk(KERN_INFO "%s\n", __func__);
	if (!READ_ONCE(u32PmiSuspend)) {
		HDMA_WRN("%s:Not suspend before resume.\n", __func__);
		return 0;
	}
	/* Clocks first: the restore writes must reach a running block. */
	if (KER_PMI_Mode() == KER_PMI_MODE_STANDBY) {
		KER_CLK_SetClockMask(HDMA_CLK_MASK_B, 1);
		KER_CLK_SetClockMask(HDMA_CLK_MASK_A, 1);
		HDMA_DBG("PMI Resume for inactive mode done.\n");
	}
	HW_HDMA_SetHWSetting(g_stHdmaSnapshot);
	if (u32Irq >= 0) {
		if (s32IrqAffinity >= 0)
			irq_set_affinity_hint(u32Irq, cpumask_of(s32IrqAffinity));
		enable_irq(u32Irq);
	}
	WRITE_ONCE(u32PmiSuspend, 0);
	printk(KERN_INFO "@resume_time/%s/%d/msec\n", __func__,
	       (int)div_u64(ktime_get_ns() - t0, 1000000));
	return 0;
}

static ST_KER_PMI_OPS g_stHdmaPmiOps = {
	.pfSuspend = _ker_hdma_suspend_p,
	.pfResume = _ker_hdma_resume_p,
};

/*
 * The menu's semaphore count. The semaphore is never re-initialised under
 * its holders and waiters: slots are added, or taken out of use (waiting
 * for holders to leave).
 */
int _KER_HDMA_SetSemMax(u32 u32Max)
{
	if (u32Max < 1 || u32Max > HDMA_SEM_LIMIT)
		return -EINVAL;
	mutex_lock(&g_HDMA_SemMax_Mutex);
	for (; g_HDMA_sem_max < u32Max; g_HDMA_sem_max++)
		up(&g_HDMA_Semaphore);
	for (; g_HDMA_sem_max > u32Max; g_HDMA_sem_max--)
		down(&g_HDMA_Semaphore);
	mutex_unlock(&g_HDMA_SemMax_Mutex);
	return 0;
}

/* ---- start-up and exit ---- */

static char *crv_hdma_devnode(struct device *dev, umode_t *mode)
{
	if (mode)
		*mode = 0666;
	return NULL;
}

static void _KER_HDMA_device_release(void)
{
	if (pDevice) {
		device_destroy(pClass, DevNo);
		pDevice = NULL;
	}
	if (pClass) {
		class_destroy(pClass);
		pClass = NULL;
	}
	if (bCdev) {
		cdev_del(&Cdev);
		bCdev = false;
	}
	if (bChrdev) {
		unregister_chrdev_region(DevNo, 1);
		bChrdev = false;
	}
}

static int _KER_HDMA_device_initialize(void)
{
	int ret = alloc_chrdev_region(&DevNo, 0, 1, HDMA_DEV_NAME);

	if (ret) {
		HDMA_ERR("alloc_chrdev_region() = %d Fail !!!!! \n", ret);
		return ret;
	}
	bChrdev = true;
	cdev_init(&Cdev, &g_stHdmaFops);
	Cdev.owner = THIS_MODULE;
	ret = cdev_add(&Cdev, DevNo, 1);
	if (ret) {
		HDMA_ERR("fail cdev_add() = %d\n", ret);
		goto fail;
	}
	bCdev = true;
	pClass = class_create(THIS_MODULE, HDMA_DEV_NAME);
	if (IS_ERR(pClass)) {
		HDMA_ERR("can't create class \n");
		ret = PTR_ERR(pClass);
		pClass = NULL;
		goto fail;
	}
	pClass->devnode = crv_hdma_devnode;
	pDevice = device_create(pClass, NULL, DevNo, NULL, HDMA_DEV_NAME);
	if (IS_ERR(pDevice)) {
		HDMA_ERR("device_create() Fail !!!! \n");
		ret = PTR_ERR(pDevice);
		pDevice = NULL;
		goto fail;
	}
	HDMA_INF("device_create() Success , dev = (%d, %d) !!!! \n", MAJOR(DevNo), MINOR(DevNo));
	return 0;
fail:
	_KER_HDMA_device_release();
	return ret;
}

static int _KER_HDMA_reg_remap(void)
{
	ST_KER_HDMA_OP op;

	if (!request_mem_region(HDMA_REG_BASE, HDMA_REG_SIZE, dev_name(pDevice))) {
		dev_err(pDevice, "Register window unavailable\n");
		return -EBUSY;
	}
	g_bHdmaRegion = true;
	g_pHdmaRegBase = vyr_ioremap_nocache(HDMA_REG_BASE, HDMA_REG_SIZE);
	if (!g_pHdmaRegBase) {
		HDMA_ERR("Can't remap register window\n");
		release_mem_region(HDMA_REG_BASE, HDMA_REG_SIZE);
		g_bHdmaRegion = false;
		return -ENOMEM;
	}
	op.RegBase = g_pHdmaRegBase;
	op.pfLock = _KER_HDMA_Lock;
	op.pfWait = _KER_HDMA_wait_interrupt;
	op.pfUnlock = _KER_HDMA_unLock;
	if (HW_HDMA_initialize(&op)) {
		HDMA_ERR("Initial HDMA Op Fail !!!!!!\n");
		return -EINVAL;
	}
	return 0;
}

static int _KER_HDMA_request_irq(struct device_node *np)
{
	unsigned int irq;
	u32 cpu;
	int ret;

	irq = irq_of_parse_and_map(np, 0);
	s32IrqAffinity = -1;
	ret = irq ? devm_request_irq(pDevice, irq, _KER_HDMA_interrupt_handler, IRQF_TRIGGER_HIGH,
				     HDMA_DEV_NAME, ChDone) : -EINVAL;
	if (ret < 0)
		return ret;
	u32Irq = irq;
	if (of_property_read_u32(np, "interrupt-affinity", &cpu)) {
		HDMA_INF("%s interrupt-affinity not found in DTB !!!!\n", __func__);
	} else if (cpu >= num_online_cpus()) {
		HDMA_ERR("%s interrupt-affinity read %d, but only %d cpus !!!!\n", __func__, cpu,
			 num_online_cpus());
	} else {
		s32IrqAffinity = cpu;
		HDMA_INF("Khdma set interrupt-affinity = %d\n", cpu);
		irq_set_affinity_hint(irq, cpumask_of(cpu));
	}
	return 0;
}

static void _KER_HDMA_teardown(void)
{
	unsigned long end = jiffies + msecs_to_jiffies(3000);

	/* The menu's test threads write the test windows: they end before those go. */
	_KER_HDMA_StopMenuThreads();
	/* Holders (a non-blocking waiter) leave first; bounded. */
	while ((atomic_read(&u32HwBusy) || atomic_read(&g_HdmaThreads)) && time_before(jiffies, end))
		msleep(1);
	if (u32Irq >= 0) {
		if (!READ_ONCE(u32PmiSuspend))
			disable_irq(u32Irq);
		irq_set_affinity_hint(u32Irq, NULL);
		devm_free_irq(pDevice, u32Irq, ChDone);
		u32Irq = -1;
	}
	_KER_HDMA_other_reg_unmap();
	HW_HDMA_deinitialize();
	if (g_pHdmaRegBase) {
		iounmap(g_pHdmaRegBase);
		g_pHdmaRegBase = NULL;
	}
	if (g_bHdmaRegion) {
		release_mem_region(HDMA_REG_BASE, HDMA_REG_SIZE);
		g_bHdmaRegion = false;
	}
	_KER_HDMA_free_pages();
	_KER_HDMA_device_release();
}

int KER_HDMA_DrvInit(void)
{
	struct device_node *np;
	int i, ret;

	if (g_bHdmaStarted)
		return g_HDMA_initial ? 0 : -EINVAL;
	g_bHdmaStarted = true;
	HDMA_INF("%s\n", "KER_HDMA_probe");
	HDMA_INF("use direct probe\n");
	sema_init(&g_HDMA_Semaphore, g_HDMA_sem_max);
	sema_init(&g_HDMA_Stage, 1);
	atomic_set(&u32HwBusy, 0);
	u32PmiSuspend = 0;
	for (i = 0; i < HDMA_CHANNELS; i++)
		init_completion(&ChDone[i]);
	memset(g_stHdmaSnapshot, 0, sizeof(g_stHdmaSnapshot));

	ret = _KER_HDMA_device_initialize();
	if (ret) {
		HDMA_ERR("device_initialize() Fail !!!!!!\n");
		goto fail;
	}
	/* No node, no engine: not one register is touched without it. */
	np = of_find_node_by_name(NULL, HDMA_DEV_NAME);
	if (!np) {
		HDMA_ERR(HDMA_PFX_ERR ">>>error node not found\n");
		HDMA_ERR("can't request IRQ for %s\n", HDMA_DEV_NAME);
		ret = -1;
		goto fail;
	}
	/* The window is mapped before the interrupt can reach the finish scan. */
	ret = _KER_HDMA_reg_remap();
	if (!ret) {
		ret = _KER_HDMA_request_irq(np);
		if (ret < 0)
			HDMA_ERR("can't request IRQ for %s\n", HDMA_DEV_NAME);
	}
	of_node_put(np);
	if (ret < 0)
		goto fail;
	KER_PMI_Install(30, 17, &g_stHdmaPmiOps, 10, NULL, pDevice);
	DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "DRV_HDMA", g_stHdmaDbgMenu);
	HDMA_INF("[INF_DRV_HDMA]driver loaded > OK\r\n");
	WRITE_ONCE(g_HDMA_initial, 1);
	return 0;
fail:
	_KER_HDMA_teardown();
	HDMA_ERR(HDMA_PFX_ERR "driver loaded > ERROR !!!\r\n");
	return ret;
}

void KER_HDMA_DrvExit(void)
{
	HDMA_INF("[INF_DRV_HDMA]driver unloading...\r\n");
	WRITE_ONCE(g_HDMA_initial, 0);
	_KER_HDMA_teardown();
	g_bHdmaStarted = false;
	HDMA_INF("[INF_DRV_HDMA]driver unloaded > OK\r\n");
}

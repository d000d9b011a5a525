// SPDX-License-Identifier: GPL-2.0
/*
 * 2D graphics engine ("AGE") driver core: engine ownership, trigger and wait,
 * the interrupt handler, power hooks and the "crkgpu" device.
 */
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/kernel.h>
#include <linux/fs.h>
#include <linux/fcntl.h>
#include <linux/cdev.h>
#include <linux/device.h>
#include <linux/slab.h>
#include <linux/vmalloc.h>
#include <linux/uaccess.h>
#include <linux/compat.h>
#include <linux/interrupt.h>
#include <linux/of.h>
#include <linux/of_irq.h>
#include <linux/of_device.h>
#include <linux/cpumask.h>
#include <linux/dma-mapping.h>
#include <linux/mm.h>
#include <linux/io.h>
#include <linux/jiffies.h>
#include <linux/delay.h>
#include <linux/ktime.h>
#include <linux/sched.h>
#include <linux/err.h>

#include "vyr_compat.h"
#include "vyr_components.h"
#include "crv_platform.h"
#include "vyr_perm.h"
#include "vyr_dma.h"
#include "ker_gpu.h"

unsigned int g_GpuDbgMask = 1;
module_param(g_GpuDbgMask, uint, 0644);
MODULE_PARM_DESC(g_GpuDbgMask, "2D engine driver messages: 1 error, 2 warning, 4 message, 8 trace, 16 time, 32 work queue, 64 register dump");

unsigned int g_GpuHwFeature;
module_param(g_GpuHwFeature, uint, 0444);
MODULE_PARM_DESC(g_GpuHwFeature, "2D engine hardware features of this chip (read only)");

ST_KER_GPU_CTX g_KerGpuCtx;
u32 g_kgpu_chipID;
/* Result of the backend's interrupt function at the last interrupt. */
static int g_kgpu_irq_result;

/* engines, HwFeature, HwIssue, engine 0 base, engine 1 base */
u32 g_kgpu_hw_settings[5][5] = {
	{ 0, 0, 0, 0, 0 },
	{ 0, 0, 0, 0, 0 },
	{ 1, 0x2, 0, 0xFC050000, 0 },
	{ 1, 0x6, 0, 0xFC650000, 0 },
	{ 2, 0x6, 0x1C, 0xFC650000, 0xFC370000 },
};

static const char *const g_kgpu_node_name[KER_GPU_MAX_ENGINES] = { "crkgpu", "crkgpu2" };

#define KGPU_DEV_NAME "crkgpu"

/* ------------------------------------------------------------------------ */
/* Engine ownership, trigger and wait                                        */

static bool _kgpu_valid_hw(int hw)
{
	return g_KerGpuCtx.Hw && (unsigned int)hw < (unsigned int)g_KerGpuCtx.HwNum;
}

static void _kgpu_run_callbacks(KER_GPU_CALLBACK cb1, void *arg1,
				KER_GPU_CALLBACK cb2, void *arg2)
{
	if (cb2)
		cb2(arg2);
	if (cb1)
		cb1(arg1);
}

static int _GPU_Wait_Interrupt(int hw, unsigned long deadline)
{
	ST_KER_GPU_HW *pHw = &g_KerGpuCtx.Hw[hw];
	long pending = 0;
	bool interrupted = false;

	for (;;) {
		long w;

		/*
		 * Once a signal cut a slice short, the remaining slices wait
		 * without it: the operation still owns the engine and must end.
		 */
		if (!interrupted)
			w = wait_for_completion_interruptible_timeout(&pHw->IrqCompletion,
								      KGPU_WAIT_SLICE);
		else
			w = wait_for_completion_timeout(&pHw->IrqCompletion, KGPU_WAIT_SLICE);

		if (w > 0) {
			pending = 0;
			break;
		}
		if (w == 0) {
			u32 status = 0;
			int s = KGPU_OP_status(hw, &status);

			if (s > 0) {
				pending = 0;
				break;
			}
			pending = s;
		} else {
			KGPU_ERR("Irq%d waitRet = %ld\n", pHw->Irq, w);
			pending = w;
			interrupted = true;
		}
		if (time_after(jiffies, deadline)) {
			if (pending == -EBUSY) {
				KGPU_ERR("Irq wait long time busy !!!\n");
				KGPU_OP_DumpReg(hw);
			}
			break;
		}
	}
	if (!completion_done(&pHw->IrqCompletion))
		KGPU_WRN("there are waiters in IrqCompletion\n");
	return pending < 0 ? (int)pending : 0;
}

int KER_GPU_Lock(int hw)
{
	ST_KER_GPU_HW *pHw;
	unsigned long flags;
	u32 pending;
	u64 deadline;
	int ret;

	if (!_kgpu_valid_hw(hw)) {
		KGPU_ERR("%s(): Invalid hw_id=%d", __func__, hw);
		return -ENODEV;
	}
	pHw = &g_KerGpuCtx.Hw[hw];
	if (READ_ONCE(pHw->PmiSuspend)) {
		KGPU_ERR("%s() g_KerGpuCtx.Hw[%d].PmiSuspend = %d\n", __func__, hw,
			 READ_ONCE(pHw->PmiSuspend));
		return -1;
	}

	spin_lock_irqsave(&pHw->Lock, flags);
	pending = pHw->NonBlock;
	deadline = pHw->NonBlockDeadline;
	/* A new ownership by this task ends any earlier hand-off of it. */
	if (pHw->pHandOffTask == current)
		pHw->pHandOffTask = NULL;
	spin_unlock_irqrestore(&pHw->Lock, flags);

	if (pending) {
		KER_GPU_CALLBACK cb1 = NULL, cb2 = NULL;
		void *arg1 = NULL, *arg2 = NULL;
		bool takeover = false, owned = false;
		long left = (long)(deadline - (u64)jiffies);

		KGPU_WRN("Non-Block mode wait for %dms\n",
			 left > 0 ? jiffies_to_msecs(left) : 0);
		ret = _GPU_Wait_Interrupt(hw, (unsigned long)deadline);

		/*
		 * The operation ended without its interrupt, or never ended:
		 * exactly one waiter clears it and inherits its ownership.
		 */
		spin_lock_irqsave(&pHw->Lock, flags);
		if (pHw->NonBlock) {
			takeover = true;
			owned = pHw->ReleaseOnIrq;
			cb1 = pHw->pfnCb1;
			arg1 = pHw->pCb1Arg;
			cb2 = pHw->pfnCb2;
			arg2 = pHw->pCb2Arg;
			pHw->NonBlock = 0;
			pHw->NonBlockDeadline = 0;
			pHw->ReleaseOnIrq = 0;
			pHw->pfnCb1 = pHw->pfnCb2 = NULL;
			pHw->pCb1Arg = pHw->pCb2Arg = NULL;
		}
		spin_unlock_irqrestore(&pHw->Lock, flags);

		if (takeover) {
			if (ret)
				KGPU_ERR("%s() Previous NodBlock Op time out(%ld) !!!!\n",
					 __func__, (long)ret);
			/* The engine may still run the list the callbacks free: stop it first. */
			KGPU_OP_Reset(hw);
			_kgpu_run_callbacks(cb1, arg1, cb2, arg2);
			if (owned)
				return 0;
		}
	}

	ret = down_killable(&pHw->Sem);
	if (ret) {
		KGPU_ERR("%s() Can't Get Hw lock, SemRet = %d !!!!\n", __func__, ret);
		return ret;
	}
	return 0;
}
EXPORT_SYMBOL(KER_GPU_Lock);

int KER_GPU_Unlock(int hw)
{
	ST_KER_GPU_HW *pHw;
	unsigned long flags;
	bool handed_off = false;

	if (!_kgpu_valid_hw(hw)) {
		KGPU_ERR("%s(): Invalid hw_id=%d", __func__, hw);
		return -ENODEV;
	}
	pHw = &g_KerGpuCtx.Hw[hw];
	spin_lock_irqsave(&pHw->Lock, flags);
	if (pHw->pHandOffTask == current) {
		/* Its non-blocking operation releases the engine. */
		pHw->pHandOffTask = NULL;
		handed_off = true;
	}
	spin_unlock_irqrestore(&pHw->Lock, flags);
	if (!handed_off)
		up(&pHw->Sem);
	return 0;
}
EXPORT_SYMBOL(KER_GPU_Unlock);

/*
 * The caller owns the engine; a non-blocking operation keeps it until its
 * interrupt.
 */
int KER_GPU_Trigger(int hw, unsigned int mode, KER_GPU_CALLBACK cb1, void *arg1,
		    KER_GPU_CALLBACK cb2, void *arg2)
{
	ST_KER_GPU_HW *pHw;
	unsigned long flags;
	u64 t0 = 0;
	int ret;

	if (READ_ONCE(g_KerGpuCtx.DBG_ForceDisable)) {
		printk_ratelimited(KERN_WARNING "AGE now is Force Disabled.");
		/* Nothing will interrupt: end the operation as the handler would. */
		if (mode) {
			_kgpu_run_callbacks(cb1, arg1, cb2, arg2);
			if (_kgpu_valid_hw(hw))
				up(&g_KerGpuCtx.Hw[hw].Sem);
		}
		return 0;
	}
	if (!_kgpu_valid_hw(hw)) {
		KGPU_ERR("%s(): Invalid hw_id=%d", __func__, hw);
		return -ENODEV;
	}
	pHw = &g_KerGpuCtx.Hw[hw];

	if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_DUMP)
		KGPU_OP_DumpReg(hw);

	spin_lock_irqsave(&pHw->Lock, flags);
	if (mode) {
		pHw->NonBlock = 1;
		pHw->pfnCb1 = cb1;
		pHw->pCb1Arg = arg1;
		pHw->pfnCb2 = cb2;
		pHw->pCb2Arg = arg2;
		pHw->NonBlockDeadline = (u64)jiffies + KGPU_WAIT_LIMIT;
		pHw->ReleaseOnIrq = 1;
		pHw->pHandOffTask = current;
	}
	reinit_completion(&pHw->IrqCompletion);
	atomic_inc(&pHw->Busy);
	KGPU_OP_trigger(hw);
	spin_unlock_irqrestore(&pHw->Lock, flags);

	if (mode)
		return 0;

	if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_TIME)
		t0 = ktime_get_ns();
	ret = _GPU_Wait_Interrupt(hw, jiffies + KGPU_WAIT_LIMIT);
	if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_TIME) {
		printk(KERN_INFO "%s() Time Diff = %lld\n", __func__,
		       (long long)(ktime_get_ns() - t0));
		printk(KERN_INFO "waitRet =  %ld !!!\n", (long)ret);
	}
	return ret;
}

EXPORT_SYMBOL(KER_GPU_Trigger);

static irqreturn_t _ker_gpu_isr(int irq, void *dev_id)
{
	ST_KER_GPU_HW *pHw;
	KER_GPU_CALLBACK cb1 = NULL, cb2 = NULL;
	void *arg1 = NULL, *arg2 = NULL;
	bool ended = false, release = false;
	int hw, ret;

	/* Nothing of ours runs before start-up has finished. */
	if (!READ_ONCE(g_KerGpuCtx.Ready))
		return IRQ_NONE;
	hw = ((u32)irq == g_KerGpuCtx.Hw[0].Irq) ? 0 : 1;
	if (hw >= g_KerGpuCtx.HwNum)
		return IRQ_NONE;
	pHw = &g_KerGpuCtx.Hw[hw];

	ret = KGPU_OP_irq_handle(hw);
	WRITE_ONCE(g_kgpu_irq_result, ret);
	if (ret != 0)
		return IRQ_HANDLED;

	atomic_set(&pHw->Busy, 0);
	complete_all(&pHw->IrqCompletion);

	spin_lock(&pHw->Lock);
	if (pHw->NonBlock) {
		ended = true;
		release = pHw->ReleaseOnIrq;
		cb1 = pHw->pfnCb1;
		arg1 = pHw->pCb1Arg;
		cb2 = pHw->pfnCb2;
		arg2 = pHw->pCb2Arg;
		pHw->NonBlock = 0;
		pHw->NonBlockDeadline = 0;
		pHw->ReleaseOnIrq = 0;
		pHw->pfnCb1 = pHw->pfnCb2 = NULL;
		pHw->pCb1Arg = pHw->pCb2Arg = NULL;
	}
	spin_unlock(&pHw->Lock);

	if (ended) {
		_kgpu_run_callbacks(cb1, arg1, cb2, arg2);
		if (release)
			up(&pHw->Sem);
	}
	return IRQ_HANDLED;
}

/* ------------------------------------------------------------------------ */
/* Power hooks                                                               */

int _ker_gpu_pmi_suspend_p(void)
{
	u64 t0 = ktime_get_ns();
	int hw;

	KGPU_TRC("%s() Enter\n", __func__);
	for (hw = 0; hw < g_KerGpuCtx.HwNum && g_KerGpuCtx.Hw; hw++) {
		ST_KER_GPU_HW *pHw = &g_KerGpuCtx.Hw[hw];
		unsigned long start;

		if (READ_ONCE(pHw->PmiSuspend)) {
			KGPU_WRN("%s() g_KerGpuCtx.Hw[hw_id].PmiSuspend = %d\n", __func__,
				 READ_ONCE(pHw->PmiSuspend));
			continue;
		}
		WRITE_ONCE(pHw->PmiSuspend, pHw->PmiSuspend + 1);
		start = jiffies;
		while (atomic_read(&pHw->Busy) &&
		       time_before(jiffies, start + KGPU_SUSPEND_WAIT)) {
			KGPU_WRN("%s() waiting for HW release !!!!!", __func__);
			msleep(1);
		}
		atomic_inc(&pHw->Busy);
		if (pHw->IrqRequested && !pHw->IrqDisabled) {
			disable_irq(pHw->Irq);
			pHw->IrqDisabled = 1;
		}
	}
	KGPU_TRC("%s() %lld ms\n", __func__, (long long)((ktime_get_ns() - t0) / 1000000));
	printk(KERN_INFO "%s() done.\n", __func__);
	return 0;
}

int _ker_gpu_pmi_resume_p(void)
{
	u64 t0 = ktime_get_ns();
	int hw;

	KGPU_TRC("%s() Enter\n", __func__);
	for (hw = 0; hw < g_KerGpuCtx.HwNum && g_KerGpuCtx.Hw; hw++) {
		ST_KER_GPU_HW *pHw = &g_KerGpuCtx.Hw[hw];

		if (!READ_ONCE(pHw->PmiSuspend)) {
			KGPU_WRN("%s() g_KerGpuCtx.Hw[%d].PmiSuspend = 0\n", __func__, hw);
			continue;
		}
		if (pHw->IrqRequested) {
			if (pHw->IrqAffinity >= 0 && cpu_online(pHw->IrqAffinity))
				irq_set_affinity_hint(pHw->Irq, cpumask_of(pHw->IrqAffinity));
			if (pHw->IrqDisabled) {
				enable_irq(pHw->Irq);
				pHw->IrqDisabled = 0;
			}
		}
		if ((g_KerGpuCtx.HwFeature & KER_GPU_HW_FEATURE_OLD_HW) &&
		    (g_KerGpuCtx.HwIssue & KER_GPU_HW_ISSUE_FORCE_OLD_HW) &&
		    g_KerGpuCtx.HwReg && g_KerGpuCtx.HwReg[hw].Gpu_RegReMap)
			writel(0x80000, g_KerGpuCtx.HwReg[hw].Gpu_RegReMap + 0x140);
		atomic_set(&pHw->Busy, 0);
		WRITE_ONCE(pHw->PmiSuspend, 0);
	}
	KGPU_TRC("%s() %lld ms\n", __func__, (long long)((ktime_get_ns() - t0) / 1000000));
	printk(KERN_INFO "%s() done.\n", __func__);
	return 0;
}

static ST_KER_PMI_OPS g_kgpu_pmi_ops = {
	.pfSuspend = _ker_gpu_pmi_suspend_p,
	.pfResume = _ker_gpu_pmi_resume_p,
};

/* ------------------------------------------------------------------------ */
/* Device operations                                                         */

static int kgpu_open(struct inode *inode, struct file *filp)
{
	ST_KGPU_FILE *pstFile = kzalloc(sizeof(*pstFile), GFP_KERNEL);

	if (!pstFile)
		return -ENOMEM;
	pstFile->Pid = task_tgid_nr(current);
	pstFile->pDevice = g_KerGpuCtx.pDevice;
	filp->private_data = pstFile;
	return 0;
}

static int kgpu_release(struct inode *inode, struct file *filp)
{
	ST_KGPU_FILE *pstFile = filp->private_data;

	/* The file's allocations go with it (a dma-buf may still keep one). */
	kgpu_mem_release(filp);
	kfree(pstFile);
	filp->private_data = NULL;
	return 0;
}

/*
 * Starts engine 0 on whatever its registers hold, as the owner of the
 * engine: a blocking read releases it, a non-blocking one leaves that to the
 * interrupt. The registers may name any memory, so only an opener with raw
 * I/O access may start them.
 */
static ssize_t kgpu_read(struct file *filp, char __user *buf, size_t count, loff_t *ppos)
{
	unsigned int mode = (filp->f_flags & O_NONBLOCK) ? KER_GPU_TRIGGER_NONBLOCK :
							   KER_GPU_TRIGGER_BLOCK;
	u32 result = 0;
	int ret;

	if (count != sizeof(u32))
		return -EINVAL;
	ret = vyr_perm_rawio(filp);
	if (ret)
		return ret;
	ret = KER_GPU_Lock(0);
	if (!ret) {
		ret = KER_GPU_Trigger(0, mode, NULL, NULL, NULL, NULL);
		if (mode == KER_GPU_TRIGGER_BLOCK)
			KER_GPU_Unlock(0);
	}
	if (ret < 0) {
		KGPU_ERR("%s():%d | Read GPU interrupt : %d\n", __func__, __LINE__, ret);
		return ret;
	}
	if (copy_to_user(buf, &result, sizeof(result))) {
		KGPU_ERR("GPU : fail copy to user \n");
		return -EFAULT;
	}
	return sizeof(result);
}

/*
 * Page offsets name physical pages. An allocation made through this file is
 * mapped with the attributes its memory has for the engine; the register
 * page (offset 0) and any other page only for an opener with raw I/O access.
 */
static int kgpu_mmap(struct file *filp, struct vm_area_struct *vma)
{
	unsigned long pfn = vma->vm_pgoff;
	unsigned long size = vma->vm_end - vma->vm_start;
	ST_KGPU_MEM_RECORD *rec;
	int ret = -EPERM;

	if (pfn) {
		u64 addr = (u64)pfn << PAGE_SHIFT;

		ret = kgpu_mem_get(filp, addr, size, &rec);
		if (!ret) {
			ret = kgpu_mem_mmap(rec, addr, vma, filp->f_flags & O_DSYNC);
			kgpu_mem_put(rec);
			goto out;
		}
	}
	if (vyr_perm_rawio(filp))
		return ret == -EINVAL ? -EINVAL : -EPERM;

	if (!pfn) {
		if (!g_KerGpuCtx.HwReg)
			return -ENODEV;
		/* Only the engine's own register page. */
		if (size > PAGE_SIZE)
			return -EINVAL;
		pfn = g_KerGpuCtx.HwReg[0].Gpu_RegBase >> PAGE_SHIFT;
	}
	if (((phys_addr_t)pfn << PAGE_SHIFT) >= 0xFC000000ULL || (filp->f_flags & O_DSYNC))
		vma->vm_page_prot = pgprot_device(vma->vm_page_prot);
	ret = remap_pfn_range(vma, vma->vm_start, pfn, size, vma->vm_page_prot);
out:
	if (ret)
		KGPU_ERR("mmap failed\n");
	return ret;
}

/*
 * RAM outside the allocations, for an opener with raw I/O access: mapping it
 * for the engine and unmapping it again does the cache maintenance a sync
 * would, without a mapping to sync. Only where the engine reaches the range
 * itself: past its DMA mask the work would go to a bounce buffer instead.
 */
static int _kgpu_sync_raw(struct device *dev, u64 addr, u32 size, bool for_cpu)
{
	enum dma_data_direction dir = for_cpu ? DMA_FROM_DEVICE : DMA_TO_DEVICE;
	dma_addr_t dma;
	int ret;

	ret = kgpu_mem_map_direct(dev, addr, size, dir, &dma);
	if (ret)
		return ret;
	dma_unmap_page(dev, dma, size, dir);
	return 0;
}

/*
 * Syncs one range: within an allocation made through this file, or, for an
 * opener with raw I/O access, any RAM in the kernel's linear map. A range
 * that wraps or covers anything else is refused: registers, and reserved
 * memory without pages (the plane buffers), which has no kernel address
 * that cache maintenance could work on.
 */
static int _kgpu_sync_one(struct file *filp, u64 addr, u32 size, u32 dir)
{
	struct device *dev = g_KerGpuCtx.pDevice;
	ST_KGPU_MEM_RECORD *rec = NULL;
	u64 pfn;
	int ret;

	if (!dev)
		return -ENODEV;
	if (!size)
		return 0;
	ret = kgpu_mem_get(filp, addr, size, &rec);
	if (ret) {
		if (vyr_perm_rawio(filp))
			return ret;
		if (addr + size < addr)
			return -EINVAL;
		for (pfn = addr >> PAGE_SHIFT; pfn <= (addr + size - 1) >> PAGE_SHIFT; pfn++)
			if (!vyr_dma_has_pages(PFN_PHYS(pfn)))
				return -EINVAL;
	}
	if (rec) {
		kgpu_mem_sync(rec, addr, size, dir == KGPU_SYNC_FOR_CPU);
		kgpu_mem_put(rec);
		return 0;
	}
	return _kgpu_sync_raw(dev, addr, size, dir == KGPU_SYNC_FOR_CPU);
}

/* Up to 0x7FFF ranges of 16 bytes: bounded by the signed 16-bit count. */
static long _kgpu_sync_ranges(struct file *filp, const void __user *uranges, u16 count)
{
	ST_KGPU_SYNC_RANGE *ranges;
	long ret = 0;
	int i;

	if ((s16)count < 0) {
		KGPU_ERR("%s() %d ranges, it's a impossible number !!!! \n", __func__, count);
		return -EDOM;
	}
	if (!count)
		return 0;
	ranges = vmalloc(count * sizeof(*ranges));
	if (!ranges) {
		KGPU_ERR("%s() DMA sync Ranges vmalloc() Fail !!!! \n", __func__);
		return -EFAULT;
	}
	if (copy_from_user(ranges, uranges, count * sizeof(*ranges))) {
		KGPU_ERR("GPU : fail copy from user \n");
		ret = -EFAULT;
		goto out;
	}
	/* Each range in its own direction. */
	for (i = 0; i < count && !ret; i++)
		ret = _kgpu_sync_one(filp, ranges[i].u64Addr, ranges[i].u32Size,
				     ranges[i].u32Direction);
out:
	vfree(ranges);
	return ret;
}

static long _kgpu_buf_exchange(struct file *filp, void __user *uarg, unsigned int size)
{
	ST_KGPU_BUF_EXCHANGE rec;
	ST_KGPU_DMA_BUF_DESC desc;
	u32 i, n;

	if (size != sizeof(rec))
		KGPU_ERR("GPU : _IOC_SIZE not the same !!!! \t user %d != kernel got %zu \n",
			 size, sizeof(rec));
	if (copy_from_user(&rec, uarg, sizeof(rec))) {
		KGPU_ERR("GPU : fail copy from user \n");
		return -EFAULT;
	}
	memset(&desc, 0, sizeof(desc));
	if (rec.u32PlaneNum || !rec.s32DmaBufFd) {
		n = min_t(u32, rec.u32PlaneNum, KGPU_BUF_PLANES);
		desc.u32PlaneNum = n;
		for (i = 0; i < n; i++) {
			desc.u64Addr[i] = rec.u64PlaneAddr[i];
			desc.u64Size[i] = rec.u32PlaneSize[i];
		}
		rec.s32DmaBufFd = kgpu_dma_buf_fd(filp, &desc, rec.u32ExportFlags);
	} else {
		if (kgpu_dma_buf_phys(filp, rec.s32DmaBufFd, &desc) == 0) {
			n = min_t(u32, desc.u32PlaneNum, KGPU_BUF_PLANES);
			rec.u32PlaneNum = n;
			for (i = 0; i < n; i++) {
				rec.u64PlaneAddr[i] = desc.u64Addr[i];
				rec.u32PlaneSize[i] = (u32)desc.u64Size[i];
			}
		} else {
			rec.u32PlaneNum = 0;
		}
	}
	if (copy_to_user(uarg, &rec, sizeof(rec))) {
		KGPU_ERR("GPU : fail copy to user \n");
		return -EFAULT;
	}
	return 0;
}

static long _kgpu_exec(struct file *filp, void __user *uarg, unsigned int size)
{
	ST_KGPU_EXEC *pstExec;
	long ret;

	if (size != sizeof(*pstExec))
		KGPU_ERR("size(%d) in cmd not the same with ioctl need size(%zu) !!!!\n",
			 size, sizeof(*pstExec));
	pstExec = kmalloc(sizeof(*pstExec), GFP_KERNEL);
	if (!pstExec)
		return -ENOMEM;
	if (copy_from_user(pstExec, uarg, sizeof(*pstExec))) {
		KGPU_ERR("GPU : fail copy from user \n");
		ret = -EFAULT;
		goto out;
	}
	ret = kgpu_exec_ioctl(filp, pstExec);
	if (size == sizeof(*pstExec) && ret == 0 &&
	    copy_to_user(uarg + offsetof(ST_KGPU_EXEC, u32RunLen), &pstExec->u32RunLen,
			 sizeof(pstExec->u32RunLen))) {
		KGPU_ERR("GPU : fail copy to user \n");
		ret = -EFAULT;
	}
out:
	kfree(pstExec);
	return ret;
}

static long kgpu_ioctl(struct file *filp, unsigned int cmd, unsigned long arg)
{
	void __user *uarg = (void __user *)arg;
	unsigned int nr = _IOC_NR(cmd), size = _IOC_SIZE(cmd);
	bool old_hw = g_KerGpuCtx.HwFeature & KER_GPU_HW_FEATURE_OLD_HW;

	switch (nr) {
	case 31: {
		u32 id = CHP_GetChipID();

		if (copy_to_user(uarg, &id, sizeof(id))) {
			KGPU_ERR("GPU : fail copy to user \n");
			return -EFAULT;
		}
		return 0;
	}
	case 34:
	case 35: {
		ST_KGPU_SYNC_RANGE r;

		if (copy_from_user(&r, uarg, sizeof(r))) {
			KGPU_ERR("GPU : fail copy from user \n");
			return -EFAULT;
		}
		if (nr == 35) {
			printk_ratelimited(KERN_INFO "%s(%08llx, %zu, 0x%X)\n", __func__,
					   (unsigned long long)r.u64Addr, (size_t)r.u32Size,
					   r.u32Direction);
			if (kgpu_mem_valid_buffer(r.u64Addr) != 1)
				return -ENOTSUPP;
			printk_ratelimited(KERN_INFO "kgpu_mem_valid_buffer() = 1, Phys is alloc by Kgpu, \n");
		}
		return _kgpu_sync_one(filp, r.u64Addr, r.u32Size, r.u32Direction);
	}
	case 36: {
		ST_KGPU_SYNC_RANGES r;

		if (copy_from_user(&r, uarg, sizeof(r))) {
			KGPU_ERR("GPU : fail copy from user \n");
			return -EFAULT;
		}
		return _kgpu_sync_ranges(filp, u64_to_user_ptr(r.u64Ranges), r.u16Count);
	}
	case 37:
		if (g_KerGpuCtx.pfnFlushAll)
			g_KerGpuCtx.pfnFlushAll();
		else
			printk_ratelimited(KERN_WARNING "can't find symbol vyr_hwmem_flush_all! Please update uImage!\n");
		return 0;
	case 64:
		return old_hw ? KER_GPU_Lock(0) : 0;
	case 65:
		if (old_hw && _kgpu_valid_hw(0))
			up(&g_KerGpuCtx.Hw[0].Sem);
		return 0;
	case 66: {
		ST_KGPU_MEM_ALLOC req;

		if (copy_from_user(&req, uarg, sizeof(req))) {
			KGPU_ERR("GPU : fail copy from user \n");
			return -EFAULT;
		}
		if (kgpu_mem_alloc(&req, filp))
			return -ENOMEM;
		if (copy_to_user(uarg, &req, sizeof(req))) {
			KGPU_ERR("GPU : fail copy to user \n");
			return -EFAULT;
		}
		return 0;
	}
	case 67: {
		u64 addr;

		if (copy_from_user(&addr, uarg, sizeof(addr))) {
			KGPU_ERR("GPU : fail copy from user \n");
			return -EFAULT;
		}
		kgpu_mem_free(addr, filp);
		return 0;
	}
	case 68:
		kgpu_mem_show_all();
		return 0;
	case 74: {
		ST_KGPU_STATUS st;
		int ret;

		if (!old_hw || !_kgpu_valid_hw(0))
			return 0;
		ret = vyr_perm_rawio(filp);
		if (ret)
			return ret;
		memset(&st, 0, sizeof(st));
		st.s32Result = KER_GPU_Lock(0);
		if (st.s32Result)
			return st.s32Result;
		st.s32Result = KER_GPU_Trigger(0, KER_GPU_TRIGGER_BLOCK, NULL, NULL, NULL, NULL);
		if (g_KerGpuCtx.HwReg[0].Gpu_RegReMap)
			st.u32Done = (readl(g_KerGpuCtx.HwReg[0].Gpu_RegReMap + 4) >> 9) & 1;
		KER_GPU_Unlock(0);
		if (copy_to_user(uarg, &st, sizeof(st))) {
			KGPU_ERR("GPU : fail copy to user \n");
			return -EFAULT;
		}
		return 0;
	}
	case 80:
		return _kgpu_exec(filp, uarg, size);
	case 81:
		return _kgpu_buf_exchange(filp, uarg, size);
	default:
		printk_ratelimited(KERN_ERR "unknow cmd in %s() arguments, nr = %d, size = %d\n",
				   __func__, nr, size);
		return -ENOTSUPP;
	}
}

#ifdef CONFIG_COMPAT
static long kgpu_compat_ioctl(struct file *filp, unsigned int cmd, unsigned long arg)
{
	if (_IOC_NR(cmd) == 36) {
		ST_KGPU_SYNC_RANGES32 r;

		if (copy_from_user(&r, compat_ptr(arg), sizeof(r))) {
			KGPU_ERR("GPU : fail copy from user \n");
			return -EFAULT;
		}
		return _kgpu_sync_ranges(filp, compat_ptr(r.u32Ranges), r.u16Count);
	}
	return kgpu_ioctl(filp, cmd, (unsigned long)compat_ptr(arg));
}
#endif

static const struct file_operations g_kgpu_fops = {
	.owner = THIS_MODULE,
	.read = kgpu_read,
	.unlocked_ioctl = kgpu_ioctl,
#ifdef CONFIG_COMPAT
	.compat_ioctl = kgpu_compat_ioctl,
#endif
	.mmap = kgpu_mmap,
	.open = kgpu_open,
	.release = kgpu_release,
};

/* ------------------------------------------------------------------------ */
/* Start-up and exit                                                         */

static char *_kgpu_devnode(struct device *dev, umode_t *mode)
{
	if (mode)
		*mode = 0666;
	return NULL;
}

static void _ker_gpu_device_destroy(void)
{
	if (g_KerGpuCtx.pDevice) {
		device_destroy(g_KerGpuCtx.pClass, g_KerGpuCtx.DevNum);
		g_KerGpuCtx.pDevice = NULL;
	}
	if (g_KerGpuCtx.pClass) {
		class_destroy(g_KerGpuCtx.pClass);
		g_KerGpuCtx.pClass = NULL;
	}
	if (g_KerGpuCtx.CdevAdded) {
		cdev_del(&g_KerGpuCtx.Cdev);
		g_KerGpuCtx.CdevAdded = 0;
	}
	if (g_KerGpuCtx.DevNum) {
		unregister_chrdev_region(g_KerGpuCtx.DevNum, 1);
		g_KerGpuCtx.DevNum = 0;
	}
}

static int _ker_gpu_device_initialize(void)
{
	struct device *dev;
	int ret;

	ret = alloc_chrdev_region(&g_KerGpuCtx.DevNum, 0, 1, KGPU_DEV_NAME);
	if (ret) {
		KGPU_ERR("alloc_chrdev_region() = %d Fail !!!!! \n", ret);
		g_KerGpuCtx.DevNum = 0;
		goto fail;
	}
	cdev_init(&g_KerGpuCtx.Cdev, &g_kgpu_fops);
	g_KerGpuCtx.Cdev.owner = THIS_MODULE;
	ret = cdev_add(&g_KerGpuCtx.Cdev, g_KerGpuCtx.DevNum, 1);
	if (ret) {
		KGPU_ERR("cdev_add() = %d\n", ret);
		goto fail;
	}
	g_KerGpuCtx.CdevAdded = 1;
	g_KerGpuCtx.pClass = class_create(THIS_MODULE, KGPU_DEV_NAME);
	if (IS_ERR_OR_NULL(g_KerGpuCtx.pClass)) {
		KGPU_ERR("can't create class \n");
		ret = g_KerGpuCtx.pClass ? PTR_ERR(g_KerGpuCtx.pClass) : -ENOMEM;
		g_KerGpuCtx.pClass = NULL;
		goto fail;
	}
	g_KerGpuCtx.pClass->devnode = _kgpu_devnode;
	dev = device_create(g_KerGpuCtx.pClass, NULL, g_KerGpuCtx.DevNum, NULL, KGPU_DEV_NAME);
	if (IS_ERR_OR_NULL(dev)) {
		KGPU_ERR("device_create() Fail !!!! \n");
		ret = dev ? PTR_ERR(dev) : -ENOMEM;
		goto fail;
	}
	g_KerGpuCtx.pDevice = dev;
	KGPU_MSG("device_create() Success, dev = (%d, %d) !!!! \n",
		 MAJOR(g_KerGpuCtx.DevNum), MINOR(g_KerGpuCtx.DevNum));
	return 0;
fail:
	_ker_gpu_device_destroy();
	KGPU_ERR("_ker_gpu_device_initialize() Fail !!!!!!\n");
	return ret;
}

static void _ker_gpu_irq_release(void)
{
	int hw;

	for (hw = 0; hw < g_KerGpuCtx.HwNum && g_KerGpuCtx.Hw; hw++) {
		ST_KER_GPU_HW *pHw = &g_KerGpuCtx.Hw[hw];

		if (!pHw->IrqRequested)
			continue;
		if (!pHw->IrqDisabled)
			disable_irq(pHw->Irq);
		irq_set_affinity_hint(pHw->Irq, NULL);
		if (pHw->IrqDisabled)
			enable_irq(pHw->Irq);	/* balance before the line goes */
		free_irq(pHw->Irq, pHw);
		pHw->IrqRequested = 0;
		pHw->IrqDisabled = 0;
	}
}

static int _ker_gpu_irq_request(int hw)
{
	ST_KER_GPU_HW *pHw = &g_KerGpuCtx.Hw[hw];
	const char *name = g_kgpu_node_name[hw];
	struct device_node *np;
	u32 cpu;
	int ret;

	np = of_find_node_by_name(NULL, name);
	if (!np) {
		KGPU_ERR("%s node not found !!!!\n", name);
		KGPU_ERR("can't request IRQ for %s\n", name);
		return -1;
	}
	pHw->Irq = irq_of_parse_and_map(np, 0);
	pHw->IrqAffinity = -1;
	KGPU_MSG("Kgpu request_irq for %d", pHw->Irq);
	ret = pHw->Irq ? request_irq(pHw->Irq, _ker_gpu_isr, IRQF_TRIGGER_HIGH, name, pHw) : -EINVAL;
	if (ret) {
		of_node_put(np);
		KGPU_ERR("can't request IRQ for %s\n", name);
		return -1;
	}
	pHw->IrqRequested = 1;
	if (of_property_read_u32(np, "interrupt-affinity", &cpu) == 0) {
		if (cpu < num_online_cpus()) {
			pHw->IrqAffinity = cpu;
			irq_set_affinity_hint(pHw->Irq, cpumask_of(cpu));
			KGPU_MSG("Kgpu set interrupt-affinity = %d", cpu);
		} else {
			KGPU_WRN("%s interrupt-affinity read %d, but only %d cpus !!!!\n",
				 "_ker_gpu_irq_request", cpu, num_online_cpus());
		}
	} else {
		KGPU_WRN("%s interrupt-affinity not found in DTB !!!!\n", name);
	}
	of_node_put(np);
	return 0;
}

static int kgpu_probe(struct device *dev)
{
	ST_KER_GPU_INIT init;
	int hw;

	for (hw = 0; hw < g_KerGpuCtx.HwNum; hw++)
		if (_ker_gpu_irq_request(hw))
			return -1;

	for (hw = 0; hw < g_KerGpuCtx.HwNum; hw++) {
		ST_KER_GPU_HW_REG *pReg = &g_KerGpuCtx.HwReg[hw];

		pReg->Cpu_RegBase = pReg->Gpu_RegBase + KER_GPU_CPU_REG_OFFSET;
		pReg->Gpu_RegReMap = vyr_ioremap_nocache(pReg->Gpu_RegBase, KER_GPU_REG_WINDOW_SIZE);
		if (!pReg->Gpu_RegReMap) {
			KGPU_ERR("Register remap AGE GPU Fail !!!!!!\n");
			return -EFAULT;
		}
		KGPU_MSG("remap AGE GPU register 0x%08X to %p", pReg->Gpu_RegBase,
			 (void __force *)pReg->Gpu_RegReMap);
		pReg->Cpu_RegReMap = vyr_ioremap_nocache(pReg->Cpu_RegBase, KER_GPU_REG_WINDOW_SIZE);
		if (!pReg->Cpu_RegReMap) {
			KGPU_ERR("Register remap AGE CPU Fail !!!!!!\n");
			return -EFAULT;
		}
		KGPU_MSG("remap AGE CPU register 0x%08X to %p", pReg->Cpu_RegBase,
			 (void __force *)pReg->Cpu_RegReMap);
	}

	memset(&init, 0, sizeof(init));
	init.pDevice = dev;
	init.HwVersion = g_KerGpuCtx.Hw[0].HwVersion;
	init.HwNum = g_KerGpuCtx.HwNum;
	init.pstHwReg = g_KerGpuCtx.HwReg;
	init.pfnLock = KER_GPU_Lock;
	init.pfnTrigger = KER_GPU_Trigger;
	init.pfnUnlock = KER_GPU_Unlock;
	init.HwFeature = g_KerGpuCtx.HwFeature;
	init.FeatureMask = g_KerGpuCtx.HwFeature;
	init.HwIssue = 0;
	init.IssueMask = 0;
	if (KGPU_OP_Initial(&init)) {
		KGPU_ERR("Initial Age Op Fail !!!!!!\n");
		return -ENODEV;
	}
	return 0;
}

static void kgpu_remove(void)
{
	int hw;

	WRITE_ONCE(g_KerGpuCtx.Ready, 0);
	_ker_gpu_irq_release();
	for (hw = 0; hw < g_KerGpuCtx.HwNum && g_KerGpuCtx.HwReg; hw++) {
		if (g_KerGpuCtx.HwReg[hw].Gpu_RegReMap)
			iounmap(g_KerGpuCtx.HwReg[hw].Gpu_RegReMap);
		if (g_KerGpuCtx.HwReg[hw].Cpu_RegReMap)
			iounmap(g_KerGpuCtx.HwReg[hw].Cpu_RegReMap);
	}
	kfree(g_KerGpuCtx.Hw);
	g_KerGpuCtx.Hw = NULL;
	kfree(g_KerGpuCtx.HwReg);
	g_KerGpuCtx.HwReg = NULL;
	g_KerGpuCtx.HwNum = 0;
}

int KER_GPU_DrvInit(void)
{
	struct device_node *np;
	u32 version, hw;

	memset(&g_KerGpuCtx, 0, sizeof(g_KerGpuCtx));
	g_kgpu_chipID = CHP_GetChipID();
	if (g_kgpu_chipID == CHP_CHIP_ID_UNKNOWN) {
		KGPU_WRN("%s(): KER_SYS_GetChipType = %08X\n", __func__, g_kgpu_chipID);
		g_kgpu_chipID = KGPU_CHIP_ID_Q2;
		KGPU_WRN("%s(): Use default ChipType = %08X\n", __func__, g_kgpu_chipID);
	}
	if (g_kgpu_chipID == KGPU_CHIP_ID_Q2)
		version = 3;
	else if (g_kgpu_chipID == KGPU_CHIP_ID_Q5)
		version = 4;
	else
		version = 2;
	KGPU_TRC("%s(): HW version : %d\n", __func__, version);

	g_KerGpuCtx.HwFeature = g_kgpu_hw_settings[version][1];
	g_KerGpuCtx.HwIssue = g_kgpu_hw_settings[version][2];
	g_GpuHwFeature = g_KerGpuCtx.HwFeature;
	g_KerGpuCtx.Hw = kcalloc(g_kgpu_hw_settings[version][0], sizeof(ST_KER_GPU_HW), GFP_KERNEL);
	g_KerGpuCtx.HwReg = kcalloc(g_kgpu_hw_settings[version][0], sizeof(ST_KER_GPU_HW_REG),
				    GFP_KERNEL);
	if (!g_KerGpuCtx.Hw || !g_KerGpuCtx.HwReg) {
		KGPU_ERR("%s() no memory for %d engines\n", __func__, g_kgpu_hw_settings[version][0]);
		kgpu_remove();
		return 0;
	}
	g_KerGpuCtx.HwNum = g_kgpu_hw_settings[version][0];
	for (hw = 0; hw < g_KerGpuCtx.HwNum; hw++) {
		ST_KER_GPU_HW *pHw = &g_KerGpuCtx.Hw[hw];

		pHw->HwVersion = version;
		g_KerGpuCtx.HwReg[hw].Gpu_RegBase = g_kgpu_hw_settings[version][3 + hw];
		sema_init(&pHw->Sem, 1);
		init_completion(&pHw->IrqCompletion);
		spin_lock_init(&pHw->Lock);
		atomic_set(&pHw->Busy, 0);
	}

	if (_ker_gpu_device_initialize()) {
		kgpu_remove();
		return 0;
	}

	if (kgpu_probe(g_KerGpuCtx.pDevice)) {
		kgpu_remove();
		_ker_gpu_device_destroy();
		return 0;
	}
	WRITE_ONCE(g_KerGpuCtx.Ready, 1);

	kgpu_mem_device_create();
	g_KerGpuCtx.pDevice->dma_mask = &g_KerGpuCtx.pDevice->coherent_dma_mask;
	dma_set_mask_and_coherent(g_KerGpuCtx.pDevice, DMA_BIT_MASK(32));
	np = of_find_node_by_name(NULL, g_kgpu_node_name[0]);
	of_dma_configure(g_KerGpuCtx.pDevice, np, true);
	of_node_put(np);
	KER_PMI_Install(56, 17, &g_kgpu_pmi_ops, 22, NULL, NULL);
	kgpu_dbg_register();
	g_KerGpuCtx.pfnFlushAll = (void (*)(void))__symbol_get("vyr_hwmem_flush_all");
	g_KerGpuCtx.pfnFlushRange = __symbol_get("vyr_hwmem_flush_range");
	return 0;
}

void KER_GPU_DrvExit(void)
{
	if (g_KerGpuCtx.pfnFlushAll) {
		__symbol_put("vyr_hwmem_flush_all");
		g_KerGpuCtx.pfnFlushAll = NULL;
	}
	if (g_KerGpuCtx.pfnFlushRange) {
		__symbol_put("vyr_hwmem_flush_range");
		g_KerGpuCtx.pfnFlushRange = NULL;
	}
	kgpu_dbg_exit();
	kgpu_mem_device_destroy();
	kgpu_remove();
	_ker_gpu_device_destroy();
}

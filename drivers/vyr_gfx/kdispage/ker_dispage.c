// SPDX-License-Identifier: GPL-2.0
/*
 * DispAge engine driver: owns the engine (one binary semaphore), maps its
 * register windows, takes its interrupt, starts a run and waits for its end.
 *
 * Users: the operation layer (lock, start-and-wait and unlock handed over at
 * probe), other kernel modules through KDispAge_lend_request and
 * KDispAge_share_irq (their callback programs and starts the engine under
 * our lock, we wait), and user space through "crkdispage" (read starts a
 * run and waits, mmap maps physical memory, ioctl runs the self-test).
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/fs.h>
#include <linux/cdev.h>
#include <linux/device.h>
#include <linux/io.h>
#include <linux/interrupt.h>
#include <linux/irq.h>
#include <linux/of.h>
#include <linux/of_irq.h>
#include <linux/of_device.h>
#include <linux/dma-mapping.h>
#include <linux/semaphore.h>
#include <linux/completion.h>
#include <linux/jiffies.h>
#include <linux/delay.h>
#include <linux/ktime.h>
#include <linux/mm.h>
#include <linux/slab.h>
#include <linux/uaccess.h>
#include <linux/compat.h>
#include <linux/atomic.h>
#include <linux/cpumask.h>
#include "vyr_compat.h"
#include "vyr_components.h"
#include "vyr_perm.h"
#include "crv_platform.h"
#include "ker_dispage.h"
#include "ker_dispage_op.h"

unsigned int g_DispAgeDbgMask = 1;
module_param(g_DispAgeDbgMask, uint, 0644);
MODULE_PARM_DESC(g_DispAgeDbgMask, "DispAge messages: 1 error, 2 warning, 4 message, 8 trace, 16 time, 32 dump registers");

#define DBG_TIME_DIFF	0x10
#define DBG_DUMP_REG	0x20

#define DISPAGE_NAME		"crkdispage"
#define DISPAGE_RUN_LIMIT	500	/* jiffies */
#define DISPAGE_WAIT_SLICE	25	/* jiffies */
#define DISPAGE_CHIP_Q2		0x51323030u
#define DISPAGE_CHIP_Q5		0x51353030u
#define DISPAGE_WINDOW_SIZE	512
#define DISPAGE_REG_PHYS	0xFC058200
/* Self-test buffers: sized from the picture, at most this much. */
#define DISPAGE_BAT_MAX_BYTES	(32u << 20)

ST_KER_DISPAGE_CTX g_KerDispAgeCtx;
/* The device the probe ran with: DMA allocations and managed resources hang on it. */
static struct device *pdev_kdispage;

static const char *const g_DispAgeDbgName[6] = {
	"Error", "Warning", "Message", "Trace Flow", "Time Diff", "Dump Register",
};

#define CTX (&g_KerDispAgeCtx)

/* ---- engine ownership and runs ---- */

static irqreturn_t _DispAge_InterruptHandler(int irq, void *dev_id)
{
	if (!CTX->pRegBase)
		return IRQ_NONE;
	writel(0, CTX->pRegBase + DISPAGE_REG_INT_EN);
	atomic_set(&CTX->u32HwBusy, 0);
	complete(&CTX->Done);
	return IRQ_HANDLED;
}

int KDispAge_Read_Interrupt_Count(int (*pfUseHw)(void *), void *arg)
{
	unsigned long deadline;
	u64 start = 0;
	long wait;
	int ret;

	/* No window, no engine: nothing may be started. */
	if (!CTX->pRegBase)
		return -ENODEV;
	if (atomic_read(&CTX->u32PmiSuspend)) {
		DISPAGE_DBG("%s() PMI Suspend HW !!!!!\n", __func__);
		return -EINTR;
	}
	atomic_inc(&CTX->u32HwBusy);
	if (completion_done(&CTX->Done)) {
		DISPAGE_TRC("%s() completion_done() == 0 \n", __func__);
		reinit_completion(&CTX->Done);
	}

	if (pfUseHw) {
		ret = pfUseHw(arg);
		if (ret < 0) {
			DISPAGE_ERR("%s()\tUseHw() = %d\n", __func__, ret);
			KDispAge_Op_DumpReg();
			atomic_set(&CTX->u32HwBusy, 0);
			return -ENOEXEC;
		}
	} else {
		writel(readl(CTX->pRegBase + DISPAGE_REG_CTRL) | DISPAGE_CTRL_START,
		       CTX->pRegBase + DISPAGE_REG_CTRL);
	}

	if (READ_ONCE(g_DispAgeDbgMask) & DBG_TIME_DIFF)
		start = ktime_get_raw_ns();

	deadline = jiffies + DISPAGE_RUN_LIMIT;
	for (;;) {
		wait = wait_for_completion_interruptible_timeout(&CTX->Done, DISPAGE_WAIT_SLICE);
		if (wait > 0) {
			DISPAGE_TRC("%s() Hw done success.\n", __func__);
			ret = 0;
			break;
		}
		if (wait < 0) {
			DISPAGE_ERR("%s() waitRet = %ld\n", __func__, wait);
			ret = (int)wait;
			break;
		}
		if (readl(CTX->pRegBase + DISPAGE_REG_INT_STATUS) & DISPAGE_INT_DONE) {
			DISPAGE_TRC("%s() Hw done but Irq timeout !!!!!\n", __func__);
			ret = 1;
			break;
		}
		if (!time_before(jiffies, deadline)) {
			DISPAGE_ERR("%s() No Interrupt Timeout!!!\n", __func__);
			KDispAge_Op_DumpReg();
			ret = -EBUSY;
			break;
		}
		DISPAGE_TRC("%s() Hw will expire after %dms\n", __func__,
			    jiffies_to_msecs(deadline - jiffies));
	}

	if (READ_ONCE(g_DispAgeDbgMask) & DBG_TIME_DIFF)
		printk(KERN_INFO "[DBG_DRV_GPU]%s() Time Diff = %lld\n", __func__,
		       (long long)(ktime_get_raw_ns() - start));
	if (READ_ONCE(g_DispAgeDbgMask) & DBG_DUMP_REG)
		KDispAge_Op_DumpReg();
	atomic_set(&CTX->u32HwBusy, 0);
	return ret;
}

static int Ker_DispAge_Lock(void)
{
	int ret = down_killable(&CTX->Sem);

	if (ret)
		DISPAGE_ERR("%s() Can't Get Hw lock, SemRet = %d !!!!\n", __func__, ret);
	return ret;
}

static int Ker_DispAge_Trigger(void)
{
	return KDispAge_Read_Interrupt_Count(NULL, NULL);
}

static void Ker_DispAge_Unlock(void)
{
	up(&CTX->Sem);
}

int KDispAge_lend_request(int (*pfUseHw)(void *), void *arg)
{
	u32 status;
	int ret;

	DISPAGE_TRC("%s()\n", __func__);
	ret = down_killable(&CTX->Sem);
	if (ret) {
		DISPAGE_ERR("%s() Can't Get Hw lock, SemRet = %d !!!!\n", __func__, ret);
		return ret;
	}
	ret = KDispAge_Read_Interrupt_Count(pfUseHw, arg);
	if (ret >= 0) {
		status = readl(CTX->pRegBase + DISPAGE_REG_INT_STATUS);
		writel(0xFFFFFFFF, CTX->pRegBase + DISPAGE_REG_INT_STATUS);
		writel(0, CTX->pRegBase + DISPAGE_REG_INT_EN);
		if (status & DISPAGE_INT_ERRORS) {
			DISPAGE_ERR("%s() fail : InterruptStatus = %X\n", __func__, status);
			KDispAge_Op_DumpReg();
			ret = -1;
		} else {
			DISPAGE_TRC("%s() Success !!!!\n", __func__);
		}
	} else {
		DISPAGE_ERR("%s()  HwRet() = %d\n", __func__, ret);
	}
	up(&CTX->Sem);
	return ret;
}
EXPORT_SYMBOL(KDispAge_lend_request);

int KDispAge_share_irq(int (*pfUseHw)(void *), void *arg)
{
	int ret;

	DISPAGE_TRC("%s() caller %pS\n", __func__, __builtin_return_address(0));
	ret = down_killable(&CTX->Sem);
	if (ret) {
		DISPAGE_ERR("%s() Can't Get Hw lock, SemRet = %d !!!!\n", __func__, ret);
		return ret;
	}
	ret = KDispAge_Read_Interrupt_Count(pfUseHw, arg);
	if (ret < 0)
		DISPAGE_ERR("%s()  HwRet() = %d\n", __func__, ret);
	else
		DISPAGE_TRC("%s() Success !!!!\n", __func__);
	up(&CTX->Sem);
	return ret;
}
EXPORT_SYMBOL(KDispAge_share_irq);

/* ---- buffers and the self-test ---- */

void *_KDispAge_alloc_buffer(u32 u32Size, dma_addr_t *pPhys)
{
	struct device *dev = pdev_kdispage;
	void *va;

	/* The probe gave the device its 32-bit mask and DMA set-up. */
	if (!dev) {
		DISPAGE_ERR("allocate buffer fail\n");
		return NULL;
	}
	va = dma_alloc_coherent(dev, u32Size, pPhys, GFP_KERNEL | GFP_DMA);
	if (!va) {
		DISPAGE_ERR("allocate buffer fail\n");
		return NULL;
	}
	DISPAGE_DBG("Allocated buffer:  phys addr 0x%08llx, virt addr 0x%p! \n", (u64)*pPhys, va);
	return va;
}

void _KDispAge_free_buffer(void *va, dma_addr_t phys, u32 u32Size)
{
	if (va)
		dma_free_coherent(pdev_kdispage, u32Size, va, phys);
}

u32 Ker_DispAge_GetPlaneSize(const ST_KDISPAGE_PLANE *pstPlane, int s32Column)
{
	const ST_KDISPAGE_COLOR_FMT *row = KDispAge_Op_FindFormat(pstPlane->FormatMode);
	u32 val;

	/* Columns 2-6 are the numeric ones after the id and the plane flag. */
	if (!row || s32Column < 2 || s32Column > 6)
		return 0;
	val = s32Column <= 4 ? row->u32Bits[s32Column - 2] : (s32Column == 5 ? row->u32HSub : row->u32VSub);
	return (u32)pstPlane->Width * pstPlane->Height * val;
}

/*
 * Buffer bytes of a self-test plane: width x height x the bit count of its
 * format (as many bytes as the picture has bits). Only single-plane formats
 * are tested, and the engine's rows (at the clip origin, stride apart) and
 * the compare of 32-bit words must lie inside the buffer.
 */
static int _KDispAge_bat_size(const ST_KDISPAGE_PLANE *pstSizer, u64 *pSize)
{
	const ST_KDISPAGE_COLOR_FMT *row = KDispAge_Op_FindFormat(pstSizer->FormatMode);

	if (!row || !row->u32Bits[0] || row->u32Bits[1] || row->u32Bits[2])
		return -EINVAL;
	*pSize = (u64)pstSizer->Width * pstSizer->Height * row->u32Bits[0];
	if (!*pSize || *pSize > DISPAGE_BAT_MAX_BYTES)
		return -EINVAL;
	return 0;
}

static int _KDispAge_bat_fits(ST_KDISPAGE_PLANE *p, u32 w, u32 h, u64 size)
{
	const ST_KDISPAGE_COLOR_FMT *row = KDispAge_Op_FindFormat(p->FormatMode);
	u64 stride = p->Buf_Stride[0];
	u32 bpp;

	if (!row || !row->u32Bits[0] || row->u32Bits[1] || row->u32Bits[2] || p->SeparateUV)
		return -EINVAL;
	bpp = DIV_ROUND_UP(row->u32Bits[0], 8);
	if ((u64)(p->ClipX + w) * bpp > stride || (u64)w * 4 > stride)
		return -EINVAL;
	if ((u64)(p->ClipY + h) * stride > size)
		return -EINVAL;
	p->Buf_Address[1] = 0;
	p->Buf_Address[2] = 0;
	return 0;
}

int KDispAge_bat(ST_KDISPAGE_BAT *pstBat)
{
	void *src = NULL, *dst = NULL;
	dma_addr_t src_phys = 0, dst_phys = 0;
	ST_KDISPAGE_PLANE *pd;
	u64 size;
	u32 x, y;
	int ret;

	if (pstBat->Mode > KDISPAGE_BAT_TRANSFORM)
		return -1;
	pd = pstBat->Mode == KDISPAGE_BAT_FILL ? &pstBat->FillDst : &pstBat->Dst;
	if (_KDispAge_bat_size(pd, &size) || _KDispAge_bat_fits(pd, pd->Width, pd->Height, size) ||
	    (pstBat->Mode == KDISPAGE_BAT_TRANSFORM &&
	     _KDispAge_bat_fits(&pstBat->Src, pd->Width, pd->Height, size))) {
		DISPAGE_ERR("%s() plane does not fit its test buffer !!!!\n", __func__);
		return -EINVAL;
	}

	if (pstBat->Mode == KDISPAGE_BAT_FILL) {
		dst = _KDispAge_alloc_buffer((u32)size, &dst_phys);
		if (!dst) {
			DISPAGE_ERR("alloc dst buffer failed!\n");
			return -ENOMEM;
		}
		pd->Buf_Address[0] = dst_phys;
		DISPAGE_MSG("May cause core dump while there are SecureOS in system.\n");
		if (KDispAge_OP_Fill(pd, pstBat->FillColor)) {
			DISPAGE_ERR("run Dispage failed!\n");
			ret = -EBUSY;
			goto out;
		}
		ret = 0;
		for (y = 0; y < pd->Height && !ret; y++) {
			u32 *row = (u32 *)((u8 *)dst + (size_t)y * pd->Buf_Stride[0]);

			for (x = 0; x < pd->Width; x++) {
				if (row[x] != pstBat->FillColor) {
					DISPAGE_ERR("%s: ChkError !!!!, position = %d:%d, pPixel = 0x%X @ %p\n",
						    __func__, x, y, row[x], dst);
					ret = 1;
					break;
				}
			}
		}
		goto out;
	}

	src = _KDispAge_alloc_buffer((u32)size, &src_phys);
	if (!src) {
		DISPAGE_ERR("alloc src buffer failed!\n");
		return -ENOMEM;
	}
	dst = _KDispAge_alloc_buffer((u32)size, &dst_phys);
	if (!dst) {
		DISPAGE_ERR("alloc dst buffer failed!\n");
		ret = -ENOMEM;
		goto out;
	}
	pstBat->Src.Buf_Address[0] = src_phys;
	pd->Buf_Address[0] = dst_phys;
	DISPAGE_MSG("May cause core dump while there are SecureOS in system.\n");
	if (KDispAge_OP_FormatTransform(&pstBat->Src, pd)) {
		DISPAGE_ERR("run Dispage failed!\n");
		ret = -EBUSY;
		goto out;
	}
	ret = 0;
	for (y = 0; y < pd->Height && !ret; y++) {
		u32 *s = (u32 *)((u8 *)src + (size_t)y * pstBat->Src.Buf_Stride[0]);
		u32 *d = (u32 *)((u8 *)dst + (size_t)y * pd->Buf_Stride[0]);

		for (x = 0; x < pd->Width; x++) {
			if (s[x] != d[x]) {
				DISPAGE_ERR("%s: ChkError !!!!, position = %d:%d, 0x%X = 0x%X\n", __func__, x, y,
					    s[x], d[x]);
				ret = 1;
				break;
			}
		}
	}
out:
	_KDispAge_free_buffer(src, src_phys, (u32)size);
	_KDispAge_free_buffer(dst, dst_phys, (u32)size);
	return ret;
}

/* ---- file operations ---- */

static int KDispAge_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int KDispAge_release(struct inode *inode, struct file *file)
{
	return 0;
}

/*
 * A user-space owner programs the engine through its mapping of the register
 * window and then reads to start it. Only such an opener may start a run,
 * and only on a job armed since the last run ended: every run leaves the
 * interrupt enable at 0, so a restart of what another caller left (its
 * buffers possibly freed since) is refused.
 */
static ssize_t KDispAge_read(struct file *file, char __user *buf, size_t count, loff_t *ppos)
{
	int ret;

	if (count != 4)
		return -EINVAL;
	if (file->private_data != CTX)
		return -EPERM;
	/* The run is serialised with the other owners, whose waits would take its interrupt. */
	ret = down_killable(&CTX->Sem);
	if (ret)
		return ret;
	if (CTX->pRegBase && !readl(CTX->pRegBase + DISPAGE_REG_INT_EN))
		ret = -EINVAL;
	else
		ret = KDispAge_Read_Interrupt_Count(NULL, NULL);
	up(&CTX->Sem);
	if (ret < 0) {
		DISPAGE_ERR("%s():%d | Read GPU interrupt : %d\n", "KDispAge_read", 667, ret);
		return ret;
	}
	if (copy_to_user(buf, &ret, sizeof(ret)))
		return -EFAULT;
	return 4;
}

static long _KDispAge_do_ioctl(unsigned int cmd, void __user *uarg)
{
	u32 nr = cmd & 0xFF;
	u32 size = (cmd >> 16) & 0x3FFF;
	ST_KDISPAGE_BAT bat;

	if (nr != 1) {
		DISPAGE_ERR("unknow cmd in %s() arguments, nr = %d, size = %d\n", "KDispAge_ioctl", nr, size);
		return -ENOTSUPP;
	}
	/* A short record leaves the rest zero, never stack contents. */
	memset(&bat, 0, sizeof(bat));
	if (copy_from_user(&bat, uarg, min_t(u32, size, sizeof(bat))))
		return -EFAULT;
	return KDispAge_bat(&bat);
}

/* The self-test allocates up to two large buffers and runs the engine. */
static long KDispAge_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	return vyr_perm_admin(file) ?: _KDispAge_do_ioctl(cmd, (void __user *)arg);
}

#ifdef CONFIG_COMPAT
static long KDispAge_compat_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	return vyr_perm_admin(file) ?: _KDispAge_do_ioctl(cmd, compat_ptr((compat_uptr_t)arg));
}
#endif

/*
 * Maps any physical range: the register windows of a user-space owner, or
 * memory. The driver hands out no frames of its own whose life it could tie
 * to the mapping, so every mapping needs CAP_SYS_RAWIO, as /dev/mem does.
 */
static int KDispAge_mmap(struct file *file, struct vm_area_struct *vma)
{
	unsigned long size = vma->vm_end - vma->vm_start;
	unsigned long regs = DISPAGE_REG_PHYS >> PAGE_SHIFT;
	int ret;

	ret = vyr_perm_rawio(file);
	if (ret)
		return ret;
	if (vma->vm_pgoff + vma_pages(vma) < vma->vm_pgoff) {
		DISPAGE_ERR("mmap failed\n");
		return -EINVAL;
	}
	if (vma->vm_pgoff >= 0xFC000 || (file->f_flags & 0x1000))
		vma->vm_page_prot = pgprot_noncached(vma->vm_page_prot);
	DISPAGE_TRC("%s() : vma start = %lX, end = %lX ( size = %ld ), pgoff = %lX \n", __func__,
		    vma->vm_start, vma->vm_end, size, vma->vm_pgoff);
	ret = remap_pfn_range(vma, vma->vm_start, vma->vm_pgoff, size, vma->vm_page_prot);
	if (ret) {
		DISPAGE_ERR("mmap failed\n");
		return ret;
	}
	/* This opener can now program the engine: its reads may start it. */
	if (vma->vm_pgoff <= regs && regs - vma->vm_pgoff < vma_pages(vma))
		file->private_data = CTX;
	return 0;
}

static const struct file_operations g_KDispAgeFops = {
	.owner = THIS_MODULE,
	.open = KDispAge_open,
	.release = KDispAge_release,
	.read = KDispAge_read,
	.unlocked_ioctl = KDispAge_ioctl,
#ifdef CONFIG_COMPAT
	.compat_ioctl = KDispAge_compat_ioctl,
#endif
	.mmap = KDispAge_mmap,
};

/* ---- character device ---- */

static char *_DispAge_devnode_callback(struct device *dev, umode_t *mode)
{
	if (mode)
		*mode = 0666;
	return NULL;
}

/* Releases what exists and forgets it, so a second call finds nothing. */
static void _DispAge_device_terminate(void)
{
	if (!IS_ERR_OR_NULL(CTX->pDevice))
		device_destroy(CTX->pClass, CTX->DevNo);
	CTX->pDevice = NULL;
	if (!IS_ERR_OR_NULL(CTX->pClass))
		class_destroy(CTX->pClass);
	CTX->pClass = NULL;
	if (CTX->bCdevAdded)
		cdev_del(&CTX->Cdev);
	CTX->bCdevAdded = false;
	if (CTX->DevNo)
		unregister_chrdev_region(CTX->DevNo, 1);
	CTX->DevNo = 0;
}

static int _DispAge_device_initialize(void)
{
	int ret;

	ret = alloc_chrdev_region(&CTX->DevNo, 0, 1, DISPAGE_NAME);
	if (ret) {
		DISPAGE_ERR("KDispage alloc_chrdev_region() = %d Fail !!!!! \n", ret);
		CTX->DevNo = 0;
		goto fail;
	}
	cdev_init(&CTX->Cdev, &g_KDispAgeFops);
	CTX->Cdev.owner = THIS_MODULE;
	ret = cdev_add(&CTX->Cdev, CTX->DevNo, 1);
	if (ret) {
		DISPAGE_ERR("KDispage : cdev_add() = %d\n", ret);
		goto fail;
	}
	CTX->bCdevAdded = true;
	CTX->pClass = class_create(THIS_MODULE, DISPAGE_NAME);
	if (IS_ERR(CTX->pClass)) {
		DISPAGE_ERR("KDispage can't create class \n");
		ret = PTR_ERR(CTX->pClass);
		CTX->pClass = NULL;
		goto fail;
	}
	CTX->pClass->devnode = _DispAge_devnode_callback;
	CTX->pDevice = device_create(CTX->pClass, NULL, CTX->DevNo, NULL, DISPAGE_NAME);
	if (IS_ERR(CTX->pDevice)) {
		DISPAGE_ERR("device_create() Fail !!!! \n");
		ret = PTR_ERR(CTX->pDevice);
		CTX->pDevice = NULL;
		goto fail;
	}
	DISPAGE_DBG("device_create() Success , dev = (%d, %d) !!!! \n", MAJOR(CTX->DevNo), MINOR(CTX->DevNo));
	return 0;
fail:
	DISPAGE_ERR("_DispAge_device_initialize() Fail !!!!!!\n");
	_DispAge_device_terminate();
	return ret;
}

/* ---- probe and remove ---- */

static void _DispAge_unmap_windows(void)
{
	void __iomem **win[] = { &CTX->pRegBase, &CTX->pSecureRegBase, &CTX->pAgeDispAgeIntReg,
				 &CTX->pAgeIntReg, &CTX->pLpaeReg };
	size_t i;

	for (i = 0; i < ARRAY_SIZE(win); i++) {
		if (*win[i])
			iounmap(*win[i]);
		*win[i] = NULL;
	}
}

/*
 * The windows are mapped before the interrupt is requested: a level line
 * that is already high runs the handler, which writes the window.
 */
static int _DispAge_map_windows(void)
{
	static const struct {
		phys_addr_t phys;
		const char *fail;
	} map[] = {
		{ DISPAGE_REG_PHYS, "MA_KER_REG_REMAP DispAge register Fail !!!!!!\n" },
		{ 0xFC3A0000, "ioremap DispAge secure register Fail !!!!!!\n" },
		{ 0xFC05F000, "MA_KER_REG_REMAP AGE DispAge integraion register Fail !!!!!!\n" },
		{ 0xFC058400, "MA_KER_REG_REMAP AGE integraion register Fail !!!!!!\n" },
	};
	void __iomem **win[] = { &CTX->pRegBase, &CTX->pSecureRegBase, &CTX->pAgeDispAgeIntReg,
				 &CTX->pAgeIntReg };
	u32 chip;
	size_t i;

	for (i = 0; i < ARRAY_SIZE(map); i++) {
		*win[i] = vyr_ioremap_nocache(map[i].phys, DISPAGE_WINDOW_SIZE);
		if (!*win[i]) {
			DISPAGE_ERR("%s", map[i].fail);
			return -EFAULT;
		}
	}
	chip = CHP_GetChipID();
	if (chip == DISPAGE_CHIP_Q2 || chip == DISPAGE_CHIP_Q5) {
		CTX->pLpaeReg = vyr_ioremap_nocache(0xFD650188, DISPAGE_WINDOW_SIZE);
		if (!CTX->pLpaeReg) {
			DISPAGE_ERR("ioremap DispAge lpae register Fail !!!!!!\n");
			return -EFAULT;
		}
	}
	return 0;
}

static int kdispage_probe(struct device *dev)
{
	ST_KDISPAGE_OP_INIT init;
	u32 affinity;
	int ret;

	CTX->pNode = of_find_node_by_name(NULL, DISPAGE_NAME);
	if (!CTX->pNode) {
		DISPAGE_ERR("%s node not found !!!!\n", DISPAGE_NAME);
		DISPAGE_ERR("can't request IRQ for %s\n", DISPAGE_NAME);
		return -1;
	}
	ret = _DispAge_map_windows();
	if (ret)
		goto fail;

	CTX->u32Irq = irq_of_parse_and_map(CTX->pNode, 0);
	CTX->s32IrqAffinity = -1;
	ret = CTX->u32Irq ? request_threaded_irq(CTX->u32Irq, _DispAge_InterruptHandler, NULL,
						 IRQF_TRIGGER_HIGH, DISPAGE_NAME, CTX) : -EINVAL;
	if (ret) {
		DISPAGE_ERR("can't request IRQ for %s\n", DISPAGE_NAME);
		ret = -1;
		goto fail;
	}
	CTX->bIrqRequested = true;
	if (of_property_read_u32(CTX->pNode, "interrupt-affinity", &affinity)) {
		printk(KERN_INFO "%s interrupt-affinity not found in DTB !!!!\n", "_DispAge_irq_request");
	} else if (affinity >= num_online_cpus()) {
		DISPAGE_ERR("%s interrupt-affinity read %d, but only %d cpus !!!!\n", "_DispAge_irq_request",
			    affinity, num_online_cpus());
	} else {
		printk(KERN_INFO "Kgpu set interrupt-affinity = %d\n", affinity);
		CTX->s32IrqAffinity = affinity;
		irq_set_affinity_hint(CTX->u32Irq, cpumask_of(affinity));
	}

	/* Self-test buffers: 32-bit DMA as the device tree describes it, set up once. */
	dma_coerce_mask_and_coherent(dev, DMA_BIT_MASK(32));
	of_dma_configure(dev, CTX->pNode, true);

	dev_set_drvdata(dev, CTX);
	init.RegBase = CTX->pRegBase;
	init.SecureRegBase = CTX->pSecureRegBase;
	init.LpaeReg = CTX->pLpaeReg;
	init.pfLock = Ker_DispAge_Lock;
	init.pfTrigger = Ker_DispAge_Trigger;
	init.pfUnlock = Ker_DispAge_Unlock;
	init.Reserved = 0;
	if (KDispAge_OP_Initial(&init) < 0) {
		DISPAGE_ERR("Initial DispAge Op Fail !!!!!!\n");
		ret = -ENODEV;
		goto fail;
	}
	return 0;

fail:
	dev_set_drvdata(dev, NULL);
	if (CTX->bIrqRequested) {
		if (CTX->s32IrqAffinity >= 0)
			irq_set_affinity_hint(CTX->u32Irq, NULL);
		free_irq(CTX->u32Irq, CTX);
		CTX->bIrqRequested = false;
	}
	_DispAge_unmap_windows();
	of_node_put(CTX->pNode);
	CTX->pNode = NULL;
	return ret;
}

static int kdispage_remove(struct device *dev)
{
	if (IS_ERR_OR_NULL(dev) || !dev_get_drvdata(dev))
		return 0;
	if (CTX->bIrqRequested) {
		if (!atomic_read(&CTX->u32PmiSuspend))
			disable_irq(CTX->u32Irq);
		irq_set_affinity_hint(CTX->u32Irq, NULL);
		free_irq(CTX->u32Irq, CTX);
		CTX->bIrqRequested = false;
	}
	KDispAge_OP_Terminate();
	_DispAge_unmap_windows();
	of_node_put(CTX->pNode);
	CTX->pNode = NULL;
	dev_set_drvdata(dev, NULL);
	return 0;
}

/* ---- power ---- */

static int _ker_dispage_pmi_suspend_p(void)
{
	unsigned long entry = jiffies;

	DISPAGE_PRINT(g_DispAgeDbgMask, 0x8, KERN_INFO, "[TRC_DRV_GPU]", "@suspend(in) %s\n", __func__);
	/* Only the first of nested suspends disables the line. */
	if (atomic_inc_return(&CTX->u32PmiSuspend) == 1) {
		while (atomic_read(&CTX->u32HwBusy) && time_before(jiffies, entry + DISPAGE_RUN_LIMIT))
			msleep(1);
		if (CTX->bIrqRequested)
			disable_irq(CTX->u32Irq);
	}
	DISPAGE_DBG("%s() done.\n", __func__);
	DISPAGE_PRINT(g_DispAgeDbgMask, 0x8, KERN_INFO, "[TRC_DRV_GPU]", "@suspend_time/%s/%d/msec\n", __func__,
		      jiffies_to_msecs(jiffies - entry));
	return 0;
}

static int _ker_dispage_pmi_resume_p(void)
{
	unsigned long entry = jiffies;

	DISPAGE_PRINT(g_DispAgeDbgMask, 0x8, KERN_INFO, "[TRC_DRV_GPU]", "@resume(in) %s\n", __func__);
	if (atomic_xchg(&CTX->u32PmiSuspend, 0) && CTX->bIrqRequested) {
		if (CTX->s32IrqAffinity >= 0 && CTX->s32IrqAffinity < num_online_cpus())
			irq_set_affinity_hint(CTX->u32Irq, cpumask_of(CTX->s32IrqAffinity));
		enable_irq(CTX->u32Irq);
	}
	DISPAGE_DBG("%s() done.\n", __func__);
	DISPAGE_PRINT(g_DispAgeDbgMask, 0x8, KERN_INFO, "[TRC_DRV_GPU]", "@resume_time/%s/%d/msec\n", __func__,
		      jiffies_to_msecs(jiffies - entry));
	return 0;
}

/* ---- debug mask helpers ---- */

void Ker_DispAge_Disable_All_DbgMask(void)
{
	WRITE_ONCE(g_DispAgeDbgMask, 1);
}

void Ker_DispAge_ToggleDbgMask(u32 u32Row)
{
	if (u32Row == 0) {
		printk(KERN_INFO "Dbg Mask No change !!!!!\n");
		return;
	}
	if (u32Row <= ARRAY_SIZE(g_DispAgeDbgName))
		WRITE_ONCE(g_DispAgeDbgMask, READ_ONCE(g_DispAgeDbgMask) ^ BIT(u32Row - 1));
}

void Ker_DispAge_PrintDbgGroup(void)
{
	u32 mask = READ_ONCE(g_DispAgeDbgMask);
	u32 i, n = ARRAY_SIZE(g_DispAgeDbgName);

	for (i = 0; i < n; i++)
		printk(KERN_INFO "%04d)%c%-22s  %c", i + 1, (mask & BIT(i)) ? '*' : ' ', g_DispAgeDbgName[i],
		       (i % 4 == 3 || i == n - 1) ? '\n' : ' ');
}

/* ---- start and stop ---- */

/* The power service keeps the record it is given. */
static ST_KER_PMI_OPS g_stDispAgePmiOps = {
	.pfSuspend = _ker_dispage_pmi_suspend_p,
	.pfResume = _ker_dispage_pmi_resume_p,
};

int KER_DispAge_DrvInit(void)
{
	int ret;

	pdev_kdispage = NULL;
	DISPAGE_DBG("%s() start\n", __func__);
	memset(CTX, 0, sizeof(*CTX));
	sema_init(&CTX->Sem, 1);
	init_completion(&CTX->Done);

	/* Without the device there is nothing to probe with. */
	ret = _DispAge_device_initialize();
	if (!ret) {
		pdev_kdispage = CTX->pDevice;
		ret = kdispage_probe(pdev_kdispage);
	}
	if (ret) {
		pdev_kdispage = NULL;
		_DispAge_device_terminate();
		DISPAGE_DBG("%s() error = %d \n", __func__, 0);
		return 0;
	}

	atomic_set(&CTX->u32PmiSuspend, 0);
	atomic_set(&CTX->u32HwBusy, 0);
	KER_PMI_Install(57, 17, &g_stDispAgePmiOps, 22, NULL, NULL);

	DISPAGE_TRC("Register Debug Menu \n");
	DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "Ker_DispAge", _KerDispAgeDbgMenu);
	DISPAGE_DBG("%s() end \n", __func__);
	return 0;
}

void KER_DispAge_DrvExit(void)
{
	kdispage_remove(pdev_kdispage);
	pdev_kdispage = NULL;
	_DispAge_device_terminate();
	_KDispAge_DbgFreePages();
	DISPAGE_DBG("Corvel DispAge Driver unloaded\n");
}

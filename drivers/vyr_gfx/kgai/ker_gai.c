// SPDX-License-Identifier: GPL-2.0
/*
 * GAI data device "crkgai": user space has the secure world copy data out of
 * a secure capture buffer, or convert it from 8-bit values to 32-bit floats,
 * into a dma-buf of its own. We import the dma-buf, hand its device address
 * to the secure-world call (looked up by name once) and copy the call's
 * result page back to the caller; the data itself never passes through us.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/platform_device.h>
#include <linux/of.h>
#include <linux/miscdevice.h>
#include <linux/fs.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/gfp.h>
#include <linux/highmem.h>
#include <linux/semaphore.h>
#include <linux/kref.h>
#include <linux/uaccess.h>
#include <linux/compat.h>
#include <linux/dma-buf.h>
#include <linux/dma-mapping.h>
#include <linux/scatterlist.h>
#include <linux/ktime.h>
#include <linux/sched.h>
#include <linux/string.h>
#include "vyr_compat.h"
#include "vyr_components.h"
#include "crv_platform.h"
#include "uapi/vyr_gai.h"
#include "ker_gai.h"

unsigned int g_GaiDbgMask = 1;
module_param(g_GaiDbgMask, uint, 0644);
MODULE_PARM_DESC(g_GaiDbgMask, "GAI messages: 1 error, 2 warning, 4 message, 8 trace, 16 time, 32 dump");

#define GAI_DBG_ERROR		0x01
#define GAI_DBG_TRACE		0x08
#define GAI_DBG_TIMEDIFF	0x10

#define GAI_ERR(fmt, ...) \
	do { if (READ_ONCE(g_GaiDbgMask) & GAI_DBG_ERROR) printk(KERN_ERR fmt, ##__VA_ARGS__); } while (0)
#define GAI_TRC(fmt, ...) \
	do { if (READ_ONCE(g_GaiDbgMask) & GAI_DBG_TRACE) printk(KERN_INFO fmt, ##__VA_ARGS__); } while (0)

#define GAI_NAME		"crkgai"
#define GAI_RESULT_PAGE_SIZE	PAGE_SIZE
#define GAI_PATH_SLOTS		5
#define GAI_PATH_LEN		128
#define GAI_LINE_LEN		256

/*
 * Lives from probe until the driver is gone from the device and the last
 * file opened on it is released: files opened before an unbind keep it and
 * get -ENODEV from then on.
 */
typedef struct ST_GAI_DEV {
	struct device *dev;
	struct miscdevice misc;
	struct semaphore sem;
	PF_GAI_SCM pfScm;		/* null until first use */
	const char *pszScmName;		/* the symbol held for pfScm, if symbol_get found it */
	struct kref ref;		/* the binding's and each open file's */
	bool bGone;			/* unbound: nothing reaches dev or the secure world */
} ST_GAI_DEV;

typedef struct ST_GAI_FILE {
	struct device *dev;		/* reference held */
	ST_GAI_DEV *pstGai;
	struct page *pPage;		/* result page, kept until release */
	u32 u32Order;
	u32 u32Compat;			/* user pointers in records are 32 bits */
} ST_GAI_FILE;

typedef struct ST_GAI_IMPORT {
	struct dma_buf *pBuf;
	struct dma_buf_attachment *pAttach;
	struct sg_table *pSgt;
	u64 u64DevAddr;
	u32 u32Len;
} ST_GAI_IMPORT;

static struct platform_device *g_pGaiPdev;
static bool g_bGaiDriverRegistered;

static const char *const g_GaiDbgGroup[6] = {
	"EN_GAI_DBG_GROUP_ERROR", "EN_GAI_DBG_GROUP_WARNING", "EN_GAI_DBG_GROUP_MESSAGE",
	"EN_GAI_DBG_GROUP_TRACEFLOW", "EN_GAI_DBG_GROUP_TIMEDIFF", "EN_GAI_DBG_GROUP_DUMP_REG",
};

static char g_GaiDumpPath[GAI_PATH_SLOTS][GAI_PATH_LEN] = {
	"", "/media/sda", "/media/sda1", "/temp", "/tmp",
};

/* ---- secure world ---- */

/*
 * The secure-world call is looked up by name. symbol_get() finds only
 * symbols exported with EXPORT_SYMBOL_GPL (5.4.y and 6.1.y alike print
 * "failing symbol_get of non-GPLONLY symbol" for a plain export), so the
 * secure-world module must export its call that way; a plain export counts
 * as absent and the next name is tried.
 */
static PF_GAI_SCM _gai_scm_lookup(ST_GAI_DEV *gai)
{
	static const char *const names[] = { "tzdev_scm_watch", "kteec_kobj_invoke_cmd" };
	size_t i;

	for (i = 0; i < ARRAY_SIZE(names); i++) {
		PF_GAI_SCM fn = (PF_GAI_SCM)__symbol_get(names[i]);

		if (fn) {
			gai->pszScmName = names[i];
			return fn;
		}
		GAI_ERR("symbol %s not found !!!! \n", names[i]);
	}
	return NULL;
}

static int _gai_scm_call(ST_GAI_DEV *gai, u32 cmd, u32 a, u32 b, u32 c)
{
	int ret;

	if (!gai->pfScm)
		gai->pfScm = _gai_scm_lookup(gai);
	if (!gai->pfScm)
		return -1;
	ret = gai->pfScm(GAI_SCM_ID, cmd, a, b, c);
	if (ret < 0)
		GAI_ERR("tzdev_scm_watch(0x%X, 0x%X, %ld, %ld, %ld) return %d\n", GAI_SCM_ID, cmd, (long)a,
			(long)b, (long)c, ret);
	return ret;
}

/* ---- dma-buf import ---- */

static int _gai_attach_buf(struct file *file, int fd, ST_GAI_IMPORT *pstMem)
{
	ST_GAI_FILE *pf = file ? file->private_data : NULL;
	struct device *dev;

	if (!file || !pstMem || !pf) {
		GAI_ERR("%s() file = %p, pstMem = %p\n", __func__, file, pstMem);
		return -ENOENT;
	}
	memset(pstMem, 0, sizeof(*pstMem));
	dev = pf->pstGai->dev;
	pstMem->pBuf = dma_buf_get(fd);
	if (IS_ERR(pstMem->pBuf)) {
		GAI_ERR("%s() dma_buf_get(%d) error !!!!!! \n", __func__, fd);
		pstMem->pBuf = NULL;
		return -EINVAL;
	}
	pstMem->pAttach = dma_buf_attach(pstMem->pBuf, dev);
	if (IS_ERR(pstMem->pAttach)) {
		GAI_ERR("%s() dma_buf_attach(%p) from fd(%d) error !!!!!! \n", __func__, pstMem->pBuf, fd);
		pstMem->pAttach = NULL;
		goto fail;
	}
	pstMem->pSgt = dma_buf_map_attachment(pstMem->pAttach, DMA_BIDIRECTIONAL);
	if (IS_ERR(pstMem->pSgt)) {
		GAI_ERR("%s() dma_buf_map_attachment(%p) from fd(%d) error(%ld) !!!!!! \n", __func__,
			pstMem->pAttach, fd, PTR_ERR(pstMem->pSgt));
		pstMem->pSgt = NULL;
		goto fail;
	}
	if (pstMem->pSgt->nents != 1) {
		GAI_ERR("%s() dma_buf_attach(%p) from fd(%d) error !!!!!! \n", __func__, pstMem->pBuf, fd);
		goto fail;
	}
	pstMem->u64DevAddr = sg_dma_address(pstMem->pSgt->sgl);
	pstMem->u32Len = sg_dma_len(pstMem->pSgt->sgl);
	/* The secure world takes 32-bit addresses: a higher one would be cut. */
	if (upper_32_bits(pstMem->u64DevAddr)) {
		GAI_ERR("%s() fd(%d) sg_dma_address() = 0x%llx beyond 32 bits !!!!!! \n", __func__, fd,
			pstMem->u64DevAddr);
		goto fail;
	}
	GAI_TRC("fd(%d) exp_name(%s), sg_dma_address() = 0x%llx \n", fd, pstMem->pBuf->exp_name,
		pstMem->u64DevAddr);
	return 0;
fail:
	if (pstMem->pSgt)
		dma_buf_unmap_attachment(pstMem->pAttach, pstMem->pSgt, DMA_BIDIRECTIONAL);
	if (pstMem->pAttach)
		dma_buf_detach(pstMem->pBuf, pstMem->pAttach);
	dma_buf_put(pstMem->pBuf);
	memset(pstMem, 0, sizeof(*pstMem));
	return -EINVAL;
}

static void _gai_detach_buf(ST_GAI_IMPORT *pstMem)
{
	if (!pstMem->pBuf)
		return;
	dma_buf_unmap_attachment(pstMem->pAttach, pstMem->pSgt, DMA_BIDIRECTIONAL);
	dma_buf_detach(pstMem->pBuf, pstMem->pAttach);
	dma_buf_put(pstMem->pBuf);
	memset(pstMem, 0, sizeof(*pstMem));
}

/*
 * The exporter mapped the attachment for our device; what is synced is that
 * mapping, for that device, whole. Memory without pages (no-map memory, as
 * the OSD planes' dma-bufs carry) lies outside the kernel's linear map: the
 * CPU reaches it only through uncached mappings, so it has no cache lines to
 * maintain, and the DMA API, which walks each entry's page and linear
 * address, must not be handed it.
 */
static bool _gai_has_pages(const ST_GAI_IMPORT *pstMem)
{
	struct scatterlist *sg;
	unsigned int i;

	for_each_sg(pstMem->pSgt->sgl, sg, pstMem->pSgt->orig_nents, i)
		if (!sg_page(sg))
			return false;
	return true;
}

static void _gai_sync_for_device(struct device *dev, const ST_GAI_IMPORT *pstMem)
{
	if (_gai_has_pages(pstMem))
		dma_sync_sg_for_device(dev, pstMem->pSgt->sgl, pstMem->pSgt->orig_nents,
				       DMA_BIDIRECTIONAL);
}

static void _gai_sync_for_cpu(struct device *dev, const ST_GAI_IMPORT *pstMem)
{
	if (_gai_has_pages(pstMem))
		dma_sync_sg_for_cpu(dev, pstMem->pSgt->sgl, pstMem->pSgt->orig_nents, DMA_BIDIRECTIONAL);
}

/* ---- commands ---- */

static int _gai_copy_result(struct file *file, ST_GAI_COPY_RESULT *pstRec)
{
	ST_GAI_FILE *pf = file->private_data;
	ST_GAI_DEV *gai = pf->pstGai;
	struct device *dev = gai->dev;
	ST_GAI_IMPORT imp;
	void __user *uptr;
	u32 size = pstRec->u32Size;
	u32 *page;
	int ret;

	pstRec->u32Copied = 0;
	ret = _gai_attach_buf(file, pstRec->s32Fd, &imp);
	if (ret) {
		GAI_ERR("%s() attach_buf fail !!!!\n", __func__);
		return ret;
	}
	/* The result page holds 4096 bytes; the buffer must hold the size too. */
	if (size > GAI_RESULT_PAGE_SIZE || size > imp.u32Len) {
		GAI_ERR("%s() size %u beyond the result page or the buffer (%u) !!!!\n", __func__, size,
			imp.u32Len);
		ret = -EINVAL;
		goto out;
	}
	if (!pf->pPage) {
		pf->u32Order = 0;
		pf->pPage = alloc_pages(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO, pf->u32Order);
		if (!pf->pPage) {
			GAI_ERR("%s pPage = NULL !!!!\n", __func__);
			ret = -ENOMEM;
			goto out;
		}
	}
	page = kmap(pf->pPage);
	if (!page) {
		GAI_ERR("%s kmap fail !!!!\n", __func__);
		ret = -ENOMEM;
		goto out;
	}
	_gai_sync_for_device(dev, &imp);
	ret = _gai_scm_call(gai, GAI_SCM_COPY_RESULT, (u32)page_to_phys(pf->pPage), (u32)imp.u64DevAddr,
			    size);
	_gai_sync_for_cpu(dev, &imp);
	if (ret >= 0) {
		GAI_TRC("%s() page : %08X %08X %08X %08X\n", __func__, page[0], page[1], page[2], page[3]);
		uptr = pf->u32Compat ? compat_ptr((u32)pstRec->u64UserPtr) : u64_to_user_ptr(pstRec->u64UserPtr);
		if (copy_to_user(uptr, page, size)) {
			GAI_ERR("copy_to_user(0x%llx, 0x%llX, %d)  fail !!!!\n", (u64)(uintptr_t)uptr,
				(u64)page_to_phys(pf->pPage), size);
			ret = -EFAULT;
		} else {
			pstRec->u32Copied = size;
		}
	} else {
		GAI_ERR("%s tzdev_scm_watch fail !!!!\n", __func__);
	}
	kunmap(pf->pPage);
out:
	_gai_detach_buf(&imp);
	GAI_TRC("%s return %d\n", __func__, ret);
	return ret;
}

static int _gai_data_proc_u8_f32(struct file *file, ST_GAI_DATA_PROC *pstRec)
{
	ST_GAI_FILE *pf = file->private_data;
	ST_GAI_DEV *gai = pf->pstGai;
	ST_GAI_IMPORT imp;
	int ret;

	ret = _gai_attach_buf(file, pstRec->s32Fd, &imp);
	if (ret) {
		GAI_ERR("%s() attach_buf fail !!!!\n", __func__);
		return ret;
	}
	/* The secure world writes the buffer: the CPU's view is refreshed after. */
	_gai_sync_for_device(gai->dev, &imp);
	ret = _gai_scm_call(gai, GAI_SCM_U8_TO_F32, (u32)imp.u64DevAddr,
			    pstRec->u32WordB | (pstRec->u32WordA << 16), pstRec->u32WordA);
	_gai_sync_for_cpu(gai->dev, &imp);
	if (ret < 0)
		GAI_ERR("tzdev_scm_watch fail !!!!\n");
	_gai_detach_buf(&imp);
	return ret;
}

/* ---- capture dump (debug) ---- */

char *_gai_dbg_FileGetLine(char *pszBuf, int s32Size, struct file *file)
{
	loff_t pos;
	int n = 0;
	char c;

	if (s32Size < 2) {
		if (s32Size == 1)
			pszBuf[0] = '\0';
		return pszBuf;
	}
	while (n < s32Size - 1) {
		pos = file->f_pos;
		if (kernel_read(file, &c, 1, &pos) != 1)
			break;
		file->f_pos = pos;
		pszBuf[n++] = c;
		if (c == '\n')
			break;
	}
	pszBuf[n] = '\0';
	return n ? pszBuf : NULL;
}

static void _gai_find_usb_mount(void)
{
	char *line, *field, *cur;
	struct file *mtab;

	mtab = filp_open("/etc/mtab", O_RDONLY, 0);
	if (IS_ERR(mtab))
		return;
	line = kmalloc(GAI_LINE_LEN, GFP_KERNEL);
	while (line && _gai_dbg_FileGetLine(line, GAI_LINE_LEN, mtab)) {
		if (strncmp(line, "/dev/sd", 7))
			continue;
		cur = line;
		strsep(&cur, " \t");
		field = strsep(&cur, " \t\n");
		if (field)
			strscpy(g_GaiDumpPath[0], field, GAI_PATH_LEN);
		break;
	}
	kfree(line);
	filp_close(mtab, NULL);
}

int _gai_dump_sec_capture_buf(struct file *file, u32 u32CaptureAddr, u32 u32Size, const char *pszName)
{
	ST_GAI_FILE *pf = file ? file->private_data : NULL;
	unsigned int order = get_order(u32Size ? u32Size : 1);
	char *path = NULL;
	struct page *pages;
	int ret, slot, written = 0;

	if (!pf || !pszName)
		return -EINVAL;
	/* Beyond the page allocator's largest block nothing can be had. */
	pages = order < MAX_ORDER ? alloc_pages(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO, order) : NULL;
	if (!pages) {
		GAI_ERR("alloc_page fail !!!!\n");
		return -1;
	}
	ret = down_killable(&pf->pstGai->sem);
	if (!ret) {
		ret = pf->pstGai->bGone ? -ENODEV :
		      _gai_scm_call(pf->pstGai, GAI_SCM_COPY_CAPTURE, (u32)page_to_phys(pages),
				    u32CaptureAddr, u32Size);
		up(&pf->pstGai->sem);
	}
	if (ret < 0) {
		GAI_ERR("Copy Capture fail !!!!\n");
		__free_pages(pages, order);
		return ret;
	}
	_gai_find_usb_mount();
	path = kmalloc(GAI_PATH_LEN + strlen(pszName) + 2, GFP_KERNEL);
	for (slot = 0; path && slot < GAI_PATH_SLOTS; slot++) {
		const u8 *data = page_address(pages);
		struct file *out;
		loff_t pos = 0;
		u32 done = 0;

		if (strnlen(g_GaiDumpPath[slot], GAI_PATH_LEN) < 2)
			continue;
		sprintf(path, "%s/%s", g_GaiDumpPath[slot], pszName);
		/* Shared folders such as /tmp: a link planted there is not followed. */
		out = filp_open(path, O_CREAT | O_WRONLY | O_TRUNC | O_NOFOLLOW, 0777);
		if (IS_ERR(out)) {
			GAI_ERR("%s() open file : %s fail!\n", __func__, path);
			written = 0;
			break;
		}
		written = 0;
		while (done < u32Size) {
			ssize_t n = kernel_write(out, data + done, min_t(u32, u32Size - done, PAGE_SIZE), &pos);

			if (n <= 0) {
				written = n < 0 ? (int)n : -EIO;
				break;
			}
			done += n;
			written += n;
		}
		filp_close(out, NULL);
		if (written >= 0) {
			printk(KERN_INFO "%s() to Path %d, File : %s\n", __func__, slot, path);
			break;
		}
		GAI_ERR("%s() to Path %d, File : %s, Fail !!!, write %d bytes\n", __func__, slot, path, written);
	}
	kfree(path);
	__free_pages(pages, order);
	return written;
}

/* ---- file operations ---- */

static int _gai_open(struct inode *inode, struct file *file)
{
	struct miscdevice *misc = file->private_data;
	ST_GAI_DEV *gai = misc ? container_of(misc, ST_GAI_DEV, misc) : NULL;
	ST_GAI_FILE *pf;

	if (!gai)
		return -1;
	pf = kzalloc(sizeof(*pf), GFP_KERNEL);
	if (!pf)
		return -ENOMEM;
	/* Opens run under the misc core's lock, which the unbind's deregistration takes too. */
	kref_get(&gai->ref);
	pf->pstGai = gai;
	pf->dev = get_device(gai->dev);
	file->private_data = pf;
	GAI_TRC("%s() pid = %d\n", __func__, current->pid);
	return 0;
}

static void _gai_free(struct kref *ref)
{
	kfree(container_of(ref, ST_GAI_DEV, ref));
}

static int _gai_release(struct inode *inode, struct file *file)
{
	ST_GAI_FILE *pf = file->private_data;

	if (!pf)
		return 0;
	if (pf->pPage)
		__free_pages(pf->pPage, pf->u32Order);
	put_device(pf->dev);
	kref_put(&pf->pstGai->ref, _gai_free);
	kfree(pf);
	file->private_data = NULL;
	return 0;
}

static long _gai_ioctl_common(struct file *file, unsigned int cmd, void __user *uarg)
{
	ST_GAI_FILE *pf = file->private_data;
	u32 nr = cmd & 0xFF;
	u32 size = (cmd >> 16) & 0x3FFF;
	union {
		ST_GAI_COPY_RESULT copy;
		ST_GAI_DATA_PROC proc;
	} rec;
	u32 len = min_t(u32, size, sizeof(rec));
	u64 start = 0;
	long ret;

	if (!pf)
		return -EFAULT;
	/* Whatever the size field says, the record is ours and starts zeroed. */
	memset(&rec, 0, sizeof(rec));
	if ((cmd & GAI_IOC_COPY_IN) && copy_from_user(&rec, uarg, len))
		return -EFAULT;
	ret = down_killable(&pf->pstGai->sem);
	if (ret) {
		GAI_ERR("%s() Can't Get Hw lock, SemRet = %ld !!!!\n", __func__, ret);
		return ret;
	}
	if (READ_ONCE(g_GaiDbgMask) & GAI_DBG_TIMEDIFF)
		start = ktime_get_ns();
	if (pf->pstGai->bGone && (nr == 1 || nr == 2)) {
		ret = -ENODEV;
		goto out;
	}
	switch (nr) {
	case 1:
		ret = _gai_copy_result(file, &rec.copy);
		break;
	case 2:
		ret = _gai_data_proc_u8_f32(file, &rec.proc);
		break;
	default:
		GAI_ERR("unknow cmd in %s() arguments, nr = %d, size = %d\n", __func__, nr, size);
		ret = -ENOTSUPP;
		break;
	}
out:
	if (READ_ONCE(g_GaiDbgMask) & GAI_DBG_TIMEDIFF)
		printk(KERN_INFO "%s() Time Diff = %lld\n", __func__, (long long)(ktime_get_ns() - start));
	up(&pf->pstGai->sem);
	if ((cmd & GAI_IOC_COPY_OUT) && copy_to_user(uarg, &rec, len))
		return -EFAULT;
	return ret;
}

static long _gai_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	return _gai_ioctl_common(file, cmd, (void __user *)arg);
}

#ifdef CONFIG_COMPAT
static long _gai_compat_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	ST_GAI_FILE *pf = file->private_data;

	if (pf)
		pf->u32Compat = 1;
	return _gai_ioctl_common(file, cmd, compat_ptr((compat_uptr_t)arg));
}
#endif

static const struct file_operations g_GaiFops = {
	.owner = THIS_MODULE,
	.open = _gai_open,
	.release = _gai_release,
	.unlocked_ioctl = _gai_ioctl,
#ifdef CONFIG_COMPAT
	.compat_ioctl = _gai_compat_ioctl,
#endif
};

/* ---- platform driver ---- */

/*
 * The driver matches the module's own device by name and a device-tree node
 * by its compatible: only the first of them to probe gets the misc device.
 */
static struct platform_device *g_pGaiBound;

static int _gai_probe(struct platform_device *pdev)
{
	ST_GAI_DEV *gai;
	int ret;

	if (cmpxchg(&g_pGaiBound, NULL, pdev))
		return -ENODEV;
	gai = kzalloc(sizeof(*gai), GFP_KERNEL);
	if (!gai) {
		GAI_ERR("Allocate device failed\n");
		WRITE_ONCE(g_pGaiBound, NULL);
		return -ENOMEM;
	}
	gai->dev = &pdev->dev;
	sema_init(&gai->sem, 1);
	kref_init(&gai->ref);
	gai->misc.minor = MISC_DYNAMIC_MINOR;
	gai->misc.name = GAI_NAME;
	gai->misc.fops = &g_GaiFops;
	ret = misc_register(&gai->misc);
	if (ret) {
		GAI_ERR("Misc device registration failed for %s\n", GAI_NAME);
		kfree(gai);
		WRITE_ONCE(g_pGaiBound, NULL);
		return ret;
	}
	dma_set_mask_and_coherent(&pdev->dev, DMA_BIT_MASK(32));
	platform_set_drvdata(pdev, gai);
	return 0;
}

static int _gai_remove(struct platform_device *pdev)
{
	ST_GAI_DEV *gai = platform_get_drvdata(pdev);

	if (!gai)
		return 0;
	/* After the command running now, files still open reach nothing. */
	down(&gai->sem);
	gai->bGone = true;
	if (gai->pszScmName)
		__symbol_put(gai->pszScmName);
	gai->pszScmName = NULL;
	gai->pfScm = NULL;
	up(&gai->sem);
	misc_deregister(&gai->misc);
	platform_set_drvdata(pdev, NULL);
	kref_put(&gai->ref, _gai_free);
	WRITE_ONCE(g_pGaiBound, NULL);
	printk(KERN_INFO "Gfx AI Removed Successfully\n");
	return 0;
}

static const struct of_device_id g_GaiMatch[] = {
	{ .compatible = "corvel,crkgai" },
	{ }
};
MODULE_DEVICE_TABLE(of, g_GaiMatch);

static const char gai_drv_name[] = GAI_NAME;

static struct platform_driver g_GaiDriver = {
	.probe = _gai_probe,
	.remove = _gai_remove,
	.driver = {
		.name = gai_drv_name,
		.owner = THIS_MODULE,
		.of_match_table = g_GaiMatch,
	},
};

/* ---- debug menu ---- */

static int _gai_dbg_set_mask(u32 *args)
{
	u32 n, i;

	printk(KERN_INFO "g_GaiDbgMask = %u\n", READ_ONCE(g_GaiDbgMask));
	for (i = 0; i < ARRAY_SIZE(g_GaiDbgGroup); i++)
		printk(KERN_INFO "%d)%s\n", i, g_GaiDbgGroup[i]);
	n = DRV_DBG_GetNumber();
	if (n < 32)
		WRITE_ONCE(g_GaiDbgMask, READ_ONCE(g_GaiDbgMask) ^ BIT(n));
	printk(KERN_INFO "g_GaiDbgMask = %u\n", READ_ONCE(g_GaiDbgMask));
	return 0;
}

static const ST_DRV_DBG_MENU_ACTION g_GaiDbgSetMask = { .pfHandler = _gai_dbg_set_mask };

static const ST_DRV_DBG_MENU_ENTRY g_GaiDbgMenu[] = {
	{ DRV_DBG_MENU_ACTION, 0, "Set Dbg Msg Mask", &g_GaiDbgSetMask },
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

/* ---- start and stop ---- */

int KER_GAI_DrvInit(void)
{
	int ret;

	g_pGaiPdev = platform_device_alloc(GAI_NAME, PLATFORM_DEVID_NONE);
	if (!g_pGaiPdev) {
		GAI_ERR("%s() platform_device_alloc fail !!!!\n", __func__);
		return -ENOMEM;
	}
	ret = platform_device_add(g_pGaiPdev);
	if (ret) {
		/* never added: only our reference goes */
		platform_device_put(g_pGaiPdev);
		g_pGaiPdev = NULL;
		return ret;
	}
	DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "Ker_GAI", g_GaiDbgMenu);
	ret = platform_driver_register(&g_GaiDriver);
	if (ret) {
		platform_device_unregister(g_pGaiPdev);
		g_pGaiPdev = NULL;
		return ret;
	}
	g_bGaiDriverRegistered = true;
	printk(KERN_INFO "%s ok\n", __func__);
	return 0;
}

void KER_GAI_DrvExit(void)
{
	if (g_bGaiDriverRegistered)
		platform_driver_unregister(&g_GaiDriver);
	g_bGaiDriverRegistered = false;
	if (g_pGaiPdev)
		platform_device_unregister(g_pGaiPdev);
	g_pGaiPdev = NULL;
	printk(KERN_INFO "%s ok\n", __func__);
}

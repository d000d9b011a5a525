// SPDX-License-Identifier: GPL-2.0
/*
 * OSD plane buffers as dma-bufs, and out-fences that tell user space when
 * a flip has reached the screen.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/io.h>
#include <linux/file.h>
#include <linux/fs.h>
#include <linux/dma-buf.h>
#include <linux/dma-fence.h>
#include <linux/sync_file.h>
#include <linux/scatterlist.h>
#include <linux/spinlock.h>
#include <linux/list.h>
#include <linux/overflow.h>
#include <linux/rcupdate.h>
#include <linux/workqueue.h>

#include "vyr_compat.h"
#include "vyr_dma.h"
#include "ker_osd_fb.h"

/* ------------------------------------------------------------------ */
/* dma-buf export                                                       */
/* ------------------------------------------------------------------ */

/* Owned by the dma-buf; freed by its release. */
typedef struct {
	u32 u32Count;
	u32 u32Zero;
	u64 au64Start[KOSD_DMABUF_RANGES];
	u64 u64Reserved;
	u64 au64Len[KOSD_DMABUF_RANGES];
	void *pvKernel;		/* no kernel mapping is kept */
} ST_KOSD_EXPORT;

static int kosd_dmabuf_attach(struct dma_buf *buf, struct dma_buf_attachment *att)
{
	ST_KOSD_EXPORT *e = buf->priv;
	struct vyr_dma_attach *a;
	struct scatterlist *sg;
	u32 i;

	a = kzalloc(sizeof(*a), GFP_KERNEL);
	if (!a)
		return -ENOMEM;
	if (sg_alloc_table(&a->table, e->u32Count, GFP_KERNEL)) {
		kfree(a);
		return -ENOMEM;
	}
	sg = a->table.sgl;
	for (i = 0; i < e->u32Count; i++) {
		if (!sg) {
			printk("index out of array\n");
			sg_free_table(&a->table);
			kfree(a);
			return -EFAULT;
		}
		/* the importer's address comes with the mapping */
		sg->offset = e->au64Start[i] & 0xfff;
		sg->length = e->au64Len[i];
		sg_dma_len(sg) = e->au64Len[i];
		sg = sg_next(sg);
	}
	a->dir = DMA_NONE;
	att->priv = a;
	return 0;
}

static void kosd_dmabuf_detach(struct dma_buf *buf, struct dma_buf_attachment *att)
{
	ST_KOSD_EXPORT *e = buf->priv;
	struct vyr_dma_attach *a = att->priv;

	if (!a)
		return;
	if (a->dir != DMA_NONE)
		vyr_dma_attach_unmap(att->dev, a, e->au64Start, e->au64Len, e->u32Count);
	sg_free_table(&a->table);
	kfree(a);
	att->priv = NULL;
}

static struct sg_table *kosd_dmabuf_map(struct dma_buf_attachment *att, enum dma_data_direction dir)
{
	ST_KOSD_EXPORT *e = att->dmabuf->priv;
	struct vyr_dma_attach *a = att->priv;

	if (!a)
		return ERR_PTR(-EINVAL);
	return vyr_dma_attach_map(att->dev, a, e->au64Start, e->au64Len, e->u32Count, dir);
}

static void kosd_dmabuf_unmap(struct dma_buf_attachment *att, struct sg_table *sgt,
			      enum dma_data_direction dir)
{
	ST_KOSD_EXPORT *e = att->dmabuf->priv;
	struct vyr_dma_attach *a = att->priv;

	if (a && a->dir != DMA_NONE)
		vyr_dma_attach_unmap(att->dev, a, e->au64Start, e->au64Len, e->u32Count);
}

static void kosd_dmabuf_release(struct dma_buf *buf)
{
	kfree(buf->priv);
	buf->priv = NULL;
}

static int kosd_dmabuf_mmap(struct dma_buf *buf, struct vm_area_struct *vma)
{
	ST_KOSD_EXPORT *e = buf->priv;
	u64 skip, need, chunk, phys;
	unsigned long addr;
	u32 i;
	int ret;

	if (!e) {
		printk("No buffer to map\n");
		return -EINVAL;
	}
	vma->vm_page_prot = pgprot_noncached(vma->vm_page_prot);
	skip = (u64)vma->vm_pgoff << PAGE_SHIFT;
	need = vma->vm_end - vma->vm_start;
	addr = vma->vm_start;
	for (i = 0; i < e->u32Count && need; i++) {
		if (skip >= e->au64Len[i]) {
			skip -= e->au64Len[i];
			continue;
		}
		phys = e->au64Start[i] + skip;
		/* a page shared with memory before the range is not handed out */
		if (phys & (PAGE_SIZE - 1))
			return -EINVAL;
		chunk = min(e->au64Len[i] - skip, need);
		ret = remap_pfn_range(vma, addr, phys >> PAGE_SHIFT, PAGE_ALIGN(chunk), vma->vm_page_prot);
		if (ret) {
			printk("%s: remap_pfn_range() Fail !!!!\n", __func__);
			return ret;
		}
		addr += PAGE_ALIGN(chunk);
		need -= min_t(u64, need, PAGE_ALIGN(chunk));
		skip = 0;
	}
	return need ? -EINVAL : 0;
}

#if VYR_DMA_BUF_HAS_KMAP
static void *kosd_dmabuf_kmap(struct dma_buf *buf, unsigned long page)
{
	ST_KOSD_EXPORT *e = buf->priv;

	if (!e || page >= buf->size / PAGE_SIZE)
		return NULL;
	return ioremap(e->au64Start[0] + page * PAGE_SIZE, PAGE_SIZE);
}

static void kosd_dmabuf_kunmap(struct dma_buf *buf, unsigned long page, void *vaddr)
{
	if (vaddr)
		iounmap(vaddr);
}
#endif

static VYR_DMA_BUF_VMAP_RET kosd_dmabuf_vmap(struct dma_buf *buf VYR_DMA_BUF_VMAP_ARG)
{
	printk("%s() Warning !!!!! need implement !!!!!\n", __func__);
	VYR_DMA_BUF_VMAP_RETURN(NULL);
}

static const struct dma_buf_ops kosd_dmabuf_ops = {
	.attach = kosd_dmabuf_attach,
	.detach = kosd_dmabuf_detach,
	.map_dma_buf = kosd_dmabuf_map,
	.unmap_dma_buf = kosd_dmabuf_unmap,
	.release = kosd_dmabuf_release,
	.mmap = kosd_dmabuf_mmap,
#if VYR_DMA_BUF_HAS_KMAP
	.map = kosd_dmabuf_kmap,
	.unmap = kosd_dmabuf_kunmap,
#endif
	.vmap = kosd_dmabuf_vmap,
};

/* Plane memory is reserved for the driver's life: its dma-bufs need no holding. */
bool kosd_dma_buf_is_plane(const struct dma_buf *buf)
{
	return buf && buf->ops == &kosd_dmabuf_ops;
}

static struct dma_buf *kosd_dma_buf_export(const ST_KER_OSD_DMABUF_RANGE *pstRange, int flags)
{
	DEFINE_DMA_BUF_EXPORT_INFO(info);
	ST_KOSD_EXPORT *e;
	struct dma_buf *buf;
	u64 size = 0;
	u32 i;

	if (!pstRange) {
		printk("%s( buf = NULL )\n", "kosd_dma_buf_fd");
		return ERR_PTR(-EFAULT);
	}
	if (!pstRange->u32Count || pstRange->u32Count > KOSD_DMABUF_RANGES)
		return ERR_PTR(-EINVAL);
	e = kzalloc(sizeof(*e), GFP_KERNEL);
	if (!e)
		return ERR_PTR(-ENOMEM);
	e->u32Count = pstRange->u32Count;
	for (i = 0; i < e->u32Count; i++) {
		e->au64Start[i] = pstRange->au64Start[i];
		e->au64Len[i] = pstRange->au64Len[i];
		size += pstRange->au64Len[i];
	}
	/* a plane without a buffer has nothing to share */
	if (!size) {
		kfree(e);
		return ERR_PTR(-EINVAL);
	}
	info.exp_name = "vyr_gfx";
	info.ops = &kosd_dmabuf_ops;
	info.size = size;
	info.flags = flags;
	info.priv = e;
	buf = dma_buf_export(&info);
	if (IS_ERR(buf)) {
		printk("%s()  dma_buf_export fail !!!!\n", "kosd_dma_buf_fd");
		kfree(e);
	}
	return buf;
}

int kosd_dma_buf_fd(const ST_KER_OSD_DMABUF_RANGE *pstRange, int flags)
{
	struct dma_buf *buf = kosd_dma_buf_export(pstRange, flags);
	int fd;

	if (IS_ERR(buf))
		return PTR_ERR(buf);
	fd = dma_buf_fd(buf, flags);
	if (fd < 0) {
		printk_ratelimited("%s() dma_buf_fd() = %d, fail !!\n", __func__, fd);
		dma_buf_put(buf);
	}
	return fd;
}

int kosd_plane_dma_buf_fd(EN_DRV_OSD_PLANE_ID enPlane, ST_KER_OSD_DMABUF_REQ *req,
			  struct file **ppFile)
{
	ST_KER_OSD_DMABUF_RANGE range;
	struct dma_buf *buf;
	int fd;

	if ((u32)enPlane >= OSD_PLANE_MAX)
		return -EINVAL;
	range = gastOsdDmaBufRange[enPlane];
	if (req->u32Flags & KOSD_DMABUF_REQ_OFFSET) {
		/* the exported range never reaches past the plane buffer */
		if (req->u32Offset >= range.au64Len[0])
			return -EINVAL;
		range.au64Start[0] += req->u32Offset;
		range.au64Len[0] -= req->u32Offset;
	}
	buf = kosd_dma_buf_export(&range, O_RDWR);
	if (IS_ERR(buf))
		return PTR_ERR(buf);
	fd = get_unused_fd_flags(O_RDWR);
	if (fd < 0) {
		dma_buf_put(buf);
		return fd;
	}
	*ppFile = buf->file;
	req->u32Offset = fd;
	req->u32Flags = 2;
	return 0;
}

/*
 * Another owner's buffer, attached and mapped for the plane: the hardware
 * reads it as one run of bus addresses, so every entry of the mapping must
 * follow the one before (an entry may carry no page: only its bus address
 * counts). Looked up once; refused, with a message, when scattered.
 */
static void kosd_import_release(ST_KOSD_IMPORT *imp);

ST_KOSD_IMPORT *kosd_import_get(int fd, struct device *dev)
{
	ST_KOSD_IMPORT *imp;
	struct scatterlist *sg;
	u64 end = 0;
	int ret, i;

	imp = kzalloc(sizeof(*imp), GFP_KERNEL);
	if (!imp)
		return ERR_PTR(-ENOMEM);
	INIT_LIST_HEAD(&imp->stNode);
	imp->pstBuf = dma_buf_get(fd);
	if (IS_ERR_OR_NULL(imp->pstBuf)) {
		printk_ratelimited("kosd_dma_buf_fd_to_phys buf error\n");
		kfree(imp);
		return ERR_PTR(-EINVAL);
	}
	imp->pstAtt = dma_buf_attach(imp->pstBuf, dev);
	if (IS_ERR(imp->pstAtt)) {
		ret = PTR_ERR(imp->pstAtt);
		goto put;
	}
	imp->pstTable = dma_buf_map_attachment_unlocked(imp->pstAtt, DMA_BIDIRECTIONAL);
	if (IS_ERR_OR_NULL(imp->pstTable) || !imp->pstTable->sgl || !imp->pstTable->nents) {
		ret = IS_ERR(imp->pstTable) ? PTR_ERR(imp->pstTable) : -EINVAL;
		if (!IS_ERR_OR_NULL(imp->pstTable))
			dma_buf_unmap_attachment_unlocked(imp->pstAtt, imp->pstTable,
							  DMA_BIDIRECTIONAL);
		goto detach;
	}
	imp->u64Addr = sg_dma_address(imp->pstTable->sgl);
	end = imp->u64Addr;
	for_each_sg(imp->pstTable->sgl, sg, imp->pstTable->nents, i) {
		if (sg_dma_address(sg) != end || check_add_overflow(end, (u64)sg_dma_len(sg), &end)) {
			printk_ratelimited("%s(): the dma-buf is not one run of bus addresses\n", __func__);
			ret = -EINVAL;
			goto unmap;
		}
	}
	/* what the mapping covers of the buffer, no more */
	imp->u64Size = min_t(u64, end - imp->u64Addr, imp->pstBuf->size);
	/*
	 * Plane memory stays reserved while the module lives; holding a plane's
	 * own dma-buf would pin the module that shows it.
	 */
	if (kosd_dma_buf_is_plane(imp->pstBuf)) {
		kosd_import_release(imp);
		imp->pstBuf = NULL;
	}
	return imp;
unmap:
	dma_buf_unmap_attachment_unlocked(imp->pstAtt, imp->pstTable, DMA_BIDIRECTIONAL);
detach:
	dma_buf_detach(imp->pstBuf, imp->pstAtt);
put:
	dma_buf_put(imp->pstBuf);
	kfree(imp);
	return ERR_PTR(ret);
}

static void kosd_import_release(ST_KOSD_IMPORT *imp)
{
	dma_buf_unmap_attachment_unlocked(imp->pstAtt, imp->pstTable, DMA_BIDIRECTIONAL);
	dma_buf_detach(imp->pstBuf, imp->pstAtt);
	dma_buf_put(imp->pstBuf);
}

void kosd_import_put(ST_KOSD_IMPORT *imp)
{
	if (!imp)
		return;
	if (imp->pstBuf)
		kosd_import_release(imp);
	kfree(imp);
}

int kosd_dma_buf_fd_to_phys(int fd, struct device *dev, u64 *pu64Addr, u64 *pu64Size)
{
	ST_KOSD_IMPORT *imp = kosd_import_get(fd, dev);

	if (IS_ERR(imp))
		return PTR_ERR(imp);
	*pu64Addr = imp->u64Addr;
	if (pu64Size)
		*pu64Size = imp->u64Size;
	kosd_import_put(imp);
	return 0;
}

/*
 * Buffers shown on the planes: the one each plane was last told to show,
 * and, oldest first, at most OSD_IMPORTS_WAITING it was told to leave, each
 * kept until a vsync at which the hardware had taken the update that
 * leaves it and then given back (from a work item, or at the plane's next
 * claim). However long the plane's update is held back, a plane with its
 * slots full leaves nothing more: it refuses the show or pan that would.
 * Two slots: a caller may flip twice before one vsync.
 */
#define OSD_IMPORTS_WAITING 2

typedef struct {
	ST_KOSD_IMPORT *pstShown;
	ST_KOSD_IMPORT *apstLeaving[OSD_IMPORTS_WAITING];
	u32 u32Leaving;		/* slots in use */
	u32 u32Taken;		/* the last update request the hardware took */
	bool bClaimed;		/* a caller is between its claim and its show */
} ST_KOSD_PLANE_IMPORTS;

static ST_KOSD_PLANE_IMPORTS gastImports[OSD_PLANE_MAX];
static DEFINE_SPINLOCK(gstShownLock);

/* Caller holds gstShownLock. */
static bool osd_import_left(const ST_KOSD_PLANE_IMPORTS *pi, const ST_KOSD_IMPORT *imp)
{
	return (s32)(pi->u32Taken - imp->u32Ticket) >= 0;
}

/*
 * Caller holds gstShownLock: the plane's imports the hardware has left go
 * to done. Tickets grow slot by slot, so those are the first slots.
 */
static void osd_import_take_left(ST_KOSD_PLANE_IMPORTS *pi, struct list_head *done)
{
	u32 n = 0, i;

	while (n < pi->u32Leaving && osd_import_left(pi, pi->apstLeaving[n]))
		list_add_tail(&pi->apstLeaving[n++]->stNode, done);
	for (i = n; i < pi->u32Leaving; i++)
		pi->apstLeaving[i - n] = pi->apstLeaving[i];
	pi->u32Leaving -= n;
}

static void osd_import_put_list(struct list_head *done)
{
	ST_KOSD_IMPORT *imp, *n;

	list_for_each_entry_safe(imp, n, done, stNode) {
		list_del(&imp->stNode);
		kosd_import_put(imp);
	}
}

static void osd_import_leave_work(struct work_struct *w)
{
	unsigned long flags;
	LIST_HEAD(done);
	int p;

	spin_lock_irqsave(&gstShownLock, flags);
	for (p = 0; p < OSD_PLANE_MAX; p++)
		osd_import_take_left(&gastImports[p], &done);
	spin_unlock_irqrestore(&gstShownLock, flags);
	osd_import_put_list(&done);
}

static struct work_struct gstLeaveWork;

void osd_import_init(void)
{
	INIT_WORK(&gstLeaveWork, osd_import_leave_work);
}

/*
 * Before the plane is programmed to leave what it shows: what it has left
 * goes back now; -EBUSY while its slots hold imports the hardware may still
 * scan, or another caller holds the claim. The claim ends with
 * osd_import_show, or osd_import_unclaim when nothing was programmed.
 */
int osd_import_claim(EN_DRV_OSD_PLANE_ID enPlane)
{
	ST_KOSD_PLANE_IMPORTS *pi = &gastImports[enPlane];
	unsigned long flags;
	LIST_HEAD(done);
	int ret = 0;

	spin_lock_irqsave(&gstShownLock, flags);
	osd_import_take_left(pi, &done);
	if (pi->bClaimed || (pi->pstShown && pi->u32Leaving == OSD_IMPORTS_WAITING))
		ret = -EBUSY;
	else
		pi->bClaimed = true;
	spin_unlock_irqrestore(&gstShownLock, flags);
	osd_import_put_list(&done);
	return ret;
}

void osd_import_unclaim(EN_DRV_OSD_PLANE_ID enPlane)
{
	unsigned long flags;

	spin_lock_irqsave(&gstShownLock, flags);
	gastImports[enPlane].bClaimed = false;
	spin_unlock_irqrestore(&gstShownLock, flags);
}

/*
 * The plane, claimed, was told (its scan written, its update requested) to
 * show imp, or its own buffer (NULL): what it showed before goes once the
 * hardware has latched the scan as written now. The claim left it a slot.
 */
void osd_import_show(EN_DRV_OSD_PLANE_ID enPlane, ST_KOSD_IMPORT *imp)
{
	ST_KER_OSD_PLANE_CTX *c = gpstFbInfo[enPlane] ? gpstFbInfo[enPlane]->par : NULL;
	ST_KOSD_PLANE_IMPORTS *pi = &gastImports[enPlane];
	ST_KOSD_IMPORT *old;
	unsigned long flags;

	spin_lock_irqsave(&gstShownLock, flags);
	old = pi->pstShown;
	pi->pstShown = imp;
	if (old) {
		old->u32Ticket = _ker_osd_Get_ScanTicket(enPlane);
		pi->apstLeaving[pi->u32Leaving++] = old;
	}
	pi->bClaimed = false;
	spin_unlock_irqrestore(&gstShownLock, flags);
	if (c) {
		c->u64ImportStart = imp ? imp->u64Addr : 0;
		c->u64ImportLen = imp ? imp->u64Size : 0;
	}
}

/* At each vsync of the plane, with the last update request the hardware took. */
void osd_import_vsync(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Taken)
{
	ST_KOSD_PLANE_IMPORTS *pi = &gastImports[enPlane];
	unsigned long flags;
	bool leaving;

	spin_lock_irqsave(&gstShownLock, flags);
	pi->u32Taken = u32Taken;
	leaving = pi->u32Leaving && osd_import_left(pi, pi->apstLeaving[0]);
	spin_unlock_irqrestore(&gstShownLock, flags);
	if (leaving)
		schedule_work(&gstLeaveWork);
}

/* At unload, the hardware stopped: every buffer goes back. */
void osd_release_shown_bufs(void)
{
	ST_KOSD_PLANE_IMPORTS *pi;
	unsigned long flags;
	LIST_HEAD(done);
	u32 i;
	int p;

	cancel_work_sync(&gstLeaveWork);
	spin_lock_irqsave(&gstShownLock, flags);
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		pi = &gastImports[p];
		if (pi->pstShown)
			list_add_tail(&pi->pstShown->stNode, &done);
		for (i = 0; i < pi->u32Leaving; i++)
			list_add_tail(&pi->apstLeaving[i]->stNode, &done);
		pi->pstShown = NULL;
		pi->u32Leaving = 0;
		pi->bClaimed = false;
	}
	spin_unlock_irqrestore(&gstShownLock, flags);
	osd_import_put_list(&done);
}

/* ------------------------------------------------------------------ */
/* Out-fences                                                           */
/* ------------------------------------------------------------------ */

#define OSD_FENCE_NAME "crv-fake-dma-fence"

/* The lock of every OSD fence. */
static DEFINE_SPINLOCK(gstOsdFenceLock);
/* Guards fence_next and fence_now. */
static DEFINE_SPINLOCK(gstOsdFenceListLock);

static struct dma_fence *fence_next[OSD_PLANE_MAX];
static struct dma_fence *fence_now[OSD_PLANE_MAX];

/* One timeline per plane and one for the immediate fences. */
#define OSD_FENCE_IMMEDIATE OSD_PLANE_MAX
static u64 gu64FenceContext;
static u64 gau64FenceSeqno[OSD_PLANE_MAX + 1];
static bool gbFenceContext;

static const char *osd_fence_get_name(struct dma_fence *f)
{
	return OSD_FENCE_NAME;
}

static bool osd_fence_enable_signaling(struct dma_fence *f)
{
	return true;
}

/*
 * A fence outlives the file it was handed out with, and every call the
 * fence core makes through it (names, wait, release) lands in this module:
 * each fence holds a module reference until it is freed, after the fence's
 * RCU readers. The module's exit waits for such frees still returning
 * (rcu_barrier), so none runs on in text that is gone.
 */
static void osd_fence_free(struct rcu_head *rcu)
{
	kfree(container_of(rcu, struct dma_fence, rcu));
	module_put(THIS_MODULE);
}

static void osd_fence_release(struct dma_fence *f)
{
	call_rcu(&f->rcu, osd_fence_free);
}

static const struct dma_fence_ops osd_fence_ops = {
	.get_driver_name = osd_fence_get_name,
	.get_timeline_name = osd_fence_get_name,
	.enable_signaling = osd_fence_enable_signaling,
	.release = osd_fence_release,
};

static struct dma_fence *osd_fence_create(u32 u32Timeline)
{
	struct dma_fence *f;
	unsigned long flags;
	u64 ctx, seq;

	f = kzalloc(sizeof(*f), GFP_KERNEL);
	if (!f)
		return NULL;
	/* called from a file operation of the module: it is live */
	__module_get(THIS_MODULE);
	spin_lock_irqsave(&gstOsdFenceListLock, flags);
	if (!gbFenceContext) {
		gu64FenceContext = dma_fence_context_alloc(OSD_PLANE_MAX + 1);
		gbFenceContext = true;
	}
	ctx = gu64FenceContext + u32Timeline;
	seq = ++gau64FenceSeqno[u32Timeline];
	spin_unlock_irqrestore(&gstOsdFenceListLock, flags);
	dma_fence_init(f, &osd_fence_ops, &gstOsdFenceLock, ctx, seq);
	return f;
}

/* A fence wrapped in a sync file on a reserved descriptor (not yet installed). */
static int osd_fence_file(u32 u32Timeline, struct dma_fence **ppf, struct sync_file **pps)
{
	struct sync_file *sync;
	struct dma_fence *f;
	int fd;

	f = osd_fence_create(u32Timeline);
	if (!f) {
		pr_err("can't create out crv fake out fence");
		return -1;
	}
	sync = sync_file_create(f);
	if (!sync) {
		pr_err("can't create sync file for crv fake out fence");
		dma_fence_put(f);
		return -1;
	}
	fd = get_unused_fd_flags(O_CLOEXEC);
	if (fd < 0) {
		fput(sync->file);
		dma_fence_put(f);
		return -1;
	}
	*ppf = f;
	*pps = sync;
	return fd;
}

/*
 * The sync file holds the only reference the immediate fence needs; the
 * module keeps none, so a fence the caller closed does not pin the module.
 */
int osd_get_out_fence_fd(struct file **ppFile)
{
	struct dma_fence *f;
	struct sync_file *sync;
	int fd;

	fd = osd_fence_file(OSD_FENCE_IMMEDIATE, &f, &sync);
	if (fd < 0)
		return -1;
	dma_fence_signal(f);
	dma_fence_put(f);
	*ppFile = sync->file;
	return fd;
}

int osd_get_out_fence_fd_without_signal(EN_DRV_OSD_PLANE_ID enPlane, struct file **ppFile)
{
	struct sync_file *sync;
	struct dma_fence *f;
	unsigned long flags;
	bool taken;
	int fd;

	if ((u32)enPlane >= OSD_PLANE_MAX)
		return -1;
	if (READ_ONCE(fence_next[enPlane])) {
		printk_ratelimited("no available fence\n");
		return -1;
	}
	fd = osd_fence_file(enPlane, &f, &sync);
	if (fd < 0)
		return -1;
	spin_lock_irqsave(&gstOsdFenceListLock, flags);
	taken = fence_next[enPlane];
	if (!taken)
		fence_next[enPlane] = f;
	spin_unlock_irqrestore(&gstOsdFenceListLock, flags);
	if (taken) {
		printk_ratelimited("no available fence\n");
		put_unused_fd(fd);
		fput(sync->file);
		dma_fence_put(f);
		return -1;
	}
	*ppFile = sync->file;
	return fd;
}

/* At each vsync of the plane: the fence armed before is signalled. */
void osd_fence_signal(EN_DRV_OSD_PLANE_ID enPlane)
{
	struct dma_fence *now;
	unsigned long flags;

	if ((u32)enPlane >= OSD_PLANE_MAX)
		return;
	spin_lock_irqsave(&gstOsdFenceListLock, flags);
	if (!fence_next[enPlane]) {
		spin_unlock_irqrestore(&gstOsdFenceListLock, flags);
		return;
	}
	now = fence_now[enPlane];
	fence_now[enPlane] = fence_next[enPlane];
	fence_next[enPlane] = NULL;
	spin_unlock_irqrestore(&gstOsdFenceListLock, flags);
	if (now) {
		dma_fence_signal(now);
		dma_fence_put(now);
	} else {
		printk("fisrt time call fence signal\n");
	}
}

/*
 * Every fence the plane still holds is signalled (no flip of this plane
 * will come to do it) and dropped.
 */
void osd_fence_release_plane(EN_DRV_OSD_PLANE_ID enPlane)
{
	struct dma_fence *held[2];
	unsigned long flags;
	int i;

	if ((u32)enPlane >= OSD_PLANE_MAX)
		return;
	spin_lock_irqsave(&gstOsdFenceListLock, flags);
	held[0] = fence_now[enPlane];
	held[1] = fence_next[enPlane];
	fence_now[enPlane] = fence_next[enPlane] = NULL;
	spin_unlock_irqrestore(&gstOsdFenceListLock, flags);
	for (i = 0; i < ARRAY_SIZE(held); i++) {
		if (!held[i])
			continue;
		dma_fence_signal(held[i]);
		dma_fence_put(held[i]);
	}
}

void osd_fence_release_all(void)
{
	int p;

	for (p = 0; p < OSD_PLANE_MAX; p++)
		osd_fence_release_plane(p);
}

// SPDX-License-Identifier: GPL-2.0
/*
 * 2D engine memory provider: contiguous buffers for user space, recorded by
 * physical address and owner, plus the dma-buf exporter and the resolver of
 * other drivers' dma-bufs.
 */
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/slab.h>
#include <linux/vmalloc.h>
#include <linux/mm.h>
#include <linux/rbtree.h>
#include <linux/rwsem.h>
#include <linux/kref.h>
#include <linux/sched.h>
#include <linux/dma-buf.h>
#include <linux/dma-mapping.h>
#include <linux/scatterlist.h>
#include <linux/math64.h>
#include <linux/overflow.h>
#include <linux/err.h>

#include "vyr_compat.h"
#include "vyr_perm.h"
#include "vyr_dma.h"
#include "ker_gpu.h"

/*
 * One allocation. The open file it was made through holds the first
 * reference while the record is in the tree; every dma-buf exported over it,
 * every user mapping of it and every operation running on it hold one more,
 * so the memory goes with the last of them.
 */
struct kgpu_mem_rec {
	struct rb_node node;
	u32 u32Provider;
	u64 u64PhyAddr;
	void *pVirAddr;
	u64 u64RequestedSize;
	u64 u64AllocatedSize;
	u32 u32Request;
	s32 s32Pid;
	const struct file *pOwner;
	struct kref ref;
	dma_addr_t Dma;		/* pages: their mapping for the engine's device */
};

static struct {
	struct rw_semaphore rw_sema;
	struct rb_root root;
	bool created;
} stGpuMemDevice;

int kgpu_mem_device_create(void)
{
	init_rwsem(&stGpuMemDevice.rw_sema);
	stGpuMemDevice.root = RB_ROOT;
	stGpuMemDevice.created = true;
	printk(KERN_INFO "%s() CONFIG_CMA : enabled\n", __func__);
	return 0;
}

/* Caller holds the semaphore. */
static ST_KGPU_MEM_RECORD *_kgpu_mem_find(u64 addr)
{
	struct rb_node *n = stGpuMemDevice.root.rb_node;

	while (n) {
		ST_KGPU_MEM_RECORD *r = rb_entry(n, ST_KGPU_MEM_RECORD, node);

		if (addr < r->u64PhyAddr)
			n = n->rb_left;
		else if (addr > r->u64PhyAddr)
			n = n->rb_right;
		else
			return r;
	}
	return NULL;
}

/* The record whose memory holds addr. Caller holds the semaphore. */
static ST_KGPU_MEM_RECORD *_kgpu_mem_find_holding(u64 addr)
{
	struct rb_node *n = stGpuMemDevice.root.rb_node;
	ST_KGPU_MEM_RECORD *best = NULL;

	while (n) {
		ST_KGPU_MEM_RECORD *r = rb_entry(n, ST_KGPU_MEM_RECORD, node);

		if (addr < r->u64PhyAddr) {
			n = n->rb_left;
		} else {
			best = r;
			n = n->rb_right;
		}
	}
	if (best && addr - best->u64PhyAddr < best->u64AllocatedSize)
		return best;
	return NULL;
}

/* Caller holds the semaphore for writing; false when the address is recorded. */
static bool _kgpu_mem_insert(ST_KGPU_MEM_RECORD *rec)
{
	struct rb_node **link = &stGpuMemDevice.root.rb_node, *parent = NULL;

	while (*link) {
		ST_KGPU_MEM_RECORD *r = rb_entry(*link, ST_KGPU_MEM_RECORD, node);

		parent = *link;
		if (rec->u64PhyAddr < r->u64PhyAddr)
			link = &(*link)->rb_left;
		else if (rec->u64PhyAddr > r->u64PhyAddr)
			link = &(*link)->rb_right;
		else
			return false;
	}
	rb_link_node(&rec->node, parent, link);
	rb_insert_color(&rec->node, &stGpuMemDevice.root);
	return true;
}

static void _kgpu_mem_free_memory(ST_KGPU_MEM_RECORD *r)
{
	if (r->u32Provider == KGPU_MEM_PROVIDER_DMA) {
		dma_free_coherent(g_KerGpuCtx.pDevice, r->u64AllocatedSize, r->pVirAddr,
				  r->u64PhyAddr);
	} else {
		unsigned long pfn = PHYS_PFN(r->u64PhyAddr);

		if (pfn_valid(pfn)) {
			dma_unmap_page(g_KerGpuCtx.pDevice, r->Dma, r->u64AllocatedSize,
				       DMA_BIDIRECTIONAL);
			__free_pages(pfn_to_page(pfn), get_order(r->u64AllocatedSize));
			printk_ratelimited(KERN_INFO "free pages done: addr = 0x%llx, pfn = %lX\n",
					   (unsigned long long)r->u64PhyAddr, pfn);
		} else {
			printk_ratelimited(KERN_ERR "free_pages fail, form physaddr(0x%llx) !!!!\n",
					   (unsigned long long)r->u64PhyAddr);
		}
	}
}

static void _kgpu_mem_last_ref(struct kref *ref)
{
	ST_KGPU_MEM_RECORD *r = container_of(ref, ST_KGPU_MEM_RECORD, ref);

	_kgpu_mem_free_memory(r);
	kfree(r);
}

void kgpu_mem_put(ST_KGPU_MEM_RECORD *rec)
{
	if (rec)
		kref_put(&rec->ref, _kgpu_mem_last_ref);
}

/*
 * Maps RAM for the engine only where the mapping is the memory itself: the
 * engine is handed its own address, and cache work done through a bounce
 * buffer would miss it while the buffer's copies pass over what the engine
 * wrote. A range past the device's DMA mask is refused without a mapping
 * (swiotlb would bounce it); one bounced all the same goes unmapped without
 * its copy back. 0, or an error with nothing mapped.
 */
int kgpu_mem_map_direct(struct device *dev, u64 phys, u64 size, enum dma_data_direction dir,
			dma_addr_t *dma)
{
	u64 last;

	if (!size || check_add_overflow(phys, size - 1, &last) || last > dma_get_mask(dev))
		return -EINVAL;
	*dma = dma_map_page(dev, pfn_to_page(PHYS_PFN(phys)), offset_in_page(phys), size, dir);
	if (dma_mapping_error(dev, *dma))
		return -ENOMEM;
	if (*dma == phys)
		return 0;
	dma_unmap_page_attrs(dev, *dma, size, dir, DMA_ATTR_SKIP_CPU_SYNC);
	return -EINVAL;
}

int kgpu_mem_alloc(ST_KGPU_MEM_ALLOC *req, const struct file *owner)
{
	ST_KGPU_MEM_RECORD *rec;
	int ret = 0;

	printk_ratelimited(KERN_INFO ">> %s() enGMP = %d, size = %d\n", __func__,
			   req->u32Provider, req->u32Size);
	if (!stGpuMemDevice.created || !g_KerGpuCtx.pDevice) {
		ret = -1;
		goto done;
	}
	rec = kzalloc(sizeof(*rec), GFP_KERNEL);
	if (!rec) {
		ret = -1;
		goto done;
	}
	rec->u32Provider = req->u32Provider;
	rec->u64RequestedSize = req->u32Size;
	rec->u32Request = req->u32Request;
	rec->s32Pid = task_tgid_nr(current);
	rec->pOwner = owner;
	kref_init(&rec->ref);

	if (req->u32Provider == KGPU_MEM_PROVIDER_DMA) {
		/* Rounded in 64 bits: a size near 4 GiB must not wrap to 0. */
		u64 size = PAGE_ALIGN((u64)req->u32Size);
		dma_addr_t dma;

		/*
		 * Contiguous memory of any size the DMA API can find (CMA for
		 * the large ones), zeroed, as the pages reach user space.
		 */
		if (size)
			rec->pVirAddr = dma_alloc_coherent(g_KerGpuCtx.pDevice, size, &dma,
							   GFP_KERNEL | __GFP_NOWARN);
		if (!rec->pVirAddr) {
			ret = -3;
		} else {
			rec->u64PhyAddr = dma;
			rec->u64AllocatedSize = size;
		}
	} else if (req->u32Provider == KGPU_MEM_PROVIDER_PAGES) {
		unsigned int order = get_order(max_t(u64, req->u32Size, 1));
		struct page *pg = NULL;

		/*
		 * The pages reach user space: never with old contents. They
		 * come from the zone the engine's 32-bit DMA mask reaches, and
		 * are charged to the caller's memory cgroup.
		 */
		if (order < MAX_ORDER)
			pg = alloc_pages(GFP_USER | GFP_DMA32 | __GFP_ZERO | __GFP_NOWARN |
					 __GFP_ACCOUNT, order);
		/* Mapped for the engine for their lifetime; syncs go through it. */
		if (pg && kgpu_mem_map_direct(g_KerGpuCtx.pDevice, page_to_phys(pg),
					      PAGE_SIZE << order, DMA_BIDIRECTIONAL, &rec->Dma)) {
			__free_pages(pg, order);
			pg = NULL;
		}
		if (!pg) {
			ret = -3;
		} else {
			rec->u64PhyAddr = page_to_phys(pg);
			rec->u64AllocatedSize = PAGE_SIZE << order;
			printk_ratelimited(KERN_INFO "%s() got addr = 0x%llx, size = %ld\n",
					   __func__, (unsigned long long)rec->u64PhyAddr,
					   (long)rec->u64AllocatedSize);
		}
	} else {
		ret = -1;
	}
	if (ret) {
		kfree(rec);
		goto done;
	}

	req->u32AllocatedSize = (u32)rec->u64AllocatedSize;
	req->u64PhyAddr = rec->u64PhyAddr;
	/* A kernel address is of no use to user space: never leak it. */
	req->u64VirAddr = 0;

	down_write(&stGpuMemDevice.rw_sema);
	if (!_kgpu_mem_insert(rec)) {
		up_write(&stGpuMemDevice.rw_sema);
		kgpu_mem_put(rec);
		ret = -2;
		goto done;
	}
	up_write(&stGpuMemDevice.rw_sema);
done:
	printk_ratelimited(KERN_INFO "<< %s() Phy = 0x%llX, Vir = 0x%llX, allocated_size = %d\n",
			   __func__, (unsigned long long)req->u64PhyAddr,
			   (unsigned long long)req->u64VirAddr, req->u32AllocatedSize);
	return ret;
}

/* Takes the record out of the tree and drops the reference it held. */
static void _kgpu_mem_unrecord(ST_KGPU_MEM_RECORD *r)
{
	rb_erase(&r->node, &stGpuMemDevice.root);
	r->pOwner = NULL;
}

int kgpu_mem_free(u64 addr, const struct file *owner)
{
	ST_KGPU_MEM_RECORD *r;

	if (!stGpuMemDevice.created)
		return -1;
	down_write(&stGpuMemDevice.rw_sema);
	r = _kgpu_mem_find(addr);
	if (!r || r->pOwner != owner) {
		up_write(&stGpuMemDevice.rw_sema);
		return -1;
	}
	_kgpu_mem_unrecord(r);
	up_write(&stGpuMemDevice.rw_sema);
	kgpu_mem_put(r);
	return 0;
}

/* Drops every allocation made through the closing file. */
void kgpu_mem_release(const struct file *owner)
{
	struct rb_node *n;

	if (!stGpuMemDevice.created)
		return;
	down_write(&stGpuMemDevice.rw_sema);
	n = rb_first(&stGpuMemDevice.root);
	while (n) {
		ST_KGPU_MEM_RECORD *r = rb_entry(n, ST_KGPU_MEM_RECORD, node);

		n = rb_next(n);
		if (r->pOwner != owner)
			continue;
		_kgpu_mem_unrecord(r);
		kgpu_mem_put(r);
	}
	up_write(&stGpuMemDevice.rw_sema);
}

/* Frees whatever is still recorded (component exit). */
void kgpu_mem_device_destroy(void)
{
	struct rb_node *n;

	if (!stGpuMemDevice.created)
		return;
	down_write(&stGpuMemDevice.rw_sema);
	while ((n = rb_first(&stGpuMemDevice.root))) {
		ST_KGPU_MEM_RECORD *r = rb_entry(n, ST_KGPU_MEM_RECORD, node);

		_kgpu_mem_unrecord(r);
		kgpu_mem_put(r);
	}
	up_write(&stGpuMemDevice.rw_sema);
	stGpuMemDevice.created = false;
}

/*
 * A reference to the allocation made through @owner that holds the whole
 * range [addr, addr + size): 0, -EPERM when no allocation of @owner holds
 * addr, -EINVAL when the range runs past its end.
 */
int kgpu_mem_get(const struct file *owner, u64 addr, u64 size, ST_KGPU_MEM_RECORD **ppRec)
{
	ST_KGPU_MEM_RECORD *r;
	int ret = -EPERM;

	*ppRec = NULL;
	if (!stGpuMemDevice.created || !owner)
		return -EPERM;
	down_read(&stGpuMemDevice.rw_sema);
	r = _kgpu_mem_find_holding(addr);
	if (r && r->pOwner == owner) {
		if (size > r->u64AllocatedSize - (addr - r->u64PhyAddr)) {
			ret = -EINVAL;
		} else {
			kref_get(&r->ref);
			*ppRec = r;
			ret = 0;
		}
	}
	up_read(&stGpuMemDevice.rw_sema);
	return ret;
}

/* The allocation's first and end address. */
void kgpu_mem_range(const ST_KGPU_MEM_RECORD *rec, u64 *start, u64 *end)
{
	*start = rec->u64PhyAddr;
	*end = rec->u64PhyAddr + rec->u64AllocatedSize;
}

/* Each user mapping of an allocation keeps it until the mapping goes. */
static void kgpu_mem_vm_open(struct vm_area_struct *vma)
{
	ST_KGPU_MEM_RECORD *r = vma->vm_private_data;

	kref_get(&r->ref);
}

static void kgpu_mem_vm_close(struct vm_area_struct *vma)
{
	kgpu_mem_put(vma->vm_private_data);
}

static const struct vm_operations_struct g_kgpu_mem_vm_ops = {
	.open = kgpu_mem_vm_open,
	.close = kgpu_mem_vm_close,
};

/*
 * Maps part of an allocation, from addr on, into user space. Pages are
 * mapped cached unless the file was opened with O_DSYNC (then uncached, as
 * device memory); contiguous DMA memory is the DMA API's coherent memory and
 * keeps the attributes it has in the kernel, whatever the flag.
 */
int kgpu_mem_mmap(ST_KGPU_MEM_RECORD *rec, u64 addr, struct vm_area_struct *vma, bool uncached)
{
	int ret;

	vma->vm_pgoff = (unsigned long)((addr - rec->u64PhyAddr) >> PAGE_SHIFT);
	if (rec->u32Provider == KGPU_MEM_PROVIDER_DMA) {
		ret = dma_mmap_coherent(g_KerGpuCtx.pDevice, vma, rec->pVirAddr,
					rec->u64PhyAddr, rec->u64AllocatedSize);
	} else {
		if (uncached)
			vma->vm_page_prot = pgprot_device(vma->vm_page_prot);
		ret = remap_pfn_range(vma, vma->vm_start, PHYS_PFN(addr),
				      vma->vm_end - vma->vm_start, vma->vm_page_prot);
	}
	if (ret)
		return ret;
	kref_get(&rec->ref);
	vma->vm_private_data = rec;
	vma->vm_ops = &g_kgpu_mem_vm_ops;
	return 0;
}

/*
 * Hands [addr, addr + size) of an allocation to the CPU or to the engine.
 * Contiguous memory is coherent and needs nothing; pages are synced through
 * their mapping.
 */
void kgpu_mem_sync(const ST_KGPU_MEM_RECORD *rec, u64 addr, u32 size, bool for_cpu)
{
	dma_addr_t dma;

	if (rec->u32Provider != KGPU_MEM_PROVIDER_PAGES)
		return;
	dma = rec->Dma + (addr - rec->u64PhyAddr);
	if (for_cpu)
		dma_sync_single_for_cpu(g_KerGpuCtx.pDevice, dma, size, DMA_FROM_DEVICE);
	else
		dma_sync_single_for_device(g_KerGpuCtx.pDevice, dma, size, DMA_TO_DEVICE);
}

ST_KGPU_MEM_RECORD *kgpu_mem_info_get(u64 addr)
{
	ST_KGPU_MEM_RECORD *r;

	if (!stGpuMemDevice.created)
		return NULL;
	down_read(&stGpuMemDevice.rw_sema);
	r = _kgpu_mem_find(addr);
	up_read(&stGpuMemDevice.rw_sema);
	return r;
}

unsigned long kgpu_mem_map(u64 addr)
{
	ST_KGPU_MEM_RECORD *r = kgpu_mem_info_get(addr);

	return r ? (unsigned long)r->pVirAddr : 0;
}

int kgpu_mem_valid_buffer(u64 addr)
{
	return kgpu_mem_info_get(addr) ? 1 : -1;
}

/* x 100 / y with two decimals, as whole and hundredths. */
static void _kgpu_rate(u64 waste, u64 total, long *whole, long *frac)
{
	u64 r = total ? div64_u64(waste * 10000, total) : 0;

	*whole = (long)div_u64(r, 100);
	*frac = (long)(r - (u64)*whole * 100);
}

void kgpu_mem_show_all(void)
{
	u64 req_total[2] = { 0, 0 }, alloc_total[2] = { 0, 0 };
	struct rb_node *n;
	int p;

	if (!stGpuMemDevice.created)
		return;
	down_read(&stGpuMemDevice.rw_sema);
	for (n = rb_first(&stGpuMemDevice.root); n; n = rb_next(n)) {
		ST_KGPU_MEM_RECORD *r = rb_entry(n, ST_KGPU_MEM_RECORD, node);
		long whole, frac;

		_kgpu_rate(r->u64AllocatedSize - r->u64RequestedSize, r->u64RequestedSize,
			   &whole, &frac);
		/* The recorded DMA address is a cookie, never read through: no guard words. */
		printk(KERN_INFO "Addr = 0x%llx, type = %d, requested_size = %5ld, allocated_size = %5ld, pid = %4d, %s wasted rate = %2ld.%02ld%%\n",
		       (unsigned long long)r->u64PhyAddr, r->u32Provider,
		       (long)r->u64RequestedSize, (long)r->u64AllocatedSize, r->s32Pid, "",
		       whole, frac);
		if (r->u32Provider < 2) {
			req_total[r->u32Provider] += r->u64RequestedSize;
			alloc_total[r->u32Provider] += r->u64AllocatedSize;
		}
	}
	up_read(&stGpuMemDevice.rw_sema);
	for (p = 0; p < 2; p++) {
		long whole, frac;

		if (!req_total[p])
			continue;
		_kgpu_rate(alloc_total[p] - req_total[p], req_total[p], &whole, &frac);
		printk(KERN_INFO "KGpu Provider %d wasted %ld bytes, rate = %02ld.%02ld%%\n", p,
		       (long)(alloc_total[p] - req_total[p]), whole, frac);
	}
}

/* ------------------------------------------------------------------------ */
/* dma-buf exporter                                                          */

/* Export record: the planes, and a reference to each allocation they lie in. */
typedef struct {
	ST_KGPU_DMA_BUF_DESC stDesc;	/* first: the dma-buf's private data */
	ST_KGPU_MEM_RECORD *apRec[KGPU_BUF_PLANES];
} ST_KGPU_EXPORT;

static void _kgpu_export_free(ST_KGPU_EXPORT *exp)
{
	u32 i;

	for (i = 0; i < KGPU_BUF_PLANES; i++)
		kgpu_mem_put(exp->apRec[i]);
	kfree(exp);
}

/*
 * An importer's mapping does no cache maintenance: the planes are coherent
 * DMA memory, or pages their owner syncs through the device (ioctls 34-36);
 * and the same memory stays mapped for the engine and other importers.
 */
#define KGPU_EXPORT_DMA_ATTRS DMA_ATTR_SKIP_CPU_SYNC

static int kgpu_dmabuf_attach(struct dma_buf *buf, struct dma_buf_attachment *att)
{
	ST_KGPU_DMA_BUF_DESC *desc = buf->priv;
	struct vyr_dma_attach *a;
	struct scatterlist *sg;
	unsigned int i;
	int ret;

	a = kzalloc(sizeof(*a), GFP_KERNEL);
	if (!a)
		return -ENOMEM;
	ret = sg_alloc_table(&a->table, desc->u32PlaneNum ? desc->u32PlaneNum : 1, GFP_KERNEL);
	if (ret) {
		kfree(a);
		return ret;
	}
	if (a->table.nents < desc->u32PlaneNum) {
		sg_free_table(&a->table);
		kfree(a);
		return -EFAULT;
	}
	/* The importer's addresses come with the mapping. */
	for_each_sg(a->table.sgl, sg, desc->u32PlaneNum, i) {
		sg->offset = desc->u64Addr[i] & ~PAGE_MASK;
		sg->length = desc->u64Size[i];
		sg_dma_len(sg) = desc->u64Size[i];
	}
	a->table.nents = desc->u32PlaneNum;
	a->dir = DMA_NONE;
	a->attrs = KGPU_EXPORT_DMA_ATTRS;
	att->priv = a;
	return 0;
}

static void kgpu_dmabuf_detach(struct dma_buf *buf, struct dma_buf_attachment *att)
{
	ST_KGPU_DMA_BUF_DESC *desc = buf->priv;
	struct vyr_dma_attach *a = att->priv;

	if (!a)
		return;
	if (a->dir != DMA_NONE)
		vyr_dma_attach_unmap(att->dev, a, desc->u64Addr, desc->u64Size, desc->u32PlaneNum);
	a->table.nents = a->table.orig_nents;
	sg_free_table(&a->table);
	kfree(a);
	att->priv = NULL;
}

/* Maps every plane for the importer's device. */
static struct sg_table *kgpu_dmabuf_map(struct dma_buf_attachment *att,
					enum dma_data_direction dir)
{
	ST_KGPU_DMA_BUF_DESC *desc = att->dmabuf->priv;
	struct vyr_dma_attach *a = att->priv;

	if (!a)
		return ERR_PTR(-EINVAL);
	return vyr_dma_attach_map(att->dev, a, desc->u64Addr, desc->u64Size, desc->u32PlaneNum, dir);
}

static void kgpu_dmabuf_unmap(struct dma_buf_attachment *att, struct sg_table *sgt,
			      enum dma_data_direction dir)
{
	ST_KGPU_DMA_BUF_DESC *desc = att->dmabuf->priv;
	struct vyr_dma_attach *a = att->priv;

	if (a && a->dir != DMA_NONE)
		vyr_dma_attach_unmap(att->dev, a, desc->u64Addr, desc->u64Size, desc->u32PlaneNum);
}

static void kgpu_dmabuf_release(struct dma_buf *buf)
{
	_kgpu_export_free(buf->priv);
}

static int kgpu_dmabuf_mmap(struct dma_buf *buf, struct vm_area_struct *vma)
{
	ST_KGPU_DMA_BUF_DESC *desc = buf->priv;
	unsigned long addr = vma->vm_start;
	u64 skip = (u64)vma->vm_pgoff << PAGE_SHIFT;
	u32 i;
	int ret;

	vma->vm_page_prot = pgprot_device(vma->vm_page_prot);
	for (i = 0; i < desc->u32PlaneNum && addr < vma->vm_end; i++) {
		u64 plane = PAGE_ALIGN(desc->u64Size[i]);
		u64 len;

		if (skip >= plane) {
			skip -= plane;
			continue;
		}
		len = min_t(u64, plane - skip, vma->vm_end - addr);
		ret = remap_pfn_range(vma, addr, PHYS_PFN(desc->u64Addr[i] + skip), len,
				      vma->vm_page_prot);
		if (ret) {
			printk_ratelimited(KERN_ERR "%s: remap_pfn_range() Fail !!!!\n", __func__);
			return ret;
		}
		addr += len;
		skip = 0;
	}
	return 0;
}

#if VYR_DMA_BUF_HAS_KMAP
static void *kgpu_dmabuf_kmap(struct dma_buf *buf, unsigned long page_num)
{
	ST_KGPU_DMA_BUF_DESC *desc = buf->priv;
	unsigned long n = page_num;
	u32 i;

	for (i = 0; i < desc->u32PlaneNum; i++) {
		unsigned long pages = PFN_UP(desc->u64Size[i]);

		if (n < pages) {
			unsigned long pfn = PHYS_PFN(desc->u64Addr[i]) + n;
			struct page *pg;

			/* A raw range may name registers: no page to map. */
			if (!pfn_valid(pfn))
				return NULL;
			pg = pfn_to_page(pfn);
			return vmap(&pg, 1, VM_MAP, pgprot_noncached(PAGE_KERNEL));
		}
		n -= pages;
	}
	printk(KERN_ERR "%s(%ld) but dmabuf pages = [0x%lX, 0x%lX, 0x%lX]\n", __func__,
	       page_num, (unsigned long)PFN_UP(desc->u64Size[0]),
	       (unsigned long)PFN_UP(desc->u64Size[1]), (unsigned long)PFN_UP(desc->u64Size[2]));
	return NULL;
}

static void kgpu_dmabuf_kunmap(struct dma_buf *buf, unsigned long page_num, void *addr)
{
	if (addr)
		vunmap(addr);
}
#endif

static VYR_DMA_BUF_VMAP_RET kgpu_dmabuf_vmap(struct dma_buf *buf VYR_DMA_BUF_VMAP_ARG)
{
	printk(KERN_WARNING "%s() Warning!!!!!!!!  need implement !!!!!!!!!!! \n", __func__);
	VYR_DMA_BUF_VMAP_RETURN(NULL);
}

static const struct dma_buf_ops g_kgpu_dmabuf_ops = {
	.attach = kgpu_dmabuf_attach,
	.detach = kgpu_dmabuf_detach,
	.map_dma_buf = kgpu_dmabuf_map,
	.unmap_dma_buf = kgpu_dmabuf_unmap,
	.release = kgpu_dmabuf_release,
	.mmap = kgpu_dmabuf_mmap,
#if VYR_DMA_BUF_HAS_KMAP
	.map = kgpu_dmabuf_kmap,
	.unmap = kgpu_dmabuf_kunmap,
#endif
	.vmap = kgpu_dmabuf_vmap,
};

/*
 * Each plane must lie in an allocation made through @filp, which the dma-buf
 * then keeps; only an opener with raw I/O access exports other ranges.
 */
int kgpu_dma_buf_fd(struct file *filp, ST_KGPU_DMA_BUF_DESC *pstDesc, int flags)
{
	DEFINE_DMA_BUF_EXPORT_INFO(info);
	ST_KGPU_EXPORT *exp;
	ST_KGPU_DMA_BUF_DESC *desc;
	struct dma_buf *buf;
	u64 size = 0;
	u32 i;
	int fd;

	if (!pstDesc) {
		printk(KERN_ERR "%s( buf = NULL )\n", __func__);
		return -EFAULT;
	}
	exp = kzalloc(sizeof(*exp), GFP_KERNEL);
	if (!exp)
		return -ENOMEM;
	desc = &exp->stDesc;
	desc->u32PlaneNum = min_t(u32, pstDesc->u32PlaneNum, KGPU_BUF_PLANES);
	for (i = 0; i < desc->u32PlaneNum; i++) {
		int ret = kgpu_mem_get(filp, pstDesc->u64Addr[i], pstDesc->u64Size[i],
				       &exp->apRec[i]);

		if (ret == -EPERM)
			ret = vyr_perm_rawio(filp);
		if (ret) {
			_kgpu_export_free(exp);
			return ret;
		}
		desc->u64Addr[i] = pstDesc->u64Addr[i];
		desc->u64Size[i] = pstDesc->u64Size[i];
		size += desc->u64Size[i];
	}
	info.ops = &g_kgpu_dmabuf_ops;
	info.size = size;
	info.flags = flags;
	info.priv = exp;
	buf = dma_buf_export(&info);
	if (IS_ERR(buf)) {
		printk_ratelimited(KERN_ERR "%s()  dma_buf_export fail !!!!\n", __func__);
		_kgpu_export_free(exp);
		return PTR_ERR(buf);
	}
	fd = dma_buf_fd(buf, flags);
	if (fd < 0) {
		printk_ratelimited(KERN_ERR "%s()  dma_buf_fd() = %d, fail !!!!\n", __func__, fd);
		dma_buf_put(buf);	/* its release frees the record */
		return fd;
	}
	return fd;
}

int kgpu_dma_buf_phys(struct file *filp, int fd, ST_KGPU_DMA_BUF_DESC *pstDesc)
{
	struct dma_buf *buf;
	struct dma_buf_attachment *att;
	struct sg_table *sgt;
	int ret = 0;

	if (!filp || !pstDesc) {
		printk(KERN_ERR "%s() filp = %p, buf = %p\n", __func__, filp, pstDesc);
		return -ENOENT;
	}
	if (!filp->private_data) {
		printk(KERN_ERR "%s() pstfile = NULL \n", __func__);
		return -ENXIO;
	}
	buf = dma_buf_get(fd);
	if (IS_ERR_OR_NULL(buf)) {
		printk_ratelimited(KERN_ERR "dma_buf_get(%d) error !!!!!! \n", fd);
		return -EINVAL;
	}
	att = dma_buf_attach(buf, g_KerGpuCtx.pDevice);
	if (IS_ERR_OR_NULL(att)) {
		printk_ratelimited(KERN_ERR "dma_buf_attach(%p) from fd(%d) error !!!!!! \n",
				   buf, fd);
		dma_buf_put(buf);
		return -EINVAL;
	}
	sgt = dma_buf_map_attachment_unlocked(att, DMA_BIDIRECTIONAL);
	if (IS_ERR_OR_NULL(sgt)) {
		printk_ratelimited(KERN_ERR "dma_buf_map_attachment(%p) from fd(%d) error !!!!!! \n",
				   att, fd);
		ret = -EINVAL;
		goto detach;
	}
	if (sgt->nents != 1) {
		printk_ratelimited(KERN_ERR "dma_buf_attach(%p) from fd(%d) error !!!!!! \n",
				   buf, fd);
		ret = -EINVAL;
	} else {
		memset(pstDesc, 0, sizeof(*pstDesc));
		pstDesc->u32PlaneNum = 1;
		pstDesc->u64Addr[0] = sg_dma_address(sgt->sgl);
		pstDesc->u64Size[0] = sg_dma_len(sgt->sgl);
	}
	dma_buf_unmap_attachment_unlocked(att, sgt, DMA_BIDIRECTIONAL);
detach:
	dma_buf_detach(buf, att);
	dma_buf_put(buf);
	return ret;
}

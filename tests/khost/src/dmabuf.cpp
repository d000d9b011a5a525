// Host kernel: DMA mapping, scatter-gather, descriptors, dma-fence,
// sync_file and dma-buf.
#include "internal.hpp"

#include <algorithm>
#include <map>
#include <mutex>
#include <atomic>
#include <cstring>

extern "C" {
#include "khost/dmabuf.h"
}

using namespace khost::detail;

namespace {

std::mutex fd_lock;
int fd_install_count;	// under fd_lock
std::map<int, struct file *> fd_table;	// nullptr: reserved, not installed
int next_fd = 100;

struct FileExtra {
	std::string what;
};

std::atomic<u64> fence_contexts{1};

int dmabuf_file_release(struct inode *, struct file *f)
{
	auto *d = static_cast<struct dma_buf *>(f->private_data);
	if (!list_empty(&d->attachments))
		fault("dma-buf released with attachments left");
	if (d->vmapping_counter)
		fault("dma-buf released while still vmapped");
	d->ops->release(d);
	struct module *owner = d->owner;
	untrack("dma-buf", d);
	kfree(d);
	module_put(owner);
	return 0;
}

int dmabuf_file_mmap(struct file *f, struct vm_area_struct *vma)
{
	auto *d = static_cast<struct dma_buf *>(f->private_data);
	if (!d->ops->mmap)
		return -EINVAL;
	if (vma->vm_pgoff + vma_pages(vma) > d->size >> PAGE_SHIFT)
		return -EINVAL;
	return d->ops->mmap(d, vma);
}

const struct file_operations dmabuf_fops = [] {
	struct file_operations f = {};
	f.release = dmabuf_file_release;
	f.mmap = dmabuf_file_mmap;
	return f;
}();

int sync_file_release(struct inode *, struct file *f)
{
	auto *s = static_cast<struct sync_file *>(f->private_data);
	dma_fence_put(s->fence);
	kfree(s);
	return 0;
}

const struct file_operations sync_file_fops = [] {
	struct file_operations f = {};
	f.release = sync_file_release;
	return f;
}();

} // namespace

namespace khost {

struct file *fd_file(int fd)
{
	std::lock_guard<std::mutex> g(fd_lock);
	auto it = fd_table.find(fd);
	return it == fd_table.end() ? nullptr : it->second;
}

int close_fd(int fd) { return ::close_fd((unsigned)fd); }

int fd_installs()
{
	std::lock_guard<std::mutex> g(fd_lock);
	return fd_install_count;
}

} // namespace khost

extern "C" {

/* ---- DMA mapping ---- */

namespace {
// Contiguous-memory pools of the device tree: a device whose pool was set up
// (device_init) allocates from it, first fit.
struct Pool {
	struct reserved_mem rmem;
	std::map<phys_addr_t, size_t> used;	// start -> bytes
};
std::mutex pool_lock;
// The regions, as the kernel keeps them from boot on (never freed).
std::map<struct device_node *, Pool> &pools = *new std::map<struct device_node *, Pool>();
std::map<struct device *, Pool *> pool_of_dev;

int pool_device_init(struct reserved_mem *rmem, struct device *dev)
{
	std::lock_guard<std::mutex> g(pool_lock);
	pool_of_dev[dev] = static_cast<Pool *>(rmem->priv);
	return 0;
}
void pool_device_release(struct reserved_mem *rmem, struct device *dev)
{
	(void)rmem;
	std::lock_guard<std::mutex> g(pool_lock);
	pool_of_dev.erase(dev);
}
const struct reserved_mem_ops pool_ops = {pool_device_init, pool_device_release};

// A block of the device's pool, or 0 (no pool: -1).
phys_addr_t pool_alloc(struct device *dev, size_t size)
{
	std::lock_guard<std::mutex> g(pool_lock);
	auto it = pool_of_dev.find(dev);
	if (it == pool_of_dev.end())
		return (phys_addr_t)-1;
	Pool *p = it->second;
	size = (size + PAGE_SIZE - 1) & PAGE_MASK;
	phys_addr_t at = p->rmem.base;
	for (auto &[start, len] : p->used) {
		if (start - at >= size)
			break;
		at = start + len;
	}
	if (at + size > p->rmem.base + p->rmem.size)
		return 0;
	p->used[at] = size;
	return at;
}
bool pool_free(phys_addr_t addr)
{
	std::lock_guard<std::mutex> g(pool_lock);
	for (auto &[np, p] : pools)
		if (p.used.erase(addr))
			return true;
	return false;
}
}

struct reserved_mem *of_reserved_mem_lookup(struct device_node *np)
{
	struct resource r;
	if (!np || of_address_to_resource(np, 0, &r))
		return nullptr;
	std::lock_guard<std::mutex> g(pool_lock);
	bool fresh = !pools.count(np);
	Pool *p = &pools[np];
	if (fresh) {
		p->rmem.name = np->name;
		p->rmem.base = r.start;
		p->rmem.size = resource_size(&r);
		p->rmem.priv = p;
		if (of_property_read_bool(np, "reusable") && of_device_is_compatible(np, "shared-dma-pool"))
			p->rmem.ops = &pool_ops;
	}
	return &p->rmem;
}

void *dma_alloc_coherent(struct device *dev, size_t size, dma_addr_t *handle, gfp_t gfp)
{
	if (!(gfp & (GFP_ATOMIC | GFP_NOWAIT)))
		khost_might_sleep("dma_alloc_coherent");
	phys_addr_t p = pool_alloc(dev, size);
	// Without a pool, from the zone the device's coherent mask reaches.
	if (p == (phys_addr_t)-1)
		p = dev && dev->coherent_dma_mask && dev->coherent_dma_mask <= 0xFFFFFFFFull ?
			    khost::detail::low_alloc(size) : khost::phys_alloc(size);
	void *cpu = p ? khost::phys_ptr(p) : nullptr;
	if (!cpu)
		return nullptr;
	memset(cpu, 0, size);
	*handle = p;
	track("dma coherent", cpu, "coherent buffer of " + std::to_string(size) + " bytes not freed");
	return cpu;
}

void dma_free_coherent(struct device *dev, size_t size, void *cpu, dma_addr_t handle)
{
	(void)dev;
	if (!cpu)
		return;
	if (khost::phys_ptr(handle) != cpu || !untrack("dma coherent", cpu)) {
		fault("dma_free_coherent of a buffer not from dma_alloc_coherent");
		return;
	}
	pool_free(handle);
	khost::detail::phys_freed(handle, size);
}

namespace {
// A streaming mapping the device reads and writes elsewhere than the memory:
// linear-map memory outside the arena (kmalloc), which the simulated engines
// cannot read, and memory beyond the device's DMA mask, which swiotlb bounces
// through its pool below 4 GiB (kernel/dma/direct.h, kernel/dma/swiotlb.c).
// Filled at map time whatever the direction, as swiotlb does; copied by the
// syncs and at unmap time as their directions say.
struct Bounce {
	void *cpu;
	size_t size;
	enum dma_data_direction dir;
};
std::mutex bounce_lock;
std::map<dma_addr_t, Bounce> bounces;
bool in_arena(const void *p) { return khost_virt_addr_valid(p) && !khost_in_kmalloc(p); }

// swiotlb's largest mapping: one segment of 128 slots of 2 KiB.
constexpr size_t kSwiotlbMax = 128 * 2048;

bool beyond_mask(struct device *dev, dma_addr_t a, size_t size)
{
	return dev && dev->dma_mask && a + size - 1 > *dev->dma_mask;
}

dma_addr_t bounce_map(void *cpu, size_t size, enum dma_data_direction dir, bool low)
{
	dma_addr_t a = low ? khost::detail::low_alloc(size) : khost::phys_alloc(size);
	if (!a)
		return 0;
	memcpy(khost::phys_ptr(a), cpu, size);
	std::lock_guard<std::mutex> g(bounce_lock);
	bounces[a] = {cpu, size, dir};
	return a;
}
}

// Live streaming mappings (bus address -> size and a token of their own, as
// a page may be mapped more than once): a sync must fall inside one, as
// DMA-API debugging checks.
namespace {
struct Streaming {
	size_t size;
	char *token;
};
std::mutex streaming_lock;
std::multimap<dma_addr_t, Streaming> streaming;
}

static void streaming_add(dma_addr_t a, size_t size)
{
	auto *token = new char;
	track("dma mapping", token, "streaming mapping not unmapped");
	std::lock_guard<std::mutex> g(streaming_lock);
	streaming.emplace(a, Streaming{size, token});
}

static void streaming_sync(const char *what, dma_addr_t a, size_t size)
{
	{
		std::lock_guard<std::mutex> g(streaming_lock);
		for (auto &m : streaming)
			if (a >= m.first && a - m.first <= m.second.size &&
			    size <= m.second.size - (a - m.first))
				return;
	}
	fault(std::string(what) + " of memory that is not mapped for DMA");
}

dma_addr_t dma_map_single(struct device *dev, void *ptr, size_t size, enum dma_data_direction dir)
{
	(void)dev;
	if (!virt_addr_valid(ptr) || !virt_addr_valid((char *)ptr + size - 1)) {
		/* As DMA-API debugging reports a vmalloc or stack address. */
		fault("dma_map_single of memory outside the linear map");
		return 0;
	}
	if (in_arena(ptr))
		return dma_map_page(dev, virt_to_page(ptr), offset_in_page(ptr), size, dir);
	dma_addr_t a = bounce_map(ptr, size, dir, false);
	if (a)
		streaming_add(a, size);
	return a;
}

void dma_unmap_single(struct device *dev, dma_addr_t addr, size_t size, enum dma_data_direction dir)
{
	(void)dev;
	(void)size;
	(void)dir;
	char *token = nullptr;
	{
		std::lock_guard<std::mutex> g(streaming_lock);
		auto it = streaming.find(addr);
		if (it != streaming.end()) {
			token = it->second.token;
			streaming.erase(it);
		}
	}
	if (!token || !untrack("dma mapping", token)) {
		fault("dma_unmap of an address not mapped");
		return;
	}
	delete token;
	std::lock_guard<std::mutex> g(bounce_lock);
	auto it = bounces.find(addr);
	if (it == bounces.end())
		return;
	if (it->second.dir == DMA_FROM_DEVICE || it->second.dir == DMA_BIDIRECTIONAL)
		memcpy(it->second.cpu, khost::phys_ptr(addr), it->second.size);
	bounces.erase(it);
}

namespace {
std::mutex resource_lock;
std::map<dma_addr_t, int> resource_maps;	// bus address -> live mappings
}

dma_addr_t dma_map_resource(struct device *dev, phys_addr_t phys, size_t size,
			    enum dma_data_direction dir, unsigned long attrs)
{
	(void)attrs;
	if (!dev || dir == DMA_NONE || !size) {
		fault("dma_map_resource without a device, a direction or a size");
		return 0;
	}
	std::lock_guard<std::mutex> g(resource_lock);
	if (!resource_maps[phys]++)
		track("dma resource mapping", (void *)(uintptr_t)phys, "resource mapping not unmapped");
	return phys;
}

void dma_unmap_resource(struct device *dev, dma_addr_t addr, size_t size,
			enum dma_data_direction dir, unsigned long attrs)
{
	(void)dev;
	(void)size;
	(void)dir;
	(void)attrs;
	std::lock_guard<std::mutex> g(resource_lock);
	auto it = resource_maps.find(addr);
	if (it == resource_maps.end()) {
		fault("dma_unmap_resource of an address not mapped");
		return;
	}
	if (!--it->second) {
		resource_maps.erase(it);
		untrack("dma resource mapping", (void *)(uintptr_t)addr);
	}
}

dma_addr_t dma_map_page(struct device *dev, struct page *page, size_t offset, size_t size, enum dma_data_direction dir)
{
	dma_addr_t a = page_to_phys(page) + offset;
	if (khost_in_nomap(a)) {
		fault("dma_map_page of memory without a linear mapping (reserved no-map)");
		return 0;
	}
	if (beyond_mask(dev, a, size)) {
		// What swiotlb cannot hold in one segment fails ("buffer is full").
		a = size <= kSwiotlbMax ? bounce_map(khost::phys_ptr(a), size, dir, true) : 0;
		if (!a)
			return 0;
	}
	streaming_add(a, size);
	return a;
}

void dma_unmap_page(struct device *dev, dma_addr_t addr, size_t size, enum dma_data_direction dir)
{
	dma_unmap_single(dev, addr, size, dir);
}

// A sync of a bounced mapping moves the bytes as the bounce buffer's owner
// does: to the device's copy before it reads, back after it wrote.
static void bounce_sync(dma_addr_t a, size_t size, bool for_device, enum dma_data_direction dir)
{
	std::lock_guard<std::mutex> g(bounce_lock);
	auto it = bounces.upper_bound(a);
	if (it == bounces.begin())
		return;
	--it;
	size_t off = a - it->first;
	if (off >= it->second.size || size > it->second.size - off)
		return;
	char *cpu = (char *)it->second.cpu + off, *dev = (char *)khost::phys_ptr(a);
	if (for_device && (dir == DMA_TO_DEVICE || dir == DMA_BIDIRECTIONAL))
		memcpy(dev, cpu, size);
	else if (!for_device && (dir == DMA_FROM_DEVICE || dir == DMA_BIDIRECTIONAL))
		memcpy(cpu, dev, size);
}

void dma_sync_single_for_cpu(struct device *, dma_addr_t a, size_t size, enum dma_data_direction dir)
{
	streaming_sync("dma_sync_single_for_cpu", a, size);
	bounce_sync(a, size, false, dir);
}

void dma_sync_single_for_device(struct device *, dma_addr_t a, size_t size, enum dma_data_direction dir)
{
	streaming_sync("dma_sync_single_for_device", a, size);
	bounce_sync(a, size, true, dir);
}

int dma_mmap_coherent(struct device *dev, struct vm_area_struct *vma, void *cpu, dma_addr_t handle, size_t size)
{
	(void)dev;
	unsigned long count = PAGE_ALIGN(size) >> PAGE_SHIFT, user = vma_pages(vma);
	if (khost::phys_ptr(handle) != cpu || !tracked("dma coherent", cpu)) {
		fault("dma_mmap_coherent of a buffer not from dma_alloc_coherent");
		return -ENXIO;
	}
	vma->vm_page_prot = pgprot_dmacoherent(vma->vm_page_prot);
	if (vma->vm_pgoff >= count || user > count - vma->vm_pgoff)
		return -ENXIO;
	return remap_pfn_range(vma, vma->vm_start, PHYS_PFN(handle) + vma->vm_pgoff, user << PAGE_SHIFT,
			       vma->vm_page_prot);
}

/* ---- scatter-gather ---- */

int sg_alloc_table(struct sg_table *t, unsigned int nents, gfp_t gfp)
{
	memset(t, 0, sizeof(*t));
	if (!nents)
		return -EINVAL;
	t->sgl = (struct scatterlist *)kcalloc(nents, sizeof(struct scatterlist), gfp);
	if (!t->sgl)
		return -ENOMEM;
	t->sgl[nents - 1].end = true;
	t->nents = t->orig_nents = nents;
	return 0;
}

void sg_free_table(struct sg_table *t)
{
	kfree(t->sgl);
	t->sgl = nullptr;
	t->nents = t->orig_nents = 0;
}

int dma_map_sg(struct device *dev, struct scatterlist *sg, int nents, enum dma_data_direction dir)
{
	(void)dev;
	(void)dir;
	for (int i = 0; i < nents; i++, sg = sg_next(sg)) {
		sg->dma_address = sg_phys(sg);
		sg->dma_length = sg->length;
	}
	return nents;
}

void dma_unmap_sg(struct device *, struct scatterlist *, int, enum dma_data_direction) {}

/*
 * A sync walks the entries as the kernel does: its DMA-API debugging takes
 * each entry's page frame (page_to_pfn(sg_page()), which dereferences a
 * missing page on a kernel without a virtual memory map), and cache
 * maintenance on a non-coherent device works on the linear address of the
 * memory, which memory without pages (no-map) does not have. An entry
 * without a page, as exporters of such memory make them, is a fault.
 */
static void sync_sg(const char *what, struct scatterlist *sg, int nents)
{
	for (int i = 0; i < nents && sg; i++, sg = sg_next(sg))
		if (!sg_page(sg)) {
			fault(std::string(what) + " over an entry without a page");
			return;
		}
}

void dma_sync_sg_for_cpu(struct device *, struct scatterlist *sg, int nents, enum dma_data_direction)
{
	sync_sg("dma_sync_sg_for_cpu", sg, nents);
}

void dma_sync_sg_for_device(struct device *, struct scatterlist *sg, int nents, enum dma_data_direction)
{
	sync_sg("dma_sync_sg_for_device", sg, nents);
}

int dma_map_sgtable(struct device *dev, struct sg_table *t, enum dma_data_direction dir, unsigned long attrs)
{
	(void)attrs;
	t->nents = (unsigned)dma_map_sg(dev, t->sgl, (int)t->orig_nents, dir);
	return 0;
}

void dma_unmap_sgtable(struct device *, struct sg_table *, enum dma_data_direction, unsigned long) {}

/* ---- descriptors ---- */

/* The access mode of a file opened with these flags (the kernel's OPEN_FMODE). */
static fmode_t open_fmode(int flags)
{
	return (fmode_t)(((unsigned)flags + 1) & O_ACCMODE);	/* wraps, as the kernel builds it */
}

struct file *khost_file_create(const struct file_operations *fops, void *private_data, const char *what)
{
	auto *f = new file();
	f->f_op = fops;
	f->private_data = private_data;
	f->f_inode = new inode();
	f->f_cred = khost_current_cred();
	refcount_set(&f->khost_refs, 1);
	f->khost = new FileExtra{what};
	track("file", f, std::string(what) + " file still referenced");
	return f;
}

struct file *get_file(struct file *f)
{
	refcount_inc(&f->khost_refs);
	return f;
}

void fput(struct file *f)
{
	if (!f)
		return;
	if (!refcount_dec_and_test(&f->khost_refs))
		return;
	if (f->f_op->release)
		f->f_op->release(f->f_inode, f);
	untrack("file", f);
	delete static_cast<FileExtra *>(f->khost);
	delete f->f_inode;
	delete f;
}

int get_unused_fd_flags(unsigned int flags)
{
	(void)flags;
	std::lock_guard<std::mutex> g(fd_lock);
	int fd = next_fd++;
	fd_table[fd] = nullptr;
	track("fd", (void *)(uintptr_t)fd, "descriptor " + std::to_string(fd) + " reserved or open");
	return fd;
}

void put_unused_fd(unsigned int fd)
{
	std::lock_guard<std::mutex> g(fd_lock);
	auto it = fd_table.find((int)fd);
	if (it == fd_table.end() || it->second) {
		fault("put_unused_fd of a descriptor not reserved");
		return;
	}
	fd_table.erase(it);
	untrack("fd", (void *)(uintptr_t)fd);
}

void fd_install(unsigned int fd, struct file *file)
{
	std::lock_guard<std::mutex> g(fd_lock);
	auto it = fd_table.find((int)fd);
	if (it == fd_table.end() || it->second) {
		fault("fd_install on a descriptor not reserved");
		return;
	}
	it->second = file;
	fd_install_count++;
}

struct file *fget(unsigned int fd)
{
	std::lock_guard<std::mutex> g(fd_lock);
	auto it = fd_table.find((int)fd);
	if (it == fd_table.end() || !it->second)
		return nullptr;
	return get_file(it->second);
}

int close_fd(unsigned int fd)
{
	struct file *f;
	{
		std::lock_guard<std::mutex> g(fd_lock);
		auto it = fd_table.find((int)fd);
		if (it == fd_table.end() || !it->second)
			return -EBADF;
		f = it->second;
		fd_table.erase(it);
	}
	untrack("fd", (void *)(uintptr_t)fd);
	fput(f);
	return 0;
}

/* ---- dma-fence ---- */

void dma_fence_init(struct dma_fence *fence, const struct dma_fence_ops *ops, spinlock_t *lock, u64 context, u64 seqno)
{
	memset(fence, 0, sizeof(*fence));
	fence->ops = ops;
	fence->lock = lock;
	fence->context = context;
	fence->seqno = seqno;
	INIT_LIST_HEAD(&fence->cb_list);
	refcount_set(&fence->refcount, 1);
	track("dma-fence", fence, "fence reference not put");
}

u64 dma_fence_context_alloc(unsigned num) { return fence_contexts.fetch_add(num); }

struct dma_fence *dma_fence_get(struct dma_fence *fence)
{
	if (fence)
		refcount_inc(&fence->refcount);
	return fence;
}

void dma_fence_free(struct dma_fence *fence) { kfree(fence); }

void dma_fence_put(struct dma_fence *fence)
{
	if (!fence || !refcount_dec_and_test(&fence->refcount))
		return;
	if (!list_empty(&fence->cb_list) && !test_bit(DMA_FENCE_FLAG_SIGNALED_BIT, &fence->flags))
		fault("fence released with callbacks still waiting");
	untrack("dma-fence", fence);
	if (fence->ops->release)
		fence->ops->release(fence);
	else
		dma_fence_free(fence);
}

int dma_fence_signal_locked(struct dma_fence *fence)
{
	if (test_and_set_bit(DMA_FENCE_FLAG_SIGNALED_BIT, &fence->flags))
		return -EINVAL;
	fence->timestamp = ktime_get();
	set_bit(DMA_FENCE_FLAG_TIMESTAMP_BIT, &fence->flags);
	struct list_head cbs;
	/* the callbacks run with the fence lock held, as in the kernel */
	cbs.next = fence->cb_list.next;
	cbs.prev = fence->cb_list.prev;
	if (list_empty(&fence->cb_list)) {
		INIT_LIST_HEAD(&cbs);
	} else {
		cbs.next->prev = &cbs;
		cbs.prev->next = &cbs;
	}
	INIT_LIST_HEAD(&fence->cb_list);
	struct list_head *pos, *n;
	list_for_each_safe(pos, n, &cbs) {
		struct dma_fence_cb *cb = list_entry(pos, struct dma_fence_cb, node);
		INIT_LIST_HEAD(&cb->node);
		cb->func(fence, cb);
	}
	std::lock_guard<std::mutex> g(g_lock);
	g_cv.notify_all();
	return 0;
}

int dma_fence_signal(struct dma_fence *fence)
{
	if (!fence)
		return -EINVAL;
	unsigned long flags = khost_spin_lock_irqsave(fence->lock);
	int r = dma_fence_signal_locked(fence);
	spin_unlock_irqrestore(fence->lock, flags);
	return r;
}

bool dma_fence_is_signaled(struct dma_fence *fence)
{
	if (test_bit(DMA_FENCE_FLAG_SIGNALED_BIT, &fence->flags))
		return true;
	if (fence->ops->signaled && fence->ops->signaled(fence)) {
		dma_fence_signal(fence);
		return true;
	}
	return false;
}

static bool enable_signaling_locked(struct dma_fence *fence)
{
	if (!test_and_set_bit(DMA_FENCE_FLAG_ENABLE_SIGNAL_BIT, &fence->flags) &&
	    !test_bit(DMA_FENCE_FLAG_SIGNALED_BIT, &fence->flags) && fence->ops->enable_signaling) {
		if (!fence->ops->enable_signaling(fence)) {
			dma_fence_signal_locked(fence);
			return false;
		}
	}
	return !test_bit(DMA_FENCE_FLAG_SIGNALED_BIT, &fence->flags);
}

void dma_fence_enable_sw_signaling(struct dma_fence *fence)
{
	unsigned long flags = khost_spin_lock_irqsave(fence->lock);
	enable_signaling_locked(fence);
	spin_unlock_irqrestore(fence->lock, flags);
}

int dma_fence_add_callback(struct dma_fence *fence, struct dma_fence_cb *cb, dma_fence_func_t func)
{
	if (test_bit(DMA_FENCE_FLAG_SIGNALED_BIT, &fence->flags)) {
		INIT_LIST_HEAD(&cb->node);
		return -ENOENT;
	}
	unsigned long flags = khost_spin_lock_irqsave(fence->lock);
	int r = 0;
	if (enable_signaling_locked(fence)) {
		cb->func = func;
		list_add_tail(&cb->node, &fence->cb_list);
	} else {
		INIT_LIST_HEAD(&cb->node);
		r = -ENOENT;
	}
	spin_unlock_irqrestore(fence->lock, flags);
	return r;
}

bool dma_fence_remove_callback(struct dma_fence *fence, struct dma_fence_cb *cb)
{
	unsigned long flags = khost_spin_lock_irqsave(fence->lock);
	bool was = !list_empty(&cb->node);
	if (was)
		list_del_init(&cb->node);
	spin_unlock_irqrestore(fence->lock, flags);
	return was;
}

signed long dma_fence_wait_timeout(struct dma_fence *fence, bool intr, signed long timeout)
{
	khost_might_sleep("dma_fence_wait");
	if (fence->ops->wait)
		return fence->ops->wait(fence, intr, timeout);
	dma_fence_enable_sw_signaling(fence);
	long long dl = khost_deadline_after(timeout);
	for (;;) {
		if (dma_fence_is_signaled(fence))
			return timeout ? std::max(1L, khost_jiffies_left(dl)) : 1;
		std::unique_lock<std::mutex> lk(g_lock);
		if (intr && signal_pending(khost_current()))
			return -ERESTARTSYS;
		if (dl >= 0) {
			long long left = dl - now_ns();
			if (left <= 0)
				return 0;
			g_cv.wait_for(lk, std::chrono::nanoseconds(std::min(left, 1000000LL)));
		} else {
			g_cv.wait_for(lk, std::chrono::milliseconds(1));
		}
	}
}

/* ---- sync_file ---- */

struct sync_file *sync_file_create(struct dma_fence *fence)
{
	auto *s = (struct sync_file *)kzalloc(sizeof(struct sync_file), GFP_KERNEL);
	if (!s)
		return nullptr;
	s->fence = dma_fence_get(fence);
	s->file = khost_file_create(&sync_file_fops, s, "sync_file");
	return s;
}

struct dma_fence *sync_file_get_fence(int fd)
{
	struct file *f = fget((unsigned)fd);
	if (!f)
		return nullptr;
	struct dma_fence *fence = nullptr;
	if (f->f_op == &sync_file_fops)
		fence = dma_fence_get(static_cast<struct sync_file *>(f->private_data)->fence);
	fput(f);
	return fence;
}

/* ---- dma-buf ---- */

struct dma_buf *dma_buf_export(const struct dma_buf_export_info *info)
{
	if (!info->ops || !info->ops->map_dma_buf || !info->ops->unmap_dma_buf || !info->ops->release)
		return (struct dma_buf *)ERR_PTR(-EINVAL);
	if (!try_module_get(info->owner))
		return (struct dma_buf *)ERR_PTR(-ENOENT);
	auto *d = (struct dma_buf *)kzalloc(sizeof(struct dma_buf), GFP_KERNEL);
	if (!d) {
		module_put(info->owner);
		return (struct dma_buf *)ERR_PTR(-ENOMEM);
	}
	d->size = info->size;
	d->ops = info->ops;
	d->priv = info->priv;
	d->exp_name = info->exp_name;
	d->owner = info->owner;
	INIT_LIST_HEAD(&d->attachments);
	khost_mutex_init(&d->lock, "dma_buf.lock");
	d->file = khost_file_create(&dmabuf_fops, d, "dma-buf");
	d->file->f_mode = open_fmode(info->flags);	/* as dma_buf_getfile */
	track("dma-buf", d, std::string("dma-buf of ") + (info->exp_name ? info->exp_name : "?") + " not released");
	return d;
}

int dma_buf_fd(struct dma_buf *d, int flags)
{
	if (!d || !d->file)
		return -EINVAL;
	int fd = get_unused_fd_flags((unsigned)flags);
	fd_install((unsigned)fd, d->file);
	return fd;
}

struct dma_buf *dma_buf_get(int fd)
{
	struct file *f = fget((unsigned)fd);
	if (!f)
		return (struct dma_buf *)ERR_PTR(-EBADF);
	if (f->f_op != &dmabuf_fops) {
		fput(f);
		return (struct dma_buf *)ERR_PTR(-EINVAL);
	}
	return static_cast<struct dma_buf *>(f->private_data);
}

void dma_buf_put(struct dma_buf *d)
{
	if (!d || !d->file)
		return;
	fput(d->file);
}

struct dma_buf_attachment *dma_buf_attach(struct dma_buf *d, struct device *dev)
{
	if (!d || !dev)
		return (struct dma_buf_attachment *)ERR_PTR(-EINVAL);
	auto *a = (struct dma_buf_attachment *)kzalloc(sizeof(struct dma_buf_attachment), GFP_KERNEL);
	if (!a)
		return (struct dma_buf_attachment *)ERR_PTR(-ENOMEM);
	a->dev = dev;
	a->dmabuf = d;
	if (d->ops->attach) {
		int r = d->ops->attach(d, a);
		if (r) {
			kfree(a);
			return (struct dma_buf_attachment *)ERR_PTR(r);
		}
	}
	mutex_lock(&d->lock);
	list_add(&a->node, &d->attachments);
	mutex_unlock(&d->lock);
	return a;
}

void dma_buf_detach(struct dma_buf *d, struct dma_buf_attachment *a)
{
	if (WARN_ON(!d || !a))
		return;
	if (a->sgt)
		fault("dma_buf_detach with the attachment still mapped");
	mutex_lock(&d->lock);
	list_del(&a->node);
	mutex_unlock(&d->lock);
	if (d->ops->detach)
		d->ops->detach(d, a);
	kfree(a);
}

struct sg_table *dma_buf_map_attachment(struct dma_buf_attachment *a, enum dma_data_direction dir)
{
	khost_might_sleep("dma_buf_map_attachment");
	struct sg_table *t = a->dmabuf->ops->map_dma_buf(a, dir);
	if (!t)
		t = (struct sg_table *)ERR_PTR(-ENOMEM);
	if (!IS_ERR(t)) {
		a->sgt = t;
		a->dir = dir;
	}
	return t;
}

void dma_buf_unmap_attachment(struct dma_buf_attachment *a, struct sg_table *sgt, enum dma_data_direction dir)
{
	if (a->sgt != sgt)
		fault("dma_buf_unmap_attachment of a table not mapped on this attachment");
	a->dmabuf->ops->unmap_dma_buf(a, sgt, dir);
	a->sgt = nullptr;
}

int dma_buf_vmap(struct dma_buf *d, struct iosys_map *map)
{
	iosys_map_clear(map);
	if (!d->ops->vmap)
		return -EINVAL;
	mutex_lock(&d->lock);
	int r = 0;
	if (d->vmapping_counter) {
		d->vmapping_counter++;
		*map = d->vmap_ptr;
	} else {
		r = d->ops->vmap(d, map);
		if (!r) {
			d->vmap_ptr = *map;
			d->vmapping_counter = 1;
		}
	}
	mutex_unlock(&d->lock);
	return r;
}

void dma_buf_vunmap(struct dma_buf *d, struct iosys_map *map)
{
	mutex_lock(&d->lock);
	if (!d->vmapping_counter || map->vaddr != d->vmap_ptr.vaddr) {
		mutex_unlock(&d->lock);
		fault("dma_buf_vunmap of a mapping not made");
		return;
	}
	if (--d->vmapping_counter == 0) {
		if (d->ops->vunmap)
			d->ops->vunmap(d, map);
		iosys_map_clear(&d->vmap_ptr);
	}
	mutex_unlock(&d->lock);
}

int dma_buf_mmap(struct dma_buf *d, struct vm_area_struct *vma, unsigned long pgoff)
{
	if (!d || !vma || !d->ops->mmap)
		return -EINVAL;
	if (pgoff + vma_pages(vma) < pgoff || pgoff + vma_pages(vma) > d->size >> PAGE_SHIFT)
		return -EINVAL;
	vma->vm_pgoff = pgoff;
	return d->ops->mmap(d, vma);
}

int dma_buf_begin_cpu_access(struct dma_buf *d, enum dma_data_direction dir)
{
	return d->ops->begin_cpu_access ? d->ops->begin_cpu_access(d, dir) : 0;
}

int dma_buf_end_cpu_access(struct dma_buf *d, enum dma_data_direction dir)
{
	return d->ops->end_cpu_access ? d->ops->end_cpu_access(d, dir) : 0;
}

} // extern "C"

/* ---- files opened from the kernel ---- */

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct HostFile {
	int fd;
};

int hostfile_release(struct inode *, struct file *f)
{
	auto *h = static_cast<HostFile *>(f->private_data);
	::close(h->fd);
	delete h;
	return 0;
}

const struct file_operations hostfile_fops = [] {
	struct file_operations f = {};
	f.release = hostfile_release;
	return f;
}();
} // namespace

std::string khost::file_root()
{
	static std::string root = [] {
		char tmpl[] = "/tmp/khost-files-XXXXXX";
		const char *d = mkdtemp(tmpl);
		return std::string(d ? d : "/tmp");
	}();
	return root;
}

/* The folder stands for the root, as in a chroot: ".." at it stays there,
 * so no path a driver is handed leads out of it. */
namespace {
std::string host_path(const char *path)
{
	std::vector<std::string> parts;
	for (const char *p = path; *p;) {
		const char *end = strchrnul(p, '/');
		std::string part(p, end - p);
		if (part == "..") {
			if (!parts.empty())
				parts.pop_back();
		} else if (!part.empty() && part != ".") {
			parts.push_back(part);
		}
		p = *end ? end + 1 : end;
	}
	std::string host = khost::file_root();
	for (auto &part : parts)
		host += "/" + part;
	return host;
}
} // namespace

extern "C" {

struct file *filp_open(const char *path, int flags, umode_t mode)
{
	khost_might_sleep("filp_open");
	std::string host = host_path(path);
	for (size_t p = host.find('/', khost::file_root().size() + 1); p != std::string::npos; p = host.find('/', p + 1))
		::mkdir(host.substr(0, p).c_str(), 0755);
	int hflags = (flags & 3) | ((flags & O_CREAT) ? 0100 : 0) | ((flags & O_TRUNC) ? 01000 : 0) |
		     ((flags & O_APPEND) ? 02000 : 0);
	struct stat st;
	if ((flags & O_NOFOLLOW) && ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
		return (struct file *)ERR_PTR(-ELOOP);
	int fd = ::open(host.c_str(), hflags, mode);
	if (fd < 0)
		return (struct file *)ERR_PTR(-errno);
	struct file *f = khost_file_create(&hostfile_fops, new HostFile{fd}, "kernel-opened");
	f->f_mode = open_fmode(flags);
	return f;
}

int filp_close(struct file *f, void *id)
{
	(void)id;
	fput(f);
	return 0;
}

int vfs_fsync(struct file *f, int datasync)
{
	khost_might_sleep("vfs_fsync");
	int fd = static_cast<HostFile *>(f->private_data)->fd;
	return (datasync ? ::fdatasync(fd) : ::fsync(fd)) ? -errno : 0;
}

ssize_t kernel_write(struct file *f, const void *buf, size_t count, loff_t *pos)
{
	khost_might_sleep("kernel_write");
	ssize_t n = ::pwrite(static_cast<HostFile *>(f->private_data)->fd, buf, count, pos ? *pos : 0);
	if (n < 0)
		return -errno;
	if (pos)
		*pos += n;
	return n;
}

ssize_t kernel_read(struct file *f, void *buf, size_t count, loff_t *pos)
{
	khost_might_sleep("kernel_read");
	ssize_t n = ::pread(static_cast<HostFile *>(f->private_data)->fd, buf, count, pos ? *pos : 0);
	if (n < 0)
		return -errno;
	if (pos)
		*pos += n;
	return n;
}

} // extern "C"

/*
 * Host kernel: DMA mapping on the physical arena, scatter-gather tables,
 * descriptors, dma-buf, dma-fence and sync_file. Buffers and fences are
 * reference counted as in the kernel; the files behind them hold a
 * reference until their last descriptor is closed.
 */
#ifndef KHOST_DMABUF_H
#define KHOST_DMABUF_H

#include "dev.h"

#ifdef __cplusplus
extern "C" {
#endif

struct iosys_map {
	union {
		void __iomem *vaddr_iomem;
		void *vaddr;
	};
	bool is_iomem;
};
static inline void iosys_map_set_vaddr(struct iosys_map *m, void *vaddr)
{
	m->vaddr = vaddr;
	m->is_iomem = false;
}
static inline void iosys_map_clear(struct iosys_map *m)
{
	m->vaddr = NULL;
	m->is_iomem = false;
}
static inline bool iosys_map_is_null(const struct iosys_map *m) { return !m->vaddr; }

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- DMA mapping ---- */
enum dma_data_direction { DMA_BIDIRECTIONAL = 0, DMA_TO_DEVICE = 1, DMA_FROM_DEVICE = 2, DMA_NONE = 3 };
static inline int valid_dma_direction(enum dma_data_direction d)
{ return d == DMA_BIDIRECTIONAL || d == DMA_TO_DEVICE || d == DMA_FROM_DEVICE; }
void *dma_alloc_coherent(struct device *dev, size_t size, dma_addr_t *handle, gfp_t gfp);
void dma_free_coherent(struct device *dev, size_t size, void *cpu, dma_addr_t handle);
#define dma_alloc_wc dma_alloc_coherent
#define dma_free_wc dma_free_coherent
dma_addr_t dma_map_single(struct device *dev, void *ptr, size_t size, enum dma_data_direction dir);
void dma_unmap_single(struct device *dev, dma_addr_t addr, size_t size, enum dma_data_direction dir);
dma_addr_t dma_map_page(struct device *dev, struct page *page, size_t offset, size_t size,
			enum dma_data_direction dir);
void dma_unmap_page(struct device *dev, dma_addr_t addr, size_t size, enum dma_data_direction dir);
#define DMA_ATTR_SKIP_CPU_SYNC (1UL << 5)
static inline dma_addr_t dma_map_page_attrs(struct device *dev, struct page *page, size_t offset,
					    size_t size, enum dma_data_direction dir,
					    unsigned long attrs)
{
	(void)attrs;
	return dma_map_page(dev, page, offset, size, dir);
}
static inline void dma_unmap_page_attrs(struct device *dev, dma_addr_t addr, size_t size,
					enum dma_data_direction dir, unsigned long attrs)
{
	(void)attrs;
	dma_unmap_page(dev, addr, size, dir);
}
/* A device's view of memory without struct pages (reserved, I/O): the bus
 * address is the physical one; each mapping is held until unmapped. */
dma_addr_t dma_map_resource(struct device *dev, phys_addr_t phys, size_t size,
			    enum dma_data_direction dir, unsigned long attrs);
void dma_unmap_resource(struct device *dev, dma_addr_t addr, size_t size,
			enum dma_data_direction dir, unsigned long attrs);
static inline int dma_mapping_error(struct device *dev, dma_addr_t addr) { (void)dev; return addr == 0; }
static inline u64 dma_get_mask(struct device *dev)
{
	return dev->dma_mask && *dev->dma_mask ? *dev->dma_mask : 0xFFFFFFFFull;
}
void dma_sync_single_for_cpu(struct device *dev, dma_addr_t addr, size_t size, enum dma_data_direction dir);
void dma_sync_single_for_device(struct device *dev, dma_addr_t addr, size_t size, enum dma_data_direction dir);
struct vm_area_struct;
/* Maps a coherent buffer into user space from page vm_pgoff of the buffer on,
 * with the page attributes the DMA layer gives the device (write-combining:
 * the devices here are not cache-coherent). */
int dma_mmap_coherent(struct device *dev, struct vm_area_struct *vma, void *cpu, dma_addr_t handle, size_t size);

/* ---- scatter-gather ---- */
struct scatterlist {
	struct page *page;
	unsigned int offset;
	unsigned int length;
	dma_addr_t dma_address;
	unsigned int dma_length;
	bool end;
};
struct sg_table {
	struct scatterlist *sgl;
	unsigned int nents;
	unsigned int orig_nents;
};
int sg_alloc_table(struct sg_table *t, unsigned int nents, gfp_t gfp);
void sg_free_table(struct sg_table *t);
static inline struct scatterlist *sg_next(struct scatterlist *sg) { return sg->end ? NULL : sg + 1; }
#define for_each_sg(sglist, sg, nr, i) for ((i) = 0, (sg) = (sglist); (i) < (nr); (i)++, (sg) = sg_next(sg))
#define for_each_sgtable_sg(t, sg, i) for_each_sg((t)->sgl, sg, (t)->orig_nents, i)
#define for_each_sgtable_dma_sg(t, sg, i) for_each_sg((t)->sgl, sg, (t)->nents, i)
static inline void sg_set_page(struct scatterlist *sg, struct page *p, unsigned int len, unsigned int off)
{ sg->page = p; sg->offset = off; sg->length = len; }
static inline struct page *sg_page(struct scatterlist *sg) { return sg->page; }
static inline phys_addr_t sg_phys(struct scatterlist *sg) { return page_to_phys(sg->page) + sg->offset; }
static inline void *sg_virt(struct scatterlist *sg) { return (char *)page_address(sg->page) + sg->offset; }
#define sg_dma_address(sg) ((sg)->dma_address)
#define sg_dma_len(sg) ((sg)->dma_length)
int dma_map_sg(struct device *dev, struct scatterlist *sg, int nents, enum dma_data_direction dir);
void dma_unmap_sg(struct device *dev, struct scatterlist *sg, int nents, enum dma_data_direction dir);
void dma_sync_sg_for_cpu(struct device *dev, struct scatterlist *sg, int nents, enum dma_data_direction dir);
void dma_sync_sg_for_device(struct device *dev, struct scatterlist *sg, int nents, enum dma_data_direction dir);
int dma_map_sgtable(struct device *dev, struct sg_table *t, enum dma_data_direction dir, unsigned long attrs);
void dma_unmap_sgtable(struct device *dev, struct sg_table *t, enum dma_data_direction dir, unsigned long attrs);

/* ---- descriptors ---- */
int get_unused_fd_flags(unsigned int flags);
void put_unused_fd(unsigned int fd);
void fd_install(unsigned int fd, struct file *file);
struct file *fget(unsigned int fd);
void fput(struct file *file);
struct file *get_file(struct file *file);
int close_fd(unsigned int fd);
/* A file of the bed: fops->release runs when its last reference goes. */
struct file *khost_file_create(const struct file_operations *fops, void *private_data, const char *what);

/* ---- dma-fence ---- */
struct dma_fence;
struct dma_fence_cb;
typedef void (*dma_fence_func_t)(struct dma_fence *fence, struct dma_fence_cb *cb);
struct dma_fence_cb {
	struct list_head node;
	dma_fence_func_t func;
};
struct dma_fence_ops {
	bool use_64bit_seqno;
	const char *(*get_driver_name)(struct dma_fence *fence);
	const char *(*get_timeline_name)(struct dma_fence *fence);
	bool (*enable_signaling)(struct dma_fence *fence);
	bool (*signaled)(struct dma_fence *fence);
	signed long (*wait)(struct dma_fence *fence, bool intr, signed long timeout);
	void (*release)(struct dma_fence *fence);
};
struct dma_fence {
	spinlock_t *lock;
	const struct dma_fence_ops *ops;
	struct list_head cb_list;
	u64 context;
	u64 seqno;
	unsigned long flags;
	ktime_t timestamp;
	int error;
	refcount_t refcount;
	struct rcu_head rcu;
};
enum dma_fence_flag_bits {
	DMA_FENCE_FLAG_SIGNALED_BIT,
	DMA_FENCE_FLAG_TIMESTAMP_BIT,
	DMA_FENCE_FLAG_ENABLE_SIGNAL_BIT,
	DMA_FENCE_FLAG_USER_BITS,
};
void dma_fence_init(struct dma_fence *fence, const struct dma_fence_ops *ops, spinlock_t *lock,
		    u64 context, u64 seqno);
u64 dma_fence_context_alloc(unsigned num);
struct dma_fence *dma_fence_get(struct dma_fence *fence);
void dma_fence_put(struct dma_fence *fence);
int dma_fence_signal(struct dma_fence *fence);
int dma_fence_signal_locked(struct dma_fence *fence);
bool dma_fence_is_signaled(struct dma_fence *fence);
int dma_fence_add_callback(struct dma_fence *fence, struct dma_fence_cb *cb, dma_fence_func_t func);
bool dma_fence_remove_callback(struct dma_fence *fence, struct dma_fence_cb *cb);
signed long dma_fence_wait_timeout(struct dma_fence *fence, bool intr, signed long timeout);
static inline signed long dma_fence_wait(struct dma_fence *f, bool intr)
{ signed long r = dma_fence_wait_timeout(f, intr, MAX_SCHEDULE_TIMEOUT); return r < 0 ? r : 0; }
void dma_fence_enable_sw_signaling(struct dma_fence *fence);
void dma_fence_free(struct dma_fence *fence);
static inline void dma_fence_set_error(struct dma_fence *f, int error) { f->error = error; }

/* ---- sync_file ---- */
struct sync_file {
	struct file *file;
	struct dma_fence *fence;
	char user_name[32];
};
struct sync_file *sync_file_create(struct dma_fence *fence);
struct dma_fence *sync_file_get_fence(int fd);

/* ---- dma-buf ---- */
struct dma_buf;
struct dma_buf_attachment;
struct dma_buf_ops {
	bool cache_sgt_mapping;
	int (*attach)(struct dma_buf *, struct dma_buf_attachment *);
	void (*detach)(struct dma_buf *, struct dma_buf_attachment *);
	int (*pin)(struct dma_buf_attachment *attach);
	void (*unpin)(struct dma_buf_attachment *attach);
	struct sg_table *(*map_dma_buf)(struct dma_buf_attachment *, enum dma_data_direction);
	void (*unmap_dma_buf)(struct dma_buf_attachment *, struct sg_table *, enum dma_data_direction);
	void (*release)(struct dma_buf *);
	int (*begin_cpu_access)(struct dma_buf *, enum dma_data_direction);
	int (*end_cpu_access)(struct dma_buf *, enum dma_data_direction);
	int (*mmap)(struct dma_buf *, struct vm_area_struct *vma);
	int (*vmap)(struct dma_buf *dmabuf, struct iosys_map *map);
	void (*vunmap)(struct dma_buf *dmabuf, struct iosys_map *map);
};
struct dma_buf {
	size_t size;
	struct file *file;
	struct list_head attachments;
	const struct dma_buf_ops *ops;
	struct mutex lock;
	unsigned vmapping_counter;
	struct iosys_map vmap_ptr;
	const char *exp_name;
	const char *name;
	struct module *owner;
	void *priv;
};
struct dma_buf_attachment {
	struct dma_buf *dmabuf;
	struct device *dev;
	struct list_head node;
	struct sg_table *sgt;
	enum dma_data_direction dir;
	void *priv;
};
struct dma_buf_export_info {
	const char *exp_name;
	struct module *owner;
	const struct dma_buf_ops *ops;
	size_t size;
	int flags;
	struct dma_resv *resv;
	void *priv;
};
#define DEFINE_DMA_BUF_EXPORT_INFO(name) \
	struct dma_buf_export_info name = { .exp_name = KBUILD_MODNAME, .owner = THIS_MODULE }
struct dma_buf *dma_buf_export(const struct dma_buf_export_info *info);
int dma_buf_fd(struct dma_buf *dmabuf, int flags);
struct dma_buf *dma_buf_get(int fd);
void dma_buf_put(struct dma_buf *dmabuf);
static inline void get_dma_buf(struct dma_buf *d) { get_file(d->file); }
struct dma_buf_attachment *dma_buf_attach(struct dma_buf *dmabuf, struct device *dev);
void dma_buf_detach(struct dma_buf *dmabuf, struct dma_buf_attachment *attach);
struct sg_table *dma_buf_map_attachment(struct dma_buf_attachment *attach, enum dma_data_direction dir);
void dma_buf_unmap_attachment(struct dma_buf_attachment *attach, struct sg_table *sgt,
			      enum dma_data_direction dir);
#define dma_buf_map_attachment_unlocked dma_buf_map_attachment
#define dma_buf_unmap_attachment_unlocked dma_buf_unmap_attachment
int dma_buf_vmap(struct dma_buf *dmabuf, struct iosys_map *map);
void dma_buf_vunmap(struct dma_buf *dmabuf, struct iosys_map *map);
int dma_buf_mmap(struct dma_buf *dmabuf, struct vm_area_struct *vma, unsigned long pgoff);
int dma_buf_begin_cpu_access(struct dma_buf *dmabuf, enum dma_data_direction dir);
int dma_buf_end_cpu_access(struct dma_buf *dmabuf, enum dma_data_direction dir);

#ifdef __cplusplus
}
#endif
#endif

/* ---- files opened from the kernel (debug dumps) ----
 * Paths lie under a folder of the test (khost::file_root()). */
#ifdef __cplusplus
extern "C" {
#endif
struct file *filp_open(const char *path, int flags, umode_t mode);
int filp_close(struct file *f, void *id);
ssize_t kernel_write(struct file *f, const void *buf, size_t count, loff_t *pos);
int vfs_fsync(struct file *f, int datasync);
ssize_t kernel_read(struct file *f, void *buf, size_t count, loff_t *pos);
#ifdef __cplusplus
}
#endif

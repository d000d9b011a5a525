/*
 * Host kernel: memory. Allocations are tracked (and can be made to fail);
 * user copies reach user buffers (khost::user_alloc, or host memory until a
 * test confines user memory) and fault elsewhere; physical memory is
 * an arena above 4 GiB; ioremap maps either arena memory or simulated
 * register windows whose accesses go through test hooks and a journal.
 */
#ifndef KHOST_MM_H
#define KHOST_MM_H

#include "base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- allocation ---- */
#define GFP_KERNEL 0x1u
#define GFP_ATOMIC 0x2u
#define GFP_NOWAIT 0x4u
#define GFP_DMA 0x8u
#define GFP_DMA32 0x10u
#define __GFP_ZERO 0x100u
#define __GFP_NOWARN 0x200u
#define __GFP_HIGHMEM 0x400u
#define __GFP_ACCOUNT 0x800u	/* charged to the caller's memory cgroup: nothing here */
#define GFP_USER GFP_KERNEL
#define GFP_HIGHUSER GFP_KERNEL
#define ZERO_SIZE_PTR ((void *)16)
#define ZERO_OR_NULL_PTR(x) ((unsigned long)(x) <= (unsigned long)ZERO_SIZE_PTR)
void *kmalloc(size_t size, gfp_t flags);
void *kzalloc(size_t size, gfp_t flags);
void *kcalloc(size_t n, size_t size, gfp_t flags);
void *kmalloc_array(size_t n, size_t size, gfp_t flags);
void *krealloc(const void *p, size_t size, gfp_t flags);
void kfree(const void *p);
void kfree_sensitive(const void *p);
void *kmemdup(const void *src, size_t len, gfp_t flags);
char *kstrdup(const char *s, gfp_t flags);
char *kstrndup(const char *s, size_t max, gfp_t flags);
size_t ksize(const void *p);
void *vmalloc(unsigned long size);
void *vzalloc(unsigned long size);
void vfree(const void *p);
void *kvmalloc(size_t size, gfp_t flags);
void *kvzalloc(size_t size, gfp_t flags);
void *kvcalloc(size_t n, size_t size, gfp_t flags);
void kvfree(const void *p);

/* ---- pages and physical memory ---- */
#define PAGE_SHIFT 12
#define PAGE_SIZE (1UL << PAGE_SHIFT)
#define PAGE_MASK (~(PAGE_SIZE - 1))
#define PAGE_ALIGN(x) ALIGN(x, PAGE_SIZE)
#define PFN_DOWN(x) ((x) >> PAGE_SHIFT)
#define PFN_UP(x) (((x) + PAGE_SIZE - 1) >> PAGE_SHIFT)
#define PFN_PHYS(x) ((phys_addr_t)(x) << PAGE_SHIFT)
#define PHYS_PFN(x) ((unsigned long)((x) >> PAGE_SHIFT))
#define offset_in_page(p) ((unsigned long)(p) & ~PAGE_MASK)
struct page { phys_addr_t phys; };
phys_addr_t virt_to_phys(const volatile void *addr);
void *phys_to_virt(phys_addr_t phys);
/* True for addresses of the linear map (here: the physical arena). */
int khost_virt_addr_valid(const volatile void *addr);
#define virt_addr_valid(addr) khost_virt_addr_valid((const volatile void *)(addr))
/* vmalloc memory: outside the linear map, contiguous only page by page. */
bool khost_is_vmalloc_addr(const void *p);
#define is_vmalloc_addr(x) khost_is_vmalloc_addr((const void *)(x))
/* Within the running task's stack (the calling thread's). */
int khost_object_is_on_stack(const void *obj);
#define __pa(x) virt_to_phys(x)
#define __va(x) phys_to_virt(x)
static inline phys_addr_t page_to_phys(struct page *p) { return p->phys; }
static inline unsigned long page_to_pfn(struct page *p) { return (unsigned long)(p->phys >> PAGE_SHIFT); }
struct page *pfn_to_page(unsigned long pfn);
struct page *virt_to_page(const void *addr);
void *page_address(const struct page *p);
int pfn_valid(unsigned long pfn);
struct page *alloc_pages(gfp_t gfp, unsigned int order);
#define alloc_page(gfp) alloc_pages(gfp, 0)
void __free_pages(struct page *p, unsigned int order);
#define __free_page(p) __free_pages(p, 0)
unsigned long __get_free_pages(gfp_t gfp, unsigned int order);
unsigned long get_zeroed_page(gfp_t gfp);
void free_pages(unsigned long addr, unsigned int order);
#define free_page(a) free_pages(a, 0)
static inline int get_order(unsigned long size)
{ int o = 0; size = (size - 1) >> PAGE_SHIFT; while (size) { o++; size >>= 1; } return o; }
void get_page(struct page *p);
void put_page(struct page *p);
void *kmap(struct page *p);
void kunmap(struct page *p);
#define kmap_atomic(p) kmap(p)
#define kunmap_atomic(a) do { (void)(a); } while (0)
void *vmap(struct page **pages, unsigned int count, unsigned long flags, int prot);
void vunmap(const void *addr);

/* ---- user memory ---- */
unsigned long copy_from_user(void *to, const void __user *from, unsigned long n);
unsigned long copy_to_user(void __user *to, const void *from, unsigned long n);
unsigned long clear_user(void __user *to, unsigned long n);
long strncpy_from_user(char *dst, const char __user *src, long count);
void *memdup_user(const void __user *src, size_t len);
char *strndup_user(const char __user *s, long n);
int access_ok(const void __user *addr, unsigned long size);
#define get_user(x, ptr) ({ __typeof__(*(ptr)) __v; \
	unsigned long __f = copy_from_user(&__v, (ptr), sizeof(__v)); \
	if (!__f) (x) = __v; __f ? -EFAULT : 0; })
#define put_user(x, ptr) ({ __typeof__(*(ptr)) __v = (x); \
	copy_to_user((ptr), &__v, sizeof(__v)) ? -EFAULT : 0; })
#define __get_user get_user
#define __put_user put_user
static inline void __user *compat_ptr(compat_uptr_t p) { return (void __user *)(unsigned long)p; }
static inline compat_uptr_t ptr_to_compat(void __user *p) { return (compat_uptr_t)(unsigned long)p; }
#define u64_to_user_ptr(x) ((void __user *)(uintptr_t)(x))

/* ---- MMIO ---- */
void __iomem *ioremap(phys_addr_t phys, size_t size);
void __iomem *ioremap_wc(phys_addr_t phys, size_t size);
#define ioremap_cache ioremap
#define ioremap_uc ioremap
void iounmap(volatile void __iomem *addr);
void *memremap(resource_size_t offset, size_t size, unsigned long flags);
void memunmap(void *addr);
#define MEMREMAP_WB 1
#define MEMREMAP_WT 2
#define MEMREMAP_WC 4
u8 khost_mmio_read8(const volatile void __iomem *a);
u16 khost_mmio_read16(const volatile void __iomem *a);
u32 khost_mmio_read32(const volatile void __iomem *a);
u64 khost_mmio_read64(const volatile void __iomem *a);
void khost_mmio_write8(u8 v, volatile void __iomem *a);
void khost_mmio_write16(u16 v, volatile void __iomem *a);
void khost_mmio_write32(u32 v, volatile void __iomem *a);
void khost_mmio_write64(u64 v, volatile void __iomem *a);
#define readb(a) khost_mmio_read8(a)
#define readw(a) khost_mmio_read16(a)
#define readl(a) khost_mmio_read32(a)
#define readq(a) khost_mmio_read64(a)
#define writeb(v, a) khost_mmio_write8(v, a)
#define writew(v, a) khost_mmio_write16(v, a)
#define writel(v, a) khost_mmio_write32(v, a)
#define writeq(v, a) khost_mmio_write64(v, a)
#define readb_relaxed readb
#define readw_relaxed readw
#define readl_relaxed readl
#define readq_relaxed readq
#define writeb_relaxed writeb
#define writew_relaxed writew
#define writel_relaxed writel
#define writeq_relaxed writeq
#define __raw_readl readl
#define __raw_writel writel
#define ioread8 readb
#define ioread16 readw
#define ioread32 readl
#define iowrite8 writeb
#define iowrite16 writew
#define iowrite32 writel
void memcpy_fromio(void *dst, const volatile void __iomem *src, size_t n);
void memcpy_toio(volatile void __iomem *dst, const void *src, size_t n);
void memset_io(volatile void __iomem *dst, int c, size_t n);

/* ---- mappings into user space ---- */
typedef struct { unsigned long pgprot; } pgprot_t;
#define __pgprot(x) ((pgprot_t){ (x) })
#define pgprot_val(x) ((x).pgprot)
#define PAGE_SHARED __pgprot(0)
#define PAGE_KERNEL __pgprot(0)
static inline pgprot_t pgprot_noncached(pgprot_t p) { p.pgprot |= 1; return p; }
static inline pgprot_t pgprot_writecombine(pgprot_t p) { p.pgprot |= 2; return p; }
static inline pgprot_t pgprot_dmacoherent(pgprot_t p) { p.pgprot |= 2; return p; }
#define VM_READ 0x1UL
#define VM_WRITE 0x2UL
#define VM_EXEC 0x4UL
#define VM_SHARED 0x8UL
#define VM_MAYREAD 0x10UL
#define VM_MAYWRITE 0x20UL
#define VM_MAYEXEC 0x40UL
#define VM_MAYSHARE 0x80UL
#define VM_IO 0x4000UL
#define VM_DONTCOPY 0x20000UL
#define VM_DONTEXPAND 0x40000UL
#define VM_DONTDUMP 0x4000000UL
#define VM_PFNMAP 0x400UL
#define VM_MIXEDMAP 0x10000000UL
struct file;
struct vm_operations_struct;
struct vm_area_struct {
	unsigned long vm_start;
	unsigned long vm_end;
	unsigned long vm_pgoff;
	unsigned long vm_flags;
	pgprot_t vm_page_prot;
	struct file *vm_file;
	void *vm_private_data;
	const struct vm_operations_struct *vm_ops;
	/* What the driver mapped: the host address of vm_start, or NULL. */
	void *khost_mapped;
};
struct vm_operations_struct {
	void (*open)(struct vm_area_struct *);
	void (*close)(struct vm_area_struct *);
};
int remap_pfn_range(struct vm_area_struct *vma, unsigned long addr, unsigned long pfn,
		    unsigned long size, pgprot_t prot);
int io_remap_pfn_range(struct vm_area_struct *vma, unsigned long addr, unsigned long pfn,
		       unsigned long size, pgprot_t prot);
int vm_insert_page(struct vm_area_struct *vma, unsigned long addr, struct page *page);
static inline unsigned long vma_pages(struct vm_area_struct *v) { return (v->vm_end - v->vm_start) >> PAGE_SHIFT; }

#ifdef __cplusplus
}
#endif
#endif

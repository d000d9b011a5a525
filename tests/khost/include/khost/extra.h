/*
 * Host kernel: further calls the drivers use, each as the kernel documents
 * it (DMA allocation attributes, DMA configuration, CPU masks, allocation
 * orders, synchronous-I/O open flag, device page protections).
 */
#ifndef KHOST_EXTRA_H
#define KHOST_EXTRA_H
#include "dmabuf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Allocation order bound: orders at or above it are refused (6.1 meaning). */
#define MAX_ORDER 11

/* Opened for synchronous data writes. */
#ifndef O_DSYNC
#define O_DSYNC 010000
#endif

/* Device memory: uncached, never executable (the generic fallback). */
#define pgprot_device pgprot_noncached

/* Only the first num_online_cpus() CPUs exist here, all online. */
#define cpu_online(cpu) ((unsigned int)(cpu) < (unsigned int)num_online_cpus())

/* DMA attributes. */
#define DMA_ATTR_WRITE_COMBINE		(1UL << 2)
#define DMA_ATTR_NO_KERNEL_MAPPING	(1UL << 4)
/* Without a kernel mapping the kernel hands out the pages as they are
 * (dma-direct skips the zeroing): here they keep what an earlier user left. */
static inline void *dma_alloc_attrs(struct device *dev, size_t size, dma_addr_t *handle,
				    gfp_t gfp, unsigned long attrs)
{
	void *cpu = dma_alloc_coherent(dev, size, handle, gfp);

	if (cpu && (attrs & DMA_ATTR_NO_KERNEL_MAPPING))
		memset(cpu, 0xA5, size);
	return cpu;
}
/* Maps [vm_pgoff pages, + the area's size) of a coherent buffer into user
 * space with the device's attributes, refusing what lies past its end. */
static inline int dma_mmap_attrs(struct device *dev, struct vm_area_struct *vma, void *cpu,
				 dma_addr_t handle, size_t size, unsigned long attrs)
{
	unsigned long count = PAGE_ALIGN(size) >> PAGE_SHIFT;

	(void)dev;
	(void)cpu;
	(void)attrs;
	vma->vm_page_prot = pgprot_writecombine(vma->vm_page_prot);
	if (vma->vm_pgoff >= count || vma_pages(vma) > count - vma->vm_pgoff)
		return -ENXIO;
	return remap_pfn_range(vma, vma->vm_start, PHYS_PFN(handle) + vma->vm_pgoff,
			       vma_pages(vma) << PAGE_SHIFT, vma->vm_page_prot);
}
#define dma_mmap_coherent(d, v, c, h, s) dma_mmap_attrs(d, v, c, h, s, 0)
static inline void dma_free_attrs(struct device *dev, size_t size, void *cpu,
				  dma_addr_t handle, unsigned long attrs)
{
	(void)attrs;
	dma_free_coherent(dev, size, cpu, handle);
}

/* Without bus DMA ranges the device keeps the masks it was given. */
static inline int of_dma_configure(struct device *dev, struct device_node *np, bool force_dma)
{
	(void)dev;
	(void)np;
	(void)force_dma;
	return 0;
}

#ifdef __cplusplus
}
#endif
#endif

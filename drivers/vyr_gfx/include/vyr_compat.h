/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The few kernel interfaces that changed between the television's Linux 5.4
 * and the newer kernels the module is also built against.
 */
#ifndef VYR_COMPAT_H
#define VYR_COMPAT_H

#include <linux/version.h>
#include <linux/module.h>
#include <linux/io.h>

/* dma-buf exports sit in their own symbol namespace from 5.16 on. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 16, 0)
#define VYR_IMPORT_DMA_BUF_NS() MODULE_IMPORT_NS(DMA_BUF)
#else
#define VYR_IMPORT_DMA_BUF_NS()
#endif

/* dma_buf_ops.map/unmap (one page mapped into the kernel) went away in 5.6. */
#if LINUX_VERSION_CODE < KERNEL_VERSION(5, 6, 0)
#define VYR_DMA_BUF_HAS_KMAP 1
#else
#define VYR_DMA_BUF_HAS_KMAP 0
#endif

/*
 * dma_buf_ops.vmap: returns the address up to 5.10; fills a map record from
 * 5.11 (struct dma_buf_map) and 5.18 (struct iosys_map) on.
 * Exporters write their vmap as
 *   static VYR_DMA_BUF_VMAP_RET my_vmap(struct dma_buf *buf VYR_DMA_BUF_VMAP_ARG)
 * and end it with VYR_DMA_BUF_VMAP_RETURN(vaddr) (NULL on failure).
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 18, 0)
#include <linux/iosys-map.h>
#define VYR_DMA_BUF_VMAP_RET int
#define VYR_DMA_BUF_VMAP_ARG , struct iosys_map *vyr_map
#define VYR_DMA_BUF_VUNMAP_ARG struct iosys_map *vyr_map
#define VYR_DMA_BUF_VMAP_RETURN(vaddr) \
	do { void *vyr_va = (vaddr); if (!vyr_va) return -ENOMEM; \
	     iosys_map_set_vaddr(vyr_map, vyr_va); return 0; } while (0)
#define VYR_DMA_BUF_VUNMAP_ADDR() (vyr_map->vaddr)
#elif LINUX_VERSION_CODE >= KERNEL_VERSION(5, 11, 0)
#include <linux/dma-buf-map.h>
#define VYR_DMA_BUF_VMAP_RET int
#define VYR_DMA_BUF_VMAP_ARG , struct dma_buf_map *vyr_map
#define VYR_DMA_BUF_VUNMAP_ARG struct dma_buf_map *vyr_map
#define VYR_DMA_BUF_VMAP_RETURN(vaddr) \
	do { void *vyr_va = (vaddr); if (!vyr_va) return -ENOMEM; \
	     dma_buf_map_set_vaddr(vyr_map, vyr_va); return 0; } while (0)
#define VYR_DMA_BUF_VUNMAP_ADDR() (vyr_map->vaddr)
#else
#define VYR_DMA_BUF_VMAP_RET void *
#define VYR_DMA_BUF_VMAP_ARG
#define VYR_DMA_BUF_VUNMAP_ARG void *vyr_vaddr
#define VYR_DMA_BUF_VMAP_RETURN(vaddr) return (vaddr)
#define VYR_DMA_BUF_VUNMAP_ADDR() (vyr_vaddr)
#endif

/* ioremap is uncached on every architecture since 5.6, which dropped the alias. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 6, 0)
#define vyr_ioremap_nocache(addr, size) ioremap((addr), (size))
#else
#define vyr_ioremap_nocache(addr, size) ioremap_nocache((addr), (size))
#endif

/* Giving back a descriptor installed by mistake. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 11, 0)
#include <linux/fdtable.h>
#define vyr_close_fd(fd) close_fd(fd)
#else
#include <linux/fdtable.h>
#include <linux/sched.h>
#define vyr_close_fd(fd) __close_fd(current->files, (fd))
#endif

/* fb_info.fbops points to const operations from 5.6 on. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 6, 0)
#define VYR_FB_OPS_CONST const
#else
#define VYR_FB_OPS_CONST
#endif

/* A mapping's flags are changed through helpers from 6.3 on. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 3, 0)
#define vyr_vm_flags_clear(vma, flags) vm_flags_clear((vma), (flags))
#else
#define vyr_vm_flags_clear(vma, flags) ((vma)->vm_flags &= ~(flags))
#endif

#endif /* VYR_COMPAT_H */

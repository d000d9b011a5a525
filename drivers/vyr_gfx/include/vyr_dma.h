/* SPDX-License-Identifier: GPL-2.0 */
/*
 * A physical range as an importer's device sees it through the DMA API:
 * RAM with pages as a page run, reserved memory without them as a resource.
 * For the dma-buf exporters of the module; `attrs` as dma_map_page_attrs
 * takes them (DMA_ATTR_SKIP_CPU_SYNC where the owner keeps the CPU's view
 * coherent itself).
 */
#ifndef VYR_DMA_H
#define VYR_DMA_H

#include <linux/dma-mapping.h>
#include <linux/mm.h>
#include <linux/io.h>

/*
 * Whether the range is RAM in the kernel's linear map. pfn_valid alone does
 * not say it: on arm64 it holds for reserved no-map memory too (since 5.14),
 * whose cache maintenance through a page would work on a linear address the
 * memory does not have; virt_addr_valid is false for it on every kernel.
 */
static inline bool vyr_dma_has_pages(u64 start)
{
	return pfn_valid(PHYS_PFN(start)) && virt_addr_valid(phys_to_virt(start));
}

static inline dma_addr_t vyr_dma_map_range(struct device *dev, u64 start, u64 len,
					   enum dma_data_direction dir, unsigned long attrs)
{
	if (vyr_dma_has_pages(start))
		return dma_map_page_attrs(dev, pfn_to_page(PHYS_PFN(start)), offset_in_page(start),
					  len, dir, attrs);
	return dma_map_resource(dev, start, len, dir, attrs);
}

static inline void vyr_dma_unmap_range(struct device *dev, u64 start, dma_addr_t addr, u64 len,
				       enum dma_data_direction dir, unsigned long attrs)
{
	if (vyr_dma_has_pages(start))
		dma_unmap_page_attrs(dev, addr, len, dir, attrs);
	else
		dma_unmap_resource(dev, addr, len, dir, attrs);
}

#endif /* VYR_DMA_H */

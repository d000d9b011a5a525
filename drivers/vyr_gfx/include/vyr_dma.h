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
#include <linux/scatterlist.h>

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

/*
 * One importer's view of an exporter's physical ranges: a table entry per
 * range, mapped for the importer's device while it holds the mapping. The
 * exporter keeps the ranges and names them to each call.
 */
struct vyr_dma_attach {
	struct sg_table table;
	enum dma_data_direction dir;	/* DMA_NONE while not mapped */
	unsigned long attrs;		/* as vyr_dma_map_range takes them */
};

/* Unmaps the first count ranges. */
static inline void vyr_dma_attach_unmap(struct device *dev, struct vyr_dma_attach *a,
					const u64 *start, const u64 *len, u32 count)
{
	struct scatterlist *sg;
	u32 i;

	for_each_sg(a->table.sgl, sg, count, i) {
		vyr_dma_unmap_range(dev, start[i], sg_dma_address(sg), len[i], a->dir, a->attrs);
		sg_dma_address(sg) = 0;
	}
	a->dir = DMA_NONE;
}

/* Maps every range for dev; all or nothing. */
static inline struct sg_table *vyr_dma_attach_map(struct device *dev, struct vyr_dma_attach *a,
						  const u64 *start, const u64 *len, u32 count,
						  enum dma_data_direction dir)
{
	struct scatterlist *sg;
	dma_addr_t addr;
	u32 i;

	if (!dev || !valid_dma_direction(dir) || a->dir != DMA_NONE)
		return ERR_PTR(-EINVAL);
	a->dir = dir;
	for_each_sg(a->table.sgl, sg, count, i) {
		addr = vyr_dma_map_range(dev, start[i], len[i], dir, a->attrs);
		if (dma_mapping_error(dev, addr)) {
			vyr_dma_attach_unmap(dev, a, start, len, i);
			return ERR_PTR(-ENOMEM);
		}
		sg_dma_address(sg) = addr;
		sg_dma_len(sg) = len[i];
	}
	return &a->table;
}

#endif /* VYR_DMA_H */

/*
 * A dma-buf exporter for the GAI tests: one buffer of pages whose table has
 * the segment count and device address the test asks for; with gx_pageless
 * set its entries carry no page, as those of no-map memory (the OSD planes).
 */
#include <linux/module.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/dma-buf.h>
#include <linux/scatterlist.h>

struct gx_buf {
	struct page *pages;
	unsigned int order;
	unsigned int segs;
	u64 dev_addr;
	size_t len;
};

int gx_released;
int gx_pageless;

static struct sg_table *gx_map(struct dma_buf_attachment *a, enum dma_data_direction dir)
{
	struct gx_buf *b = a->dmabuf->priv;
	struct sg_table *t = kzalloc(sizeof(*t), GFP_KERNEL);
	struct scatterlist *sg;
	unsigned int i;

	if (!t || sg_alloc_table(t, b->segs, GFP_KERNEL)) {
		kfree(t);
		return ERR_PTR(-ENOMEM);
	}
	for_each_sg(t->sgl, sg, b->segs, i) {
		sg_set_page(sg, gx_pageless ? NULL : b->pages, b->len / b->segs, i * (b->len / b->segs));
		sg->dma_address = b->dev_addr + i * (b->len / b->segs);
		sg->dma_length = b->len / b->segs;
	}
	return t;
}

static void gx_unmap(struct dma_buf_attachment *a, struct sg_table *t, enum dma_data_direction dir)
{
	sg_free_table(t);
	kfree(t);
}

static void gx_release(struct dma_buf *d)
{
	struct gx_buf *b = d->priv;

	__free_pages(b->pages, b->order);
	kfree(b);
	gx_released++;
}

static const struct dma_buf_ops gx_ops = {
	.map_dma_buf = gx_map,
	.unmap_dma_buf = gx_unmap,
	.release = gx_release,
};

/* Returns a descriptor, or a negative errno. */
int gx_export(u64 dev_addr, unsigned int segs, size_t len)
{
	DEFINE_DMA_BUF_EXPORT_INFO(info);
	struct gx_buf *b = kzalloc(sizeof(*b), GFP_KERNEL);
	struct dma_buf *d;

	if (!b)
		return -ENOMEM;
	b->order = get_order(len);
	b->pages = alloc_pages(GFP_KERNEL | __GFP_ZERO, b->order);
	b->segs = segs;
	b->dev_addr = dev_addr;
	b->len = len;
	info.ops = &gx_ops;
	info.size = len;
	info.priv = b;
	d = dma_buf_export(&info);
	if (IS_ERR(d))
		return PTR_ERR(d);
	return dma_buf_fd(d, O_CLOEXEC);
}

static int __init gx_init(void)
{
	return 0;
}

static void __exit gx_exit(void)
{
}

module_init(gx_init);
module_exit(gx_exit);
MODULE_LICENSE("GPL");

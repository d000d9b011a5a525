// SPDX-License-Identifier: GPL-2.0
/*
 * Memory layout: named physical regions reserved for the media blocks. They
 * come from the module parameter "regions" ("name:start:size" each, numbers
 * in C syntax) and from the children of the device tree's /reserved-memory
 * node (named after the node, "osd@..." gives "osd"); a parameter wins over
 * a device-tree region of the same name. A region is handed out whole, to
 * every caller that asks for it.
 *
 * Only memory the kernel never uses is handed out as it is: a parameter's
 * region and a "no-map" one. A "reusable" region is a contiguous-memory pool
 * whose pages the kernel lends out meanwhile: it is allocated whole, on
 * first demand, and that allocation is what is handed out. Other reserved
 * regions are left alone.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/string.h>
#include <linux/slab.h>
#include <linux/of.h>
#include <linux/of_address.h>
#include <linux/of_reserved_mem.h>
#include <linux/platform_device.h>
#include <linux/dma-mapping.h>
#include <linux/mutex.h>
#include <linux/debugfs.h>
#include <linux/seq_file.h>
#include "crv_platform_internal.h"

#define MEM_MAX_REGIONS	16
#define MEM_NAME_LEN	32

static char *regions[MEM_MAX_REGIONS];
static int nr_regions;
module_param_array(regions, charp, &nr_regions, 0444);
MODULE_PARM_DESC(regions, "memory regions as name:start:size");

struct crv_mem_node {
	char name[MEM_NAME_LEN];
	u64 start;
	u64 size;
	struct reserved_mem *pool;	/* reusable: allocated before it is handed out */
	struct platform_device *pdev;	/* allocates from the pool, until the exit frees */
	void *vaddr;			/* the pool's allocation, NULL until then */
	dma_addr_t dma;
};

static struct crv_mem_node *nodes;
static int nr_nodes;
static DEFINE_MUTEX(mem_lock);			/* pool allocations */

static struct crv_mem_node *mem_lookup(const char *name)
{
	int i;

	for (i = 0; i < nr_nodes; i++)
		if (!strcmp(nodes[i].name, name))
			return &nodes[i];
	return NULL;
}

static int mem_add(const char *name, size_t name_len, u64 start, u64 size, const char *from,
		   struct reserved_mem *pool)
{
	struct crv_mem_node *n;

	if (!name_len || name_len >= MEM_NAME_LEN || !size || start + size < start) {
		pr_err("crv_mem: bad region %.*s from %s\n", (int)min_t(size_t, name_len, 64), name, from);
		return -EINVAL;
	}
	if (nr_nodes == MEM_MAX_REGIONS) {
		pr_err("crv_mem: too many regions\n");
		return -ENOSPC;
	}
	n = &nodes[nr_nodes];
	memcpy(n->name, name, name_len);
	n->name[name_len] = '\0';
	if (mem_lookup(n->name))
		return 0;	/* the first source named it */
	n->start = start;
	n->size = size;
	n->pool = pool;
	nr_nodes++;
	return 0;
}

static int mem_parse_param(const char *region)
{
	const char *c1, *c2;
	char num[24];
	u64 start, size;
	size_t n;

	c1 = strchr(region, ':');
	c2 = c1 ? strchr(c1 + 1, ':') : NULL;
	if (!c2)
		goto bad;
	n = c2 - c1 - 1;
	if (n >= sizeof(num))
		goto bad;
	memcpy(num, c1 + 1, n);
	num[n] = '\0';
	if (kstrtou64(num, 0, &start) || kstrtou64(c2 + 1, 0, &size))
		goto bad;
	return mem_add(region, c1 - region, start, size, "regions", NULL);
bad:
	pr_err("crv_mem: region \"%s\" is not name:start:size\n", region);
	return -EINVAL;
}

static void mem_scan_dt(void)
{
	struct device_node *rm, *child;

	rm = of_find_node_by_path("/reserved-memory");
	if (!rm)
		return;
	for_each_child_of_node(rm, child) {
		struct reserved_mem *pool = NULL;
		struct resource res;
		const char *name = child->name;

		if (!name || of_address_to_resource(child, 0, &res))
			continue;
		if (of_property_read_bool(child, "reusable")) {
			pool = of_reserved_mem_lookup(child);
			if (!pool || !pool->ops || !pool->ops->device_init) {
				pr_err("crv_mem: reusable region %s is no pool: not handed out\n", name);
				continue;
			}
		} else if (!of_property_read_bool(child, "no-map")) {
			pr_err("crv_mem: region %s is mapped for the kernel: not handed out\n", name);
			continue;
		}
		mem_add(name, strcspn(name, "@"), res.start, resource_size(&res), "device tree", pool);
	}
	of_node_put(rm);
}

struct crv_mem_node *crv_mem_find_node_by_name(const char *pszName)
{
	if (!pszName || !nodes)
		return NULL;
	return mem_lookup(pszName);
}
EXPORT_SYMBOL_GPL(crv_mem_find_node_by_name);

/* A pool's pages become ours once: the whole region, allocated from it. */
static int mem_pool_take(struct crv_mem_node *n)
{
	struct platform_device *pdev;
	int ret = 0;

	mutex_lock(&mem_lock);
	if (n->vaddr)
		goto out;
	pdev = platform_device_register_simple("crv_mem", n - nodes, NULL, 0);
	if (IS_ERR(pdev)) {
		ret = PTR_ERR(pdev);
		goto out;
	}
	dma_coerce_mask_and_coherent(&pdev->dev, DMA_BIT_MASK(64));
	/* The device allocates from the pool, and frees back into it, from here on. */
	ret = n->pool->ops->device_init(n->pool, &pdev->dev);
	if (!ret) {
		n->vaddr = dma_alloc_coherent(&pdev->dev, n->size, &n->dma, GFP_KERNEL | __GFP_NOWARN);
		if (n->vaddr) {
			n->pdev = pdev;
			goto out;
		}
		pr_err("crv_mem: region %s could not be allocated from its pool\n", n->name);
		ret = -ENOMEM;
		if (n->pool->ops->device_release)
			n->pool->ops->device_release(n->pool, &pdev->dev);
	}
	platform_device_unregister(pdev);
out:
	mutex_unlock(&mem_lock);
	return ret;
}

int crv_mem_alloc_from_contiguous(struct crv_mem_node *pstNode, struct crv_mem_info *pstInfo)
{
	int ret;

	if (!pstNode || !pstInfo)
		return -EINVAL;
	/* The record holds the size in 32 bits: never hand out a cut-down size. */
	if (pstNode->size > U32_MAX)
		return -EOVERFLOW;
	if (pstNode->pool) {
		ret = mem_pool_take(pstNode);
		if (ret)
			return ret;
		pstInfo->u64Start = pstNode->dma;
		pstInfo->u32Size = (u32)pstNode->size;
		pstInfo->u32Reserved = 0;
		return 0;
	}
	pstInfo->u64Start = pstNode->start;
	pstInfo->u32Size = (u32)pstNode->size;
	pstInfo->u32Reserved = 0;
	return 0;
}
EXPORT_SYMBOL_GPL(crv_mem_alloc_from_contiguous);

static int mem_show(struct seq_file *s, void *unused)
{
	int i;

	for (i = 0; i < nr_nodes; i++)
		seq_printf(s, "%s 0x%llx 0x%llx\n", nodes[i].name, nodes[i].start, nodes[i].size);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(mem);

int crv_mem_init(struct dentry *root)
{
	int i;

	nodes = kcalloc(MEM_MAX_REGIONS, sizeof(*nodes), GFP_KERNEL);
	if (!nodes)
		return -ENOMEM;
	nr_nodes = 0;
	for (i = 0; i < nr_regions; i++)
		if (regions[i])
			mem_parse_param(regions[i]);
	mem_scan_dt();
	debugfs_create_file("mem", 0400, root, NULL, &mem_fops);
	return 0;
}

void crv_mem_exit(void)
{
	int i;

	for (i = 0; i < nr_nodes; i++) {
		struct crv_mem_node *n = &nodes[i];

		if (!n->pdev)
			continue;
		dma_free_coherent(&n->pdev->dev, n->size, n->vaddr, n->dma);
		if (n->pool->ops->device_release)
			n->pool->ops->device_release(n->pool, &n->pdev->dev);
		platform_device_unregister(n->pdev);
	}
	kfree(nodes);
	nodes = NULL;
	nr_nodes = 0;
}

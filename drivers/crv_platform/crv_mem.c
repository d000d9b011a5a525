// SPDX-License-Identifier: GPL-2.0
/*
 * Memory layout: named physical regions reserved for the media blocks. They
 * come from the module parameter "regions" ("name:start:size" each, numbers
 * in C syntax) and from the children of the device tree's /reserved-memory
 * node (named after the node, "osd@..." gives "osd"); a parameter wins over
 * a device-tree region of the same name. A region is handed out whole, to
 * every caller that asks for it.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/string.h>
#include <linux/slab.h>
#include <linux/of.h>
#include <linux/of_address.h>
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
};

static struct crv_mem_node *nodes;
static int nr_nodes;

static struct crv_mem_node *mem_lookup(const char *name)
{
	int i;

	for (i = 0; i < nr_nodes; i++)
		if (!strcmp(nodes[i].name, name))
			return &nodes[i];
	return NULL;
}

static int mem_add(const char *name, size_t name_len, u64 start, u64 size, const char *from)
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
	return mem_add(region, c1 - region, start, size, "regions");
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
		struct resource res;
		const char *name = child->name;

		if (!name || of_address_to_resource(child, 0, &res))
			continue;
		mem_add(name, strcspn(name, "@"), res.start, resource_size(&res), "device tree");
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

int crv_mem_alloc_from_contiguous(struct crv_mem_node *pstNode, struct crv_mem_info *pstInfo)
{
	if (!pstNode || !pstInfo)
		return -EINVAL;
	/* The record holds the size in 32 bits: never hand out a cut-down size. */
	if (pstNode->size > U32_MAX)
		return -EOVERFLOW;
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
	kfree(nodes);
	nodes = NULL;
	nr_nodes = 0;
}

// SPDX-License-Identifier: GPL-2.0
/*
 * 2D engine command buffers: a chain of 4096-byte pages of 8-byte commands
 * {u32 value, u32 command word} that the engine fetches in command mode.
 *
 * Pages come from 32-bit addressable memory: the jump command and the
 * engine's program counter hold 32-bit addresses. Lists are built in process
 * context (they may sleep for memory); closing never sleeps, so a list can be
 * freed from the engine's interrupt.
 */
#include <linux/kernel.h>
#include <linux/slab.h>
#include <linux/mm.h>
#include <linux/list.h>
#include <linux/dma-mapping.h>

#include "ker_gpu_if.h"

typedef struct {
	struct device *pDevice;
	struct list_head list;
} ST_KGPU_CMDBUF_HEAD;

#define KGPU_CMD_BYTES 8

static ST_KGPU_CMDBUF_HEAD *_kgpu_cmdbuf_head(KGPU_CMDBUF_HANDLE h)
{
	return container_of(h, ST_KGPU_CMDBUF_HEAD, list);
}

KGPU_CMDBUF_HANDLE KGPU_Cmdbuf_Open(struct device *dev)
{
	ST_KGPU_CMDBUF_HEAD *head = kzalloc(sizeof(*head), GFP_KERNEL);

	if (!head)
		return NULL;
	head->pDevice = dev;
	INIT_LIST_HEAD(&head->list);
	return &head->list;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Open);

ST_KGPU_CMDBUF_PAGE *KGPU_Cmdbuf_New(void)
{
	ST_KGPU_CMDBUF_PAGE *p = kzalloc(sizeof(*p), GFP_KERNEL);
	struct page *pg;

	if (!p)
		return NULL;
	pg = alloc_page(GFP_KERNEL | GFP_DMA32 | __GFP_ZERO);
	if (!pg) {
		kfree(p);
		return NULL;
	}
	INIT_LIST_HEAD(&p->list);
	p->u32Size = KGPU_CMDBUF_PAGE_SIZE;
	p->u32Room = KGPU_CMDBUF_PAGE_SIZE;
	p->u64PhyAddr = page_to_phys(pg);
	p->pfn = page_to_pfn(pg);
	return p;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_New);

/*
 * Maps a page for the list's device: the engine fetches it at the mapping's
 * address, and the CPU's writes reach it through syncs of that mapping.
 */
static int _kgpu_cmdbuf_map(ST_KGPU_CMDBUF_HEAD *head, ST_KGPU_CMDBUF_PAGE *p)
{
	dma_addr_t dma;

	if (!head->pDevice || p->pDevice)
		return 0;
	dma = dma_map_page(head->pDevice, pfn_to_page(p->pfn), 0, KGPU_CMDBUF_PAGE_SIZE,
			   DMA_TO_DEVICE);
	if (dma_mapping_error(head->pDevice, dma))
		return -ENOMEM;
	p->pDevice = head->pDevice;
	p->u64PhyAddr = dma;
	return 0;
}

static void _kgpu_cmdbuf_free_page(ST_KGPU_CMDBUF_PAGE *p)
{
	if (p->pDevice)
		dma_unmap_page(p->pDevice, p->u64PhyAddr, KGPU_CMDBUF_PAGE_SIZE, DMA_TO_DEVICE);
	__free_page(pfn_to_page(p->pfn));
	kfree(p);
}

void KGPU_Cmdbuf_Add(KGPU_CMDBUF_HANDLE hCmd, ST_KGPU_CMDBUF_PAGE *pstPage)
{
	if (!hCmd || !pstPage)
		return;
	/* Unmapped, the page still holds the commands; syncs then do nothing. */
	_kgpu_cmdbuf_map(_kgpu_cmdbuf_head(hCmd), pstPage);
	list_add_tail(&pstPage->list, hCmd);
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Add);

/*
 * Continues the list on a new page: the jump to it closes the last page,
 * which is handed to the device. Returns the room of the new page, -12 when
 * no page (or mapping) can be had.
 */
int KGPU_Cmdbuf_Chain(KGPU_CMDBUF_HANDLE hCmd)
{
	ST_KGPU_CMDBUF_PAGE *p = KGPU_Cmdbuf_New();
	int room;

	if (!p)
		return -ENOMEM;
	if (!hCmd || _kgpu_cmdbuf_map(_kgpu_cmdbuf_head(hCmd), p)) {
		_kgpu_cmdbuf_free_page(p);
		return -ENOMEM;
	}
	room = KGPU_Cmdbuf_Write(hCmd, KGPU_CMD_JUMP, lower_32_bits(p->u64PhyAddr));
	if (room < 0) {
		_kgpu_cmdbuf_free_page(p);
		return room;
	}
	KGPU_Cmdbuf_Stop(hCmd);
	list_add_tail(&p->list, hCmd);
	return p->u32Room;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Chain);

int KGPU_Cmdbuf_Write(KGPU_CMDBUF_HANDLE hCmd, u32 u32Cmd, u32 u32Value)
{
	ST_KGPU_CMDBUF_PAGE *p;

	if (!hCmd || list_empty(hCmd))
		return -ENOMEM;
	p = list_last_entry(hCmd, ST_KGPU_CMDBUF_PAGE, list);
	if (!p->pCursor) {
		p->pVirAddr = page_address(pfn_to_page(p->pfn));
		if (!p->pVirAddr)
			return -ENXIO;
		p->pCursor = (u32 *)((u8 *)p->pVirAddr + KGPU_CMD_BYTES * p->u32CmdNum);
		if (p->pDevice)
			dma_sync_single_for_cpu(p->pDevice, p->u64PhyAddr, KGPU_CMDBUF_PAGE_SIZE,
						DMA_TO_DEVICE);
	}
	/* A full page is never written past. */
	if (p->u32Room < KGPU_CMD_BYTES)
		return -ENOSPC;
	p->pCursor[0] = u32Value;
	p->pCursor[1] = u32Cmd;
	p->pCursor += 2;
	p->u32CmdNum++;
	p->u32Room -= KGPU_CMD_BYTES;
	return p->u32Room;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Write);

u64 KGPU_Cmdbuf_Stop(KGPU_CMDBUF_HANDLE hCmd)
{
	ST_KGPU_CMDBUF_PAGE *p;

	if (!hCmd || list_empty(hCmd))
		return 0;
	p = list_last_entry(hCmd, ST_KGPU_CMDBUF_PAGE, list);
	p->pVirAddr = NULL;
	p->pCursor = NULL;
	if (p->pDevice)
		dma_sync_single_for_device(p->pDevice, p->u64PhyAddr, KGPU_CMDBUF_PAGE_SIZE,
					   DMA_TO_DEVICE);
	return p->u64PhyAddr + (u64)KGPU_CMD_BYTES * p->u32CmdNum;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Stop);

u64 KGPU_Cmdbuf_First(KGPU_CMDBUF_HANDLE hCmd)
{
	if (!hCmd || list_empty(hCmd))
		return 0;
	return list_first_entry(hCmd, ST_KGPU_CMDBUF_PAGE, list)->u64PhyAddr;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_First);

void KGPU_Cmdbuf_Close(KGPU_CMDBUF_HANDLE hCmd)
{
	ST_KGPU_CMDBUF_PAGE *p, *n;

	if (!hCmd)
		return;
	list_for_each_entry_safe(p, n, hCmd, list) {
		list_del(&p->list);
		_kgpu_cmdbuf_free_page(p);
	}
	kfree(_kgpu_cmdbuf_head(hCmd));
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Close);

void KGPU_Cmdbuf_Dump(KGPU_CMDBUF_HANDLE hCmd)
{
	ST_KGPU_CMDBUF_PAGE *p;

	if (!hCmd) {
		printk(KERN_INFO "%s()  pHead = NULL\n", __func__);
		return;
	}
	list_for_each_entry(p, hCmd, list) {
		const u32 *w = page_address(pfn_to_page(p->pfn));
		u32 i;

		printk(KERN_INFO "%s()\n", __func__);
		for (i = 0; w && i < p->u32CmdNum; i++)
			printk(KERN_INFO "0x%08llx: %08x %08x\n",
			       (unsigned long long)(p->u64PhyAddr + KGPU_CMD_BYTES * i),
			       w[2 * i], w[2 * i + 1]);
	}
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Dump);

void KGPU_Cmdbuf_Dump_Partial(KGPU_CMDBUF_HANDLE hCmd, u64 u64PhyAddr, u32 u32WordNum)
{
	ST_KGPU_CMDBUF_PAGE *p;

	if (!hCmd) {
		printk(KERN_INFO "%s()  pHead = NULL\n", __func__);
		return;
	}
	list_for_each_entry(p, hCmd, list) {
		const u32 *w;
		u32 first, i;

		if (u64PhyAddr < p->u64PhyAddr ||
		    u64PhyAddr >= p->u64PhyAddr + KGPU_CMDBUF_PAGE_SIZE)
			continue;
		w = page_address(pfn_to_page(p->pfn));
		if (!w)
			return;
		first = (u32)(u64PhyAddr - p->u64PhyAddr) / 4;
		/* Never past the page's end. */
		u32WordNum = min_t(u32, u32WordNum, KGPU_CMDBUF_PAGE_SIZE / 4 - first);
		for (i = 0; i + 4 <= u32WordNum; i += 4)
			printk(KERN_INFO "0x%08llx: %08x %08x %08x %08x\n",
			       (unsigned long long)(u64PhyAddr + 4 * i), w[first + i],
			       w[first + i + 1], w[first + i + 2], w[first + i + 3]);
		return;
	}
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Dump_Partial);

u32 KGPU_Cmdbuf_Reg_Plane_Size(u32 w, u32 h)
{
	return w | (h << 16);
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Reg_Plane_Size);

u64 KGPU_Cmdbuf_Reg_Plane_Addr(u64 base, u32 stride, u32 pixel_bytes, u32 y, u32 x)
{
	return base + (u64)y * stride + (u64)x * pixel_bytes;
}
EXPORT_SYMBOL(KGPU_Cmdbuf_Reg_Plane_Addr);

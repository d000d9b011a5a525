// SPDX-License-Identifier: GPL-2.0
/*
 * Platform interrupts. There is no interrupt controller behind this stand-in:
 * the display vsync (interrupt 50) comes from a timer at vsync_hz while any
 * handler is installed, and writing an interrupt number to
 * crv_platform/irq raises that interrupt once. Handlers run with interrupts
 * off, one interrupt at a time.
 *
 * Given the OSD block's registers (osd_regs; plain memory where the block is
 * not), each vsync also takes the update requests in 0xb000 as the block's
 * latch does: a plane's (bits 0-2, the cursors' bit 4) while its update is
 * enabled (0x000 bit 0 with the plane's 0x100 bit 0; 0x210c bit 30) and not
 * held for the analogue TV timing (0x000 bit 16; 0x2108 bit 0), the palette
 * and trigger bits (0x140) while neither is held.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/spinlock.h>
#include <linux/timer.h>
#include <linux/jiffies.h>
#include <linux/irqflags.h>
#include <linux/debugfs.h>
#include <linux/seq_file.h>
#include <linux/uaccess.h>
#include <linux/io.h>
#include "crv_platform_internal.h"

#define IRQ_MAX_HANDLERS	16
#define IRQ_MAX_NUMBER		1024

static unsigned int vsync_hz = 60;
module_param(vsync_hz, uint, 0644);
MODULE_PARM_DESC(vsync_hz, "display vsync rate of interrupt 50 (0: raised by hand only)");

static unsigned long osd_regs;
module_param(osd_regs, ulong, 0444);
MODULE_PARM_DESC(osd_regs, "OSD register block whose update requests each vsync takes (0: none)");
static void __iomem *osd_block;

struct irq_slot {
	bool used;
	u32 irq;
	irq_handler_t handler;
	void *dev_id;
	const char *name;
	struct module *owner;
	unsigned long count;
};

static struct irq_slot slots[IRQ_MAX_HANDLERS];
/* Held while handlers run, so a free waits for a handler in flight. */
static DEFINE_SPINLOCK(irq_lock);
static struct timer_list vsync_timer;
static bool vsync_armed, irq_stopping;

static unsigned long vsync_period(void)
{
	unsigned int hz = READ_ONCE(vsync_hz);

	return hz ? max_t(unsigned long, 1, HZ / hz) : 0;
}

/* Called with irq_lock held. */
static bool vsync_wanted(void)
{
	int i;

	if (irq_stopping || !vsync_period())
		return false;
	for (i = 0; i < IRQ_MAX_HANDLERS; i++)
		if (slots[i].used && slots[i].irq == KER_SYS_IRQ_DP_VSYNC)
			return true;
	return false;
}

static void osd_latch(void)
{
	u32 ctl = readl(osd_block), pending = readl(osd_block + 0xb000), left = pending;
	bool atv = ctl & BIT(16), cursor_atv = readl(osd_block + 0x2108) & BIT(0);
	int n;

	for (n = 0; n < 3; n++)
		if ((ctl & BIT(0)) && (readl(osd_block + 0x100 * (n + 1)) & BIT(0)) && !atv)
			left &= ~BIT(n);
	if ((readl(osd_block + 0x210c) & BIT(30)) && !cursor_atv)
		left &= ~BIT(4);
	if (!atv && !cursor_atv)
		left &= ~0x140;
	if (left != pending)
		writel(left, osd_block + 0xb000);
}

/* Called with irq_lock held, interrupts off. */
static int irq_dispatch(u32 irq)
{
	int i, n = 0;

	if (irq == KER_SYS_IRQ_DP_VSYNC && osd_block)
		osd_latch();

	for (i = 0; i < IRQ_MAX_HANDLERS; i++) {
		if (!slots[i].used || slots[i].irq != irq)
			continue;
		slots[i].count++;
		slots[i].handler(irq, slots[i].dev_id);
		n++;
	}
	return n;
}

int crv_sys_irq_raise(u32 irq)
{
	unsigned long flags;
	int n;

	spin_lock_irqsave(&irq_lock, flags);
	n = irq_dispatch(irq);
	spin_unlock_irqrestore(&irq_lock, flags);
	return n;
}

static void vsync_tick(struct timer_list *t)
{
	unsigned long flags, period;

	spin_lock_irqsave(&irq_lock, flags);
	irq_dispatch(KER_SYS_IRQ_DP_VSYNC);
	period = vsync_period();
	if (vsync_wanted())
		mod_timer(&vsync_timer, jiffies + period);
	else
		vsync_armed = false;
	spin_unlock_irqrestore(&irq_lock, flags);
}

int KER_SYS_IRQRequest(u32 u32Irq, irq_handler_t pfHandler, unsigned long ulFlags,
		       const char *pszName, void *pDevId, u32 u32Enable, void *pReserved)
{
	struct module *owner;
	unsigned long flags;
	int i, free_slot = -1;

	if (!pfHandler || u32Irq >= IRQ_MAX_NUMBER)
		return -EINVAL;
	owner = crv_plat_owner_of(pfHandler);

	spin_lock_irqsave(&irq_lock, flags);
	for (i = 0; i < IRQ_MAX_HANDLERS; i++) {
		if (slots[i].used && slots[i].irq == u32Irq && slots[i].handler == pfHandler &&
		    slots[i].dev_id == pDevId) {
			spin_unlock_irqrestore(&irq_lock, flags);
			return -EBUSY;
		}
		if (!slots[i].used && free_slot < 0)
			free_slot = i;
	}
	if (free_slot < 0) {
		spin_unlock_irqrestore(&irq_lock, flags);
		return -ENOSPC;
	}
	slots[free_slot] = (struct irq_slot){
		.used = true, .irq = u32Irq, .handler = pfHandler, .dev_id = pDevId,
		.name = pszName, .owner = owner,
	};
	if (!vsync_armed && vsync_wanted()) {
		vsync_armed = true;
		mod_timer(&vsync_timer, jiffies + vsync_period());
	}
	spin_unlock_irqrestore(&irq_lock, flags);
	return 0;
}
EXPORT_SYMBOL_GPL(KER_SYS_IRQRequest);

int KER_SYS_IRQFree(u32 u32Irq, irq_handler_t pfHandler, void *pDevId, u32 u32Reserved)
{
	unsigned long flags;
	int i, ret = -ENOENT;

	spin_lock_irqsave(&irq_lock, flags);
	for (i = 0; i < IRQ_MAX_HANDLERS; i++) {
		if (slots[i].used && slots[i].irq == u32Irq && slots[i].handler == pfHandler &&
		    slots[i].dev_id == pDevId) {
			memset(&slots[i], 0, sizeof(slots[i]));
			ret = 0;
			break;
		}
	}
	spin_unlock_irqrestore(&irq_lock, flags);
	return ret;
}
EXPORT_SYMBOL_GPL(KER_SYS_IRQFree);

void crv_irq_forget(struct module *mod)
{
	unsigned long flags;
	int i;

	spin_lock_irqsave(&irq_lock, flags);
	for (i = 0; i < IRQ_MAX_HANDLERS; i++)
		if (slots[i].used && slots[i].owner == mod)
			memset(&slots[i], 0, sizeof(slots[i]));
	spin_unlock_irqrestore(&irq_lock, flags);
}

unsigned int crv_irq_handler_count(void)
{
	unsigned long flags;
	unsigned int i, n = 0;

	spin_lock_irqsave(&irq_lock, flags);
	for (i = 0; i < IRQ_MAX_HANDLERS; i++)
		n += slots[i].used;
	spin_unlock_irqrestore(&irq_lock, flags);
	return n;
}

static int irq_show(struct seq_file *s, void *unused)
{
	struct irq_slot copy[IRQ_MAX_HANDLERS];
	unsigned long flags;
	int i;

	spin_lock_irqsave(&irq_lock, flags);
	memcpy(copy, slots, sizeof(copy));
	spin_unlock_irqrestore(&irq_lock, flags);
	seq_printf(s, "vsync_hz %u\n", READ_ONCE(vsync_hz));
	for (i = 0; i < IRQ_MAX_HANDLERS; i++)
		if (copy[i].used)
			seq_printf(s, "%u %s %lu\n", copy[i].irq, copy[i].name ? copy[i].name : "-",
				   copy[i].count);
	return 0;
}

static int irq_open(struct inode *inode, struct file *file)
{
	return single_open(file, irq_show, NULL);
}

static ssize_t irq_write(struct file *file, const char __user *ubuf, size_t len, loff_t *ppos)
{
	unsigned int irq;
	int ret;

	ret = kstrtouint_from_user(ubuf, len, 0, &irq);
	if (ret)
		return ret;
	crv_sys_irq_raise(irq);
	return len;
}

static const struct file_operations irq_fops = {
	.owner = THIS_MODULE,
	.open = irq_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = irq_write,
};

int crv_irq_init(struct dentry *root)
{
	irq_stopping = false;
	vsync_armed = false;
	memset(slots, 0, sizeof(slots));
	timer_setup(&vsync_timer, vsync_tick, 0);
	debugfs_create_file("irq", 0600, root, NULL, &irq_fops);
	osd_block = osd_regs ? ioremap(osd_regs, 0x10000) : NULL;
	return 0;
}

void crv_irq_exit(void)
{
	unsigned long flags;

	spin_lock_irqsave(&irq_lock, flags);
	irq_stopping = true;
	spin_unlock_irqrestore(&irq_lock, flags);
	del_timer_sync(&vsync_timer);
	spin_lock_irqsave(&irq_lock, flags);
	memset(slots, 0, sizeof(slots));
	vsync_armed = false;
	spin_unlock_irqrestore(&irq_lock, flags);
	if (osd_block)
		iounmap(osd_block);
	osd_block = NULL;
}

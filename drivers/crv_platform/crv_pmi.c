// SPDX-License-Identifier: GPL-2.0
/*
 * Power-management hooks and clocks.
 *
 * Installed hooks run when the system suspends and resumes (through the
 * platform device "crv_pmi") or when "suspend" / "resume" is written to
 * crv_platform/power. KER_PMI_Mode reports standby from the first suspend
 * hook until the last resume hook has returned. Suspend hooks run in
 * ascending order, resume hooks in descending order.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/mutex.h>
#include <linux/spinlock.h>
#include <linux/string.h>
#include <linux/platform_device.h>
#include <linux/pm.h>
#include <linux/debugfs.h>
#include <linux/seq_file.h>
#include <linux/uaccess.h>
#include "crv_platform_internal.h"

#define PMI_MAX_HOOKS	32
#define CLK_JOURNAL	256

struct pmi_hook {
	bool used;
	u32 id;
	u32 kind;
	u32 order;
	unsigned long seq;
	int (*suspend)(void);
	int (*resume)(void);
	struct device *dev;
	struct module *owner;
};

static struct pmi_hook hooks[PMI_MAX_HOOKS];
static unsigned long hook_seq;
static DEFINE_MUTEX(pmi_lock);
static u32 pmi_mode = KER_PMI_MODE_NORMAL;
static bool pmi_suspended;

int KER_PMI_Install(u32 u32Id, u32 u32Kind, ST_KER_PMI_OPS *pstOps, u32 u32Order,
		    void *pReserved, struct device *pDev)
{
	struct pmi_hook *h = NULL;
	struct module *owner;
	int i;

	if (!pstOps)
		return -EINVAL;
	owner = crv_plat_owner_of(pstOps);
	if (!owner)
		owner = crv_plat_owner_of(pstOps->pfSuspend);
	if (!owner)
		owner = crv_plat_owner_of(pstOps->pfResume);

	mutex_lock(&pmi_lock);
	for (i = 0; i < PMI_MAX_HOOKS; i++)
		if (hooks[i].used && hooks[i].id == u32Id)
			h = &hooks[i];
	for (i = 0; !h && i < PMI_MAX_HOOKS; i++)
		if (!hooks[i].used)
			h = &hooks[i];
	if (!h) {
		mutex_unlock(&pmi_lock);
		pr_err("crv_pmi: no room for hooks of id %u\n", u32Id);
		return -ENOSPC;
	}
	h->used = true;
	h->id = u32Id;
	h->kind = u32Kind;
	h->order = u32Order;
	h->seq = ++hook_seq;
	h->suspend = pstOps->pfSuspend;
	h->resume = pstOps->pfResume;
	h->dev = pDev;
	h->owner = owner;
	mutex_unlock(&pmi_lock);
	return 0;
}
EXPORT_SYMBOL_GPL(KER_PMI_Install);

u32 KER_PMI_Mode(void)
{
	return READ_ONCE(pmi_mode);
}
EXPORT_SYMBOL_GPL(KER_PMI_Mode);

void crv_pmi_forget(struct module *mod)
{
	int i;

	mutex_lock(&pmi_lock);
	for (i = 0; i < PMI_MAX_HOOKS; i++)
		if (hooks[i].used && hooks[i].owner == mod)
			memset(&hooks[i], 0, sizeof(hooks[i]));
	mutex_unlock(&pmi_lock);
}

unsigned int crv_pmi_hook_count(void)
{
	unsigned int i, n = 0;

	mutex_lock(&pmi_lock);
	for (i = 0; i < PMI_MAX_HOOKS; i++)
		n += hooks[i].used;
	mutex_unlock(&pmi_lock);
	return n;
}

/* a runs before b when suspending. */
static bool hook_before(const struct pmi_hook *a, const struct pmi_hook *b)
{
	if (a->order != b->order)
		return a->order < b->order;
	return a->seq < b->seq;
}

/* Called with pmi_lock held: hook indexes in suspend order. */
static int hooks_sorted(int *idx)
{
	int i, j, n = 0;

	for (i = 0; i < PMI_MAX_HOOKS; i++) {
		if (!hooks[i].used)
			continue;
		for (j = n; j > 0 && hook_before(&hooks[i], &hooks[idx[j - 1]]); j--)
			idx[j] = idx[j - 1];
		idx[j] = i;
		n++;
	}
	return n;
}

int crv_pmi_suspend_all(void)
{
	int idx[PMI_MAX_HOOKS];
	int i, n, ret, first = 0;

	mutex_lock(&pmi_lock);
	if (pmi_suspended) {
		mutex_unlock(&pmi_lock);
		return -EBUSY;
	}
	WRITE_ONCE(pmi_mode, KER_PMI_MODE_STANDBY);
	pmi_suspended = true;
	n = hooks_sorted(idx);
	for (i = 0; i < n; i++) {
		struct pmi_hook *h = &hooks[idx[i]];

		if (!h->suspend)
			continue;
		ret = h->suspend();
		if (ret) {
			pr_warn("crv_pmi: suspend hook %u returned %d\n", h->id, ret);
			if (!first)
				first = ret;
		}
	}
	mutex_unlock(&pmi_lock);
	return first;
}

int crv_pmi_resume_all(void)
{
	int idx[PMI_MAX_HOOKS];
	int i, n, ret, first = 0;

	mutex_lock(&pmi_lock);
	if (!pmi_suspended) {
		mutex_unlock(&pmi_lock);
		return -EINVAL;
	}
	n = hooks_sorted(idx);
	for (i = n - 1; i >= 0; i--) {
		struct pmi_hook *h = &hooks[idx[i]];

		if (!h->resume)
			continue;
		ret = h->resume();
		if (ret) {
			pr_warn("crv_pmi: resume hook %u returned %d\n", h->id, ret);
			if (!first)
				first = ret;
		}
	}
	pmi_suspended = false;
	WRITE_ONCE(pmi_mode, KER_PMI_MODE_NORMAL);
	mutex_unlock(&pmi_lock);
	return first;
}

/* ---- Clocks ---- */

static struct crv_clk_event clk_log[CLK_JOURNAL];
static unsigned int clk_head, clk_count;
static DEFINE_SPINLOCK(clk_lock);

static void clk_record(u8 reset, u32 id, u32 value)
{
	unsigned long flags;
	struct crv_clk_event *ev;

	spin_lock_irqsave(&clk_lock, flags);
	ev = &clk_log[(clk_head + clk_count) % CLK_JOURNAL];
	if (clk_count == CLK_JOURNAL)
		clk_head = (clk_head + 1) % CLK_JOURNAL;
	else
		clk_count++;
	ev->reset = reset;
	ev->id = id;
	ev->value = value;
	spin_unlock_irqrestore(&clk_lock, flags);
}

int KER_CLK_SetClockMask(u32 u32ClockId, u32 u32On)
{
	clk_record(0, u32ClockId, u32On);
	return 0;
}
EXPORT_SYMBOL_GPL(KER_CLK_SetClockMask);

int KER_CLK_SetClockReset(u32 u32BlockId, u32 u32Assert)
{
	clk_record(1, u32BlockId, u32Assert);
	return 0;
}
EXPORT_SYMBOL_GPL(KER_CLK_SetClockReset);

int crv_clk_journal(struct crv_clk_event *ev, int max)
{
	unsigned long flags;
	int i, n;

	spin_lock_irqsave(&clk_lock, flags);
	n = min_t(int, max, clk_count);
	for (i = 0; i < n; i++)
		ev[i] = clk_log[(clk_head + clk_count - n + i) % CLK_JOURNAL];
	spin_unlock_irqrestore(&clk_lock, flags);
	return n;
}

void crv_clk_journal_clear(void)
{
	unsigned long flags;

	spin_lock_irqsave(&clk_lock, flags);
	clk_head = 0;
	clk_count = 0;
	spin_unlock_irqrestore(&clk_lock, flags);
}

static int clk_show(struct seq_file *s, void *unused)
{
	static struct crv_clk_event ev[CLK_JOURNAL];
	static DEFINE_MUTEX(show_lock);
	int i, n;

	mutex_lock(&show_lock);
	n = crv_clk_journal(ev, CLK_JOURNAL);
	for (i = 0; i < n; i++)
		seq_printf(s, "%s 0x%x %u\n", ev[i].reset ? "reset" : "mask", ev[i].id, ev[i].value);
	mutex_unlock(&show_lock);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(clk);

int crv_clk_init(struct dentry *root)
{
	crv_clk_journal_clear();
	debugfs_create_file("clk", 0400, root, NULL, &clk_fops);
	return 0;
}

void crv_clk_exit(void)
{
}

/* ---- System sleep and the "power" file ---- */

static int pmi_pm_suspend(struct device *dev)
{
	crv_pmi_suspend_all();
	return 0;
}

static int pmi_pm_resume(struct device *dev)
{
	crv_pmi_resume_all();
	return 0;
}

static const struct dev_pm_ops pmi_pm_ops = {
	.suspend = pmi_pm_suspend,
	.resume = pmi_pm_resume,
};

static struct platform_driver pmi_driver = {
	.driver = {
		.name = "crv_pmi",
		.pm = &pmi_pm_ops,
	},
};

static struct platform_device *pmi_pdev;

static int power_show(struct seq_file *s, void *unused)
{
	int i;

	seq_printf(s, "mode %u\n", KER_PMI_Mode());
	mutex_lock(&pmi_lock);
	for (i = 0; i < PMI_MAX_HOOKS; i++)
		if (hooks[i].used)
			seq_printf(s, "id %u kind %u order %u%s%s\n", hooks[i].id, hooks[i].kind,
				   hooks[i].order, hooks[i].suspend ? " suspend" : "",
				   hooks[i].resume ? " resume" : "");
	mutex_unlock(&pmi_lock);
	return 0;
}

static int power_open(struct inode *inode, struct file *file)
{
	return single_open(file, power_show, NULL);
}

static ssize_t power_write(struct file *file, const char __user *ubuf, size_t len, loff_t *ppos)
{
	char cmd[16];
	size_t n = min(len, sizeof(cmd) - 1);
	int ret;

	if (copy_from_user(cmd, ubuf, n))
		return -EFAULT;
	cmd[n] = '\0';
	if (sysfs_streq(cmd, "suspend"))
		ret = crv_pmi_suspend_all();
	else if (sysfs_streq(cmd, "resume"))
		ret = crv_pmi_resume_all();
	else
		return -EINVAL;
	return ret == -EBUSY || ret == -EINVAL ? ret : (ssize_t)len;
}

static const struct file_operations power_fops = {
	.owner = THIS_MODULE,
	.open = power_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = power_write,
};

int crv_pmi_init(struct dentry *root)
{
	int ret;

	pmi_mode = KER_PMI_MODE_NORMAL;
	pmi_suspended = false;
	ret = platform_driver_register(&pmi_driver);
	if (ret)
		return ret;
	pmi_pdev = platform_device_register_simple("crv_pmi", -1, NULL, 0);
	if (IS_ERR(pmi_pdev)) {
		ret = PTR_ERR(pmi_pdev);
		pmi_pdev = NULL;
		platform_driver_unregister(&pmi_driver);
		return ret;
	}
	debugfs_create_file("power", 0600, root, NULL, &power_fops);
	return 0;
}

void crv_pmi_exit(void)
{
	platform_device_unregister(pmi_pdev);
	pmi_pdev = NULL;
	platform_driver_unregister(&pmi_driver);
	mutex_lock(&pmi_lock);
	memset(hooks, 0, sizeof(hooks));
	mutex_unlock(&pmi_lock);
}

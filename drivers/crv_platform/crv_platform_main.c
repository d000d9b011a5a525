// SPDX-License-Identifier: GPL-2.0
/*
 * Platform stand-in: the debug-menu, power, clock, interrupt, chip, memory-
 * layout and bandwidth-check services that the graphics module calls.
 *
 * Components never unregister what they hand us, so we track which module
 * owns each registration and forget it when that module goes away; nothing
 * is ever called in unloaded code.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/list.h>
#include <linux/mutex.h>
#include <linux/slab.h>
#include <linux/debugfs.h>
#include <linux/moduleparam.h>
#include "crv_platform_internal.h"

static unsigned int chip_id = CHP_CHIP_ID_UNKNOWN;
module_param(chip_id, uint, 0644);
MODULE_PARM_DESC(chip_id, "chip id that CHP_GetChipID reports");

struct crv_plat_mod {
	struct list_head node;
	struct module *mod;
};

static LIST_HEAD(live_modules);
static DEFINE_MUTEX(live_lock);
static struct dentry *plat_root;

u32 CHP_GetChipID(void)
{
	return READ_ONCE(chip_id);
}
EXPORT_SYMBOL_GPL(CHP_GetChipID);

struct module *crv_plat_owner_of(const void *addr)
{
	struct crv_plat_mod *m;
	struct module *owner = NULL;

	if (!addr)
		return NULL;
	mutex_lock(&live_lock);
	list_for_each_entry(m, &live_modules, node) {
		if (within_module((unsigned long)addr, m->mod)) {
			owner = m->mod;
			break;
		}
	}
	mutex_unlock(&live_lock);
	return owner;
}

static int crv_plat_module_event(struct notifier_block *nb, unsigned long state, void *data)
{
	struct module *mod = data;
	struct crv_plat_mod *m, *tmp;

	if (state == MODULE_STATE_COMING) {
		m = kzalloc(sizeof(*m), GFP_KERNEL);
		if (!m)
			return NOTIFY_DONE;
		m->mod = mod;
		mutex_lock(&live_lock);
		list_add(&m->node, &live_modules);
		mutex_unlock(&live_lock);
	} else if (state == MODULE_STATE_GOING) {
		crv_dbg_forget(mod);
		crv_pmi_forget(mod);
		crv_irq_forget(mod);
		crv_bw_forget(mod);
		mutex_lock(&live_lock);
		list_for_each_entry_safe(m, tmp, &live_modules, node) {
			if (m->mod == mod) {
				list_del(&m->node);
				kfree(m);
			}
		}
		mutex_unlock(&live_lock);
	}
	return NOTIFY_DONE;
}

static struct notifier_block crv_plat_module_nb = {
	.notifier_call = crv_plat_module_event,
};

static void crv_plat_forget_all(void)
{
	struct crv_plat_mod *m, *tmp;

	mutex_lock(&live_lock);
	list_for_each_entry_safe(m, tmp, &live_modules, node) {
		list_del(&m->node);
		kfree(m);
	}
	mutex_unlock(&live_lock);
}

static int __init crv_platform_init(void)
{
	int ret;

	plat_root = debugfs_create_dir("crv_platform", NULL);
	ret = register_module_notifier(&crv_plat_module_nb);
	if (ret)
		goto fail_root;
	ret = crv_mem_init(plat_root);
	if (ret)
		goto fail_notifier;
	ret = crv_clk_init(plat_root);
	if (ret)
		goto fail_mem;
	ret = crv_pmi_init(plat_root);
	if (ret)
		goto fail_clk;
	ret = crv_irq_init(plat_root);
	if (ret)
		goto fail_pmi;
	ret = crv_bw_init(plat_root);
	if (ret)
		goto fail_irq;
	ret = crv_dbg_init(plat_root);
	if (ret)
		goto fail_bw;
	pr_info("crv_platform: services ready, chip id 0x%08x\n", chip_id);
	return 0;

fail_bw:
	crv_bw_exit();
fail_irq:
	crv_irq_exit();
fail_pmi:
	crv_pmi_exit();
fail_clk:
	crv_clk_exit();
fail_mem:
	crv_mem_exit();
fail_notifier:
	unregister_module_notifier(&crv_plat_module_nb);
	crv_plat_forget_all();
fail_root:
	debugfs_remove_recursive(plat_root);
	plat_root = NULL;
	return ret;
}

static void __exit crv_platform_exit(void)
{
	/* Files first, so no operator request arrives while we take down. */
	debugfs_remove_recursive(plat_root);
	plat_root = NULL;
	crv_dbg_exit();
	crv_bw_exit();
	crv_irq_exit();
	crv_pmi_exit();
	crv_clk_exit();
	crv_mem_exit();
	unregister_module_notifier(&crv_plat_module_nb);
	crv_plat_forget_all();
}

module_init(crv_platform_init);
module_exit(crv_platform_exit);

MODULE_DESCRIPTION("platform debug-menu, power, clock, interrupt, chip and memory-layout services");
MODULE_LICENSE("GPL");

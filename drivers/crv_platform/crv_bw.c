// SPDX-License-Identifier: GPL-2.0
/*
 * Bandwidth-error checks: components register a check under an id (again
 * under the same id replaces it); reading crv_platform/bwchk runs them all.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/mutex.h>
#include <linux/string.h>
#include <linux/debugfs.h>
#include <linux/seq_file.h>
#include "crv_platform_internal.h"

#define BW_MAX_CHECKS 32

struct bw_check {
	bool used;
	u32 id;
	int (*check)(void);
	struct module *owner;
};

static struct bw_check checks[BW_MAX_CHECKS];
static DEFINE_MUTEX(bw_lock);

int CRV_DBG_RegisterBwErrChk(u32 u32Id, int (*pfCheck)(void))
{
	struct bw_check *c = NULL;
	int i;

	if (!pfCheck)
		return -EINVAL;
	mutex_lock(&bw_lock);
	for (i = 0; i < BW_MAX_CHECKS; i++)
		if (checks[i].used && checks[i].id == u32Id)
			c = &checks[i];
	for (i = 0; !c && i < BW_MAX_CHECKS; i++)
		if (!checks[i].used)
			c = &checks[i];
	if (!c) {
		mutex_unlock(&bw_lock);
		return -ENOSPC;
	}
	c->used = true;
	c->id = u32Id;
	c->check = pfCheck;
	c->owner = crv_plat_owner_of(pfCheck);
	mutex_unlock(&bw_lock);
	return 0;
}
EXPORT_SYMBOL_GPL(CRV_DBG_RegisterBwErrChk);

void crv_bw_forget(struct module *mod)
{
	int i;

	mutex_lock(&bw_lock);
	for (i = 0; i < BW_MAX_CHECKS; i++)
		if (checks[i].used && checks[i].owner == mod)
			memset(&checks[i], 0, sizeof(checks[i]));
	mutex_unlock(&bw_lock);
}

unsigned int crv_bw_check_count(void)
{
	unsigned int i, n = 0;

	mutex_lock(&bw_lock);
	for (i = 0; i < BW_MAX_CHECKS; i++)
		n += checks[i].used;
	mutex_unlock(&bw_lock);
	return n;
}

static int bw_run(struct seq_file *s)
{
	int i, errors = 0;

	mutex_lock(&bw_lock);
	for (i = 0; i < BW_MAX_CHECKS; i++) {
		int ret;

		if (!checks[i].used)
			continue;
		ret = checks[i].check();
		if (ret == 1)
			errors++;
		if (s)
			seq_printf(s, "%u %s\n", checks[i].id, ret == 1 ? "error" : "ok");
	}
	mutex_unlock(&bw_lock);
	return errors;
}

int crv_bw_run_checks(void)
{
	return bw_run(NULL);
}

static int bwchk_show(struct seq_file *s, void *unused)
{
	bw_run(s);
	return 0;
}
DEFINE_SHOW_ATTRIBUTE(bwchk);

int crv_bw_init(struct dentry *root)
{
	debugfs_create_file("bwchk", 0400, root, NULL, &bwchk_fops);
	return 0;
}

void crv_bw_exit(void)
{
	mutex_lock(&bw_lock);
	memset(checks, 0, sizeof(checks));
	mutex_unlock(&bw_lock);
}

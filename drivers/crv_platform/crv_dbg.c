// SPDX-License-Identifier: GPL-2.0
/*
 * Debug menus. Components register a top-level menu (an array of entries
 * whose items run handlers or open sub-menus); the operator drives it through
 * the debugfs file "crv_platform/menu":
 *
 *   cat menu                 where we are, the items, what input is awaited
 *   echo 3 > menu            select item 3 (menus and items count from 1)
 *   echo DRV_OSD > menu      select by name
 *   echo 0 > menu, "..", "/" one level up, back to the top
 *
 * Handlers run one at a time on the thread "crv_dbg"; the numbers and strings
 * they ask for (DRV_DBG_GetNumber, DRV_DBG_GetString) are the next lines
 * written to the same file.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/kthread.h>
#include <linux/sched/signal.h>
#include <linux/mutex.h>
#include <linux/spinlock.h>
#include <linux/wait.h>
#include <linux/string.h>
#include <linux/debugfs.h>
#include <linux/seq_file.h>
#include <linux/uaccess.h>
#include <linux/slab.h>
#include "crv_platform_internal.h"

#define DBG_MAX_MENUS	32
#define DBG_NAME_LEN	32
#define DBG_MAX_DEPTH	8
#define DBG_MAX_ITEMS	256
#define DBG_LINE_LEN	256
#define DBG_QUEUE_LINES	64

enum dbg_wait { DBG_WAIT_NONE, DBG_WAIT_COMMAND, DBG_WAIT_NUMBER, DBG_WAIT_STRING };

struct dbg_menu {
	bool used;
	char name[DBG_NAME_LEN];
	const ST_DRV_DBG_MENU_ENTRY *entries;
	struct module *owner;
};

static struct dbg_menu menus[DBG_MAX_MENUS];
/* Guards menus[] and the navigation state below. */
static DEFINE_MUTEX(menu_lock);
static int cur_menu = -1;		/* -1: the list of menus */
static const ST_DRV_DBG_MENU_ENTRY *nav_stack[DBG_MAX_DEPTH];
static int nav_depth;			/* nav_stack[nav_depth - 1] is shown */

/* Operator input, one line per slot. */
static char (*queue)[DBG_LINE_LEN];
static unsigned int q_head, q_count;
static bool q_waiting, q_stopping;
static enum dbg_wait q_wait_kind;
static DEFINE_SPINLOCK(q_lock);
static DECLARE_WAIT_QUEUE_HEAD(q_wait);
static DECLARE_WAIT_QUEUE_HEAD(idle_wait);

static struct task_struct *dbg_task;

static bool q_has_line(void)
{
	unsigned long flags;
	bool ret;

	spin_lock_irqsave(&q_lock, flags);
	ret = q_count > 0 || q_stopping;
	spin_unlock_irqrestore(&q_lock, flags);
	return ret;
}

/* Next operator line into buf; -ESHUTDOWN once the service stops. */
static int dbg_next_line(char *buf, size_t size, enum dbg_wait kind)
{
	unsigned long flags;

	for (;;) {
		spin_lock_irqsave(&q_lock, flags);
		if (q_stopping) {
			spin_unlock_irqrestore(&q_lock, flags);
			buf[0] = '\0';
			return -ESHUTDOWN;
		}
		if (q_count) {
			strscpy(buf, queue[q_head], size);
			q_head = (q_head + 1) % DBG_QUEUE_LINES;
			q_count--;
			q_waiting = false;
			q_wait_kind = DBG_WAIT_NONE;
			spin_unlock_irqrestore(&q_lock, flags);
			return 0;
		}
		q_waiting = true;
		q_wait_kind = kind;
		spin_unlock_irqrestore(&q_lock, flags);
		wake_up_all(&idle_wait);
		if (wait_event_interruptible(q_wait, q_has_line()))
			flush_signals(current);
	}
}

int crv_dbg_feed(const char *text, size_t len)
{
	unsigned long flags;
	size_t pos = 0;
	int lines = 0;

	spin_lock_irqsave(&q_lock, flags);
	if (!queue || q_stopping) {
		spin_unlock_irqrestore(&q_lock, flags);
		return -ESHUTDOWN;
	}
	while (pos < len) {
		size_t end = pos, n;
		char *slot;

		while (end < len && text[end] != '\n')
			end++;
		if (q_count == DBG_QUEUE_LINES) {
			spin_unlock_irqrestore(&q_lock, flags);
			wake_up_all(&q_wait);
			return lines ? (int)pos : -EBUSY;
		}
		slot = queue[(q_head + q_count) % DBG_QUEUE_LINES];
		n = min_t(size_t, end - pos, DBG_LINE_LEN - 1);
		memcpy(slot, text + pos, n);
		slot[n] = '\0';
		while (n && (slot[n - 1] == '\r' || slot[n - 1] == ' '))
			slot[--n] = '\0';
		q_count++;
		lines++;
		pos = end < len ? end + 1 : end;
	}
	spin_unlock_irqrestore(&q_lock, flags);
	wake_up_all(&q_wait);
	return (int)pos;
}

static bool dbg_idle(void)
{
	unsigned long flags;
	bool ret;

	spin_lock_irqsave(&q_lock, flags);
	ret = q_stopping || (q_count == 0 && q_waiting);
	spin_unlock_irqrestore(&q_lock, flags);
	return ret;
}

void crv_dbg_wait_idle(void)
{
	wait_event(idle_wait, dbg_idle());
}

u32 DRV_DBG_GetNumber(void)
{
	char line[DBG_LINE_LEN];
	u32 val;

	if (dbg_next_line(line, sizeof(line), DBG_WAIT_NUMBER))
		return 0;
	if (kstrtou32(strim(line), 0, &val)) {
		pr_warn("crv_dbg: \"%s\" is not a number, using 0\n", line);
		return 0;
	}
	return val;
}
EXPORT_SYMBOL_GPL(DRV_DBG_GetNumber);

int DRV_DBG_GetString(char *pszBuf, u32 u32Size)
{
	char line[DBG_LINE_LEN];

	if (!pszBuf || !u32Size)
		return -EINVAL;
	dbg_next_line(line, sizeof(line), DBG_WAIT_STRING);
	strscpy(pszBuf, line, u32Size);
	return strlen(pszBuf);
}
EXPORT_SYMBOL_GPL(DRV_DBG_GetString);

int DRV_DBG_Register(u32 u32Level, u32 u32Flags, const char *pszName,
		     const ST_DRV_DBG_MENU_ENTRY *pstEntries)
{
	struct module *owner;
	int i, free_slot = -1;

	if (!pszName || !pszName[0] || !pstEntries)
		return -EINVAL;
	owner = crv_plat_owner_of(pstEntries);
	if (!owner)
		owner = crv_plat_owner_of(pszName);

	mutex_lock(&menu_lock);
	for (i = 0; i < DBG_MAX_MENUS; i++) {
		if (menus[i].used && !strncmp(menus[i].name, pszName, DBG_NAME_LEN - 1))
			break;
		if (!menus[i].used && free_slot < 0)
			free_slot = i;
	}
	if (i == DBG_MAX_MENUS) {
		if (free_slot < 0) {
			mutex_unlock(&menu_lock);
			pr_err("crv_dbg: no room for menu %s\n", pszName);
			return -ENOSPC;
		}
		i = free_slot;
	} else if (cur_menu == i) {
		/* Registered again: whatever was open belongs to the old tables. */
		cur_menu = -1;
		nav_depth = 0;
	}
	menus[i].used = true;
	strscpy(menus[i].name, pszName, sizeof(menus[i].name));
	menus[i].entries = pstEntries;
	menus[i].owner = owner;
	mutex_unlock(&menu_lock);
	pr_debug("crv_dbg: menu %s registered (%u, 0x%x)\n", pszName, u32Level, u32Flags);
	return 0;
}
EXPORT_SYMBOL_GPL(DRV_DBG_Register);

void crv_dbg_forget(struct module *mod)
{
	int i;

	mutex_lock(&menu_lock);
	for (i = 0; i < DBG_MAX_MENUS; i++) {
		if (!menus[i].used || menus[i].owner != mod)
			continue;
		memset(&menus[i], 0, sizeof(menus[i]));
		if (cur_menu == i) {
			cur_menu = -1;
			nav_depth = 0;
		}
	}
	mutex_unlock(&menu_lock);
}

static int entry_count(const ST_DRV_DBG_MENU_ENTRY *e)
{
	int n = 0;

	while (n < DBG_MAX_ITEMS && !(e[n].u32Flags & DRV_DBG_MENU_END))
		n++;
	return n;
}

/* Called with menu_lock held; returns the action to run, if any. */
static const ST_DRV_DBG_MENU_ACTION *dbg_select(const char *cmd, const char **item_name,
						struct module **owner)
{
	const ST_DRV_DBG_MENU_ENTRY *cur, *e;
	unsigned int idx = 0;
	int i, n;

	if (!strcmp(cmd, "/")) {
		cur_menu = -1;
		nav_depth = 0;
		return NULL;
	}
	if (!strcmp(cmd, "..") || !strcmp(cmd, "0")) {
		if (nav_depth > 1)
			nav_depth--;
		else {
			nav_depth = 0;
			cur_menu = -1;
		}
		return NULL;
	}
	if (kstrtouint(cmd, 0, &idx))
		idx = 0;

	if (cur_menu < 0) {
		for (i = 0, n = 0; i < DBG_MAX_MENUS; i++) {
			if (!menus[i].used)
				continue;
			n++;
			if ((idx && n == idx) || (!idx && !strcmp(menus[i].name, cmd))) {
				cur_menu = i;
				nav_stack[0] = menus[i].entries;
				nav_depth = 1;
				return NULL;
			}
		}
		pr_info("crv_dbg: no menu \"%s\"\n", cmd);
		return NULL;
	}

	cur = nav_stack[nav_depth - 1];
	n = entry_count(cur);
	e = NULL;
	if (idx >= 1 && idx <= n) {
		e = &cur[idx - 1];
	} else if (!idx) {
		for (i = 0; i < n; i++)
			if (cur[i].pszName && !strcmp(cur[i].pszName, cmd))
				e = &cur[i];
	}
	if (!e || !e->pTarget) {
		pr_info("crv_dbg: no item \"%s\"\n", cmd);
		return NULL;
	}
	if (e->u32Flags & DRV_DBG_MENU_SUBMENU) {
		if (nav_depth == DBG_MAX_DEPTH) {
			pr_info("crv_dbg: menus nest too deep\n");
			return NULL;
		}
		nav_stack[nav_depth++] = e->pTarget;
		return NULL;
	}
	if (e->u32Flags & DRV_DBG_MENU_ACTION) {
		*item_name = e->pszName;
		*owner = menus[cur_menu].owner;
		return e->pTarget;
	}
	pr_info("crv_dbg: item \"%s\" does nothing\n", e->pszName ? e->pszName : "");
	return NULL;
}

/* The owner's reference is held: it stays loaded while its handler runs. */
static void dbg_run(const ST_DRV_DBG_MENU_ACTION *act, const char *name, struct module *owner)
{
	u32 args[DRV_DBG_MAX_ARGS] = { 0 };
	int i, ret;

	for (i = 0; i < DRV_DBG_MAX_ARGS; i++) {
		if (!act->pszArgPrompt[i])
			continue;
		pr_info("%s", act->pszArgPrompt[i]);
		args[i] = DRV_DBG_GetNumber();
	}
	if (act->pfHandler) {
		ret = act->pfHandler(args);
		if (ret)
			pr_info("crv_dbg: %s returned %d\n", name ? name : "", ret);
	}
	if (owner)
		module_put(owner);
}

static int dbg_thread(void *unused)
{
	char line[DBG_LINE_LEN];

	while (!kthread_should_stop()) {
		const ST_DRV_DBG_MENU_ACTION *act;
		const char *name = NULL;
		struct module *owner = NULL;

		if (dbg_next_line(line, sizeof(line), DBG_WAIT_COMMAND))
			break;
		if (!line[0])
			continue;
		mutex_lock(&menu_lock);
		act = dbg_select(strim(line), &name, &owner);
		/*
		 * Under the lock: an owner going away forgets its menus under it
		 * too, so the module is still there to be asked for a reference.
		 */
		if (act && owner && !try_module_get(owner))
			act = NULL;
		mutex_unlock(&menu_lock);
		if (act)
			dbg_run(act, name, owner);
	}
	/* kthread_stop() expects us to wait for it. */
	while (!kthread_should_stop())
		schedule_timeout_interruptible(1);
	return 0;
}

static int menu_show(struct seq_file *s, void *unused)
{
	static const char *const waits[] = { "busy", "command", "number", "string" };
	unsigned long flags;
	enum dbg_wait kind;
	int i, n;

	mutex_lock(&menu_lock);
	if (cur_menu < 0) {
		seq_puts(s, "menu: /\n");
		for (i = 0, n = 0; i < DBG_MAX_MENUS; i++)
			if (menus[i].used)
				seq_printf(s, "%3d %s >\n", ++n, menus[i].name);
	} else {
		const ST_DRV_DBG_MENU_ENTRY *cur = nav_stack[nav_depth - 1];

		seq_printf(s, "menu: /%s (level %d)\n", menus[cur_menu].name, nav_depth);
		seq_puts(s, "  0 ..\n");
		n = entry_count(cur);
		for (i = 0; i < n; i++)
			seq_printf(s, "%3d %s%s\n", i + 1, cur[i].pszName ? cur[i].pszName : "",
				   (cur[i].u32Flags & DRV_DBG_MENU_SUBMENU) ? " >" : "");
	}
	mutex_unlock(&menu_lock);
	spin_lock_irqsave(&q_lock, flags);
	kind = q_waiting ? q_wait_kind : DBG_WAIT_NONE;
	spin_unlock_irqrestore(&q_lock, flags);
	seq_printf(s, "waiting for: %s\n", waits[kind]);
	return 0;
}

static int menu_open(struct inode *inode, struct file *file)
{
	return single_open(file, menu_show, NULL);
}

static ssize_t menu_write(struct file *file, const char __user *ubuf, size_t len, loff_t *ppos)
{
	char *buf;
	int ret;

	if (len > DBG_LINE_LEN * 4)
		return -EINVAL;
	buf = memdup_user(ubuf, len);
	if (IS_ERR(buf))
		return PTR_ERR(buf);
	ret = crv_dbg_feed(buf, len);
	kfree(buf);
	return ret < 0 ? ret : (ssize_t)len;
}

static const struct file_operations menu_fops = {
	.owner = THIS_MODULE,
	.open = menu_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = menu_write,
};

int crv_dbg_init(struct dentry *root)
{
	queue = kcalloc(DBG_QUEUE_LINES, sizeof(*queue), GFP_KERNEL);
	if (!queue)
		return -ENOMEM;
	q_stopping = false;
	dbg_task = kthread_run(dbg_thread, NULL, "crv_dbg");
	if (IS_ERR(dbg_task)) {
		int ret = PTR_ERR(dbg_task);

		dbg_task = NULL;
		kfree(queue);
		queue = NULL;
		return ret;
	}
	debugfs_create_file("menu", 0600, root, NULL, &menu_fops);
	return 0;
}

void crv_dbg_exit(void)
{
	unsigned long flags;

	spin_lock_irqsave(&q_lock, flags);
	q_stopping = true;
	spin_unlock_irqrestore(&q_lock, flags);
	wake_up_all(&q_wait);
	wake_up_all(&idle_wait);
	if (dbg_task)
		kthread_stop(dbg_task);
	dbg_task = NULL;
	spin_lock_irqsave(&q_lock, flags);
	kfree(queue);
	queue = NULL;
	q_head = 0;
	q_count = 0;
	q_waiting = false;
	spin_unlock_irqrestore(&q_lock, flags);
	mutex_lock(&menu_lock);
	memset(menus, 0, sizeof(menus));
	cur_menu = -1;
	nav_depth = 0;
	mutex_unlock(&menu_lock);
}

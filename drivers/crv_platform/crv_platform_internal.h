/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Inside the platform stand-in: what its parts share, and the controls that
 * its debugfs files (and the host tests) use to play the operator, the power
 * manager and the display timing.
 */
#ifndef CRV_PLATFORM_INTERNAL_H
#define CRV_PLATFORM_INTERNAL_H

#include <linux/module.h>
#include "crv_platform.h"

struct dentry;

/* Owner tracking: the module whose code or data holds addr, or NULL. */
struct module *crv_plat_owner_of(const void *addr);

int crv_dbg_init(struct dentry *root);
void crv_dbg_exit(void);
void crv_dbg_forget(struct module *mod);
/* Feeds operator input: one or more lines, as written to the "menu" file. */
int crv_dbg_feed(const char *text, size_t len);
/* Waits until the menu has consumed every line fed so far and sits idle. */
void crv_dbg_wait_idle(void);

int crv_pmi_init(struct dentry *root);
void crv_pmi_exit(void);
void crv_pmi_forget(struct module *mod);
/* Runs every suspend hook in standby mode, then every resume hook. */
int crv_pmi_suspend_all(void);
int crv_pmi_resume_all(void);
unsigned int crv_pmi_hook_count(void);

/* Clock calls in the order they came, for the "clk" file and the tests. */
struct crv_clk_event {
	u8 reset;	/* 0 KER_CLK_SetClockMask, 1 KER_CLK_SetClockReset */
	u32 id;
	u32 value;
};
int crv_clk_init(struct dentry *root);
void crv_clk_exit(void);
/* Copies up to max of the latest events (oldest first); returns the count. */
int crv_clk_journal(struct crv_clk_event *ev, int max);
void crv_clk_journal_clear(void);

int crv_irq_init(struct dentry *root);
void crv_irq_exit(void);
void crv_irq_forget(struct module *mod);
/* Raises a platform interrupt once, in interrupt context; returns the handler count. */
int crv_sys_irq_raise(u32 irq);
unsigned int crv_irq_handler_count(void);

int crv_mem_init(struct dentry *root);
void crv_mem_exit(void);

int crv_bw_init(struct dentry *root);
void crv_bw_exit(void);
void crv_bw_forget(struct module *mod);
/* Runs every registered check; returns how many found an error. */
int crv_bw_run_checks(void);
unsigned int crv_bw_check_count(void);

#endif

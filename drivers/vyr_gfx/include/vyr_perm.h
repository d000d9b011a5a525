/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Who may do what through the module's device nodes.
 *
 * The nodes are open to every process (the plane framebuffers, crkgpu,
 * crkdispage, crkhdma, crkxdma). An operation that names raw physical
 * memory, or maps memory the driver does not own, needs CAP_SYS_RAWIO; one
 * that runs a self-test or changes the whole display needs CAP_SYS_ADMIN.
 * Like /dev/mem, the opener's credentials decide, so a descriptor handed to
 * a less privileged process keeps what its opener may do. Callers without a
 * file (the framebuffer core hands its operations only the fb_info) are
 * judged by the calling task.
 */
#ifndef VYR_PERM_H
#define VYR_PERM_H

#include <linux/capability.h>
#include <linux/cred.h>
#include <linux/errno.h>
#include <linux/fs.h>
#include <linux/user_namespace.h>

/* 0 when the opener of @filp (or, without a file, the caller) holds @cap, else -EPERM. */
static inline int vyr_perm_check(const struct file *filp, int cap)
{
	bool ok = filp ? file_ns_capable(filp, &init_user_ns, cap) : capable(cap);

	return ok ? 0 : -EPERM;
}

/* Raw physical ranges, and writable mappings of memory the driver does not own. */
static inline int vyr_perm_rawio(const struct file *filp)
{
	return vyr_perm_check(filp, CAP_SYS_RAWIO);
}

/* Self-tests, freezes and other changes to the whole display. */
static inline int vyr_perm_admin(const struct file *filp)
{
	return vyr_perm_check(filp, CAP_SYS_ADMIN);
}

#endif /* VYR_PERM_H */

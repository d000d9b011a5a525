// SPDX-License-Identifier: GPL-2.0
/* Test stand-in for the framebuffer layer's kernel entries the menu calls. */
#include <linux/kernel.h>
#include <linux/fb.h>
#include <linux/string.h>

#include "osd_menu_standin.h"

struct osd_menu_call gastMenuCalls[64];
int giMenuCalls;
int giMenuFailNr = -1;
static struct fb_info gastFb[OSD_PLANE_MAX];
struct device *gstOsdDev;

/* The exporter is the framebuffer layer's; its suite checks it. */
int kosd_dma_buf_fd_to_phys(int fd, struct device *dev, u64 *pu64Addr, u64 *pu64Size)
{
	return -EBADF;
}

struct fb_info *_ker_osd_drm_get_fbinfo(EN_DRV_OSD_PLANE_ID enPlane)
{
	return enPlane < OSD_PLANE_MAX ? &gastFb[enPlane] : NULL;
}

int _ker_osd_drm_fb_Ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg)
{
	struct osd_menu_call *c;

	if (giMenuCalls >= 64)
		return -ENOSPC;
	c = &gastMenuCalls[giMenuCalls++];
	c->plane = info ? (int)(info - gastFb) : -1;
	c->cmd = cmd;
	c->arg = arg;
	/* records are copied as the dispatcher would read them */
	/* what the caller hands in (queries may be one byte whatever their number says) */
	if (arg > 0x10000 && ((cmd >> 30) & 1)) {
		size_t n = (cmd >> 16) & 0x3fff;	/* the size the number encodes */

		memcpy(c->rec, (const void *)arg, n < sizeof(c->rec) ? n : sizeof(c->rec));
	}
	if ((int)(cmd & 0xff) == giMenuFailNr)
		return -22;
	return 0;
}

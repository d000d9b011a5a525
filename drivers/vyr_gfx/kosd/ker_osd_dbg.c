// SPDX-License-Identifier: GPL-2.0
/*
 * OSD debug menu "DRV_OSD": registered with the platform's debug module at
 * start-up; the items live in ker_osd_menu.c.
 */
#include <linux/kernel.h>

#include "ker_osd.h"
#include "ker_osd_fb.h"

void KER_OSD_DebugMenuInit(void)
{
	_ker_osd_menu_register();
}

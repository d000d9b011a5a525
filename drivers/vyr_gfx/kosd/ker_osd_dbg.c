// SPDX-License-Identifier: GPL-2.0
/*
 * OSD debug menu "DRV_OSD": registration with the platform's debug module.
 * The menu's items are added to gastKerOsdDbgMenu, which ends with the end
 * marker.
 */
#include <linux/kernel.h>

#include <crv_platform.h>

#include "ker_osd_fb.h"

static const ST_DRV_DBG_MENU_ENTRY gastKerOsdDbgMenu[] = {
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

void KER_OSD_DebugMenuInit(void)
{
	DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "DRV_OSD", gastKerOsdDbgMenu);
}

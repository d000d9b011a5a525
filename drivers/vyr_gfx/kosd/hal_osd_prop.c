// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: the plane property operations that start-up, power
 * transitions and the vsync path rely on.
 */
#include <linux/kernel.h>
#include <linux/spinlock.h>

#include "hal_osd.h"

#define NORMAL_CURSOR_ONLY_MSG "Not support for Cursor plane!\n"

void _ker_osd_Set_DBLSync(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Value)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu32Value)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(OSD_REG(0x210c), BIT(31), *pu32Value << 31);
	else
		osd_prog(OSD_REG(0x000), BIT(8), (*pu32Value & 1) << 8);
	OSD_LEAVE();
}

void _ker_osd_Show_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x2000) : OSD_REG(0x004), BIT(0),
		 osd_bit(0, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_AXIFreeze_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	bit = OSD_IS_CURSOR(enPlane) ? enPlane - 3 : enPlane + 8;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x2270) : OSD_REG(0x004), BIT(bit),
		 osd_bit(bit, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_AutoMute_Trigger(EN_DRV_OSD_PLANE_ID enPlane)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	bit = OSD_IS_CURSOR(enPlane) ? enPlane + 17 : enPlane + 20;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x2270) : OSD_REG(0x004), BIT(bit), BIT(bit));
	OSD_LEAVE();
}

void _ker_osd_AutoMute_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	ST_DRV_OSD_UPDATE_ENABLE stUpdate = {
		.u32UpdateMask = OSD_UPDATE_NORMAL, .bEnable = 1, .bWaitVsync = 1,
	};
	int bit;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	bit = OSD_IS_CURSOR(enPlane) ? enPlane + 13 : enPlane + 16;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x2270) : OSD_REG(0x004), BIT(bit),
		 osd_bit(bit, *pbEnable));
	_ker_osd_Update_Enable(enPlane, &stUpdate);
	OSD_LEAVE();
}

void _ker_osd_Set_DPVDERef(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_DPVDE_REF *pstRef)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstRef)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(OSD_REG(0x2000), BIT(5) | BIT(4),
			 (pstRef->u32RefA & 1) << 5 | (pstRef->u32RefB & 1) << 4);
	else
		osd_prog(OSD_REG(0x004), BIT(25) | BIT(24),
			 (pstRef->u32RefA & 1) << 25 | (pstRef->u32RefB & 1) << 24);
	OSD_LEAVE();
}

void _ker_osd_DualOutput_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	bool on;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	on = *pbEnable;
	osd_prog(OSD_REG(0x008), BIT(8), osd_bit(8, on));
	osd_prog(OSD_REG(0x2000), BIT(28), osd_bit(28, on));
	osd_prog(OSD_REG(0x0a8), ~0u, on ? 0x770210 : 1);
	OSD_LEAVE();
}

void _ker_osd_AlphaCal_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	ST_KER_OSD_PLANE_CTX *pstCtx;
	int bit;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	bit = OSD_IS_CURSOR(enPlane) ? enPlane + 25 : enPlane + 28;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x22e4) : OSD_REG(0x0b0), BIT(bit),
		 osd_bit(bit, *pbEnable));
	pstCtx = osd_ctx(enPlane);
	if (pstCtx)
		pstCtx->bAlphaCal = *pbEnable;
	OSD_LEAVE();
}

void _ker_osd_Set_AlphaCalThrd(EN_DRV_OSD_PLANE_ID enPlane, u32 *pu32Thrd)
{
	int shift;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pu32Thrd)
		return;
	shift = OSD_IS_CURSOR(enPlane) ? 8 * enPlane - 24 : 8 * enPlane;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x22e4) : OSD_REG(0x0b0), 0xffu << shift,
		 (*pu32Thrd & 0xff) << shift);
	OSD_LEAVE();
}

void _ker_osd_ProtectArea_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	bit = OSD_IS_CURSOR(enPlane) ? enPlane + 5 : 4 * enPlane;
	osd_prog(OSD_IS_CURSOR(enPlane) ? OSD_REG(0x22c8) : OSD_REG(0x0d4), BIT(bit),
		 osd_bit(bit, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_Set_ProtectArea(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_PROTECT_AREA *pstArea)
{
	int shift;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstArea)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		shift = 8 * (enPlane - 3);
		osd_prog(OSD_REG(0x22c4), 0xffu << shift, (pstArea->u32AlphaThrd & 0xff) << shift);
		osd_prog(osd_cursor_reg(OSD_REG(0x22d0), enPlane), 0x7ff, pstArea->u32HEnd);
	} else {
		shift = 8 * enPlane;
		osd_prog(OSD_REG(0x0d0), 0xffu << shift, (pstArea->u32AlphaThrd & 0xff) << shift);
		osd_prog(osd_normal_reg(OSD_REG(0x0e0), enPlane), 0x7ff, pstArea->u32HEnd);
	}
	OSD_LEAVE();
}

void _ker_osd_Set_PlaneOrder(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_PLANE_ORDER *penOrder)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!penOrder)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(OSD_REG(0x210c), 0x7u << 16, (*penOrder & 3) << 17);
	else
		osd_prog(OSD_REG(0x02c), 0x7u << 16, (*penOrder & 7) << 16);
	OSD_LEAVE();
}

void _ker_osd_RegionShow_Enable(EN_DRV_OSD_PLANE_ID enPlane, EN_DRV_OSD_REGION_ID enRegion,
				u8 *pbEnable)
{
	int bit;

	OSD_ENTER();
	OSD_CHECK_REGION(enPlane, enRegion);
	if (!pbEnable || (*pbEnable && osd_scan_may_show(enPlane, enRegion)))
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		bit = 16 * enRegion;
		osd_prog(osd_cursor_reg(OSD_REG(0x2004), enPlane), BIT(bit), osd_bit(bit, *pbEnable));
	} else {
		osd_prog(osd_normal_reg(OSD_REG(0x110), enPlane), BIT(0), osd_bit(0, *pbEnable));
	}
	OSD_LEAVE();
}

void _ker_osd_Set_LBMThrd(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_LBM_THRD *pstThrd)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstThrd)
		return;
	if (OSD_IS_CURSOR(enPlane))
		osd_prog(osd_cursor_reg(OSD_REG(0x2220), enPlane), ~0u,
			 (pstThrd->u32Thrd2 & 31) << 16 | (pstThrd->u32Thrd0 & 0x3ff));
	else
		osd_prog(osd_normal_reg(OSD_REG(0x1ec), enPlane), ~0u,
			 (pstThrd->u32Thrd0 & 0x3ff) << 16 | (pstThrd->u32Thrd1 & 31) << 8 |
			 (pstThrd->u32Thrd2 & 31));
	OSD_LEAVE();
}

void _ker_osd_Set_PaletteCtrl(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	u32 v;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable)
		return;
	if (OSD_IS_CURSOR(enPlane)) {
		OSD_ERR_RL(NORMAL_CURSOR_ONLY_MSG);
		return;
	}
	v = osd_read(OSD_REG(0x410));
	if (*pbEnable && (v & 0x14) != 0x14) {
		osd_prog(OSD_REG(0x410), ~0u, 0x14);
	} else if (!*pbEnable && (v & 0x14)) {
		osd_prog(OSD_REG(0x410), ~0u, 0);
	} else {
		OSD_LEAVE();
		return;
	}
	osd_write_hw(OSD_REG(0x428), 1);
	_ker_osd_WaitPaletteTrigger();
	OSD_LEAVE();
}

void _ker_osd_XVYCCTimingSelection_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable || OSD_IS_CURSOR(enPlane))
		return;
	osd_prog(OSD_REG(0x92c), BIT(6), osd_bit(6, *pbEnable));
	OSD_LEAVE();
}

void _ker_osd_Set_XVYCCUpdateCtrl(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable || OSD_IS_CURSOR(enPlane))
		return;
	osd_write_hw(OSD_REG(0x980), *pbEnable ? 0x101 : 0);
	OSD_LEAVE();
}

void _ker_osd_XVYCC_Enable(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbEnable)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pbEnable || OSD_IS_CURSOR(enPlane))
		return;
	if (*pbEnable)
		osd_prog(OSD_REG(0x990), BIT(16), BIT(16));
	else
		osd_prog(OSD_REG(0x990), ~0u, 0);
	OSD_LEAVE();
}

void _ker_osd_Get_UpdateStatus(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_UPDATE_STATUS *pstStatus)
{
	u32 v;

	OSD_CHECK_PLANE(enPlane);
	if (!pstStatus)
		return;
	v = osd_read(OSD_REG(0xb000));
	if (OSD_IS_CURSOR(enPlane)) {
		pstStatus->u8Status = !!(v & OSD_UPLOAD_CURSOR);
	} else {
		pstStatus->u8Status = (v >> enPlane) & 1;
		pstStatus->au8Normal[enPlane] = pstStatus->u8Status;
	}
}

void _ker_osd_Update_Enable(EN_DRV_OSD_PLANE_ID enPlane, ST_DRV_OSD_UPDATE_ENABLE *pstUpdate)
{
	ST_KER_OSD_PLANE_CTX *pstCtx;
	ST_DRV_OSD_GLOBAL_SETTING *pstSet;
	unsigned long flags;
	bool palette, busy, skip;
	u32 reg;

	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	if (!pstUpdate)
		return;
	pstCtx = osd_ctx(enPlane);
	pstSet = osd_setting(enPlane);
	palette = pstCtx && pstCtx->astRegion[0].enColor == OSD_COLOR_PALETTE8;
	busy = pstSet && pstSet->bPaletteBusy;
	skip = pstCtx && pstCtx->bUpdateWaitSkip;

	spin_lock_irqsave(&gstOsdUpdateLock, flags);
	if (OSD_IS_CURSOR(enPlane)) {
		if (pstUpdate->bEnable) {
			osd_prog(OSD_REG(0x210c), BIT(30), BIT(30));
			osd_prog(OSD_REG(0xb000), OSD_UPLOAD_CURSOR, OSD_UPLOAD_CURSOR);
		} else {
			osd_prog(OSD_REG(0x210c), BIT(30), 0);
		}
	} else {
		_ker_osd_AutoMute_Trigger(enPlane);
		reg = osd_normal_reg(OSD_REG(0x12c), enPlane);
		if (pstUpdate->bEnable) {
			osd_prog_hw(reg, BIT(0), 0);
			osd_prog(reg, BIT(0), BIT(0));
			if (!busy)
				osd_prog(OSD_REG(0x000), 0x101, 0x101);
			if (!busy || !palette) {
				osd_write_hw(osd_normal_reg(OSD_REG(0x100), enPlane), 1);
				if (!gau8PalettePending[enPlane]) {
					osd_prog(OSD_REG(0xb000), BIT(enPlane), BIT(enPlane));
					osd_prog(OSD_REG(0xb000), OSD_UPLOAD_TRIGGER, OSD_UPLOAD_TRIGGER);
				} else {
					osd_write_hw(OSD_REG(0x428), 1);
					osd_prog(OSD_REG(0xb000), BIT(enPlane), BIT(enPlane));
					osd_prog(OSD_REG(0xb000), OSD_UPLOAD_TRIGGER | OSD_UPLOAD_PALETTE,
						 OSD_UPLOAD_TRIGGER | OSD_UPLOAD_PALETTE);
					gau8PalettePending[enPlane] = 0;
					WRITE_ONCE(gatPaletteMutexUp, 1);
				}
			}
		} else {
			osd_prog_hw(reg, BIT(0), BIT(0));
			osd_prog(reg, BIT(0), 0);
			osd_prog(OSD_REG(0x000), BIT(0), 0);
			osd_prog(osd_normal_reg(OSD_REG(0x100), enPlane), BIT(0), 0);
		}
	}
	spin_unlock_irqrestore(&gstOsdUpdateLock, flags);

	if (!skip && pstUpdate->bWaitVsync == 1)
		_ker_osd_VSyncWait(enPlane);
	OSD_LEAVE();
}

EN_COLOR _ker_osd_Convert_ColorRegValToMode(u32 u32RegVal)
{
	switch (u32RegVal & 0xf300) {
	case 0x0000:
		return OSD_COLOR_PALETTE8;
	case 0xa100:
		return OSD_COLOR_RGB565;
	case 0x0100:
		return OSD_COLOR_ARGB1555;
	case 0x4100:
		return OSD_COLOR_ARGB4444;
	case 0x0200:
	case 0x0300:
		return OSD_COLOR_ARGB8888;
	case 0x2100:
		return OSD_COLOR_RGBA5551;
	case 0x6100:
		return OSD_COLOR_RGBA4444;
	case 0x1200:
	case 0x1300:
		return OSD_COLOR_RGBA8888;
	}
	OSD_ERR("Invalid color format!\n");
	return 0;
}

void _ker_osd_Is_Support_AFBC(EN_DRV_OSD_PLANE_ID enPlane, u8 *pbSupport)
{
	OSD_CHECK_PLANE(enPlane);
	if (pbSupport)
		*pbSupport = 0;
}

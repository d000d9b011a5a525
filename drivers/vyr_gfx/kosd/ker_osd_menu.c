// SPDX-License-Identifier: GPL-2.0
/*
 * OSD debug menu "DRV_OSD": an operator's console that drives the OSD
 * through the same ioctl path as user space, on the framebuffer of the
 * current plane.
 */
#include <linux/kernel.h>
#include <linux/delay.h>
#include <linux/fb.h>
#include <linux/string.h>

#include <crv_platform.h>

#include "ker_osd.h"

/* The framebuffer layer's kernel entries. */
int _ker_osd_drm_fb_Ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg);
struct fb_info *_ker_osd_drm_get_fbinfo(EN_DRV_OSD_PLANE_ID enPlane);

#define OSD_MENU_REVISION	"DRV-OSD 0.0.107"
#define OSD_MENU_LINE		"==============================\n"

static struct fb_info *gapstMenuFb[OSD_PLANE_MAX];
static u32 gu32MenuPlane;

/* Colour-key commands carry which key, the enable and the value. */
typedef struct {
	u32 u32KeyID;
	u8 bEnable;
	u8 au8Reserved[3];
	ST_DRV_OSD_COLOR_KEY_VALUE stValue;
} ST_OSD_MENU_COLOR_KEY;

static int osd_menu_ioctl_on(u32 u32Plane, unsigned int cmd, unsigned long arg, const char *name)
{
	int ret = _ker_osd_drm_fb_Ioctl(gapstMenuFb[u32Plane], cmd, arg);

	if (ret)
		OSD_ERR("%s Fail\n", name);
	return ret;
}

#define IOC(cmd, arg)	osd_menu_ioctl_on(gu32MenuPlane, cmd, (unsigned long)(arg), #cmd)
#define IOC0(cmd, arg)	osd_menu_ioctl_on(OSD_NORMAL1, cmd, (unsigned long)(arg), #cmd)
#define TRY(expr)				\
	do {					\
		int ret_ = (expr);		\
		if (ret_)			\
			return ret_;		\
	} while (0)

static u32 osd_menu_number(const char *prompt)
{
	printk("%s", prompt);
	return DRV_DBG_GetNumber();
}

/* Plane selection; refuses planes that do not exist. */
static int osd_menu_plane(void)
{
	u32 p;

	printk("\nPlease Select PlaneID --->\n" OSD_MENU_LINE);
	printk("  0. Normal Plane1\n  1. Normal Plane2\n  2. Normal Plane3\n");
	printk("  3. Cursor Plane1\n  4. Cursor Plane2\n" OSD_MENU_LINE);
	p = osd_menu_number("  Select: ");
	if (p >= OSD_PLANE_MAX) {
		OSD_ERR("Invalid PlaneID = %d!\n", p + 1);
		return -EINVAL;
	}
	gu32MenuPlane = p;
	return 0;
}

static u8 osd_menu_onoff(void)
{
	printk("\nPlease Select Enable/Disable --->\n" OSD_MENU_LINE);
	printk("  0. Disable\n  1. Enable\n" OSD_MENU_LINE);
	return osd_menu_number("  Select: ") != 0;
}

static void osd_menu_window(ST_RECT *r)
{
	printk(OSD_MENU_LINE);
	r->u32X = osd_menu_number("  H_Start (X): ");
	printk(OSD_MENU_LINE);
	r->u32Y = osd_menu_number("  V_Start (Y): ");
	printk(OSD_MENU_LINE);
	r->u32W = osd_menu_number("  H_Width (W): ");
	printk(OSD_MENU_LINE);
	r->u32H = osd_menu_number("  V_Height (H): ");
}

static int osd_menu_update(void)
{
	ST_DRV_OSD_UPDATE_ENABLE up = { .u32UpdateMask = 0, .bEnable = 1, .bWaitVsync = 1 };

	return IOC(KER_OSD_IO_UPDATE_ENABLE, &up);
}

/* ---- items ----------------------------------------------------------------- */

static int osd_menu_revision(u32 *args)
{
	printk("OSD Driver Revision: %s\n", OSD_MENU_REVISION);
	return 0;
}

static int osd_menu_show(u32 *args)
{
	TRY(osd_menu_plane());
	return IOC(KER_OSD_IO_SHOW_ENABLE, osd_menu_onoff());
}

static int osd_menu_plane_region(u32 *args)
{
	ST_KER_OSD_PLANE_CTX *c;
	u8 plane_on, region_on;
	u32 region;

	TRY(osd_menu_plane());
	plane_on = osd_menu_onoff();
	printk("\nPlease Select RegionID --->\n" OSD_MENU_LINE "  0. Region1\n  1. Region2\n"
	       OSD_MENU_LINE);
	region = osd_menu_number("  Select: ");
	region_on = osd_menu_onoff();
	if (_ker_osd_Check_Ids(OSD_ID_REGION, gu32MenuPlane, region, 0, 0, 0))
		return -EINVAL;
	c = gapstMenuFb[gu32MenuPlane] ? gapstMenuFb[gu32MenuPlane]->par : NULL;
	if (c)
		c->enRegionID = region;
	TRY(IOC(KER_OSD_IO_PLANE_SHOW_ENABLE, plane_on));
	return IOC(KER_OSD_IO_REGION_SHOW_ENABLE, region_on);
}

static int osd_menu_scale(u32 *args)
{
	ST_DRV_OSD_SCALE_ENABLE en = { 0 };
	u32 h, v;

	printk("\nPlease Select \"Horizontal\" Scale --->\n" OSD_MENU_LINE
	       "  0. Scale Up\n  1. Scale Down\n" OSD_MENU_LINE);
	h = osd_menu_number("  Select: ");
	printk("\nPlease Select \"Vertical\" Scale --->\n" OSD_MENU_LINE
	       "  0. Scale Up\n  1. Scale Down\n" OSD_MENU_LINE);
	v = osd_menu_number("  Select: ");
	en.bHScaleUp = h == 0;
	en.bHScaleDown = h != 0;
	en.bVScaleUp = v == 0;
	en.bVScaleDown = v != 0;
	return IOC(KER_OSD_IO_SCALE_ENABLE, &en);
}

static int osd_menu_alpha_blend(u32 *args)
{
	u8 on = osd_menu_onoff();

	TRY(IOC(KER_OSD_IO_ALPHA_BLEND_ENABLE, on));
	if (!on)
		return 0;
	printk("\nPlease Input Alpha --->\n");
	return IOC(KER_OSD_IO_SET_ALPHA, osd_menu_number("  Alpha: "));
}

static int osd_menu_color_key(u32 *args)
{
	ST_OSD_MENU_COLOR_KEY key = { 0 };
	u32 mode = 0;

	printk("\nPlease Select ColorKey --->\n" OSD_MENU_LINE "  0. ColorKey1\n  1. ColorKey2\n"
	       OSD_MENU_LINE);
	key.u32KeyID = osd_menu_number("  Select: ");
	key.bEnable = osd_menu_onoff();
	TRY(IOC(KER_OSD_IO_COLOR_KEY_ENABLE, &key));
	if (!key.bEnable)
		return 0;
	key.stValue.u32Match = osd_menu_number("  MatchValue: ");
	key.stValue.u32Replace = osd_menu_number("  ReplaceValue: ");
	TRY(IOC(KER_OSD_IO_GET_COLOR_MODE, &mode));
	if (mode == OSD_COLOR_RGB565)
		key.stValue.u32Alpha = osd_menu_number("  AlphaForRGB565: ");
	return IOC(KER_OSD_IO_SET_COLOR_KEY, &key);
}

static int osd_menu_stride(u32 *args)
{
	printk("\nPlease Input Stride --->\n");
	return IOC(KER_OSD_IO_SET_STRIDE, osd_menu_number("  Stride: "));
}

static int osd_menu_disp_win(u32 *args)
{
	ST_DRV_OSD_DISP_WIN win = { { 0 } };

	printk("\nPlease Input Src Dimension --->\n");
	osd_menu_window(&win.stSrcWin);
	printk("\nPlease Input Dst Dimension --->\n");
	osd_menu_window(&win.stDstWin);
	return IOC(KER_OSD_IO_SET_DISP_WIN, &win);
}

static int osd_menu_update_enable(u32 *args)
{
	return osd_menu_update();
}

static int osd_menu_plane_order(u32 *args)
{
	printk("\nPlease Select Plane Order --->\n" OSD_MENU_LINE);
	printk("  0. Layer3-Plane3, Layer2-Plane2, Layer1-Plane1\n");
	printk("  1. Layer3-Plane2, Layer2-Plane3, Layer1-Plane1\n");
	printk("  2. Layer3-Plane3, Layer2-Plane1, Layer1-Plane2\n");
	printk("  3. Layer3-Plane1, Layer2-Plane3, Layer1-Plane2\n");
	printk("  4. Layer3-Plane2, Layer2-Plane1, Layer1-Plane3\n");
	printk("  5. Layer3-Plane1, Layer2-Plane2, Layer1-Plane3\n" OSD_MENU_LINE);
	return IOC(KER_OSD_IO_SET_PLANE_ORDER, osd_menu_number("  Select: "));
}

static int osd_menu_video_mask(u32 *args)
{
	ST_DRV_OSD_VIDEO_MASK_CTRL m = { 0 };
	ST_RECT r;

	printk("\nPlease Select LayerID --->\n" OSD_MENU_LINE "  0. Layer1\n  1. Layer2\n  2. Layer3\n"
	       OSD_MENU_LINE);
	m.u32LayerID = osd_menu_number("  Select: ");
	printk("\nPlease Select VideoMaskID --->\n" OSD_MENU_LINE "  0. VideoMask1\n  1. VideoMask2\n"
	       OSD_MENU_LINE);
	m.u32MaskID = osd_menu_number("  Select: ");
	m.bEnable = osd_menu_onoff();
	TRY(IOC(KER_OSD_IO_VIDEO_MASK_ENABLE, &m));
	if (!m.bEnable)
		return 0;
	printk("\nPlease Input VideoMask Dimension --->\n");
	osd_menu_window(&r);
	m.u32X = r.u32X;
	m.u32Y = r.u32Y;
	m.u32W = r.u32W;
	m.u32H = r.u32H;
	m.u32Delay = osd_menu_number("  Delay: ");
	m.u32Disparity3D = osd_menu_number("  3D Disparity: ");
	return IOC(KER_OSD_IO_SET_VIDEO_MASK, &m);
}

static int osd_menu_bist(u32 *args)
{
	ST_DRV_OSD_BIST_MODE b = { 0 };
	u8 on = osd_menu_onoff();

	TRY(IOC(KER_OSD_IO_BIST_MODE_ENABLE, on));
	if (!on)
		return 0;
	b.u32PixelValue = osd_menu_number("  PixelValue: ");
	b.u32PaletteIndex = osd_menu_number("  PaletteIndex: ");
	return IOC(KER_OSD_IO_SET_BIST_MODE, &b);
}

static int osd_menu_flush_axi(u32 *args)
{
	u8 on = osd_menu_onoff();

	TRY(IOC(KER_OSD_IO_FLUSH_AXI_READ_ENABLE, on));
	if (!on)
		return 0;
	printk("\nPlease Input PatternValue (ARGB8888) --->\n");
	return IOC(KER_OSD_IO_SET_FLUSH_AXI_READ_PATTERN, osd_menu_number("  PatternValue: "));
}

static int osd_menu_auto_mute(u32 *args)
{
	u8 on = osd_menu_onoff(), status = 0;

	TRY(IOC(KER_OSD_IO_AUTO_MUTE_ENABLE, on));
	if (!on)
		return 0;
	msleep(250);
	TRY(IOC(KER_OSD_IO_GET_AUTO_MUTE_STATUS, &status));
	printk("AutoMute Status = %d\n", status);
	return 0;
}

static int osd_menu_protect_area(u32 *args)
{
	ST_DRV_OSD_PROTECT_AREA a = { 0 };
	u8 on = osd_menu_onoff();

	TRY(IOC(KER_OSD_IO_PROTECT_AREA_ENABLE, on));
	if (!on)
		return 0;
	a.u32AlphaThrd = osd_menu_number("  AlphaThreshold: ");
	a.u32HEnd = osd_menu_number("  HorizontalEnd: ");
	return IOC(KER_OSD_IO_SET_PROTECT_AREA, &a);
}

static int osd_menu_axi_freeze(u32 *args)
{
	return IOC(KER_OSD_IO_AXI_FREEZE_ENABLE, osd_menu_onoff());
}

static const char *const gapszBistPattern[] = {
	"EN_DRV_OSD_DEBUG_8_COLOR_BAR", "EN_DRV_OSD_DEBUG_2_COLOR_BAR",
	"EN_DRV_OSD_DEBUG_4_COLOR_BAR", "EN_DRV_OSD_DEBUG_CROSS_LINE",
	"EN_DRV_OSD_DEBUG_FRAME_BLOCK", "EN_DRV_OSD_DEBUG_GRADIENT_MODE",
	"EN_DRV_OSD_DEBUG_GRADIENT_MODE_R", "EN_DRV_OSD_DEBUG_GRADIENT_MODE_G",
	"EN_DRV_OSD_DEBUG_GRADIENT_MODE_B",
};

static const char *const gapsz8KPattern[] = {
	"EN_DRV_OSD_8K_MIXER_DEBUG_PURE_COLOR", "EN_DRV_OSD_8K_MIXER_DEBUG_FRAME_BLOCK",
	"EN_DRV_OSD_8K_MIXER_DEBUG_COLOR_BAR",
};

static u32 osd_menu_pattern(const char *const *names, u32 count)
{
	u32 i, p;

	for (i = 0; i < count; i++)
		printk("  %d. %s\n", i, names[i]);
	p = osd_menu_number("  Select: ");
	return p < count ? p : 0;
}

static int osd_menu_demo_bist(u32 *args)
{
	ST_DRV_OSD_LBM_TEST_PATTERN t = { 0 };

	printk("\nSet Plane %d BIST test pattern enable or not --->\n", gu32MenuPlane);
	t.u32Enable = osd_menu_onoff();
	t.u32Value = osd_menu_number("  BlockWidth: ");
	t.u32Mode = osd_menu_pattern(gapszBistPattern, ARRAY_SIZE(gapszBistPattern));
	t.au32Color[0] = 0xffffffff;
	t.au32Color[1] = 0xff000000;
	t.au32Color[2] = 0xffff0000;
	t.au32Color[3] = 0xff0000ff;
	return osd_menu_ioctl_on(gu32MenuPlane, 0x4020c8d2, (unsigned long)&t,
				 "KER_OSD_LBM_TEST_PATTERN");
}

static int osd_menu_demo_8k_bist(u32 *args)
{
	u32 rec[4] = { 0 };

	printk("\nSet 8K Mixer BIST test pattern enable or not --->\n");
	rec[0] = osd_menu_onoff();
	rec[3] = osd_menu_number("  BlockWidth: ");
	rec[1] = osd_menu_pattern(gapsz8KPattern, ARRAY_SIZE(gapsz8KPattern));
	return osd_menu_ioctl_on(gu32MenuPlane, 0x4010c8d1, (unsigned long)rec,
				 "KER_OSD_8K_MIXER_DEBUG_PATTERN");
}

static int osd_menu_alpha_step(u32 u32Alpha)
{
	TRY(IOC(KER_OSD_IO_SET_ALPHA, u32Alpha));
	TRY(osd_menu_update());
	printk("  RegionAlpha = %d\n", u32Alpha);
	msleep(250);
	return 0;
}

static int osd_menu_alpha_inc(u32 *args)
{
	u32 a;

	TRY(IOC(KER_OSD_IO_ALPHA_BLEND_ENABLE, 1));
	for (a = 0; a <= 256; a += 32)
		TRY(osd_menu_alpha_step(min(a, 255u)));
	return 0;
}

static int osd_menu_alpha_dec(u32 *args)
{
	int a;

	TRY(osd_menu_alpha_step(255));
	for (a = 224; a >= 0; a -= 32)
		TRY(osd_menu_alpha_step(a));
	return 0;
}

static int osd_menu_pm_suspend(u32 *args)
{
	return IOC0(KER_OSD_IO_PM_SUSPEND, 0);
}

static int osd_menu_pm_resume(u32 *args)
{
	return IOC0(KER_OSD_IO_PM_RESUME, 0);
}

static void osd_menu_dump_lines(const char *title, u32 base, u32 size)
{
	u32 a;

	printk("%s", title);
	for (a = 0; a < size; a += 32)
		printk("\n 0x%08x: ", base + a);
	printk("\n");
}

static int osd_menu_dump_regs(u32 *args)
{
	u32 sel;

	printk("\nPlease Select Hardware-Engine Register --->\n" OSD_MENU_LINE);
	printk("  0. OSD\n  1. Cursor\n  2. LVDS_PATH_SELECT\n  3. OSD_TIME_GENERATE\n");
	printk("  4. OSD All\n  5. ATV_BACK\n  6. ATV_POST\n  7. ATV_Interrupt\n");
	printk("  8. All Relative [4 + 5 + 6 + 7]\n" OSD_MENU_LINE);
	sel = osd_menu_number("  Select: ");
	if (sel == 0 || sel == 4 || sel == 8)
		osd_menu_dump_lines("\n\n====== OSD Register-Value ======", 0xfc0d0000, 0x420);
	if (sel == 1 || sel == 4 || sel == 8)
		osd_menu_dump_lines("\n\n====== Cursor Register-Value ======", 0xfc1e0000, 0x400);
	if (sel == 5 || sel == 8)
		osd_menu_dump_lines("\n\n====== ATV_BACK Register-Value ======", 0xfe000f00, 0x200);
	if (sel == 6 || sel == 8)
		osd_menu_dump_lines("\n\n====== ATV_POST Register-Value ======", 0xfe007f00, 0x200);
	if (sel == 7 || sel == 8)
		osd_menu_dump_lines("\n\n====== ATV_Interrupt Register-Value ======", 0xfe000100,
				    0x100);
	return 0;
}

static const char *osd_menu_fmt_name(u32 mode)
{
	switch (mode) {
	case OSD_COLOR_PALETTE8: return "PALETTE_P8_ARGB";
	case OSD_COLOR_RGB565: return "RGB565";
	case OSD_COLOR_ARGB1555: return "ARGB1555";
	case OSD_COLOR_ARGB4444: return "ARGB4444";
	case OSD_COLOR_ARGB8888: return "ARGB8888";
	case OSD_COLOR_RGBA5551: return "RGBA5551";
	case OSD_COLOR_RGBA4444: return "RGBA4444";
	case OSD_COLOR_RGBA8888: return "RGBA8888";
	}
	return "INVALID";
}

#define ED(b)	((b) ? "E" : "D")

static int osd_menu_dimension(u32 *args)
{
	u32 saved = gu32MenuPlane, p, mode, alpha, stride;
	ST_DRV_OSD_DISP_WIN win;
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf;
	u8 ps, rs, n_show = 0, c_show = 0;
	int ret = 0;

	printk("\n\n====== Show All-Planes, Dimension-Info ======\n");
	printk("====== Abbr => E: Enable, D: Disable ======\n");
	for (p = 0; p < OSD_PLANE_MAX && !ret; p++) {
		gu32MenuPlane = p;
		ps = rs = 0;
		mode = alpha = stride = 0;
		memset(&win, 0, sizeof(win));
		memset(&buf, 0, sizeof(buf));
		ret = IOC(KER_OSD_IO_IS_PLANE_SHOW, &ps) ?: IOC(KER_OSD_IO_IS_REGION_SHOW, &rs) ?:
		      IOC(KER_OSD_IO_GET_COLOR_MODE, &mode) ?: IOC(KER_OSD_IO_GET_ALPHA, &alpha) ?:
		      IOC(KER_OSD_IO_GET_DISP_WIN, &win) ?: IOC(KER_OSD_IO_GET_STRIDE, &stride) ?:
		      IOC(KER_OSD_IO_GET_BUF_PHY_ADDR_SIZE, &buf);
		if (ret)
			break;
		printk("PlaneID: %d, Plane|RegionShow: [%s, %s], ColorFmt|Alpha: [%s, 0x%02x], Src: [%d, %d, %d x %d], Dst: [%d, %d, %d x %d], Stride: %d, BufAddr: 0x%08x\n",
		       p, ED(ps), ED(rs), osd_menu_fmt_name(mode), alpha, win.stSrcWin.u32X,
		       win.stSrcWin.u32Y, win.stSrcWin.u32W, win.stSrcWin.u32H, win.stDstWin.u32X,
		       win.stDstWin.u32Y, win.stDstWin.u32W, win.stDstWin.u32H, stride,
		       buf.u32BufPhyAddr);
	}
	if (!ret) {
		gu32MenuPlane = OSD_NORMAL1;
		ret = IOC(KER_OSD_IO_IS_SHOW, &n_show);
		gu32MenuPlane = OSD_CURSOR1;
		ret = ret ?: IOC(KER_OSD_IO_IS_SHOW, &c_show);
		if (!ret) {
			printk("\n\n====== Show OSD OutputPath-Info ======\n");
			printk("Normal|Cursor-OSDShow: [%s, %s]\n", ED(n_show), ED(c_show));
		}
	}
	gu32MenuPlane = saved;
	return ret;
}

static int osd_menu_api_trace(u32 *args)
{
	printk(" 0x1 = KER_OSD_WRN\n 0x2 = KER_OSD_DBG\n 0x4 = KER_OSD_MSG\n");
	printk(" 0x8 = pandisplay interval\n 0x10 = force wait vsync\n 0x20 = force skip wait vsync\n");
	printk(" 0x100 = pandisplay pid check\n 0x200 = disable mutex check\n");
	printk(" 0x1000 = fix front buffer\n 0x2000 = fix back buffer\n 0x4000 = fix last buffer\n");
	return IOC0(KER_OSD_IO_SET_APITRACE, osd_menu_number("  Select: "));
}

static int osd_menu_buf_addr(u32 *args)
{
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf = { 0 };

	/* only the address changes: the rest is what the plane has */
	TRY(IOC(KER_OSD_IO_GET_BUF_PHY_ADDR_SIZE, &buf));
	printk("\nPlease Input Stride --->\n");
	buf.u32BufPhyAddr = osd_menu_number("  FB Address: ");
	return IOC(KER_OSD_IO_SET_BUF_PHY_ADDR_SIZE, &buf);
}

static int osd_menu_write_reg(u32 *args)
{
	u32 reg = osd_menu_number("  Reg: ");

	osd_menu_number("  value: ");
	if (reg < 0xf0000000)
		printk("Register invalided =0x%x\n", reg);
	return 0;
}

static int osd_menu_force_disable(u32 *args)
{
	u32 p;
	u8 on;

	printk("\nPlease Select plane force disable --->\n");
	TRY(osd_menu_plane());
	p = gu32MenuPlane;
	printk("  1:Force Disable Plane Enable 0:Force Disable Plane Disable\n");
	on = osd_menu_onoff();
	_ker_osd_ForceDisable(p, on);
	return 0;
}

static int osd_menu_hflip(u32 *args)
{
	ST_DRV_OSD_HFLIP_PARAM f = { 0 };

	f.bEnable = osd_menu_onoff();
	f.u32Width = osd_menu_number("  H Screen Size: ");
	return IOC(KER_OSD_IO_HFLIP_ENABLE, &f);
}

static int osd_menu_skip_alpha(u32 *args)
{
	return IOC(KER_OSD_IO_SKIPALPHA_ENABLE, osd_menu_onoff());
}

static int osd_menu_pre_alpha(u32 *args)
{
	return IOC(KER_OSD_IO_SET_PREALPHA, osd_menu_onoff());
}

static int osd_menu_timing_gen(u32 *args)
{
	ST_DRV_OSD_TIME_GEN t = { { 0 } };
	u8 on = osd_menu_onoff();
	u32 sel;

	if (on) {
		printk("\nPlease Select Input Method --->\n" OSD_MENU_LINE);
		printk("  0. Use Default Value: 4Kx2K\n  1. Use Default Value: 4Kx2K Dual-Output\n"
		       OSD_MENU_LINE);
		sel = osd_menu_number("  Select: ");
		if (sel <= 1) {
			u32 v[8] = { sel ? 2200 : 4400, 2250, 16, 5, 15, 2160, 80, sel ? 1920 : 3840 };

			memcpy(t.au32Value, v, sizeof(v));
		}
		TRY(IOC(KER_OSD_IO_SET_TIME_GEN, &t));
	}
	return IOC(KER_OSD_IO_TIMING_GEN_ENABLE, on);
}

static int osd_menu_xvycc(u32 *args)
{
	u8 on = osd_menu_onoff();

	TRY(IOC(KER_OSD_IO_XVYCC_TIMING_SELECTION_ENABLE, on));
	TRY(IOC(KER_OSD_IO_XVYCC_ENABLE, on));
	return IOC(KER_OSD_IO_SET_XVYCC_UPDATE_CTRL, 1);
}

static int osd_menu_crc(u32 *args)
{
	return IOC(KER_OSD_IO_CRC_ENABLE, osd_menu_onoff());
}

static int osd_menu_crc_result(u32 *args)
{
	u32 r = 0;

	TRY(IOC(KER_OSD_IO_GET_CRC_RESULT_0, &r));
	printk("\n CRC Result 0 = %x--->\n", r);
	TRY(IOC(KER_OSD_IO_GET_CRC_RESULT_1, &r));
	printk("\n CRC Result 1 = %x--->\n", r);
	TRY(IOC(KER_OSD_IO_GET_CRC_RESULT_2, &r));
	printk("\n CRC Result 2 = %x--->\n", r);
	return 0;
}

static int osd_menu_sepa_vsync(u32 *args)
{
	ST_DRV_OSD_VSYNC_EXTEND e = { 0 };

	printk("\nPlease Enable/Disable Vsync Mask --->\n");
	e.u8A = osd_menu_onoff();
	printk("\nPlease Enable/Disable Vsync Extend --->\n");
	e.u8B = osd_menu_onoff();
	printk("\nPlease Input Vsync Mask Cycle --->\n");
	e.u32C = DRV_DBG_GetNumber();
	printk("\nPlease Input Vsync Mask--->\n");
	e.u32D = DRV_DBG_GetNumber();
	return IOC(KER_OSD_IO_SEPARATE_VSYNC_EXTEND_ENABLE, &e);
}

static int osd_menu_q2_demo(u32 *args)
{
	u32 path;

	printk("\nPlease Select Debug Path --->\n");
	printk("  0.  EN_DRV_OSD_EARLYTIMING_8K4K,  \n");
	printk("  1.  EN_DRV_OSD_EARLYTIMING_Pure_8K4K,  \n");
	printk("  2.  EN_DRV_OSD_EARLYTIMING_8K2K,  \n");
	path = osd_menu_number("  Select: ");
	if (path >= 6)
		path = 0;
	return osd_menu_ioctl_on(OSD_NORMAL1, 0x4004c8c9, path, "KER_OSD_MIXER_PATH");
}

/* Items this build does not carry (demos that load files, dumps to files). */
static int osd_menu_not_built(u32 *args)
{
	printk("Not supported in this build\n");
	return -EOPNOTSUPP;
}

/* ---- the menu ------------------------------------------------------------------ */

#define ACT(fn) static const ST_DRV_DBG_MENU_ACTION act_##fn = { fn, { NULL, NULL }, { 0 } }
ACT(osd_menu_revision); ACT(osd_menu_show); ACT(osd_menu_plane_region); ACT(osd_menu_scale);
ACT(osd_menu_alpha_blend); ACT(osd_menu_color_key); ACT(osd_menu_stride);
ACT(osd_menu_disp_win); ACT(osd_menu_update_enable); ACT(osd_menu_plane_order);
ACT(osd_menu_video_mask); ACT(osd_menu_bist); ACT(osd_menu_flush_axi); ACT(osd_menu_auto_mute);
ACT(osd_menu_protect_area); ACT(osd_menu_axi_freeze); ACT(osd_menu_demo_bist);
ACT(osd_menu_demo_8k_bist); ACT(osd_menu_alpha_inc); ACT(osd_menu_alpha_dec);
ACT(osd_menu_pm_suspend); ACT(osd_menu_pm_resume); ACT(osd_menu_dump_regs);
ACT(osd_menu_dimension); ACT(osd_menu_api_trace); ACT(osd_menu_buf_addr);
ACT(osd_menu_write_reg); ACT(osd_menu_force_disable); ACT(osd_menu_hflip);
ACT(osd_menu_skip_alpha); ACT(osd_menu_pre_alpha); ACT(osd_menu_timing_gen);
ACT(osd_menu_xvycc); ACT(osd_menu_crc); ACT(osd_menu_crc_result); ACT(osd_menu_sepa_vsync);
ACT(osd_menu_q2_demo); ACT(osd_menu_not_built);

#define ITEM(name, fn) { DRV_DBG_MENU_ACTION, 0, name, &act_##fn }

static const ST_DRV_DBG_MENU_ENTRY gastOsdMenu[] = {
	ITEM("Show Revision", osd_menu_revision),
	ITEM("Show Enable (Get Handle)", osd_menu_show),
	ITEM("Plane/Region Enable", osd_menu_plane_region),
	ITEM("Scale Enable", osd_menu_scale),
	ITEM("Alpha Blend Enable", osd_menu_alpha_blend),
	ITEM("ColorKey Enable", osd_menu_color_key),
	ITEM("Set Stride (Bytes)", osd_menu_stride),
	ITEM("Set Display Window", osd_menu_disp_win),
	ITEM("Update Enable", osd_menu_update_enable),
	ITEM("Set Plane Order", osd_menu_plane_order),
	ITEM("Video Mask Enable", osd_menu_video_mask),
	ITEM("BIST Mode Enable", osd_menu_bist),
	ITEM("Flush AXI Read Enable", osd_menu_flush_axi),
	ITEM("Auto Mute Enable", osd_menu_auto_mute),
	ITEM("Protect Area Enable", osd_menu_protect_area),
	ITEM("AXI Freeze Enable", osd_menu_axi_freeze),
	ITEM("Demo BIST Mode", osd_menu_demo_bist),
	ITEM("Demo 8K BIST Mode", osd_menu_demo_8k_bist),
	ITEM("Demo Blend Mode (Include Palette)", osd_menu_not_built),
	ITEM("Demo Seperate Mode", osd_menu_not_built),
	ITEM("Demo Region Alpha Inc", osd_menu_alpha_inc),
	ITEM("Demo Region Alpha Dec", osd_menu_alpha_dec),
	ITEM("PM Suspend", osd_menu_pm_suspend),
	ITEM("PM Resume", osd_menu_pm_resume),
	ITEM("Dump Register Value", osd_menu_dump_regs),
	ITEM("Dump FB RawData", osd_menu_not_built),
	ITEM("Show Dimension Info", osd_menu_dimension),
	ITEM("Show Function Info", osd_menu_not_built),
	ITEM("API Trace Enable", osd_menu_api_trace),
	ITEM("Set Buffer address", osd_menu_buf_addr),
	ITEM("Write Register", osd_menu_write_reg),
	ITEM("Force OSD Plane Disable", osd_menu_force_disable),
	ITEM("HFlip Enable", osd_menu_hflip),
	ITEM("SkipAlpha Enable", osd_menu_skip_alpha),
	ITEM("PreAlpha Enable", osd_menu_pre_alpha),
	ITEM("DMA Buf Self Test", osd_menu_not_built),
	ITEM("Timing Gen Enable", osd_menu_timing_gen),
	ITEM("Test XVYCC Enable", osd_menu_xvycc),
	ITEM("CRC Enable", osd_menu_crc),
	ITEM("Show CRC Result", osd_menu_crc_result),
	ITEM("Set Separate Vsync    ", osd_menu_sepa_vsync),
	ITEM("Set Dump Frame Window  ", osd_menu_not_built),
	ITEM("Q2 FPGA Demo  ", osd_menu_q2_demo),
	{ DRV_DBG_MENU_END, 0, NULL, NULL },
};

int _ker_osd_menu_register(void)
{
	int p;

	DRV_DBG_Register(DRV_DBG_REGISTER_LEVEL, DRV_DBG_MENU_SUBMENU, "DRV_OSD", gastOsdMenu);
	for (p = 0; p < OSD_PLANE_MAX; p++)
		gapstMenuFb[p] = _ker_osd_drm_get_fbinfo(p);
	return 0;
}

/* The platform keeps menus for its lifetime; the items stop reaching the planes. */
void _ker_osd_menu_unregister(void)
{
	int p;

	for (p = 0; p < OSD_PLANE_MAX; p++)
		gapstMenuFb[p] = NULL;
}

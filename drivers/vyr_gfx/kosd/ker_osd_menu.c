// SPDX-License-Identifier: GPL-2.0
/*
 * OSD debug menu "DRV_OSD": an operator's console that drives the OSD
 * through the same ioctl path as user space, on the framebuffer of the
 * current plane.
 */
#include <linux/kernel.h>
#include <linux/delay.h>
#include <linux/err.h>
#include <linux/fb.h>
#include <linux/fs.h>
#include <linux/io.h>
#include <linux/slab.h>
#include <linux/string.h>

#include <crv_platform.h>

#include "vyr_compat.h"
#include "ker_osd_fb.h"

/* The framebuffer layer's kernel entry for a plane's framebuffer. */
struct fb_info *_ker_osd_drm_get_fbinfo(EN_DRV_OSD_PLANE_ID enPlane);

#define OSD_MENU_REVISION	"DRV-OSD 0.0.107"
#define OSD_MENU_LINE		"==============================\n"
#define ED(b)			((b) ? "E" : "D")

static struct fb_info *gapstMenuFb[OSD_PLANE_MAX];
static u32 gu32MenuPlane;


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
	ST_KER_OSD_COLOR_KEY_REQ key = { 0 };
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
	/* the hardware layer takes the block width from byte 28 */
	t.u8Byte = (u8)osd_menu_number("  BlockWidth: ");
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

/* ---- files the items write -------------------------------------------------- */

#define OSD_MENU_PATH_LEN	256

/*
 * The operator names the file: it is created or truncated, never reached
 * through a symbolic link, and readable by its owner only (it holds what
 * the screen shows).
 */
static struct file *_drv_osd_dbg_open_file(const char *path)
{
	return filp_open(path, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
}

static ssize_t _drv_osd_dbg_write_file(struct file *file, const void *buf, size_t len)
{
	return kernel_write(file, buf, len, &file->f_pos);
}

static void _drv_osd_dbg_close_file(struct file *file)
{
	vfs_fsync(file, 0);
	filp_close(file, NULL);
}

static void _drv_osd_dbg_Get_FilePath_Param(char *path)
{
	printk("\nPlease Input File Path --->\n" OSD_MENU_LINE "  File Path: ");
	path[0] = '\0';
	DRV_DBG_GetString(path, OSD_MENU_PATH_LEN);
	path[OSD_MENU_PATH_LEN - 1] = '\0';
	path[strcspn(path, "\n")] = '\0';
	path[strcspn(path, "\r")] = '\0';
	printk("%s(), File Path = %s\n", __func__, path);
}

/* ---- blend and separate demos ------------------------------------------------ */

typedef struct {
	EN_COLOR enColor;
	const char *pszFile;
	u32 u32SrcW, u32SrcH, u32DstW, u32DstH;
} ST_OSD_MENU_DEMO;

static const ST_OSD_MENU_DEMO gastBlendDemo[] = {
	[1] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1920x1080.bin", 1920, 1080, 1920, 1080 },
	[2] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1920x1080.bin", 1920, 1080, 3840, 2160 },
	[3] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1920x1080.bin", 1920, 1080, 1366, 768 },
	[4] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1920x1080.bin", 1920, 1080, 1280, 720 },
	[5] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1920x1080.bin", 1920, 1080, 960, 540 },
	[6] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/3840x2160.bin", 3840, 2160, 3840, 2160 },
	[7] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1280x720.bin", 1280, 720, 1280, 720 },
	[8] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1280x720.bin", 1280, 720, 3840, 2160 },
	[9] = { OSD_COLOR_ARGB8888, "/dtv/usb/sda1/1280x720.bin", 1280, 720, 640, 360 },
};

static const EN_COLOR gaenDemoColor[] = {
	OSD_COLOR_PALETTE8, OSD_COLOR_ARGB4444, OSD_COLOR_RGBA4444, OSD_COLOR_ARGB1555,
	OSD_COLOR_RGBA5551, OSD_COLOR_RGB565, OSD_COLOR_ARGB8888, OSD_COLOR_RGBA8888,
};

#define OSD_MENU_SEPA_TIME_CTRL	_IOW(KER_OSD_IO_TYPE, 148, __u8[12])
#define OSD_MENU_SEPA_TIME_GEN	_IOW(KER_OSD_IO_TYPE, 150, __u8[32])

/* The blend demo with a pattern (0 asks for format, files and windows). */
static int osd_menu_blend_pattern(u32 pattern)
{
	ST_DRV_OSD_DISP_WIN win = { { 0 } };
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf = { 0 };
	ST_KER_OSD_PALETTE_REQ pal = { 0, OSD_PALETTE_ENTRIES, 0 };
	char *path = NULL;
	EN_COLOR mode = OSD_COLOR_ARGB8888;
	bool palette = false;
	u32 zero = 0, v, stride;
	int ret = 0;

	if (pattern == 0) {
		printk("\nPlease Select Color Format --->\n" OSD_MENU_LINE);
		printk("  0. COLOR_PALETTE_P8_ARGB\n  1. COLOR_ARGB_4444\n  2. COLOR_RGBA_4444\n");
		printk("  3. COLOR_ARGB_1555\n  4. COLOR_RGBA_5551\n  5. COLOR_RGB_565\n");
		printk("  6. COLOR_ARGB_8888\n  7. COLOR_RGBA_8888\n" OSD_MENU_LINE);
		v = osd_menu_number("  Select: ");
		if (v >= ARRAY_SIZE(gaenDemoColor))
			return -EINVAL;
		mode = gaenDemoColor[v];
		path = kzalloc(OSD_MENU_PATH_LEN, GFP_KERNEL);
		if (!path)
			return -ENOMEM;
		palette = mode == OSD_COLOR_PALETTE8;
		if (palette) {
			printk("\nPlease Input Palette-Color File Path --->\n");
			_drv_osd_dbg_Get_FilePath_Param(path);
		}
		/* the files named are recorded, not read */
		_drv_osd_dbg_Get_FilePath_Param(path);
		printk("\nPlease Input Src Dimension --->\n");
		osd_menu_window(&win.stSrcWin);
		printk("\nPlease Input Dst Dimension --->\n");
		osd_menu_window(&win.stDstWin);
		kfree(path);
	} else if (pattern == 12) {
		TRY(IOC(KER_OSD_IO_SET_SPECIAL_OUTPUT, &zero));
		win.stSrcWin.u32W = 1920;
		win.stSrcWin.u32H = 1080;
		win.stDstWin.u32W = 3840;
		win.stDstWin.u32H = 540;
	} else if (pattern < ARRAY_SIZE(gastBlendDemo)) {
		mode = gastBlendDemo[pattern].enColor;
		win.stSrcWin.u32W = gastBlendDemo[pattern].u32SrcW;
		win.stSrcWin.u32H = gastBlendDemo[pattern].u32SrcH;
		win.stDstWin.u32W = gastBlendDemo[pattern].u32DstW;
		win.stDstWin.u32H = gastBlendDemo[pattern].u32DstH;
	} else {
		OSD_ERR("Invalid Demo-Pattern = %d\n", pattern);
		return -EINVAL;
	}

	stride = (OSD_COLOR_BPP(mode) * win.stSrcWin.u32W + 31) & ~31u;
	TRY(IOC(KER_OSD_IO_SHOW_ENABLE, 1));
	TRY(IOC(KER_OSD_IO_PLANE_SHOW_ENABLE, 1));
	TRY(IOC(KER_OSD_IO_REGION_SHOW_ENABLE, 1));
	TRY(IOC(KER_OSD_IO_ALPHA_BLEND_ENABLE, 1));
	TRY(IOC(KER_OSD_IO_SET_ALPHA, 255));
	TRY(IOC(KER_OSD_IO_SET_COLOR_MODE, &mode));
	TRY(IOC(KER_OSD_IO_SET_STRIDE, stride));
	TRY(IOC(KER_OSD_IO_SET_FORCE_BUF_ORDER, &zero));
	TRY(IOC(KER_OSD_IO_SET_DISP_WIN, &win));
	TRY(IOC(KER_OSD_IO_BIST_MODE_ENABLE, 0));
	TRY(osd_menu_update());
	TRY(IOC(KER_OSD_IO_GET_BUF_PHY_ADDR_SIZE, &buf));
	if (palette) {
		/* the palette file is not read: the demo loads a cleared palette */
		u32 *entries = kcalloc(OSD_PALETTE_ENTRIES, sizeof(u32), GFP_KERNEL);

		if (!entries)
			return -ENOMEM;
		pal.u64Data = (uintptr_t)entries;
		ret = osd_menu_ioctl_on(gu32MenuPlane, 0xc883, (unsigned long)&pal,
					"KER_OSD_IO_SET_PALETTE_DATA");
		kfree(entries);
		if (!ret)
			ret = osd_menu_update();
	}
	return ret;
}

static int osd_menu_demo_blend(u32 *args)
{
	TRY(osd_menu_plane());
	printk("\nPlease Select Blend-Mode Demo-Pattern --->\n" OSD_MENU_LINE);
	printk("  0. Manually Input Format, Source & Size\n  1. FHD: 1920x1080_ARGB8888\n");
	printk("  2. FHD: 1920x1080_ScaleUp_4Kx2K_ARGB8888\n  3. FHD: 1920x1080_ScaleDown_1366x768_ARGB8888\n");
	printk("  4. FHD: 1920x1080_ScaleDown_1280x720_ARGB8888\n  5. FHD: 1920x1080_ScaleDown_960x540_ARGB8888\n");
	printk("  6. UHD: 4Kx2K_ARGB8888\n  7.  HD: 1280x720_ARGB8888\n  8.  HD: 1280x720_ScaleUp_4Kx2K_ARGB8888\n");
	printk("  9.  HD: 1280x720_ScaleDown_640x360_ARGB8888\n 12.  UHD: 4Kx0.5K_ARGB8888\n" OSD_MENU_LINE);
	return osd_menu_blend_pattern(osd_menu_number("  Select: "));
}

static int osd_menu_demo_separate(u32 *args)
{
	static const u32 uhd[8] = { 4400, 2250, 16, 4, 12, 2160, 80, 3840 };
	static const u32 fhd[8] = { 2200, 1125, 16, 5, 20, 1080, 80, 1920 };
	u8 lvds_ctrl[4] = { 0 }, lvds_hflip[4] = { 0, 1, 0, 0 };
	u32 lvds_fmt[3] = { 8, 0, 0 }, lvds_delay[2] = { 1, 0 }, ctrl[3] = { 0, 0, 0 };
	u32 gen[8], zero = 0;
	bool uhd_on;
	u8 dual;

	printk("\nPlease Select Separate-Mode Demo-Pattern --->\n" OSD_MENU_LINE);
	printk("  0. FHD: 1920x1080_ARGB8888\n  1. UHD: 4Kx2K_ARGB8888\n" OSD_MENU_LINE);
	uhd_on = osd_menu_number("  Select: ") == 1;
	TRY(osd_menu_plane());
	TRY(osd_menu_blend_pattern(uhd_on ? 6 : 1));
	TRY(IOC(KER_OSD_IO_SEPARATE_ENABLE, 1));
	TRY(osd_menu_update());
	TRY(IOC(KER_OSD_IO_SEPA_LVDS_ENABLE, 1));
	TRY(IOC(KER_OSD_IO_SET_SEPA_LVDS_CTRL, lvds_ctrl));
	TRY(IOC(KER_OSD_IO_SET_SEPA_LVDS_FMT, lvds_fmt));
	TRY(IOC(KER_OSD_IO_SET_SEPA_LVDS_HFLIP, lvds_hflip));
	TRY(IOC(KER_OSD_IO_SET_SEPA_LVDS_DELAY, lvds_delay));
	TRY(IOC(KER_OSD_IO_SET_SEPA_LVDS_CHL, &zero));
	TRY(IOC(KER_OSD_IO_SEPA_TIME_ENABLE, 1));
	printk("\nPlease Enable/Disable Dual-Output (Dual-Pixel) --->\n");
	dual = osd_menu_onoff();
	TRY(IOC(KER_OSD_IO_DUAL_OUTPUT_ENABLE, dual));
	ctrl[2] = dual;
	TRY(osd_menu_ioctl_on(gu32MenuPlane, OSD_MENU_SEPA_TIME_CTRL, (unsigned long)ctrl,
			      "KER_OSD_IO_SET_SEPA_TIME_CTRL"));
	memcpy(gen, uhd_on ? uhd : fhd, sizeof(gen));
	if (dual) {
		gen[0] /= 2;
		gen[7] /= 2;
	}
	return osd_menu_ioctl_on(gu32MenuPlane, OSD_MENU_SEPA_TIME_GEN, (unsigned long)gen,
				 "KER_OSD_IO_SET_SEPA_TIME_GEN");
}

/* ---- dumps ------------------------------------------------------------------- */

static const char *const gapszDumpTarget[] = {
	"/dtv/usb/sda1/osd_fb_%d.raw", "/dtv/usb/sda/osd_fb_%d.raw", "/dev/sda1/osd_fb_%d.raw",
	"/tmp/osd_fb_%d.raw", "/osd_fb_%d.raw",
};

/* Writes the plane's buffer (as the plane reports it) to a file; only the
 * plane's own memory is read. */
static int osd_menu_dump_fb(u32 *args)
{
	struct fb_info *info = gapstMenuFb[gu32MenuPlane];
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf = { 0 };
	u64 off, done = 0, chunk;
	struct file *file;
	char *path, *bounce;
	ssize_t n = 0;
	u32 i, choice;
	int ret = 0;

	TRY(IOC(KER_OSD_IO_GET_BUF_PHY_ADDR_SIZE, &buf));
	if (!info || !info->screen_base || buf.u32BufPhyAddr < info->fix.smem_start ||
	    (u64)buf.u32BufPhyAddr + buf.u32Size > (u64)info->fix.smem_start + info->screen_size) {
		OSD_ERR("%s(), buffer 0x%08x (+0x%x) is not the plane's own\n", __func__,
			buf.u32BufPhyAddr, buf.u32Size);
		return -EINVAL;
	}
	off = buf.u32BufPhyAddr - info->fix.smem_start;
	path = kzalloc(OSD_MENU_PATH_LEN, GFP_KERNEL);
	bounce = kmalloc(PAGE_SIZE, GFP_KERNEL);
	if (!path || !bounce) {
		ret = -ENOMEM;
		goto out;
	}
	printk("\nPlease Select/Input Target File-Name --->\n" OSD_MENU_LINE);
	for (i = 0; i < ARRAY_SIZE(gapszDumpTarget); i++) {
		printk("  %d. ", i);
		printk(gapszDumpTarget[i], gu32MenuPlane);
		printk("\n");
	}
	printk("  5. Manually Input File-Name\n" OSD_MENU_LINE);
	choice = osd_menu_number("  Select: ");
	if (choice < ARRAY_SIZE(gapszDumpTarget))
		snprintf(path, OSD_MENU_PATH_LEN, gapszDumpTarget[choice], gu32MenuPlane);
	else
		_drv_osd_dbg_Get_FilePath_Param(path);
	printk("\nStart to dump FB-RawData ...\n");
	file = _drv_osd_dbg_open_file(path);
	if (IS_ERR(file)) {
		printk("Open file: \"%s\" failed!\n", path);
		ret = 12;
		goto out;
	}
	while (done < buf.u32Size) {
		chunk = min_t(u64, buf.u32Size - done, PAGE_SIZE);
		memcpy_fromio(bounce, info->screen_base + off + done, chunk);
		n = _drv_osd_dbg_write_file(file, bounce, chunk);
		if (n != chunk)
			break;
		done += chunk;
	}
	_drv_osd_dbg_close_file(file);
	if (done < buf.u32Size) {
		printk("Write file failed: Writing-Byte: %d, BufferSize: %d\n",
		       (int)(done + max_t(ssize_t, n, 0)), buf.u32Size);
		ret = 22;
	} else {
		printk("\nDump FB-RawData: [%s]... Finish !\n", path);
	}
out:
	kfree(bounce);
	kfree(path);
	return ret;
}

static int osd_menu_dump_window(u32 *args)
{
	ST_KER_OSD_DUMP_SETTING *rec = kzalloc(sizeof(*rec), GFP_KERNEL);
	int ret;

	if (!rec)
		return -ENOMEM;
	rec->u32Enable = osd_menu_number("dump_enable? 1:enable  0:disable\n");
	rec->u32Plane = osd_menu_number("dump_plane_id? 0: plane0  1: plane1 2: plane2 \n");
	rec->u32StartX = osd_menu_number("dump_start_x:\n");
	rec->u32StartY = osd_menu_number("dump_start_y:\n");
	rec->u32EndX = osd_menu_number("dump_end_x:\n");
	rec->u32EndY = osd_menu_number("dump_end_y:\n");
	rec->u32Frames = osd_menu_number("dump_frames:\n");
	printk("dump_file_folder_name:(ex:/tmp/)\n");
	_drv_osd_dbg_Get_FilePath_Param(rec->szPath);
	ret = IOC0(KER_OSD_IO_SET_DUMP_FB_WINDOW, rec);
	kfree(rec);
	return ret;
}

/* ---- function info ------------------------------------------------------------ */

#define OSD_MENU_IS_UPDATE_SYNC_BY_ATV	_IOR(KER_OSD_IO_TYPE, 7, __u32)

static int osd_menu_function_info(u32 *args)
{
	ST_DRV_OSD_ALPHASUARE_PARAM sq = { 0 };
	ST_DRV_OSD_RL_DECODE_CTRL rl = { 0 };
	ST_DRV_OSD_SELF_FRAME_WIN sf = { 0 };
	ST_DRV_OSD_PROTECT_AREA pa = { 0 };
	ST_DRV_OSD_GAIN_OFFSET go = { 0 };
	ST_DRV_OSD_VIDEO_MASK_CTRL vm;
	ST_KER_OSD_COLOR_KEY_REQ ck;
	u32 alpha = 0, thrd = 0, count = 0, layer, mask, key;
	u8 on, status;

#define IS_ON(cmd) ({ on = 0; TRY(IOC(cmd, &on)); on; })
	printk("OSDShow: %s\n", ED(IS_ON(KER_OSD_IO_IS_SHOW)));
	printk("PlaneShow: %s\n", ED(IS_ON(KER_OSD_IO_IS_PLANE_SHOW)));
	printk("RegionShow: %s\n", ED(IS_ON(KER_OSD_IO_IS_REGION_SHOW)));
	if (IS_ON(KER_OSD_IO_IS_3D_MODE))
		printk("3D: %s, Mode: %s, Disparity: 0x%x\n", "E", "-", 0);
	else
		printk("3D: D\n");
	if (IS_ON(KER_OSD_IO_IS_ALPHA_BLEND)) {
		TRY(IOC(KER_OSD_IO_GET_ALPHA, &alpha));
		printk("AlphaBlend: %s, Alpha: 0x%02x\n", "E", alpha);
	} else {
		printk("AlphaBlend: D\n");
	}
	if (IS_ON(KER_OSD_IO_IS_ALPHA_CAL)) {
		TRY(IOC(KER_OSD_IO_GET_ALPHA_CAL_THRD, &thrd));
		TRY(IOC(KER_OSD_IO_GET_ALPHA_CAL_COUNT, &count));
		printk("AlphaCalculator: %s, AlphaThreshold: 0x%02x, Count: %d\n", "E", thrd, count);
	} else {
		printk("AlphaCalculator: D\n");
	}
	if (IS_ON(KER_OSD_IO_IS_AUTO_MUTE)) {
		status = 0;
		TRY(IOC(KER_OSD_IO_GET_AUTO_MUTE_STATUS, &status));
		printk("AutoMute: %s, Status: %d\n", "E", status);
	} else {
		printk("AutoMute: D\n");
	}
	for (key = 0; key < OSD_COLOR_KEY_MAX; key++) {
		memset(&ck, 0, sizeof(ck));
		ck.u32KeyID = key;
		TRY(IOC(KER_OSD_IO_IS_COLOR_KEY, &ck));
		if (!ck.bEnable) {
			printk("ColorKey-%d: D\n", key + 1);
			continue;
		}
		TRY(IOC(KER_OSD_IO_GET_COLOR_KEY, &ck));
		printk("ColorKey-%d: %s, Match: 0x%08x, Replace: 0x%08x\n", key + 1, "E",
		       ck.stValue.u32Match, ck.stValue.u32Replace);
	}
	printk("DualOutput: %s\n", ED(IS_ON(KER_OSD_IO_IS_DUAL_OUTPUT)));
	if (IS_ON(KER_OSD_IO_IS_GAIN_OFFSET)) {
		TRY(IOC(KER_OSD_IO_GET_GAIN_OFFSET, &go));
		printk("GainOffset: %s, GainRGB: [0x%x, 0x%x, 0x%x], OffsetRGB: [0x%x, 0x%x, 0x%x]\n",
		       "E", go.u32GainR, go.u32GainG, go.u32GainB, go.u32OffsetR, go.u32OffsetG,
		       go.u32OffsetB);
	} else {
		printk("GainOffset: D\n");
	}
	TRY(IOC(KER_OSD_IO_GET_ALPHA_SUQARE, &sq));
	if (sq.u32Enable)
		printk("Alpha Square: %s, Mode-%d, %d\n", "E", sq.u32Mode, sq.u32Value);
	else
		printk("Alpha Square: D\n");
	printk("Layer1BehindVideo: %s\n", ED(IS_ON(KER_OSD_IO_IS_LAYER1_BEHIND_VIDEO)));
	if (IS_ON(KER_OSD_IO_IS_PROTECT_AREA)) {
		TRY(IOC(KER_OSD_IO_GET_PROTECT_AREA, &pa));
		printk("ProtectArea: %s, AlphaThrd: 0x%02x\n", "E", pa.u32AlphaThrd);
	} else {
		printk("ProtectArea: D\n");
	}
	printk("PureOutput: %s\n", ED(IS_ON(KER_OSD_IO_IS_PURE_OUTPUT)));
	if (IS_ON(KER_OSD_IO_IS_RL_DECODE)) {
		TRY(IOC(KER_OSD_IO_GET_RL_DECODE_CTRL, &rl));
		printk("RLDecode: %s, DummyByteMask: %d, TotalRQuant: 0x%08x\n", "E",
		       rl.u32DummyByteMask, rl.u32TotalRQuant);
	} else {
		printk("RLDecode: D\n");
	}
	if (IS_ON(KER_OSD_IO_IS_SELF_FRAME_WIN)) {
		TRY(IOC(KER_OSD_IO_GET_SELF_FRAME_WIN, &sf));
		printk("SelfFrameWin: %s, XVariation: %d, YVariation: %d, Trigger: %d\n", "E",
		       sf.u32XVariation, sf.u32YVariation, sf.u32Trigger);
	} else {
		printk("SelfFrameWin: D\n");
	}
	printk("UpdateSyncByATV: %s\n", ED(IS_ON(OSD_MENU_IS_UPDATE_SYNC_BY_ATV)));
	printk("VFlip: %s\n", ED(IS_ON(KER_OSD_IO_IS_VFLIP)));
	for (layer = 0; layer < OSD_LAYER_MAX; layer++) {
		for (mask = 0; mask < OSD_VIDEO_MASK_MAX; mask++) {
			memset(&vm, 0, sizeof(vm));
			vm.u32LayerID = layer;
			vm.u32MaskID = mask;
			TRY(IOC(KER_OSD_IO_IS_VIDEO_MASK, &vm));
			if (!vm.bEnable) {
				printk("Layer%d-VideoMask-%d: D\n", layer + 1, mask + 1);
				continue;
			}
			TRY(IOC(KER_OSD_IO_GET_VIDEO_MASK, &vm));
			printk("Layer%d-VideoMask-%d: %s, MaskWin: [%d, %d, %d x %d], 3DDisparity: 0x%x, Delay: 0x%x\n",
			       layer + 1, mask + 1, "E", vm.u32X, vm.u32Y, vm.u32W, vm.u32H,
			       vm.u32Disparity3D, vm.u32Delay);
		}
	}
#undef IS_ON
	return 0;
}

/* ---- dma-buf self test --------------------------------------------------------- */

/*
 * Exports the normal planes and has the OSD device import each one (a
 * dma-buf needs a device to attach); everything taken is given back.
 */
static int osd_menu_dmabuf_test(u32 *args)
{
	ST_KER_OSD_DMABUF_REQ req;
	u64 addr, size;
	struct file *mali;
	u32 p;
	int ret = 0;

	mali = filp_open("/dev/mali", O_RDWR, 0666);
	if (IS_ERR(mali)) {
		printk("open /dev/mali fail");
		return -1;
	}
	for (p = OSD_NORMAL1; p <= OSD_NORMAL3 && !ret; p++) {
		memset(&req, 0, sizeof(req));
		if (osd_menu_ioctl_on(p, 0x80084621, (unsigned long)&req, "FBIOGET_DMABUF")) {
			ret = -1;
			break;
		}
		printk("fd=%d, flags=%d\n", (int)req.u32Offset, (int)req.u32Flags);
		addr = size = 0;
		if (kosd_dma_buf_fd_to_phys((int)req.u32Offset, gstOsdDev, &addr, &size)) {
			printk("dma_buf_map_attachment fail\n");
			ret = -1;
		} else {
			printk("dma_buf->size = %d\n", (int)size);
		}
		vyr_close_fd((int)req.u32Offset);
	}
	filp_close(mali, NULL);
	return ret;
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
ACT(osd_menu_q2_demo); ACT(osd_menu_demo_blend); ACT(osd_menu_demo_separate);
ACT(osd_menu_dump_fb); ACT(osd_menu_function_info); ACT(osd_menu_dmabuf_test);
ACT(osd_menu_dump_window);

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
	ITEM("Demo Blend Mode (Include Palette)", osd_menu_demo_blend),
	ITEM("Demo Seperate Mode", osd_menu_demo_separate),
	ITEM("Demo Region Alpha Inc", osd_menu_alpha_inc),
	ITEM("Demo Region Alpha Dec", osd_menu_alpha_dec),
	ITEM("PM Suspend", osd_menu_pm_suspend),
	ITEM("PM Resume", osd_menu_pm_resume),
	ITEM("Dump Register Value", osd_menu_dump_regs),
	ITEM("Dump FB RawData", osd_menu_dump_fb),
	ITEM("Show Dimension Info", osd_menu_dimension),
	ITEM("Show Function Info", osd_menu_function_info),
	ITEM("API Trace Enable", osd_menu_api_trace),
	ITEM("Set Buffer address", osd_menu_buf_addr),
	ITEM("Write Register", osd_menu_write_reg),
	ITEM("Force OSD Plane Disable", osd_menu_force_disable),
	ITEM("HFlip Enable", osd_menu_hflip),
	ITEM("SkipAlpha Enable", osd_menu_skip_alpha),
	ITEM("PreAlpha Enable", osd_menu_pre_alpha),
	ITEM("DMA Buf Self Test", osd_menu_dmabuf_test),
	ITEM("Timing Gen Enable", osd_menu_timing_gen),
	ITEM("Test XVYCC Enable", osd_menu_xvycc),
	ITEM("CRC Enable", osd_menu_crc),
	ITEM("Show CRC Result", osd_menu_crc_result),
	ITEM("Set Separate Vsync    ", osd_menu_sepa_vsync),
	ITEM("Set Dump Frame Window  ", osd_menu_dump_window),
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

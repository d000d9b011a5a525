// OSD plane framebuffers over the host kernel: module load and the five
// framebuffers, buffer placement, check_var/set_par/pan through the fb
// core, the ioctl dispatcher, the updater's commands, dma-buf export and
// out-fences, and unload.
#include "osd_fb_fixture.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <linux/fb.h>

#include "vyr_osd.h"

extern "C" {
#include "osd_fb_probe.h"
struct task_struct *khost_current(void);
unsigned int _ker_osd_ExchangeBufOrder(unsigned int order, unsigned int target);
}

namespace {

const std::string ERR = "\033[0;32;41m[ERR_DRV_OSD]\033[0m";

// Default geometry: 1920x1080 x3, 1920x1080 x2, 32x32 x2, 400x400 x2 (x2).
const uint32_t kDefaultLen[5] = {1080 * 1920 * 3 * 4, 1080 * 1920 * 2 * 4, 32 * 32 * 2 * 4,
				 400 * 416 * 2 * 4, 400 * 416 * 2 * 4};
const char *const kNames[5] = {"OSD_NORMAL1", "OSD_NORMAL2", "OSD_NORMAL3", "OSD_CURSOR1", "OSD_CURSOR2"};

unsigned int nr_cmd(unsigned nr) { return _IO(0xC8, nr); }

bool has(const std::string &hay, const std::string &needle) { return hay.find(needle) != std::string::npos; }

std::string calls() { return osd_fb_probe_calls(); }

class OsdFb : public OsdFbFixture {
protected:
	void load(const char *regions = "osd:0x40000000:0x3000000")
	{
		load_platform(regions);
		osd_fb_probe_install_fakes();
		ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
		loaded = true;
		osd_fb_probe_clear_calls();
		khost::clear_journal();
	}
};

// ---- start-up, placement, take-down -----------------------------------------

TEST_F(OsdFb, LoadRegistersFivePlanesInOrderSplittingTheOsdRegion)
{
	load();
	uint64_t start = kMem;
	for (int p = 0; p < 5; p++) {
		struct file *f = fb(p);
		ASSERT_NE(f, nullptr);
		fb_fix_screeninfo x = fix(f);
		EXPECT_STREQ(x.id, kNames[p]);
		EXPECT_EQ(x.smem_start, start) << p;
		EXPECT_EQ(x.smem_len, kDefaultLen[p]) << p;
		EXPECT_EQ(x.type, 0u);
		EXPECT_EQ(x.visual, 2u);
		EXPECT_EQ(x.ypanstep, 1u);
		start += kDefaultLen[p];
		fb_var_screeninfo v = var(f);
		EXPECT_EQ(v.bits_per_pixel, 32u);
		EXPECT_EQ(v.transp.offset, 24u);
		EXPECT_EQ(v.red.offset, 16u);
	}
	EXPECT_EQ(var(fb(0)).yres_virtual, 3240u);
	EXPECT_EQ(var(fb(1)).yres_virtual, 2160u);
	EXPECT_EQ(var(fb(4)).xres, 400u);
	EXPECT_EQ(khost::open("fb5"), nullptr);
	// Every plane was accepted at start-up; the fast-logo plane (0) skipped set_par.
	for (int p = 0; p < 5; p++)
		EXPECT_TRUE(osd_fb_probe_initialized(p)) << p;
}

TEST_F(OsdFb, StartUpProgramsChannelsAndChecksBandwidth)
{
	ASSERT_EQ(khost::set_param("vyr_gfx", "gau32PlaneChannel", "9,3,1"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gu32ForceHFlip", "1920"), 0);
	ASSERT_EQ(khost::set_param("crv_platform", "regions", "osd:0x40000000:0x3000000"), 0);
	ASSERT_EQ(khost::load_module("crv_platform"), 0);
	platform = true;
	ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
	khost::set_reg(R(0x11c), 1920u << 16 | 1080u);	// a boot picture on plane 0, from its buffer
	khost::set_reg(R(0x120), 1920);
	khost::set_reg(R(0x124), 1u << 29);
	osd_fb_probe_install_fakes();
	ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
	loaded = true;
	std::string c = calls();
	EXPECT_TRUE(has(c, "SetPlaneAXIChannel(0,2)\nSetPlaneAXIChannel(1,3)\nSetPlaneAXIChannel(2,4)\n")) << c;
	EXPECT_TRUE(has(c, "HFlip_Enable(0,1,1920)\nHFlip_Enable(1,1,1920)")) << c;
	EXPECT_TRUE(has(khost::log(), "[MSG_DRV_OSD]KER_OSD_DrvInit() done \n"));
	EXPECT_TRUE(has(khost::log(), "menu DRV_OSD registered (4, 0x100000)")) << khost::log();
	// Planes 1 and 2 set_par at start-up: stride of a 1920-wide 32-bit plane.
	EXPECT_TRUE(has(c, "SetStride(1,0,7680)")) << c;
	EXPECT_FALSE(has(c, "SetStride(0,")) << "the fast-logo plane keeps its picture";

	EXPECT_EQ(osd_fb_probe_bwerror(), 0);
	osd_fb_probe_set_lbm_status(1, 1);
	EXPECT_EQ(osd_fb_probe_bwerror(), 1);
	osd_fb_probe_set_lbm_status(1, 0);
	osd_fb_probe_set_lbm_status(3, 1);	// cursor planes are not checked
	EXPECT_EQ(osd_fb_probe_bwerror(), 0);
}

TEST_F(OsdFb, ParametersAreCorrectedAndOsdTblPlacesThePlanes)
{
	ASSERT_EQ(khost::set_param("vyr_gfx", "gau32PlaneWinSize", "1280,720,0,1080,64,64,400,400,400,400"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gu32NumOfBuffer", "2"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gau32PlaneOrder", "7,1"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gu32OSDTrace", "4"), 0);
	auto *tbl = khost::dt_node(nullptr, "osd_tbl");
	auto child = [&](const char *name, uint32_t start, uint32_t size, const char *base) {
		auto *n = khost::dt_node(tbl, name);
		if (size)
			khost::dt_prop(n, "region", {start, size});
		if (base)
			khost::dt_prop_str(n, "base", base);
		return n;
	};
	child("osd", 0, 0x800000, "osdmem");
	khost::dt_prop(child("g", 0x800000, 0x800000, "osdmem"), "cma", {1});
	child("sg", 0x1000000, 0x100000, "osdmem");
	child("other", 0x1100000, 0x100000, "osdmem");	// read, sets nothing
	child("cursor1", 0x1200000, 0x100000, "osdmem");
	child("cursor2", 0, 0, "osdmem");			// no region: skipped
	child("cursor9", 0x2f00000, 0x200000, "osdmem");	// beyond the region but no plane's name
	load("osdmem:0x40000000:0x3000000");

	fb_var_screeninfo v0 = var(fb(0));
	EXPECT_EQ(v0.xres, 1280u);
	EXPECT_EQ(v0.yres, 720u);
	EXPECT_EQ(v0.yres_virtual, 1440u) << "gu32NumOfBuffer 2 wins over the per-plane counts";
	fb_var_screeninfo v1 = var(fb(1));
	EXPECT_EQ(v1.xres, 32u);
	EXPECT_EQ(v1.yres, 32u);
	const uint64_t want[5][2] = {{kMem, 0x800000}, {kMem + 0x800000, 0x800000}, {kMem + 0x1000000, 0x100000},
				     {kMem + 0x1200000, 0x100000}, {0, 0}};
	for (int p = 0; p < 5; p++) {
		fb_fix_screeninfo x = fix(fb(p));
		EXPECT_EQ(x.smem_start, want[p][0]) << p;
		EXPECT_EQ(x.smem_len, want[p][1]) << p;
	}
	EXPECT_EQ(osd_fb_probe_buf_start(1), kMem + 0x800000);
	// A "cma" plane has no kernel mapping and its size is not checked.
	EXPECT_TRUE(osd_fb_probe_initialized(1));
	EXPECT_EQ(osd_fb_probe_console_draw(1), 0) << "a console on it draws nothing";
	EXPECT_EQ(var(fb(3)).yres_virtual, 400u) << "one of its two buffers fits 1 MiB";
}

TEST_F(OsdFb, ParameterWarningsAndAfbcGeometry)
{
	ASSERT_EQ(khost::set_param("vyr_gfx", "gau32PlaneWinSize", "1920,1080,0,1080,32,32,400,400,400,400"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gau32AFBC", "1"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gu32NumOfBuffer", "4"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gu32FastLogoPlaneID", "7"), 0);
	ASSERT_EQ(khost::set_param("vyr_gfx", "gu32OSDTrace", "4"), 0);
	ASSERT_EQ(khost::set_param("crv_platform", "regions", "osd:0x40000000:0x3000000"), 0);
	ASSERT_EQ(khost::load_module("crv_platform"), 0);
	platform = true;
	osd_fb_probe_install_fakes();
	ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
	loaded = true;
	std::string log = khost::log();
	const std::string w = "[MSG_DRV_OSD]_ker_osd_ApplyModuleParams(), [OSD-WARINING]: ";
	EXPECT_TRUE(has(log, w + "Use default FastLogoPlaneID = 0\n")) << log;
	EXPECT_TRUE(has(log, w + "enPlaneID = 1, Use default [Width x Height] = [32 x 32]\n")) << log;
	EXPECT_TRUE(has(log, w + "Support AFBC 0 plane\n"));
	EXPECT_TRUE(has(log, w + "Not support AFBC 1 plane\n"));
	fb_var_screeninfo v = var(fb(0));
	EXPECT_EQ(v.yres_virtual, 3336u) << "4 buffers change nothing; AFBC 1080 lines take 1112";
	EXPECT_EQ(v.nonstd, 1u);
	EXPECT_EQ(fix(fb(0)).smem_len, 3336u * 1920 * 4);
	EXPECT_EQ(fix(fb(1)).smem_start, kMem + 3336u * 1920 * 4);
	EXPECT_EQ(var(fb(1)).nonstd, 0u);
}

TEST_F(OsdFb, BuffersTheHardwareCannotAddressAreRefused)
{
	// The arena lies above 4 GiB: a 32-bit register would point elsewhere.
	uint64_t high = khost::phys_alloc(0x3000000);
	ASSERT_GT(high, 0xffffffffull);
	std::string regions = "osd:" + std::to_string(high) + ":0x3000000";
	load(regions.c_str());
	for (int p = 0; p < 5; p++) {
		EXPECT_EQ(fix(fb(p)).smem_start, 0u) << p;
		EXPECT_EQ(osd_fb_probe_buf_len(p), 0u) << p;
	}
	int err = 0;
	EXPECT_EQ(khost::mmap(fb(0), 4096, 0, &err), nullptr);
	EXPECT_EQ(err, -EINVAL);
}

TEST_F(OsdFb, PlanesThatDoNotFitTheSharedBufferGetNone)
{
	load("osd:0x40000000:0x1000000");
	EXPECT_EQ(fix(fb(0)).smem_len, 0u);
	EXPECT_EQ(fix(fb(1)).smem_start, kMem);
	EXPECT_EQ(fix(fb(1)).smem_len, kDefaultLen[1]);
	EXPECT_EQ(fix(fb(2)).smem_start, kMem + kDefaultLen[1]);
	EXPECT_EQ(fix(fb(3)).smem_len, 0u) << "only 0x2e000 bytes are left";
	EXPECT_EQ(fix(fb(4)).smem_len, 0u);
	EXPECT_TRUE(has(khost::log(), ERR + "PlaneId = 0, Size = 0x17bb000 does not fit the OSD buffer\n"))
		<< khost::log();
}

TEST_F(OsdFb, NoBufferAnywhereLeavesEveryPlaneEmpty)
{
	load(nullptr);
	for (int p = 0; p < 5; p++)
		EXPECT_EQ(fix(fb(p)).smem_len, 0u);
	EXPECT_TRUE(has(khost::log(), ERR + "crv_mem_alloc_from_contiguous fail\n"));
}

TEST_F(OsdFb, UnloadGivesEverythingBackAfterUse)
{
	load();
	struct file *f = fb(0);
	int err = 0;
	void *p = khost::mmap(f, 4096, 0, &err);
	ASSERT_NE(p, nullptr) << err;
	int fence = -1;
	ASSERT_EQ(io(f, nr_cmd(212), &fence), 0);
	khost::close_fd(fence);
	EXPECT_EQ(khost::unload_module("vyr_gfx"), -EAGAIN) << "an open framebuffer pins the module";
	khost::close(f);
	files.clear();
	EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
	loaded = false;
	EXPECT_EQ(khost::open("fb0"), nullptr);
}

// ---- check_var, set_par, pan_display ---------------------------------------

TEST_F(OsdFb, CheckVarRefusesWhatTheBufferCannotHold)
{
	ASSERT_EQ(khost::set_param("vyr_gfx", "gau32PlaneBufAddrSize", "0x40000000,0x1000000,0x41000000,0x1000"), 0);
	load();
	EXPECT_EQ(osd_fb_probe_console_draw(1), 0) << "not one buffer fits plane 1: a console there draws nothing";
	struct file *f = fb(0);
	EXPECT_EQ(fix(f).smem_len, 0x1000000u);
	fb_var_screeninfo v = var(f);
	EXPECT_EQ(v.yres_virtual, 2160u) << "two of the three buffers fit: 7680 x 2160 fits 16 MiB";
	v.activate = FB_ACTIVATE_FORCE;
	ASSERT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), 0);
	EXPECT_EQ(fix(f).line_length, 7680u);
	EXPECT_TRUE(has(calls(), "SetStride(0,0,7680)\n")) << calls();
	EXPECT_EQ(osd_fb_probe_stride(0), 7680u);

	v.yres_virtual = 3240;
	EXPECT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), -ENOMEM);
	EXPECT_TRUE(has(khost::log(), "size = 24883200 bytes too large (> 16777216 bytes)")) << khost::log();
	EXPECT_EQ(var(f).yres_virtual, 2160u);

	v.yres_virtual = 2160;
	v.red.offset = 3;	// no colour mode has this layout
	EXPECT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), -EINVAL);
	EXPECT_TRUE(has(khost::log(), "Invalid color format\n"));
}

TEST_F(OsdFb, SetParProgramsThePlaneAndKeepsAPaletteOnlyInPaletteMode)
{
	load();
	struct file *f = fb(1);
	fb_var_screeninfo v = var(f);
	v.xres = 1001;
	v.xres_virtual = 1001;
	ASSERT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), 0);
	std::string c = calls();
	// The source window follows a geometry that no longer holds it.
	EXPECT_TRUE(has(c, "AlphaBlendEnable(1,0,1)\nSetAlpha(1,0,255)\nSetColorMode(1,0,0x10888820)\n"
			   "SetStride(1,0,4032)\nSetDispWin(1,0,0,0,1001,1080,0,0,1920,1080)\n")) << c;
	EXPECT_EQ(fix(f).line_length, 4032u);
	uint32_t changes = 0;
	ASSERT_EQ(io(f, nr_cmd(155), &changes), 0);
	EXPECT_EQ(changes, 2u) << "start-up and this call";

	// 8-bit palette mode: colour maps are taken, 16 bits each reduced to 8.
	fb_var_screeninfo p8 = v;
	p8.bits_per_pixel = 8;
	p8.red = p8.green = p8.blue = p8.transp = fb_bitfield{0, 0, 0};
	ASSERT_EQ(io(f, FBIOPUT_VSCREENINFO, &p8), 0);
	uint16_t red[8] = {0xffff, 0x1200}, green[8] = {0x3400, 0}, blue[8] = {0x5600, 0x0100};
	fb_cmap cm{250, 7, red, green, blue, nullptr};
	EXPECT_EQ(io(f, FBIOPUTCMAP, &cm), -EINVAL) << "250 + 7 runs past the palette";
	cm = fb_cmap{3, 2, red, green, blue, nullptr};
	osd_fb_probe_clear_calls();
	ASSERT_EQ(io(f, FBIOPUTCMAP, &cm), 0);
	EXPECT_TRUE(has(calls(), "SetPaletteData(1,3,2,0xffff3456,0xff120001)\n")) << calls();

	// Back to 32 bits: no palette is kept, colour maps are refused.
	ASSERT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), 0);
	EXPECT_EQ(io(f, FBIOPUTCMAP, &cm), -EINVAL);
}

TEST_F(OsdFb, PanMovesTheBufferOrderAndRefusesWhileSuspended)
{
	load();
	struct file *f = fb(0);
	fb_var_screeninfo v = var(f);
	v.yoffset = 1080;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	std::string c = calls();
	EXPECT_TRUE(has(c, "SetCurrentBufOrder(0,3)\nSetBufPhyAddrSize(0,0,0x40000000,0x17bb000)\n")) << c;
	EXPECT_EQ(osd_fb_probe_order(0), 3u);
	v.yoffset = 2160;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	EXPECT_EQ(osd_fb_probe_order(0), 7u);
	v.yoffset = 0;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	EXPECT_EQ(osd_fb_probe_order(0), 1u);
	v.yoffset = 2161;
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), -EINVAL);
	EXPECT_EQ(osd_fb_probe_order(0), 1u);
	// The pan triggered the update of the plane (register 0xfc0db000 bit 0).
	bool upload = false;
	for (auto &a : khost::journal())
		upload |= a.addr == R(0xb000) && (a.value & 1);
	EXPECT_TRUE(upload);

	ASSERT_EQ(osd_fb_probe_kernel_ioctl(0, KER_OSD_IO_PM_SUSPEND, 0), 0);
	osd_fb_probe_clear_calls();
	v.yoffset = 1080;
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), -EFAULT);
	EXPECT_TRUE(has(khost::log(), "ker_osd is  now in suspend !!!!! Block PanDisplay!!!!!\n"));
	EXPECT_EQ(calls(), "");
	ASSERT_EQ(osd_fb_probe_kernel_ioctl(0, KER_OSD_IO_PM_RESUME, 0), 0);
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	for (int p = 0; p < 5; p++)
		EXPECT_EQ(osd_fb_probe_sem_count(p), 1) << p;
}

TEST(OsdBufOrder, EveryTargetFromEveryOrder)
{
	const unsigned want[3][10] = {
		{2, 2, 2, 0, 0, 0, 1, 1, 1, 1},
		{3, 3, 3, 5, 5, 5, 4, 4, 4, 3},
		{6, 6, 6, 7, 7, 7, 8, 8, 8, 7},
	};
	for (unsigned t = 0; t < 3; t++)
		for (unsigned o = 0; o < 10; o++)
			EXPECT_EQ(_ker_osd_ExchangeBufOrder(o, t), want[t][o]) << o << " to " << t;
	EXPECT_EQ(_ker_osd_ExchangeBufOrder(12, 1), 12u);
}

TEST_F(OsdFb, MmapStaysInsideThePlaneBuffer)
{
	load();
	struct file *f = fb(2);
	int err = 0;
	EXPECT_EQ(khost::mmap(f, kDefaultLen[2] + 4096, 0, &err), nullptr);
	EXPECT_EQ(err, -EINVAL);
	EXPECT_EQ(khost::mmap(f, 4096, 2, &err), nullptr) << "offset past the end";
	EXPECT_EQ(khost::mmap(f, 4096, 0x100000, &err), nullptr);
	auto *p = static_cast<uint32_t *>(khost::mmap(f, kDefaultLen[2], 0, &err));
	ASSERT_NE(p, nullptr) << err;
	p[3] = 0x12345678;
	uint64_t start = fix(f).smem_start;
	EXPECT_EQ(static_cast<uint32_t *>(khost::phys_ptr(start))[3], 0x12345678u);
}

TEST_F(OsdFb, ClosingAPlaneHandsTheFastScalingCheckItsSentinel)
{
	static std::vector<std::pair<uint32_t, uint32_t>> seen;
	khost::add_symbol("PLAT_VIU_OSD_CheckFastScalingMode",
			  (void *)+[](uint32_t w, uint32_t h) -> int { seen.push_back({w, h}); return 0; });
	load();
	struct file *f = khost::open("fb1");
	ASSERT_NE(f, nullptr);
	khost::close(f);
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0], std::make_pair(9999u, 9999u));
	EXPECT_EQ(khost::symbol_refs("PLAT_VIU_OSD_CheckFastScalingMode"), 0);
}

// ---- ioctl dispatcher ------------------------------------------------------

TEST_F(OsdFb, DispatcherLooksAtTheNumberByteOnly)
{
	load();
	struct file *f = fb(1);
	ASSERT_EQ(io(f, 0x4004c871, 1001), 0);	// KER_OSD_IO_SET_STRIDE
	EXPECT_EQ(osd_fb_probe_stride(1), 1024u);
	EXPECT_EQ(fix(f).line_length, 1024u);
	ASSERT_EQ(io(f, 0x00001271, 2050), 0);	// any type, size, direction
	EXPECT_EQ(fix(f).line_length, 2080u);
	EXPECT_EQ(io(f, 0x4004c871, 0xffffffffUL), -EINVAL) << "a stride that rounds past 32 bits";

	std::vector<unsigned> refused = {167, 204};
	for (unsigned n = 160; n <= 163; n++)
		refused.push_back(n);
	for (unsigned n = 188; n <= 191; n++)
		refused.push_back(n);
	for (unsigned n = 222; n <= 255; n++)
		refused.push_back(n);
	for (unsigned n : refused)
		EXPECT_EQ(io(f, nr_cmd(n), 0ul), -EINVAL) << n;
	// Rows that do nothing accept the command.
	for (unsigned n : {16u, 29u, 45u, 134u, 151u})
		EXPECT_EQ(io(f, nr_cmd(n), 0ul), 0) << n;
}

TEST_F(OsdFb, YesNoQueriesWriteOneByteAndRecordQueriesTheirSize)
{
	load();
	struct file *f = fb(0);
	osd_fb_probe_set_timing_gen(0, 1);
	uint32_t word = 0xaaaaaaaa;
	ASSERT_EQ(io(f, KER_OSD_IO_IS_TIMING_GEN, &word), 0);
	EXPECT_EQ(word, 0xaaaaaa01u);

	ST_DRV_OSD_DISP_WIN win;
	memset(&win, 0xee, sizeof(win));
	ASSERT_EQ(io(f, KER_OSD_IO_GET_DISP_WIN, &win), 0);
	EXPECT_EQ(win.stSrcWin.u32W, 1920u);
	EXPECT_EQ(win.stDstWin.u32H, 1080u);

	// A record query whose operation is missing fails; a yes-no one answers 0.
	osd_fb_probe_drop_gain_offset();
	ST_DRV_OSD_GAIN_OFFSET gain;
	EXPECT_EQ(io(f, KER_OSD_IO_GET_GAIN_OFFSET, &gain), -EFAULT);
	EXPECT_TRUE(has(khost::log(), ERR + "pfGetGainOffset is NULL\n"));
	word = 0xaaaaaaaa;
	ASSERT_EQ(io(f, KER_OSD_IO_IS_GAIN_OFFSET, &word), 0);
	EXPECT_EQ(word, 0xaaaaaa00u);
}

TEST_F(OsdFb, UninitialisedAndSuspendedPlanes)
{
	load();
	struct file *f = fb(1);
	osd_fb_probe_set_initialized(1, 0);
	EXPECT_EQ(io(f, KER_OSD_IO_SET_STRIDE, 64), -EINVAL);
	EXPECT_TRUE(has(khost::log(), ERR + "[FB]OSD not initial yet\n"));
	osd_fb_probe_set_initialized(1, 1);

	ASSERT_EQ(io(f, KER_OSD_IO_PM_SUSPEND, 0ul), 0);
	unsigned before = osd_fb_probe_stride(1);
	osd_fb_probe_clear_calls();
	EXPECT_EQ(io(f, KER_OSD_IO_SET_STRIDE, 64), -EBUSY);
	EXPECT_EQ(io(f, nr_cmd(250), 0ul), -EBUSY) << "even unknown numbers";
	EXPECT_EQ(osd_fb_probe_stride(1), before);
	EXPECT_EQ(calls(), "");
	ASSERT_EQ(io(f, KER_OSD_IO_PM_SUSPEND, 0ul), 0) << "a second suspend is harmless";
	ASSERT_EQ(io(f, KER_OSD_IO_PM_RESUME, 0ul), 0);
	ASSERT_EQ(io(f, KER_OSD_IO_PM_RESUME, 0ul), 0) << "and so is a second resume";
	for (int p = 0; p < 5; p++)
		EXPECT_EQ(osd_fb_probe_sem_count(p), 1) << p;
	EXPECT_EQ(io(f, KER_OSD_IO_SET_STRIDE, 64), 0);
	EXPECT_EQ(osd_fb_probe_stride(1), 64u);
}

TEST_F(OsdFb, ScalarsComeFromTheArgumentAndRecordsAreCopiedIn)
{
	load();
	struct file *f = fb(0);
	// A kernel caller hides the plane group with NR 12 and argument 0, no copy.
	khost::set_reg(R(0x004), 1);
	ASSERT_EQ(osd_fb_probe_kernel_ioctl(0, KER_OSD_IO_SHOW_ENABLE, 0), 0);
	EXPECT_EQ(khost::reg(R(0x004)) & 1, 0u);
	// A kernel caller's record pointer must not be null.
	EXPECT_EQ(osd_fb_probe_kernel_ioctl(0, KER_OSD_IO_SET_DISP_WIN, 0), -EFAULT);

	ST_DRV_OSD_DISP_WIN win = {{1, 2, 640, 480}, {10, 20, 1280, 960}};
	khost::fail_user_copy_after(0);
	osd_fb_probe_clear_calls();
	EXPECT_EQ(io(f, KER_OSD_IO_SET_DISP_WIN, &win), -EFAULT);
	khost::fail_user_copy_after(-1);
	EXPECT_EQ(calls(), "");
	ASSERT_EQ(io(f, KER_OSD_IO_SET_DISP_WIN, &win), 0);
	EXPECT_EQ(calls(), "SetDispWin(0,0,1,2,640,480,10,20,1280,960)\n");
	ST_DRV_OSD_DISP_WIN back{};
	ASSERT_EQ(io(f, KER_OSD_IO_GET_DISP_WIN, &back), 0);
	EXPECT_EQ(memcmp(&back, &win, sizeof(win)), 0) << "the query returns what was kept";

	// Identifiers inside records go through the hardware layer's checker.
	uint8_t mask[36] = {};
	mask[0] = 3;	// layer 3 does not exist
	EXPECT_EQ(io(f, KER_OSD_IO_SET_VIDEO_MASK, mask), -EINVAL);
	EXPECT_TRUE(has(khost::log(), ERR + "Invalid LayerID = 3!\n"));
	uint8_t key[20] = {};
	key[0] = 2;
	EXPECT_EQ(io(f, KER_OSD_IO_SET_COLOR_KEY, key), -EINVAL);

	ASSERT_EQ(io(f, KER_OSD_IO_SET_APITRACE, 0x204), 0);
	EXPECT_EQ(osd_fb_probe_trace(), 0x204u);
	EXPECT_TRUE(has(khost::log(), "[MSG_DRV_OSD] !!!!!!  CFG_KER_DBG_MSG_LEVEL = 2 !!!!!!\n"));
	osd_fb_probe_set_trace(0);
}

TEST_F(OsdFb, PaletteCommandsAreBoundedInBothRecordForms)
{
	load();
	struct file *f = fb(1);
	uint32_t mode = 0x808;
	ASSERT_EQ(io(f, KER_OSD_IO_SET_COLOR_MODE, &mode), 0);
	EXPECT_EQ(var(f).bits_per_pixel, 8u);
	uint32_t entries[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
	struct {
		uint32_t start, count;
		uint64_t data;
	} rec = {250, 7, (uint64_t)(uintptr_t)entries};
	osd_fb_probe_clear_calls();
	EXPECT_EQ(io(f, KER_OSD_IO_SET_PALETTE_DATA, &rec), -EFAULT);
	rec = {0, 0, (uint64_t)(uintptr_t)entries};
	EXPECT_EQ(io(f, KER_OSD_IO_SET_PALETTE_DATA, &rec), -EFAULT);
	rec = {256, 1, (uint64_t)(uintptr_t)entries};
	EXPECT_EQ(io(f, KER_OSD_IO_SET_PALETTE_DATA, &rec), -EFAULT);
	rec = {0, 4, 0};
	EXPECT_EQ(osd_fb_probe_kernel_ioctl(1, KER_OSD_IO_SET_PALETTE_DATA, (unsigned long)&rec), -EFAULT)
		<< "no entries behind a kernel caller's record";
	EXPECT_EQ(calls(), "");
	EXPECT_TRUE(has(khost::log(), "Invalid Palette StartAddr = 250, Count = 7\n"));
	rec = {248, 8, (uint64_t)(uintptr_t)entries};
	ASSERT_EQ(io(f, KER_OSD_IO_SET_PALETTE_DATA, &rec), 0);
	EXPECT_EQ(calls(), "SetPaletteData(1,248,8,0x11,0x88)\n");

	// 32-bit callers: {start, count, 32-bit pointer}.
	auto *rec32 = static_cast<uint32_t *>(khost::compat_alloc(12));
	auto *ent32 = static_cast<uint32_t *>(khost::compat_alloc(16));
	ASSERT_NE(rec32, nullptr);
	rec32[0] = 10;
	rec32[1] = 4;
	rec32[2] = (uint32_t)(uintptr_t)ent32;
	ASSERT_EQ(khost::compat_ioctl(f, nr_cmd(132), (unsigned long)rec32), 0);
	EXPECT_EQ(ent32[0], 0xff00000au);
	EXPECT_EQ(ent32[3], 0xff00000du);
	rec32[1] = 247;
	EXPECT_EQ(khost::compat_ioctl(f, nr_cmd(131), (unsigned long)rec32), -EFAULT);
}

TEST_F(OsdFb, InterruptedWaitForThePlaneReturnsRestart)
{
	khost::set_time_scale(1);	// the loop below stays inside one rate-limit interval
	load();
	struct file *f = fb(1);
	osd_fb_probe_sem_down(1);
	khost::set_signal_pending(khost_current(), true);
	EXPECT_EQ(io(f, KER_OSD_IO_SET_STRIDE, 64), -512);
	fb_var_screeninfo v = var(f);
	v.yoffset = 1080;
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), -512);
	for (int i = 0; i < 50; i++)	// a caller signalled in a loop
		io(f, KER_OSD_IO_SET_STRIDE, 64);
	khost::set_signal_pending(khost_current(), false);
	osd_fb_probe_sem_up(1);
	std::string log = khost::log();
	EXPECT_TRUE(has(log, ERR + "_ker_osd_fb_Ioctl(), ")) << log;
	EXPECT_TRUE(has(log, ": Lock/Acquire the semaphore failed!\n"));
	EXPECT_TRUE(has(log, "#################### [OSD_BACKTRACE] ####################\n"));
	EXPECT_EQ(khost::log_count("Call trace:"), 1u) << "one stack dump for the plane";
	EXPECT_EQ(khost::log_count("semaphore failed!\n"), 10u) << "and the lines rate-limited";
	// Queries do not wait for the plane.
	osd_fb_probe_sem_down(1);
	uint32_t stride = 0;
	EXPECT_EQ(io(f, KER_OSD_IO_GET_STRIDE, &stride), 0);
	osd_fb_probe_sem_up(1);
}

TEST_F(OsdFb, TheUpdatersCommandsThroughThe32BitEntry)
{
	load();
	struct file *f = fb(0);
	auto *win = static_cast<ST_DRV_OSD_DISP_WIN *>(khost::compat_alloc(sizeof(ST_DRV_OSD_DISP_WIN)));
	auto *word = static_cast<uint32_t *>(khost::compat_alloc(4));
	auto *size = static_cast<ST_SIZE *>(khost::compat_alloc(sizeof(ST_SIZE)));
	auto *upd = static_cast<ST_DRV_OSD_UPDATE_ENABLE *>(khost::compat_alloc(sizeof(ST_DRV_OSD_UPDATE_ENABLE)));
	auto c32 = [&](unsigned cmd, const void *p) { return khost::compat_ioctl(f, cmd, (unsigned long)p); };
	auto c32v = [&](unsigned cmd, unsigned long v) { return khost::compat_ioctl(f, cmd, v); };
	khost::set_reg(R(0x004), 1u << 16);	// auto mute on, layer hidden

	ASSERT_EQ(c32(0x8020c86c, win), 0);
	EXPECT_EQ(win->stDstWin.u32W, 1920u);
	*word = 0xaaaaaaaa;
	ASSERT_EQ(c32(0x8004c8af, word), 0);
	EXPECT_EQ(*word, 0xaaaaaa00u);
	ASSERT_EQ(c32(0x8004c872, word), 0);
	EXPECT_EQ(*word, 7680u) << "a fast-logo plane with no picture is set up as the others";
	ASSERT_EQ(c32v(0x4004c871, 7680), 0);
	ASSERT_EQ(c32v(0x4001c814, 0), 0);
	*size = {1920, 1080};
	ASSERT_EQ(c32(0x4008c804, size), 0);
	*win = {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}};
	ASSERT_EQ(c32(0x4020c86b, win), 0);
	ASSERT_EQ(c32v(0x4001c8aa, 1), 0);
	ASSERT_EQ(c32v(0x4001c80e, 1), 0);
	ASSERT_EQ(c32v(0x4001c863, 1), 0);
	ASSERT_EQ(c32v(0x4001c80c, 1), 0);
	int err = 0;
	ASSERT_NE(khost::mmap(f, 1920 * 1080 * 4, 0, &err), nullptr) << err;
	khost::clear_journal();
	*upd = {14, 1, 0, {0, 0}};
	ASSERT_EQ(c32(0x4008c80a, upd), 0);

	EXPECT_EQ(calls(), "SetStride(0,0,7680)\nSetVideoWinSize(1920,1080)\n"
			   "SetDispWin(0,0,0,0,1920,1080,0,0,1920,1080)\nSkipAlphaEnable(0,1)\nPlaneShowEnable(0,1)\n");
	EXPECT_EQ(fix(f).line_length, 7680u);
	uint32_t show = khost::reg(R(0x004));
	EXPECT_EQ(show & (1u << 16), 0u) << "auto mute off";
	EXPECT_EQ(show & 1u, 1u) << "layer shown";
	EXPECT_EQ(khost::reg(R(0x110)) & 1u, 1u) << "region shown";
	bool latched = false, pending = false, triggered = false;
	for (auto &a : khost::journal()) {
		latched |= a.addr == R(0x100) && a.value == 1;
		pending |= a.addr == R(0xb000) && (a.value & 1);
		triggered |= a.addr == R(0xb000) && (a.value & 0x100);
	}
	EXPECT_TRUE(latched);
	EXPECT_TRUE(pending);
	EXPECT_TRUE(triggered);
	EXPECT_EQ(khost::reg(R(0x000)) & 0x101, 0x101u) << "update enable and double-buffer sync";
}

TEST_F(OsdFb, FrameDumpWritesTheWindowOfTheChosenPlane)
{
	load();
	struct file *f = fb(2);
	auto *pix = static_cast<uint32_t *>(khost::phys_ptr(fix(f).smem_start));
	for (int i = 0; i < 32 * 64; i++)
		pix[i] = i;
	struct {
		uint32_t enable, plane, sx, sy, ex, ey, frames;
		char path[256];
	} d = {1, 2, 1, 2, 3, 4, 2, "dump_"};
	ASSERT_EQ(io(f, KER_OSD_IO_SET_DUMP_FB_WINDOW, &d), 0);
	fb_var_screeninfo v = var(f);
	v.yoffset = 32;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	EXPECT_TRUE(has(khost::log(), "dump OK \n")) << khost::log();
	std::string out;
	{
		std::string path = khost::file_root() + "/dump_fb2_index_0.raw";
		FILE *fp = fopen(path.c_str(), "rb");
		ASSERT_NE(fp, nullptr) << path;
		char buf[64];
		size_t n = fread(buf, 1, sizeof(buf), fp);
		fclose(fp);
		out.assign(buf, n);
	}
	ASSERT_EQ(out.size(), 2u * 2 * 4);
	const uint32_t *got = reinterpret_cast<const uint32_t *>(out.data());
	EXPECT_EQ(got[0], (32u + 2) * 32 + 1);
	EXPECT_EQ(got[3], (32u + 3) * 32 + 2);

	// A window reaching past the plane is not read.
	d = {1, 2, 0, 0, 40, 4, 2, "dump_"};
	khost::clear_log();
	ASSERT_EQ(io(f, KER_OSD_IO_SET_DUMP_FB_WINDOW, &d), 0);
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	EXPECT_FALSE(has(khost::log(), "dump"));
}

// ---- dma-buf export and out-fences -------------------------------------------

TEST_F(OsdFb, PlaneBuffersExportAsDmaBufs)
{
	load();
	struct file *f = fb(1);
	uint64_t start = fix(f).smem_start, len = fix(f).smem_len;
	uint32_t req[2] = {0, 0};
	ASSERT_EQ(io(f, nr_cmd(33), req), 0);
	EXPECT_EQ(req[1], 2u);
	int fd = (int)req[0];
	unsigned long long addr = 0, size = 0;
	ASSERT_EQ(osd_fb_probe_dmabuf_phys(fd, &addr, &size), 0);
	EXPECT_EQ(addr, start);
	EXPECT_EQ(size, len);
	int err = 0;
	auto *p = static_cast<uint32_t *>(khost::mmap(khost::fd_file(fd), 8192, 1, &err));
	ASSERT_NE(p, nullptr) << err;
	p[0] = 0xcafe;
	EXPECT_EQ(static_cast<uint32_t *>(khost::phys_ptr(start + 4096))[0], 0xcafeu);
	EXPECT_EQ(khost::close_fd(fd), 0);

	uint32_t off[2] = {0x1000, 1u << 9};
	ASSERT_EQ(io(f, nr_cmd(34), off), 0);
	ASSERT_EQ(osd_fb_probe_dmabuf_phys((int)off[0], &addr, &size), 0);
	EXPECT_EQ(addr, start + 0x1000);
	EXPECT_EQ(size, len - 0x1000);
	EXPECT_EQ(khost::close_fd((int)off[0]), 0);
	uint32_t off2[2] = {0x123, 1u << 9};
	ASSERT_EQ(io(f, nr_cmd(34), off2), 0);
	ASSERT_EQ(osd_fb_probe_dmabuf_phys((int)off2[0], &addr, &size), 0);
	EXPECT_EQ(addr, start + 0x123) << "importers get the range's own start";
	EXPECT_EQ(khost::close_fd((int)off2[0]), 0);

	// Nothing beyond the plane is handed out.
	uint32_t far[2] = {(uint32_t)len, 1u << 9};
	EXPECT_EQ(io(f, nr_cmd(34), far), -EFAULT);
	EXPECT_TRUE(has(khost::log(), "FBIOGET_DMABUF fail\n"));
	uint32_t ignored[2] = {(uint32_t)len, 0};
	ASSERT_EQ(io(f, nr_cmd(34), ignored), 0) << "without the flag the offset is not used";
	EXPECT_EQ(khost::close_fd((int)ignored[0]), 0);
	int installed = khost::fd_installs();
	khost::fail_user_copy_after(0);
	EXPECT_EQ(io(f, nr_cmd(33), req), -EFAULT) << "and leaves no descriptor behind";
	khost::fail_user_copy_after(-1);
	EXPECT_EQ(khost::fd_installs(), installed) << "never one another thread could see";
}

// The 32-bit entry changes the screen information under the framebuffer's
// lock, as the native one does: the framebuffer core takes it there only.
TEST_F(OsdFb, CompatCommandsWaitForTheFramebufferLock)
{
	load();
	struct file *f = fb(1);
	osd_fb_probe_fb_lock(1, 1);
	std::atomic<bool> back{false};
	std::thread t([&] {
		khost::compat_ioctl(f, nr_cmd(113), 4096);
		back = true;
	});
	std::this_thread::sleep_for(std::chrono::milliseconds(50));
	EXPECT_FALSE(back) << "changed the line length under another holder of the lock";
	osd_fb_probe_fb_lock(1, 0);
	t.join();
	EXPECT_EQ(fix(f).line_length, 4096u);
}

TEST_F(OsdFb, ImmediateOutFenceIsSignalledOnReturn)
{
	load();
	struct file *f = fb(0);
	int a = -1, b = -1;
	ASSERT_EQ(io(f, nr_cmd(212), &a), 0);
	ASSERT_EQ(io(f, nr_cmd(212), &b), 0);
	EXPECT_NE(a, b);
	EXPECT_EQ(osd_fb_probe_fence_signaled(a), 1);
	EXPECT_EQ(osd_fb_probe_fence_signaled(b), 1);
	khost::close_fd(a);
	khost::close_fd(b);
}

TEST_F(OsdFb, ShownDmaBufFencesSignalOneFlipLater)
{
	load();
	struct file *f0 = fb(0), *f1 = fb(1);
	uint32_t req[2] = {0, 0};
	ASSERT_EQ(io(f1, nr_cmd(33), req), 0);
	int buf = (int)req[0];

	struct {
		uint32_t unused[3], dx, dy, dw, dh, bufw, u32, sx, sy, sw, sh;
		int32_t fd, fence;
	} rec = {{0, 0, 0}, 0, 0, 1920, 1080, 1920, 0, 0, 0, 1920, 1080, buf, 0};
	auto vsync = [] { khost::run_in_irq([] { osd_fb_probe_raise_vsync(); }); };

	osd_fb_probe_clear_calls();
	ASSERT_EQ(io(f0, nr_cmd(35), &rec), 0);
	int first = rec.fence;
	ASSERT_GE(first, 0);
	// Stride, window and the buffer's start go down in one display window.
	EXPECT_TRUE(has(calls(), "SetDispWin(0,0,0,0,1920,1080,0,0,1920,1080)\n")) << calls();
	ASSERT_EQ(io(f0, nr_cmd(35), &rec), 0);
	EXPECT_EQ(rec.fence, -1) << "one fence per plane until the next vsync";
	EXPECT_TRUE(has(khost::log(), "no available fence\n"));

	vsync();
	EXPECT_EQ(osd_fb_probe_fence_signaled(first), 0) << "still on screen";
	ASSERT_EQ(io(f0, nr_cmd(35), &rec), 0);
	int second = rec.fence;
	ASSERT_GE(second, 0);
	vsync();
	EXPECT_EQ(osd_fb_probe_fence_signaled(first), 1);
	EXPECT_EQ(osd_fb_probe_fence_signaled(second), 0);
	vsync();	// no new flip: nothing changes
	EXPECT_EQ(osd_fb_probe_fence_signaled(second), 0);

	// A buffer the hardware cannot address is refused before anything changes
	// (too large for a bounce buffer, its mapping fails).
	int high = osd_fb_probe_export(khost::phys_alloc(0x800000), 0x800000);
	ASSERT_GE(high, 0);
	osd_fb_probe_clear_calls();
	rec.fd = high;
	EXPECT_EQ(io(f0, nr_cmd(35), &rec), -ENOMEM);
	EXPECT_EQ(calls(), "");
	khost::close_fd(high);

	// A descriptor that is no dma-buf changes nothing.
	osd_fb_probe_clear_calls();
	rec.fd = 9999;
	EXPECT_EQ(io(f0, nr_cmd(35), &rec), -EINVAL);
	EXPECT_EQ(calls(), "");

	khost::close_fd(first);
	khost::close_fd(second);
	khost::close_fd(buf);
}

// A fence calls into the module (names, wait, release) as long as anyone
// holds it: it pins the module until its last put, and closing the plane
// signals what no flip will signal any more.
TEST_F(OsdFb, FencesHeldByUserSpacePinTheModuleAndClosingThePlaneSignalsThem)
{
	load();
	struct file *f0 = fb(0), *f1 = fb(1);
	uint32_t req[2] = {0, 0};
	ASSERT_EQ(io(f1, nr_cmd(33), req), 0);
	struct {
		uint32_t unused[3], dx, dy, dw, dh, bufw, u32, sx, sy, sw, sh;
		int32_t fd, fence;
	} rec = {{0, 0, 0}, 0, 0, 64, 64, 64, 0, 0, 0, 64, 64, (int32_t)req[0], 0};
	ASSERT_EQ(io(f0, nr_cmd(35), &rec), 0);
	ASSERT_GE(rec.fence, 0);
	EXPECT_EQ(osd_fb_probe_fence_signaled(rec.fence), 0);
	int now = -1;
	ASSERT_EQ(io(f0, nr_cmd(212), &now), 0);
	khost::close_fd((int)req[0]);
	for (auto *f : files)
		khost::close(f);
	files.clear();
	EXPECT_EQ(osd_fb_probe_fence_signaled(rec.fence), 1) << "no flip will come to signal it";
	EXPECT_EQ(khost::unload_module("vyr_gfx"), -EAGAIN);
	khost::close_fd(rec.fence);
	EXPECT_EQ(khost::unload_module("vyr_gfx"), -EAGAIN) << "the immediate fence still lives";
	khost::close_fd(now);
	ASSERT_EQ(khost::unload_module("vyr_gfx"), 0);
	loaded = false;
}

// ---- power hooks, exports, fast scaling ---------------------------------------

TEST_F(OsdFb, PowerHooksSuspendAndResumeThePlanes)
{
	load();
	struct file *f = fb(0);
	fb_var_screeninfo v = var(f);
	v.yoffset = 1080;
	ASSERT_EQ(osd_fb_probe_pmi_suspend(), 0);
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), -EFAULT);
	EXPECT_EQ(io(f, KER_OSD_IO_SET_STRIDE, 64), -EBUSY) << "ioctls do nothing meanwhile";
	ASSERT_EQ(osd_fb_probe_pmi_resume(), 0);
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	for (int p = 0; p < 5; p++)
		EXPECT_EQ(osd_fb_probe_sem_count(p), 1) << p;
}

TEST_F(OsdFb, EngineDisableHidesCursorAndNormalLayers)
{
	load();
	khost::set_reg(R(0x004), 1);
	khost::set_reg(R(0x2000), 1);
	osd_fb_probe_engine(0);
	EXPECT_EQ(khost::reg(R(0x004)) & 1, 0u);
	EXPECT_EQ(khost::reg(R(0x2000)) & 1, 0u);
	osd_fb_probe_engine(1);
	EXPECT_EQ(khost::reg(R(0x004)) & 1, 1u);
	EXPECT_EQ(khost::reg(R(0x2000)) & 1, 1u);
	EXPECT_EQ(osd_fb_probe_visible(), 1);
}

namespace fs {
std::vector<std::vector<uint16_t>> sizes;
std::vector<std::pair<uint32_t, uint32_t>> checks;
int set_size(uint16_t *v) { sizes.emplace_back(v, v + 9); return 0; }
int check(uint32_t w, uint32_t h) { checks.push_back({w, h}); return 0; }
} // namespace fs

TEST_F(OsdFb, FastScalingFramesReachTheVideoPathAtPan)
{
	khost::add_symbol("VYR_VIDEO_SetVideoSize", (void *)fs::set_size);
	khost::add_symbol("PLAT_VIU_OSD_CheckFastScalingMode", (void *)fs::check);
	load();
	struct file *f = fb(1);
	struct {
		uint8_t win_valid, frame_valid, pad[2];
		uint32_t wx, wy, ww, wh, fx, fy, fw, fh;
	} req = {1, 1, {0, 0}, 0, 0, 1920, 1080, 8, 4, 1280, 720};
	uint8_t grown = 0xee;
	ASSERT_EQ(io(f, nr_cmd(192), &req), 0);
	ASSERT_EQ(io(f, nr_cmd(218), &grown), 0);
	EXPECT_EQ(grown, 1);
	ASSERT_EQ(fs::checks.size(), 1u);
	EXPECT_EQ(fs::checks[0], std::make_pair(1280u, 720u));

	fb_var_screeninfo v = var(f);
	v.yoffset = 1080;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	ASSERT_EQ(fs::sizes.size(), 1u);
	EXPECT_EQ(fs::sizes[0], (std::vector<uint16_t>{0, 0, 0, 1920, 1080, 8, 4, 1280, 720}));
	EXPECT_EQ(khost::symbol_refs("VYR_VIDEO_SetVideoSize"), 0);

	// The growth flag drops at the third request that does not grow.
	req.win_valid = 0;
	for (int i = 0; i < 3; i++) {
		ASSERT_EQ(io(f, nr_cmd(192), &req), 0);
		ASSERT_EQ(io(f, nr_cmd(218), &grown), 0);
		EXPECT_EQ(grown, i < 2 ? 1 : 0) << i;
	}
}

} // namespace

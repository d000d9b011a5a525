// The updater's road through the OSD, with the real hardware layer under
// the framebuffer layer: what it sends through /dev/fb0 (the standard
// framebuffer calls and its twelve vendor ioctls) checked where the set
// sees it, in the OSD register window.
#include "osd_fb_fixture.hpp"
#include "khost/oracle.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include <linux/fb.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vyr_osd.h"

extern "C" {
#include "osd_fb_probe.h"
struct task_struct *khost_current(void);
}

namespace {


// The updater's vendor commands, as it encodes them.
constexpr unsigned kGetDispWin = 0x8020c86c, kIsTimingGen = 0x8004c8af, kGetStride = 0x8004c872,
		   kSetStride = 0x4004c871, kAutoMute = 0x4001c814, kVideoWinSize = 0x4008c804,
		   kSetDispWin = 0x4020c86b, kSkipAlpha = 0x4001c8aa, kPlaneShow = 0x4001c80e,
		   kRegionShow = 0x4001c863, kLayerShow = 0x4001c80c, kUpdate = 0x4008c80a;

// The buffer address the normal plane scans out (0xfc0d0124 of the plane).
uint64_t scanout(int plane)
{
	uint32_t v = khost::reg(R(0x124 + 0x100 * plane));
	return (uint64_t)((v >> 29) & 3) << 30 | (uint64_t)(v & 0x1ffffff) << 5;
}

class OsdRoad : public OsdFbFixture {
protected:
	void load(const char *buffers = nullptr)
	{
		load_platform("osd:0x40000000:0x3000000");
		if (buffers) {
			ASSERT_EQ(khost::set_param("vyr_gfx", "gu32NumOfBuffer", buffers), 0);
		}
		ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
		loaded = true;
		khost::clear_journal();
	}

	// What the boot loader leaves on plane 0, the fast-logo plane: ARGB8888
	// from the start of the OSD region.
	void boot_logo()
	{
		khost::set_reg(R(0x110), 0x300);
		khost::set_reg(R(0x118), 1920u << 16 | 1080u);
		khost::set_reg(R(0x11c), 1920u << 16 | 1080u);
		khost::set_reg(R(0x120), 1920);
		khost::set_reg(R(0x124), 1u << 29);
	}
};

// Separate timing: the updater configures the plane itself, and each of its
// commands lands in the plane's registers. It runs without privileges.
TEST_F(OsdRoad, UpdaterInSeparateModeProgramsThePlane)
{
	khost::set_reg(R(0x900), 1);	// the timing generator runs: separate OSD timing
	boot_logo();
	load();
	khost::set_caps(0);
	struct file *f = fb(0);
	ASSERT_NE(f, nullptr);
	ST_DRV_OSD_DISP_WIN win{};
	ASSERT_EQ(io(f, kGetDispWin, &win), 0);
	uint32_t gen = 0;
	ASSERT_EQ(io(f, kIsTimingGen, &gen), 0);
	EXPECT_EQ(gen & 0xff, 1u);
	uint32_t stride = 0;
	ASSERT_EQ(io(f, kGetStride, &stride), 0);
	if (!stride) {
		EXPECT_EQ(io(f, kSetStride, 7680ul), 0);
	}
	EXPECT_EQ(io(f, kAutoMute, 0ul), 0);
	uint32_t size[2] = {1920, 1080};
	EXPECT_EQ(io(f, kVideoWinSize, size), 0);
	win.stDstWin.u32W = 1920;
	win.stDstWin.u32H = 1080;
	EXPECT_EQ(io(f, kSetDispWin, &win), 0);
	EXPECT_EQ(io(f, kSkipAlpha, 1ul), 0);
	EXPECT_EQ(io(f, kPlaneShow, 1ul), 0);
	EXPECT_EQ(io(f, kRegionShow, 1ul), 0);
	EXPECT_EQ(io(f, kLayerShow, 1ul), 0);
	ST_DRV_OSD_UPDATE_ENABLE up{};
	up.u32UpdateMask = 14;
	up.bEnable = 1;
	EXPECT_EQ(io(f, kUpdate, &up), 0);

	uint32_t show = khost::reg(R(0x004));
	EXPECT_EQ(show & 1, 1u) << "layer shown";
	EXPECT_EQ(show & 2, 2u) << "plane 0 shown";
	EXPECT_EQ(show & 0x100, 0u) << "plane 0 not frozen";
	EXPECT_EQ(show & 0x10000, 0u) << "auto mute off";
	uint32_t ctl = khost::reg(R(0x110));
	EXPECT_EQ(ctl & 1, 1u) << "region shown";
	EXPECT_EQ(ctl & (1u << 24), 1u << 24) << "skip alpha";
	EXPECT_EQ(khost::reg(R(0x118)), 1920u << 16 | 1080u) << "destination size";
	EXPECT_EQ(khost::reg(R(0x120)) & 0x1fff, 1920u) << "stride in pixels";
	EXPECT_EQ(scanout(0), kMem) << "buffer 0";
	EXPECT_EQ(khost::reg(R(0x000)) & 1, 1u) << "update enabled";
	int err = 0;
	EXPECT_NE(khost::mmap(f, 1920 * 1080 * 4, 0, &err), nullptr) << err;
	uint32_t req[2] = {0, 0};
	EXPECT_EQ(io(f, _IO(0xC8, 33), req), 0) << "the plane buffer as a dma-buf";
	khost::close_fd((int)req[0]);
}

// A display window reads back as it was set, its destination included.
TEST_F(OsdRoad, DisplayWindowReadsBackAsSet)
{
	boot_logo();
	load();
	struct file *f = fb(0);
	ST_DRV_OSD_DISP_WIN win{}, back{};
	ASSERT_EQ(io(f, kGetDispWin, &win), 0);
	win.stDstWin = {320, 180, 1280, 720};
	ASSERT_EQ(io(f, kSetDispWin, &win), 0);
	ASSERT_EQ(io(f, kGetDispWin, &back), 0);
	EXPECT_EQ(memcmp(&back, &win, sizeof(win)), 0)
		<< back.stDstWin.u32X << "," << back.stDstWin.u32Y << " " << back.stDstWin.u32W << "x"
		<< back.stDstWin.u32H;
}

// A console bound to a plane pins the module; a forced unload lets the
// console go through the plane's operations while the plane is whole.
TEST_F(OsdRoad, ForcedUnloadLetsABoundConsoleGo)
{
	boot_logo();
	load();
	ASSERT_EQ(khost::fb_console_bind(0), 0);
	EXPECT_EQ(khost::unload_module("vyr_gfx"), -EAGAIN);
	EXPECT_EQ(khost::unload_module("vyr_gfx", true), 0);
	loaded = false;
}

// After load the fast-logo plane, which skips set_par, still tells how long
// its lines are (the updater refuses a framebuffer of 0-byte lines).
TEST_F(OsdRoad, EveryPlaneReportsItsLineLengthAfterLoad)
{
	boot_logo();
	load();
	EXPECT_EQ(fix(fb(0)).line_length, 1920u * 4);
	EXPECT_EQ(fix(fb(3)).line_length, 400u * 4);
}

// In blending mode the updater sends no show command: its first flip shows
// the plane, and its blank and unblank at start hide and show it.
TEST_F(OsdRoad, TheFirstFlipShowsTheHiddenPlaneAndBlankHidesIt)
{
	boot_logo();
	load();
	struct file *f = fb(0);
	ST_DRV_OSD_DISP_WIN win{};
	ASSERT_EQ(io(f, kGetDispWin, &win), 0);
	EXPECT_EQ(khost::reg(R(0x004)) & 2, 0u) << "hidden after load";
	fb_var_screeninfo v = var(f);
	v.yres_virtual = 2160;
	v.yoffset = 1080;
	ASSERT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), 0);
	EXPECT_EQ(khost::reg(R(0x004)) & 0x102, 2u) << "shown, not frozen";
	EXPECT_EQ(khost::reg(R(0x110)) & 1, 1u) << "region shown";

	EXPECT_EQ(io(f, FBIOBLANK, (unsigned long)FB_BLANK_POWERDOWN), 0);
	EXPECT_EQ(khost::reg(R(0x004)) & 0x102, 0x100u) << "hidden and frozen";
	v.yoffset = 0;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	EXPECT_EQ(khost::reg(R(0x004)) & 2, 0u) << "stays blank";
	EXPECT_EQ(io(f, FBIOBLANK, (unsigned long)FB_BLANK_UNBLANK), 0);
	EXPECT_EQ(khost::reg(R(0x004)) & 0x102, 2u);
}

// In standby a set of the screen information (made with the console lock
// held) and the vendor commands answer at once, and say they did nothing.
TEST_F(OsdRoad, StandbyRefusesSetsAndQueriesWithoutWaiting)
{
	boot_logo();
	load();
	struct file *f = fb(0);
	fb_var_screeninfo v = var(f);
	ASSERT_EQ(osd_fb_probe_pmi_suspend(), 0);
	v.yres_virtual = 2160;
	v.yoffset = 1080;
	// A set that waited for the semaphore would end only by the signal.
	khost::set_signal_pending(khost_current(), true);
	EXPECT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), -EBUSY) << "the set waits for resume";
	khost::set_signal_pending(khost_current(), false);
	ST_DRV_OSD_DISP_WIN win;
	memset(&win, 0xaa, sizeof(win));
	EXPECT_EQ(io(f, kGetDispWin, &win), -EBUSY) << "no unfilled record reported as read";
	ASSERT_EQ(osd_fb_probe_pmi_resume(), 0);
	EXPECT_EQ(io(f, FBIOPUT_VSCREENINFO, &v), 0);
	EXPECT_EQ(scanout(0), kMem + 1080 * 1920 * 4);
}

// A set and a pan queued behind the plane's holder while a suspend gave up
// waiting for it find the plane in standby once they get it.
TEST_F(OsdRoad, CallsQueuedAcrossASuspendWriteNothing)
{
	boot_logo();
	load();
	struct file *f = fb(0);
	fb_var_screeninfo v = var(f);
	osd_fb_probe_sem_down(0);
	std::atomic<long> set{1}, pan{1};
	std::thread a([&] { set = osd_fb_probe_kernel_ioctl(0, kSetStride, 7680); }),
		b([&] { pan = io(f, FBIOPAN_DISPLAY, &v); });
	std::this_thread::sleep_for(std::chrono::milliseconds(30));
	ASSERT_EQ(osd_fb_probe_pmi_suspend(), 0);
	khost::clear_journal();
	osd_fb_probe_sem_up(0);
	a.join();
	b.join();
	EXPECT_EQ(set, -EBUSY);
	EXPECT_EQ(pan, -EFAULT);
	EXPECT_TRUE(khost::journal().empty()) << std::hex << khost::journal()[0].addr;
	ASSERT_EQ(osd_fb_probe_pmi_resume(), 0);
}

// The last scrolling plane stops at once and quietly, its stride back, also
// where that stride could not hold the window at the scroll's offset: the
// stride kept is the one the plane scans with, and the next pan starts its
// lines by it.
TEST_F(OsdRoad, ScrollTurnedOffStopsAtOnce)
{
	boot_logo();
	load("3");
	khost::set_caps(0);
	struct file *f = fb(0);
	fb_var_screeninfo v = var(f);
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	ST_DRV_OSD_DISP_WIN all{{0, 0, 1920, 3240}, {0, 0, 1920, 1080}}, one{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}};
	ASSERT_EQ(io(f, kSetDispWin, &all), 0);
	// The record turns the scroll on, and the task may take its one step
	// (x = 64, no further) before NR 156 returns.
	uint32_t from = khost::reg(R(0x124));
	ST_DRV_OSD_SCROLL_PARAM s{1, {}, 4096, 0, 1024, 64, {}};
	ASSERT_EQ(io(f, _IO(0xC8, 157), &s), 0);
	ASSERT_EQ(io(f, _IO(0xC8, 156), 1ul), 0);
	for (int i = 0; i < 2000 && khost::reg(R(0x124)) == from; i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	ASSERT_NE(khost::reg(R(0x124)), from) << "scrolls";
	khost::clear_log();
	EXPECT_EQ(io(f, _IO(0xC8, 156), 0ul), 0);
	EXPECT_EQ(khost::log().find("ScrollBar"), std::string::npos) << khost::log();
	EXPECT_EQ(khost::reg(R(0x120)) & 0x1fff, 1920u);
	uint32_t stride = 0;
	EXPECT_EQ(io(f, kGetStride, &stride), 0);
	EXPECT_EQ(stride, 7680u);
	ASSERT_EQ(io(f, kSetDispWin, &one), 0);
	v.yoffset = 1080;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	EXPECT_EQ(scanout(0), kMem + 1080 * 7680);
}

// A scroll step the buffer shown cannot hold stops the scroll, the plane
// as the last step left it and the stride kept the one it scans with.
TEST_F(OsdRoad, RefusedScrollStepKeepsTheStrideShown)
{
	boot_logo();
	load("3");
	struct file *f = fb(0);
	fb_var_screeninfo v = var(f);
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	ST_DRV_OSD_SCROLL_PARAM s{1, {}, 15360, 64, 1024, 0, {}};
	ASSERT_EQ(io(f, _IO(0xC8, 157), &s), 0);
	ASSERT_EQ(io(f, _IO(0xC8, 156), 1ul), 0);
	for (int i = 0; i < 2000 && (khost::reg(R(0x120)) & 0x1fff) != 3840; i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	uint32_t last = 4, stride = 0;	// the third buffer: 1080 lines of 15360 bytes leave it
	ASSERT_EQ(io(f, _IO(0xC8, 152), &last), 0);
	for (int i = 0; i < 2000 && khost::log().find("scroll off") == std::string::npos; i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(io(f, kGetStride, &stride), 0);
	EXPECT_EQ(stride, (khost::reg(R(0x120)) & 0x1fff) * 4) << khost::log();
}

// A scroll never set has no window to move: it is refused.
TEST_F(OsdRoad, ScrollWithoutAWindowIsRefused)
{
	boot_logo();
	load("3");
	struct file *f = fb(0);
	EXPECT_EQ(io(f, _IO(0xC8, 156), 1ul), -EINVAL);
}

// What the reserved memory held before load is not handed to whoever maps a
// plane; the fast-logo plane keeps the boot picture.
TEST_F(OsdRoad, PlaneBuffersAreClearedAtLoadButTheLogo)
{
	boot_logo();
	const uint64_t plane1 = kMem + 1080 * 1920 * 3 * 4;
	khost::set_reg(kMem, 0x12345678);
	khost::set_reg(plane1 + 4096, 0xabababab);
	load();
	khost::set_caps(0);
	int err = 0;
	auto *p = static_cast<uint32_t *>(khost::mmap(fb(1), 8192, 0, &err));
	ASSERT_NE(p, nullptr) << err;
	EXPECT_EQ(p[1024], 0u);
	EXPECT_EQ(khost::reg(kMem), 0x12345678u) << "the logo stays";
}

// A kernel console bound to a plane draws with the plane's operations into
// its buffer, in the plane's colours (opaque ARGB8888).
TEST_F(OsdRoad, ConsoleDrawingLandsInThePlaneBuffer)
{
	boot_logo();
	load();
	ASSERT_EQ(osd_fb_probe_console_draw(1), 0);
	const uint64_t base = kMem + 1080 * 1920 * 3 * 4;	// plane 1 follows plane 0
	auto px = [&](unsigned x, unsigned y) { return khost::reg(base + (uint64_t)y * 1920 * 4 + x * 4); };
	EXPECT_EQ(px(0, 0), 0xffffffffu) << "white box";
	EXPECT_EQ(px(3, 1), 0xffffffffu);
	EXPECT_EQ(px(4, 0), 0u) << "nothing beside it";
	EXPECT_EQ(px(8, 4), 0xffffffffu) << "copied";
	EXPECT_EQ(px(11, 5), 0xffffffffu);
	EXPECT_EQ(px(3, 10), 0xffffffffu) << "glyph foreground";
	EXPECT_EQ(px(4, 10), 0xff000000u) << "glyph background, opaque black";
}

// Flips: for double and triple buffers, a pan or a set of the variable
// screen information to each buffer scans that buffer out.
struct Flip {
	unsigned buffers;
	bool pan;
};

class OsdRoadFlip : public OsdRoad, public ::testing::WithParamInterface<Flip> {};

TEST_P(OsdRoadFlip, EveryBufferShowsItsOwnAddress)
{
	const Flip &p = GetParam();
	boot_logo();
	load(std::to_string(p.buffers).c_str());
	khost::set_caps(0);
	struct file *f = fb(0);
	ASSERT_NE(f, nullptr);
	fb_var_screeninfo v = var(f);
	ASSERT_EQ(v.yres_virtual, 1080u * p.buffers);
	const uint64_t line = 1920 * 4;
	std::vector<unsigned> order = {1, 0, 1, 0};
	if (p.buffers == 3)
		order = {1, 2, 0, 2, 1, 0};
	for (unsigned n : order) {
		v.yoffset = n * 1080;
		ASSERT_EQ(io(f, p.pan ? FBIOPAN_DISPLAY : FBIOPUT_VSCREENINFO, &v), 0) << n;
		EXPECT_EQ(scanout(0), kMem + n * 1080 * line) << "buffer " << n;
	}
}

INSTANTIATE_TEST_SUITE_P(Buffers, OsdRoadFlip,
			 ::testing::Values(Flip{2, true}, Flip{2, false}, Flip{3, true}, Flip{3, false}),
			 [](const ::testing::TestParamInfo<Flip> &i) {
				 return std::to_string(i.param.buffers) + (i.param.pan ? "Pan" : "Set");
			 });

// The plane framebuffer node is open to every process: what would aim the
// scan-out outside the plane's buffer, freeze every plane or write files
// as root needs a privilege; what a privileged caller asks keeps working.
struct Hole {
	const char *name;
	int plane;
	long unprivileged;	// the error an unprivileged caller gets
	long (*run)(struct file *f);
};

// NR 35's record; import_rec shows w x h pixels of a buffer of that width from fd.
struct ImportRec { uint32_t unused[3], dx, dy, dw, dh, bufw, u32, sx, sy, sw, sh; int32_t fd, fence; };
ImportRec import_rec(int fd, uint32_t w, uint32_t h) { return {{0, 0, 0}, 0, 0, w, h, w, 0, 0, 0, w, h, fd, -1}; }

long plane_ioctl(struct file *f, unsigned nr, const void *rec)
{
	return khost::ioctl(f, _IO(0xC8, nr), (unsigned long)rec);
}

const Hole kHoles[] = {
	{"BufferAddressOutsideThePlane", 0, -EPERM, [](struct file *f) {
		 ST_DRV_OSD_BUF_PHY_ADDR_SIZE b{(uint32_t)khost::foreign_ram(), 0, 0x100000};
		 return plane_ioctl(f, 115, &b);
	 }},
	{"WindowBelowTheBuffer", 0, -EINVAL, [](struct file *f) {
		 ST_DRV_OSD_DISP_WIN w{};
		 w.stSrcWin = {0, 3000, 1920, 1080};
		 w.stDstWin = {0, 0, 1920, 1080};
		 return plane_ioctl(f, 107, &w);
	 }},
	{"WindowWiderThanTheLine", 0, -EINVAL, [](struct file *f) {
		 ST_DRV_OSD_DISP_WIN w{};
		 w.stSrcWin = {100, 0, 1920, 1080};
		 w.stDstWin = {0, 0, 1920, 1080};
		 return plane_ioctl(f, 107, &w);
	 }},
	{"SourceTallerThanTheBuffer", 0, -EINVAL, [](struct file *f) {
		 ST_SIZE s{1920, 4000};
		 return plane_ioctl(f, 109, &s);
	 }},
	{"StrideBeyondTheBuffer", 0, -EINVAL, [](struct file *f) {
		 return khost::ioctl(f, _IO(0xC8, 113), 7680ul * 4);
	 }},
	{"ForcedBufferThePlaneLacks", 1, -EINVAL, [](struct file *f) {
		 uint32_t order = 5;	// the third buffer of a double-buffered plane
		 return plane_ioctl(f, 152, &order);
	 }},
	{"SuspendFreezesEveryPlane", 0, -EPERM, [](struct file *f) {
		 long r = khost::ioctl(f, _IO(0xC8, 2), 0);
		 if (!r)
			 khost::ioctl(f, _IO(0xC8, 3), 0);
		 return r;
	 }},
	{"TraceWordUnlocksEveryPlane", 0, -EPERM, [](struct file *f) {
		 return khost::ioctl(f, _IO(0xC8, 159), 0);
	 }},
	{"DumpWritesWhereTheCallerNames", 0, -EPERM, [](struct file *f) {
		 static uint8_t rec[284];
		 return plane_ioctl(f, 198, rec);
	 }},
};

class OsdRoadHole : public OsdRoad, public ::testing::WithParamInterface<Hole> {};

TEST_P(OsdRoadHole, UnprivilegedRefusedPrivilegedKept)
{
	const Hole &h = GetParam();
	boot_logo();
	load();
	khost::set_caps(0);
	struct file *f = fb(h.plane);
	ASSERT_NE(f, nullptr);
	uint32_t before = khost::reg(R(0x124 + 0x100 * h.plane));
	EXPECT_EQ(h.run(f), h.unprivileged);
	EXPECT_EQ(khost::reg(R(0x124 + 0x100 * h.plane)), before) << "scan-out untouched";
	khost::set_caps(khost::kAllCaps);
	EXPECT_EQ(h.run(f), 0);
}

INSTANTIATE_TEST_SUITE_P(Fb, OsdRoadHole, ::testing::ValuesIn(kHoles),
			 [](const ::testing::TestParamInfo<Hole> &i) { return std::string(i.param.name); });

// A dma-buf shown on a plane is scanned inside its own length, for every
// caller: the x offset and width count as well as the lines.
TEST_F(OsdRoad, ShownDmaBufStaysInsideItsBuffer)
{
	boot_logo();
	load();
	struct file *f0 = fb(0), *f2 = fb(2);	// plane 2: 32x32, two buffers, 8 KiB
	uint32_t req[2] = {0, 0};
	ASSERT_EQ(plane_ioctl(f2, 33, req), 0);
	ImportRec rec = {{0, 0, 0}, 0, 0, 32, 32, 32, 0, 8, 0, 32, 32, (int32_t)req[0], 0};
	EXPECT_EQ(plane_ioctl(f0, 35, &rec), -EINVAL) << "columns 8..39 of 32";
	rec.sx = 0;
	rec.sy = 40;
	EXPECT_EQ(plane_ioctl(f0, 35, &rec), -EINVAL) << "lines 40..71 of 64";
	rec.sy = 32;
	EXPECT_EQ(plane_ioctl(f0, 35, &rec), 0) << "the second buffer";
	EXPECT_EQ(scanout(0), kMem + 1080 * 1920 * 4 * 5 + 32 * 128) << "plane 2 follows planes 0 and 1";
	khost::close_fd(rec.fence);
	khost::close_fd((int)req[0]);
}

// An importer of a plane's buffer gets its bus address through the DMA API,
// mapped while it is mapped and given back when it unmaps.
TEST_F(OsdRoad, PlaneDmaBufIsMappedForItsImporter)
{
	boot_logo();
	load();
	struct file *f = fb(1);
	uint32_t req[2] = {0, 0};
	ASSERT_EQ(plane_ioctl(f, 33, req), 0);
	auto mapped = [] {
		for (auto &l : khost::leaks())
			if (l.find("resource mapping") != std::string::npos)
				return true;
		return false;
	};
	unsigned long long bus = 0;
	ASSERT_EQ(osd_fb_probe_import_map((int)req[0], &bus), 0);
	EXPECT_EQ(bus, kMem + 1080 * 1920 * 3 * 4);
	EXPECT_TRUE(mapped()) << "the device's view is a DMA mapping";
	osd_fb_probe_import_unmap();
	EXPECT_FALSE(mapped());
	khost::close_fd((int)req[0]);
}

// The debug menu's file dump writes the current plane's buffer, and its
// dma-buf self test imports each normal plane and gives everything back.
TEST_F(OsdRoad, MenuDumpsThePlaneAndSelfTestsItsDmaBufs)
{
	boot_logo();
	load();
	struct file *f2 = fb(2);
	fb_var_screeninfo v = var(f2);
	ASSERT_EQ(io(f2, FBIOPAN_DISPLAY, &v), 0);
	const uint64_t plane2 = kMem + 1080 * 1920 * 4 * 5;
	khost::set_reg(plane2 + 8, 0xcafef00d);
	auto type = [](const std::string &lines) {
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		osd_fb_probe_menu_idle();
	};
	type("DRV_OSD\n");
	type("2\n2\n1\n");	// item 1 on plane 2: it becomes the current plane
	type("26\n3\n");	// item 25 into /tmp/osd_fb_2.raw
	EXPECT_NE(khost::log().find("Finish !"), std::string::npos) << khost::log();
	FILE *out = fopen((khost::file_root() + "/tmp/osd_fb_2.raw").c_str(), "rb");
	ASSERT_NE(out, nullptr);
	std::vector<uint32_t> words(8192 / 4);
	EXPECT_EQ(fread(words.data(), 4, words.size(), out), words.size());
	fclose(out);
	EXPECT_EQ(words[2], 0xcafef00du);

	ASSERT_EQ(system(("mkdir -p " + khost::file_root() + "/dev && touch " + khost::file_root() +
			  "/dev/mali").c_str()), 0);
	khost::clear_log();
	type("36\n");	// item 35
	std::string log = khost::log();
	EXPECT_NE(log.find("dma_buf->size = 8192\n"), std::string::npos) << log;
	EXPECT_EQ(log.find("fail"), std::string::npos) << log;
}

// The blend demo in palette mode loads a palette and updates again.
TEST_F(OsdRoad, MenuBlendDemoInPaletteModeLoadsAPalette)
{
	boot_logo();
	load();
	ASSERT_EQ(khost::debugfs_write("crv_platform/menu", "DRV_OSD\n19\n0\n0\n0\n/p\n/f\n"
				       "0\n0\n1920\n1080\n0\n0\n1920\n1080\n"), 0);
	osd_fb_probe_menu_idle();
	EXPECT_EQ(khost::log().find("Fail"), std::string::npos) << khost::log();
}

// A dump set by a privileged caller is opened at once, in its context: never
// through a symbolic link, and readable by its owner only.
TEST_F(OsdRoad, DumpFilesAreOpenedWhenSetAndFollowNoLink)
{
	boot_logo();
	load();
	struct file *f = fb(0);
	struct {
		uint32_t enable, plane, sx, sy, ex, ey, frames;
		char path[256];
	} rec = {1, 0, 0, 0, 4, 2, 1, "/dump/"};
	std::string root = khost::file_root();
	ASSERT_EQ(system(("mkdir -p " + root + "/dump && ln -sf /tmp/osd-victim " + root +
			  "/dump/fb0_index_0.raw").c_str()), 0);
	EXPECT_EQ(plane_ioctl(f, 198, &rec), -ELOOP);
	ASSERT_EQ(unlink((root + "/dump/fb0_index_0.raw").c_str()), 0);
	ASSERT_EQ(plane_ioctl(f, 198, &rec), 0);
	struct stat st{};
	ASSERT_EQ(stat((root + "/dump/fb0_index_0.raw").c_str(), &st), 0) << "opened at set time";
	EXPECT_EQ(st.st_mode & 0777, 0600u);
}

ST_DRV_OSD_DISP_WIN window(uint32_t x, uint32_t y, uint32_t w, uint32_t h)
{
	ST_DRV_OSD_DISP_WIN win{};
	win.stSrcWin = {x, y, w, h};
	win.stDstWin = {0, 0, 1920, 1080};
	return win;
}

// A stride, width, height or read quantity its register would cut (to none,
// or to less than the plane was told), and a window of no lines, are refused
// for every caller, with nothing written.
struct Cut {
	const char *name;
	int plane;
	unsigned nr;
	const void *rec;	// else the value below
	unsigned long value;
};

const ST_DRV_OSD_DISP_WIN kTallWindow{{0, 200000, 1920, 4096}, {0, 0, 1920, 1080}};
const ST_SIZE kWideSource{8192, 1080};
const ST_DRV_OSD_DISP_WIN kFlatCursor{{0, 200000, 400, 400}, {0, 0, 400, 0}};
const Cut kCuts[] = {
	{"HeightOf4096Lines", 0, 107, &kTallWindow, 0},
	{"WidthOf8192Pixels", 0, 109, &kWideSource, 0},
	{"StrideOf8192Pixels", 0, 113, nullptr, 32768},
	{"ReadQuantityOf2To21", 0, 119, nullptr, 1ul << 21},
	{"CursorReadQuantityOf2To21", 3, 119, nullptr, 1ul << 21},
	{"CursorDestinationOf0Lines", 3, 107, &kFlatCursor, 0},
};

class OsdRoadCut : public OsdRoad, public ::testing::WithParamInterface<Cut> {};

TEST_P(OsdRoadCut, IsRefusedWithNothingWritten)
{
	boot_logo();
	load();
	struct file *f = fb(GetParam().plane);
	auto regs = [] {
		std::vector<uint32_t> v;
		for (uint32_t off = 0; off < 0x10000; off += 4)
			v.push_back(khost::reg(R(off)));
		return v;
	};
	for (uint64_t caps : {0ull, khost::kAllCaps}) {
		khost::set_caps(caps);
		auto before = regs();
		const Cut &c = GetParam();
		EXPECT_EQ(khost::ioctl(f, _IO(0xC8, c.nr), c.rec ? (unsigned long)c.rec : c.value), -EINVAL)
			<< "caps " << caps;
		EXPECT_TRUE(regs() == before) << "caps " << caps;
	}
}

INSTANTIATE_TEST_SUITE_P(Fb, OsdRoadCut, ::testing::ValuesIn(kCuts),
			 [](const ::testing::TestParamInfo<Cut> &i) { return std::string(i.param.name); });

// A setting of several fields is judged as the plane will show it and
// programmed whole: a colour the old stride could not hold comes with the
// stride that holds it; a cursor window whose lines move keeps its
// position, size and factor.
struct Whole {
	const char *name;
	int plane;
	long (*run)(struct file *f);
	std::vector<std::array<uint32_t, 3>> regs;	// register, mask, value
};

const Whole kWholes[] = {
	{"ColourWithItsStride", 0, [](struct file *f) {
		 fb_var_screeninfo v{};
		 khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v);
		 fb_var_screeninfo argb = v;
		 v.bits_per_pixel = 8;
		 v.red = v.green = v.blue = v.transp = fb_bitfield{0, 0, 0};
		 v.xres = v.xres_virtual = 3840;
		 v.yres = 2160;
		 v.yres_virtual = 6480;
		 ST_DRV_OSD_DISP_WIN w{{0, 0, 3840, 2160}, {0, 0, 3840, 2160}};
		 if (khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&v) || plane_ioctl(f, 107, &w) ||
		     (v.yoffset = 4320, khost::ioctl(f, FBIOPAN_DISPLAY, (unsigned long)&v)))
			 return -1l;
		 khost::clear_log();
		 long ret = khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&argb);
		 EXPECT_EQ(khost::log().find("[ERR_DRV_OSD]"), std::string::npos) << khost::log();
		 return ret;
	 }, {{R(0x110), 0xf300, 0x0300}, {R(0x120), 0x1fff, 1920}}},
	{"CursorWindowWithItsLines", 3, [](struct file *f) {
		 ST_DRV_OSD_DISP_WIN a{{0, 400, 300, 400}, {10, 20, 300, 400}}, b{{0, 0, 200, 800}, {30, 40, 400, 800}};
		 return plane_ioctl(f, 107, &a) ? -1l : plane_ioctl(f, 107, &b);
	 }, {{R(0x2028), ~0u, 30u << 16 | 40}, {R(0x2030), ~0u, 400u << 16 | 800}, {R(0x2034), ~0u, 0x7fad}}},
};

class OsdRoadWhole : public OsdRoad, public ::testing::WithParamInterface<Whole> {};

TEST_P(OsdRoadWhole, IsProgrammedWhole)
{
	boot_logo();
	load();
	khost::set_caps(0);
	EXPECT_EQ(GetParam().run(fb(GetParam().plane)), 0);
	for (auto &[reg, mask, value] : GetParam().regs)
		EXPECT_EQ(khost::reg(reg) & mask, value) << std::hex << reg;
}

INSTANTIATE_TEST_SUITE_P(Fb, OsdRoadWhole, ::testing::ValuesIn(kWholes),
			 [](const ::testing::TestParamInfo<Whole> &i) { return std::string(i.param.name); });

// ---- reach: what an unprivileged caller may have the planes scan out ----

// The planes scan their own buffers, and imported buffers while shown: the
// access oracle decodes the OSD registers at every vsync and checks them.
class OsdReach : public OsdRoad {
protected:
	void SetUp() override
	{
		OsdRoad::SetUp();
		khost::add_regs(kOther, kOtherSize);
		khost::hw::osd::watch();
		// Freed memory is no longer the caller's.
		osd_fb_probe_foreign_freed = [](unsigned long long a, unsigned long long len) {
			khost::oracle::disallow(a, len);
		};
	}

	// Memory of other owners, where the planes can address it.
	static constexpr uint64_t kOther = 0x50000000, kOtherSize = 0x4000000;

	struct file *plane0(const char *buffers = "3")
	{
		boot_logo();
		load(buffers);
		khost::oracle::enable(true);
		// Plane 0's buffer only: the other planes' lie beside it.
		khost::oracle::allow(osd_fb_probe_buf_start(0), osd_fb_probe_buf_len(0), "plane buffer");
		khost::set_caps(0);
		struct file *f = fb(0);
		fb_var_screeninfo v = var(f);
		EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0) << "shown";
		return f;
	}

	// After a vsync, every range the planes read lies in what was allowed.
	void scanned_inside()
	{
		khost::hw::osd::vsync();
		for (auto &f : khost::oracle::findings())
			ADD_FAILURE() << f;
		khost::oracle::clear();
		khost::clear_faults();
	}
};

long nr(struct file *f, unsigned n, const void *rec) { return plane_ioctl(f, n, rec); }
long nr(struct file *f, unsigned n, unsigned long v) { return khost::ioctl(f, _IO(0xC8, n), v); }

struct Escape {
	const char *name;
	void (*run)(struct file *f);
};

const Escape kEscapes[] = {
	// The end of the scan, summed in 64 bits, wraps to the start
	// (2^31 x 2^33); the start is the buffer + 2 GiB in 32 bits, and the
	// height's low 12 bits, all the register takes, are 1080 lines.
	{"WindowWrapsTheScanEnd", [](struct file *f) {
		 auto a = window(0, 0, 0, 1080), b = window(0, 0x7ffff359, 0, 0x80000438),
		      c = window(0, 0x7ffff359, 1920, 0x80000438);
		 nr(f, 107, &a);
		 nr(f, 113, 0ul);
		 nr(f, 107, &b);
		 nr(f, 113, 0x80000000ul);
		 nr(f, 107, &c);
	 }},
	// Scroll stride and start are the caller's; every pan uses them.
	{"ScrollStrideAndStart", [](struct file *f) {
		 ST_DRV_OSD_SCROLL_PARAM s{};
		 s.bEnable = 1;
		 s.u32ScrollStride = 16384;
		 s.u32Step = 0;
		 s.u32Limit = 0x7fffffff;
		 s.u32Start = 0x1000000;
		 nr(f, 157, &s);
		 nr(f, 156, 1ul);
		 fb_var_screeninfo v{};
		 khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v);
		 v.yoffset = 1080;
		 khost::ioctl(f, FBIOPAN_DISPLAY, (unsigned long)&v);
		 khost::hw::osd::vsync();
		 nr(f, 156, 0ul);
	 }},
	// Run-length decoding lifted the size check of a new geometry.
	{"RunLengthGeometry", [](struct file *f) {
		 fb_var_screeninfo v{};
		 khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v);
		 nr(f, 87, 1ul);
		 v.xres = v.xres_virtual = 8000;
		 v.yres = 1080;
		 v.yres_virtual = 3240;
		 khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&v);
		 nr(f, 87, 0ul);
	 }},
	// A new geometry kept the old, larger source window.
	{"GeometryKeepsTheWindow", [](struct file *f) {
		 fb_var_screeninfo v{};
		 khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v);
		 v.xres = v.xres_virtual = 4096;
		 v.yres = 200;
		 v.yres_virtual = 600;
		 v.yoffset = 400;
		 khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&v);
	 }},
	// Four bytes a pixel where the window was laid out for one.
	{"ColourModeWidensThePixels", [](struct file *f) {
		 fb_var_screeninfo v{};
		 khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v);
		 v.bits_per_pixel = 8;
		 v.red = v.green = v.blue = v.transp = fb_bitfield{0, 0, 0};
		 v.yoffset = 0;
		 khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&v);
		 auto low = window(0, 9000, 1920, 1080);
		 nr(f, 107, &low);
		 uint32_t mode = 0x10888820;
		 nr(f, 101, &mode);
	 }},
	// A pan after a shown dma-buf kept its stride and window.
	{"PanKeepsTheImportedGeometry", [](struct file *f) {
		 // Shorter lines than the plane's own, so that the console's view
		 // of the plane still holds them and the import is taken.
		 const uint64_t big = 0x50000000, len = 1024 * 4 * 3000;
		 khost::oracle::allow(big, len, "imported buffer");
		 int fd = osd_fb_probe_foreign(big, len, 0, 0);
		 ImportRec rec = {{0, 0, 0}, 0, 0, 1920, 1080, 1024, 0, 0, 0, 1024, 1000, fd, -1};
		 EXPECT_EQ(nr(f, 35, &rec), 0);
		 khost::hw::osd::vsync();
		 fb_var_screeninfo v{};
		 khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v);
		 v.yoffset = 0;
		 khost::ioctl(f, FBIOPAN_DISPLAY, (unsigned long)&v);
		 khost::hw::osd::vsync();
		 // The plane's own geometry takes it back to its own buffer.
		 v.xres = v.xres_virtual = 1920;
		 v.yres = 1080;
		 v.yres_virtual = 3240;
		 v.activate = FB_ACTIVATE_FORCE;
		 khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&v);
		 khost::hw::osd::vsync();
		 for (int i = 0; i < 1000 && !osd_fb_probe_foreign_released(); i++) {
			 khost::close_fd(fd);
			 fd = -1;
			 std::this_thread::sleep_for(std::chrono::milliseconds(1));
		 }
		 if (rec.fence >= 0)
			 khost::close_fd(rec.fence);
	 }},
	// Lines the console would draw 3240 of past the mapping: a stride that
	// holds the scan, one whose 8192 pixels wrap their field, one of 2 GiB.
	{"StrideTakesTheConsolePastTheMapping", [](struct file *f) {
		 nr(f, 113, 16384ul);
		 nr(f, 113, 32768ul);
		 nr(f, 113, 0x80000000ul);
	 }},
	// An imported window of one line of 32000 bytes: the console keeps the
	// rows it took at the last mode set.
	{"ImportedLinesTakeTheConsolePastTheMapping", [](struct file *f) {
		 khost::oracle::allow(0x50000000, 32768, "imported buffer");
		 int fd = osd_fb_probe_foreign(0x50000000, 32768, 0, 0);
		 ImportRec rec = {{0, 0, 0}, 0, 0, 1920, 1080, 8000, 0, 0, 0, 8000, 1, fd, -1};
		 nr(f, 35, &rec);
		 khost::close_fd(fd);
	 }},
	// A height of 0 lines still reads at the start, 1.5 GB on.
	{"SourceHeightOf0", [](struct file *f) {
		 ST_DRV_OSD_DISP_WIN w = window(0, 200000, 1920, 0);
		 ST_DRV_OSD_UPDATE_ENABLE up{14, 1, 0, {}};
		 EXPECT_EQ(nr(f, 107, &w), -EINVAL);
		 nr(f, 10, &up);
	 }},
};

class OsdReachEscape : public OsdReach, public ::testing::WithParamInterface<Escape> {};

TEST_P(OsdReachEscape, ScanStaysInThePlaneBuffer)
{
	struct file *f = plane0();
	scanned_inside();
	GetParam().run(f);
	scanned_inside();
	// A window the buffer holds is still taken afterwards.
	auto w = window(0, 0, 1920, 1080);
	khost::set_caps(khost::kAllCaps);
	khost::ioctl(f, _IO(0xC8, 113), 7680ul);
	khost::set_caps(0);
	EXPECT_EQ(nr(f, 107, &w), 0);
	scanned_inside();
}

INSTANTIATE_TEST_SUITE_P(Fb, OsdReachEscape, ::testing::ValuesIn(kEscapes),
			 [](const ::testing::TestParamInfo<Escape> &i) { return std::string(i.param.name); });

// The buffers leave the cursors no memory: their scan stays what power-on
// left, address 0, and nothing an ordinary caller does shows it.
TEST_F(OsdReach, APlaneWithoutABufferIsNotShown)
{
	plane0();
	struct file *f = fb(3);
	fb_var_screeninfo v = var(f);
	EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), -EINVAL);
	EXPECT_EQ(khost::ioctl(f, kRegionShow, 1), -EINVAL);
	khost::ioctl(f, kPlaneShow, 1);
	khost::ioctl(f, kLayerShow, 1);
	ST_DRV_OSD_UPDATE_ENABLE up{16, 1, 0, {}};
	nr(f, 10, &up);
	scanned_inside();
}

// The decoder catches a plane aimed outside by hand, past the driver.
TEST_F(OsdReach, DecoderCatchesAPlaneAimedOutside)
{
	plane0();
	uint32_t was = khost::reg(R(0x124));
	khost::set_reg(R(0x124), (was & ~0x61ffffffu) | (uint32_t)(kOther >> 30) << 29 |
					 (uint32_t)(kOther >> 5 & 0x1ffffff));
	khost::set_reg(R(0xb000), 1);	// latched with the plane's next update
	khost::hw::osd::vsync();
	auto found = khost::oracle::findings();
	ASSERT_EQ(found.size(), 1u);
	EXPECT_NE(found[0].find("reads [0x50000000, "), std::string::npos) << found[0];
	EXPECT_NE(found[0].find("plane 0"), std::string::npos) << found[0];
	khost::set_reg(R(0x124), was);
	khost::oracle::clear();
	khost::clear_faults();
}

// Every page of a shown dma-buf is the plane's to read: one scattered
// across other owners' memory is refused, not scanned from its first page.
TEST_F(OsdReach, ScatteredDmaBufIsRefused)
{
	struct file *f = plane0();
	const uint64_t half = 1920 * 4 * 540, a = kOther, b = kOther + 2 * half;
	khost::oracle::allow(a, half, "first half");
	khost::oracle::allow(b, half, "second half");
	int fd = osd_fb_probe_foreign(a, half, b, half);
	ImportRec rec = import_rec(fd, 1920, 1080);
	EXPECT_EQ(nr(f, 35, &rec), -EINVAL);
	scanned_inside();
	EXPECT_EQ(osd_fb_probe_foreign_mapped(), 0);
	khost::close_fd(fd);
}

// A shown dma-buf stays mapped and held until the vsync after the plane
// was told to leave it: then, and not before, it goes back.
TEST_F(OsdReach, ShownDmaBufIsHeldUntilThePlaneLeftIt)
{
	struct file *f = plane0();
	const uint64_t a = kOther;
	khost::oracle::allow(a, 1920 * 4 * 1080, "imported buffer");
	int fd = osd_fb_probe_foreign(a, 1920 * 4 * 1080, 0, 0);
	ImportRec rec = import_rec(fd, 1920, 1080);
	ASSERT_EQ(nr(f, 35, &rec), 0);
	khost::close_fd(fd);
	EXPECT_EQ(osd_fb_probe_foreign_mapped(), 1) << "mapped while shown";
	scanned_inside();
	EXPECT_EQ(osd_fb_probe_foreign_released(), 0);

	fb_var_screeninfo v = var(f);
	v.yoffset = 0;
	ASSERT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);	// back to the plane's own buffer
	EXPECT_EQ(osd_fb_probe_foreign_mapped(), 1) << "until the hardware has left it";
	EXPECT_EQ(osd_fb_probe_foreign_released(), 0);
	scanned_inside();
	khost::oracle::disallow(a, 1920 * 4 * 1080);
	for (int i = 0; i < 1000 && osd_fb_probe_foreign_released() == 0; i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(osd_fb_probe_foreign_mapped(), 0);
	EXPECT_EQ(osd_fb_probe_foreign_released(), 1);
	scanned_inside();
	if (rec.fence >= 0)
		khost::close_fd(rec.fence);
}

// ---- what a latch can catch ----

class OsdReachLatch : public OsdReach {
protected:
	// Plane p (the planes with their usual buffers) shown from its own buffer.
	struct file *show(int p)
	{
		struct file *f = p ? fb(p) : plane0(nullptr);
		khost::oracle::allow(osd_fb_probe_buf_start(p), osd_fb_probe_buf_len(p), "plane buffer");
		fb_var_screeninfo v = var(f);
		EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
		return f;
	}

	// Back to the plane's own buffer, with no vsync wait.
	void leave(struct file *f)
	{
		fb_var_screeninfo v = var(f);
		v.yoffset = 0;
		v.reserved[0] = 1;
		EXPECT_EQ(io(f, FBIOPAN_DISPLAY, &v), 0);
	}

	void wait_released(int ms, int n = 1)
	{
		for (int i = 0; i < ms && osd_fb_probe_foreign_released() < n; i++)
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
};

// With its update pending a plane may latch any state its registers pass
// through: a flip reaches them together with the start it moves to.
class OsdReachFlip : public OsdReachLatch, public ::testing::WithParamInterface<int> {};

TEST_P(OsdReachFlip, StartMovesWithTheFlip)
{
	int p = GetParam();
	struct file *f = show(0);
	if (p)
		f = show(p);
	ST_DRV_OSD_UPDATE_ENABLE up{p < 3 ? 14u : 16u, 1, 0, {}};
	ASSERT_EQ(nr(f, 10, &up), 0);
	EXPECT_EQ(nr(f, 117, 1ul), 0);
	scanned_inside();
}

INSTANTIATE_TEST_SUITE_P(Fb, OsdReachFlip, ::testing::Values(0, 3));

// A cursor's two regions read from one start with one flip: with region 1
// made current by the operator's menu, a flip of it would turn region 0 out
// of the buffer; an import in another GiB that holds region 0's scan too is
// taken, and no state on the way reads elsewhere.
TEST_F(OsdReachLatch, CursorRegionsMoveWithTheirOneStart)
{
	show(0);
	struct file *f3 = show(3);
	ASSERT_EQ(khost::debugfs_write("crv_platform/menu", "DRV_OSD\n3\n3\n1\n1\n1\n"), 0);
	osd_fb_probe_menu_idle();
	ST_DRV_OSD_UPDATE_ENABLE up{16, 1, 0, {}};
	ASSERT_EQ(nr(f3, 10, &up), 0);
	EXPECT_EQ(nr(f3, 117, 1ul), -EINVAL);
	const uint64_t far = 0x90000000, len = 0x100000;
	khost::add_regs(far, len);
	khost::oracle::allow(far, len, "imported buffer");
	ImportRec rec = import_rec(osd_fb_probe_foreign(far, len, 0, 0), 64, 64);
	EXPECT_EQ(nr(f3, 35, &rec), 0);
	scanned_inside();
	khost::close_fd(rec.fd);
	khost::close_fd(rec.fence);
	leave(f3);
	scanned_inside();
	wait_released(1000);
}

// The cursors keep their starts' bits 31:30 in one register: one cursor's
// change there never puts back the other's old bits.
TEST_F(OsdReachLatch, CursorsKeepEachOthersHighStartBits)
{
	show(0);
	struct file *f3 = show(3), *f4 = show(4);
	const uint64_t far = 0x90000000, len = 0x4000;	// in another GiB
	khost::add_regs(far, 4 * len);
	khost::oracle::allow(far, 4 * len, "imported buffers");
	ImportRec rec3 = import_rec(osd_fb_probe_foreign(far + 2 * len, len, 0, 0), 64, 64);
	ImportRec rec4 = import_rec(osd_fb_probe_foreign(far, len, 0, 0), 64, 64);
	std::atomic<bool> started{false}, done{false};
	std::thread cursor4;
	// Cursor 4 moves while cursor 3 writes the register.
	khost::on_write(R(0x228c), [&](phys_addr_t, uint64_t, uint64_t &) {
		if (started.exchange(true))
			return;
		cursor4 = std::thread([&] { EXPECT_EQ(nr(f4, 35, &rec4), 0); done = true; });
		for (int i = 0; i < 200 && !done; i++)
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
	});
	ASSERT_EQ(nr(f3, 35, &rec3), 0);
	ASSERT_TRUE(started);
	cursor4.join();
	EXPECT_EQ(khost::reg(R(0x228c)) & 0x303, 0x202u) << "both starts in the far GiB";
	scanned_inside();
	for (auto *rec : {&rec3, &rec4}) {
		khost::close_fd(rec->fd);
		khost::close_fd(rec->fence);
	}
	leave(f3);
	leave(f4);
	scanned_inside();
	wait_released(1000, 2);
}

// An imported buffer goes back only after a vsync that took the update
// leaving it, however long any opener holds updates back.
struct Hold {
	const char *name;
	void (*set)(struct file *f0, struct file *f1, bool on);
};

const Hold kHolds[] = {
	{"UpdatesWaitForTheAnalogueTiming", [](struct file *f0, struct file *, bool on) { nr(f0, 6, on ? 1ul : 0ul); }},
	{"SiblingDisablesUpdates", [](struct file *, struct file *f1, bool on) {
		 ST_DRV_OSD_UPDATE_ENABLE up{14, !on, 0, {}};
		 nr(f1, 10, &up);
	 }},
};

class OsdReachHold : public OsdReachLatch, public ::testing::WithParamInterface<Hold> {};

TEST_P(OsdReachHold, ImportGoesOnceTheUpdateLeavingItWasTaken)
{
	struct file *f0 = plane0(), *f1 = fb(1);
	const uint64_t len = 1920 * 4 * 1080;
	khost::oracle::allow(kOther, len, "imported buffer");
	ImportRec rec = import_rec(osd_fb_probe_foreign(kOther, len, 0, 0), 1920, 1080);
	ASSERT_EQ(nr(f0, 35, &rec), 0);
	khost::close_fd(rec.fd);
	khost::close_fd(rec.fence);
	scanned_inside();
	leave(f0);
	GetParam().set(f0, f1, true);
	scanned_inside();
	wait_released(100);
	scanned_inside();
	EXPECT_EQ(osd_fb_probe_foreign_released(), 0) << "held while the plane shows it";
	GetParam().set(f0, f1, false);
	scanned_inside();
	wait_released(1000);
	EXPECT_EQ(osd_fb_probe_foreign_released(), 1);
}

// However long the update is held, a plane leaves at most two imports
// waiting for it: the flips that would leave more are refused.
TEST_P(OsdReachHold, FlipsPastTheWaitingImportsAreRefused)
{
	struct file *f0 = plane0(), *f1 = fb(1);
	const uint64_t len = 1920 * 4 * 1080;
	khost::oracle::allow(kOther, len, "imported buffer");
	const ImportRec rec = import_rec(osd_fb_probe_foreign(kOther, len, 0, 0), 1920, 1080);
	for (int i = 0; i < 6; i++) {
		ImportRec r = rec;
		EXPECT_EQ(nr(f0, 35, &r), i < 3 ? 0 : -EBUSY) << "flip " << i;
		if (r.fence >= 0)
			khost::close_fd(r.fence);
		GetParam().set(f0, f1, true);
		scanned_inside();
	}
	fb_var_screeninfo v = var(f0);
	EXPECT_EQ(io(f0, FBIOPAN_DISPLAY, &v), -EBUSY);
	EXPECT_EQ(osd_fb_probe_foreign_mapped(), 3) << "one shown, two waiting";
	GetParam().set(f0, f1, false);
	scanned_inside();
	leave(f0);	// taken now
	scanned_inside();
	khost::close_fd(rec.fd);
	wait_released(1000);
}

INSTANTIATE_TEST_SUITE_P(Fb, OsdReachHold, ::testing::ValuesIn(kHolds),
			 [](const ::testing::TestParamInfo<Hold> &i) { return std::string(i.param.name); });

} // namespace

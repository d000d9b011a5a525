// OSD hardware layer over a simulated register window: the operation table,
// the register shadow and its programming steps, pre-init, start and stop,
// suspend and resume, the vsync wait and the scroll task.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "khost/gtest.hpp"
#include "khost/hw/osd.hpp"

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
#include "osd_hw_probe.h"
struct task_struct *khost_current(void);
}

namespace {

constexpr uint32_t R(uint32_t off) { return 0xfc0d0000u + off; }
const std::string ERR = "\033[0;32;41m[ERR_DRV_OSD]\033[0m";

std::vector<khost::RegAccess> writes()
{
	return khost::journal(false);
}

std::vector<khost::RegAccess> writes_to(uint32_t addr)
{
	std::vector<khost::RegAccess> out;
	for (auto &a : khost::journal(false))
		if (a.addr == addr)
			out.push_back(a);
	return out;
}

int reads_of(uint32_t addr)
{
	int n = 0;
	for (auto &a : khost::journal(true))
		if (!a.write && a.addr == addr)
			n++;
	return n;
}

size_t count(const std::string &hay, const std::string &needle)
{
	size_t n = 0;
	for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1))
		n++;
	return n;
}

uint32_t shadow(uint32_t addr)
{
	ST_KER_OSD_SHADOW_REG *r = _ker_osd_Shadow_Find(addr);
	EXPECT_NE(r, nullptr) << std::hex << addr;
	return r ? r->u32Value : 0;
}

// Registers whose hardware value differs from the shadow by design after a
// resume: palette ports, latches and triggers written to the hardware only.
const std::set<uint32_t> kResumeHwOnly = {
	R(0x404), R(0x408), R(0x410), R(0x428), R(0x000), R(0x100), R(0x200), R(0x300),
	R(0x12c), R(0x22c), R(0x32c), R(0x210c), R(0xb000),
};

class OsdHwTest : public khost::KernelTest {
protected:
	void SetUp() override
	{
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		// Interrupts come when a test raises them.
		ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
		khost::set_time_scale(1000);
		khost::add_regs(R(0), 0x10000);
		// Updates wait for the next vsync, palette loads end at once.
		khost::hw::osd::install();
		gu32APITraceCtl = 0;
		osd_probe_attach();
		_ker_osd_MappingReg();
		khost::clear_journal();
		khost::clear_log();
	}

	void TearDown() override
	{
		if (opened)
			_ker_osd_Close();
		osd_probe_detach();
		_ker_osd_UnMappingReg();
		for (int p = 0; p < OSD_PLANE_MAX; p++)
			EXPECT_EQ(osd_probe_sem_count(p), 1) << "plane " << p;
		EXPECT_EQ(khost::log().find("has no shadow"), std::string::npos);
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}

	void start()
	{
		for (int p = 0; p < OSD_PLANE_MAX; p++)
			_ker_osd_PreInitSetting(static_cast<EN_DRV_OSD_PLANE_ID>(p), OSD_REGION0);
		_ker_osd_Open();
		opened = true;
		khost::clear_journal();
		khost::clear_log();
	}

	void stop()
	{
		_ker_osd_Close();
		opened = false;
	}

	bool opened = false;
};

// ---- operation table ------------------------------------------------------

TEST_F(OsdHwTest, TableHasEverySlotInPlaceWithItsName)
{
	int ops = 0, later = 0, empty = 0;
	std::set<std::string> names;
	for (int i = 0; i < KER_OSD_SLOT_COUNT; i++) {
		int kind = osd_probe_slot_kind(i);
		ops += kind == OSD_PROBE_SLOT_OP;
		later += kind == OSD_PROBE_SLOT_LATER;
		empty += kind == OSD_PROBE_SLOT_NUL;
		// Only built operations fill their slot; everything else reads NULL.
		EXPECT_EQ(osd_probe_slot_filled(i), kind == OSD_PROBE_SLOT_OP) << i;
		std::string name = gapszKerOsdSlotName[i];
		EXPECT_EQ(name.rfind("pf", 0), 0u) << i;
		names.insert(name);
	}
	EXPECT_EQ(ops + later, 173);
	EXPECT_EQ(empty, 41);
	EXPECT_EQ(names.size(), size_t(KER_OSD_SLOT_COUNT));
	EXPECT_STREQ(gapszKerOsdSlotName[0], "pfSetSuspend");
	EXPECT_STREQ(gapszKerOsdSlotName[165], "pfVSyncWait");
	EXPECT_STREQ(gapszKerOsdSlotName[204], "pfAFBCEnable");
	EXPECT_STREQ(gapszKerOsdSlotName[213], "pfExtBypassGPE");
	EXPECT_EQ(_ker_osd_Get_DriverCallback()->pfMappingReg, &_ker_osd_MappingReg);
}

TEST_F(OsdHwTest, EmptySlotIsReportedAndSkipped)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();
	u8 on = 1;
	gu32APITraceCtl = OSD_TRACE_MSG;
	KER_OSD_CALL(tbl, pfAFBCEnable, OSD_NORMAL1, &on);
	EXPECT_EQ(khost::log(), "[MSG_DRV_OSD]gstDriverCallback->pfAFBCEnable is NULL !\n");
}

// ---- register shadow --------------------------------------------------------

TEST_F(OsdHwTest, ShadowHoldsEachRegisterOnceAndPlaneBlocksFollowTheRule)
{
	std::set<uint32_t> seen;
	int empty = 0;
	for (uint32_t i = 0; i < _ker_osd_Shadow_Count(); i++) {
		uint32_t a = _ker_osd_Shadow_At(i)->u32Addr;
		if (!a) {
			empty++;
			continue;
		}
		EXPECT_EQ(a >> 16, 0xfc0du) << std::hex << a;
		EXPECT_TRUE(seen.insert(a).second) << "twice: " << std::hex << a;
	}
	EXPECT_EQ(empty, 4);
	EXPECT_EQ(_ker_osd_Shadow_Count(), 283u);

	// Every OSD_NORMAL1 register has its plane-1 and plane-2 twins.
	for (uint32_t i = 2; i < 42; i++) {
		uint32_t a = _ker_osd_Shadow_At(i)->u32Addr - R(0);
		uint32_t step = a >= 0x4000 ? 0x200 : (a >= 0x100 && a < 0x200) ? 0x100 : 4;
		EXPECT_NE(_ker_osd_Shadow_Find(R(a + step)), nullptr) << std::hex << a;
		EXPECT_NE(_ker_osd_Shadow_Find(R(a + 2 * step)), nullptr) << std::hex << a;
	}
	// Cursor twins used by the operations.
	EXPECT_EQ(osd_cursor_reg(R(0x2028), OSD_CURSOR2), R(0x2098));
	EXPECT_EQ(osd_cursor_reg(R(0x2058), OSD_CURSOR2), R(0x20c8));
	EXPECT_EQ(osd_cursor_reg(R(0x2004), OSD_CURSOR2), R(0x2008));
	EXPECT_EQ(osd_cursor_reg(R(0x2220), OSD_CURSOR2), R(0x2224));
	EXPECT_EQ(osd_cursor_reg(R(0x2280), OSD_CURSOR2), R(0x2284));
	EXPECT_EQ(osd_normal_reg(R(0x40f0), OSD_NORMAL3), R(0x44f0));
	EXPECT_EQ(osd_normal_reg(R(0x0e0), OSD_NORMAL2), R(0x0e4));
}

TEST_F(OsdHwTest, PrimitivesKeepShadowAndHardwareApartAndStayInTheWindow)
{
	uint32_t outside[] = { 0xfc0e0000u, 0xfc0cfffcu, 0u };
	for (uint32_t a : outside) {
		EXPECT_EQ(_ker_osd_Read_Reg(&a), 0u);
		_ker_osd_Write_Reg(&a, 0x1234);
	}
	EXPECT_TRUE(writes().empty());

	ST_KER_OSD_SHADOW_REG *r = _ker_osd_Shadow_Find(R(0x110));
	_ker_osd_Write_GlobalReg(r, 0xabcd);
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(r->u32Value, 0xabcdu);

	_ker_osd_Write_Reg(&r->u32Addr, 0x5555);
	EXPECT_EQ(khost::reg(R(0x110)), 0x5555u);
	EXPECT_EQ(r->u32Value, 0xabcdu);

	// Without the window every access reads 0 and writes nothing.
	_ker_osd_UnMappingReg();
	khost::clear_journal();
	EXPECT_EQ(_ker_osd_Read_Reg(&r->u32Addr), 0u);
	_ker_osd_Write_Reg(&r->u32Addr, 1);
	u8 on = 1;
	_ker_osd_AXIFreeze_Enable(OSD_NORMAL1, &on);
	EXPECT_TRUE(writes().empty());
	_ker_osd_MappingReg();
}

TEST_F(OsdHwTest, AWindowTheKernelAlreadyOwnsIsNeitherMappedNorTouched)
{
	_ker_osd_UnMappingReg();
	struct resource *ram = request_mem_region(R(0), 0x10000, "System RAM");
	ASSERT_NE(ram, nullptr);
	_ker_osd_MappingReg();
	khost::clear_journal();
	u8 on = 1;
	_ker_osd_AXIFreeze_Enable(OSD_NORMAL1, &on);
	EXPECT_TRUE(khost::journal(true).empty());
	EXPECT_NE(khost::log().find("the OSD register window is not free"), std::string::npos);
	release_mem_region(R(0), 0x10000);
	_ker_osd_MappingReg();
}

TEST_F(OsdHwTest, ProgrammingStepChangesOnlyItsFieldInShadowAndHardware)
{
	khost::set_reg(R(0x004), 0x00010001);
	khost::set_reg(R(0x2270), 0x100);
	u8 on = 1;
	_ker_osd_AXIFreeze_Enable(OSD_NORMAL2, &on);
	_ker_osd_AXIFreeze_Enable(OSD_CURSOR2, &on);
	auto w = writes();
	ASSERT_EQ(w.size(), 2u);
	EXPECT_EQ(w[0].addr, R(0x004));
	EXPECT_EQ(w[0].value, 0x00010201u);
	EXPECT_EQ(w[1].addr, R(0x2270));
	EXPECT_EQ(w[1].value, 0x102u);
	EXPECT_EQ(shadow(R(0x004)), 0x00010201u);
	EXPECT_EQ(shadow(R(0x2270)), 0x102u);
}

TEST_F(OsdHwTest, InvalidIdentifiersAreRefusedWithTheirMessageAndChangeNothing)
{
	u8 on = 1;
	_ker_osd_AXIFreeze_Enable(static_cast<EN_DRV_OSD_PLANE_ID>(5), &on);
	_ker_osd_ForceDisable(static_cast<EN_DRV_OSD_PLANE_ID>(7), 1);
	_ker_osd_RegionShow_Enable(OSD_NORMAL2, OSD_REGION1, &on);
	_ker_osd_RegionShow_Enable(OSD_CURSOR1, static_cast<EN_DRV_OSD_REGION_ID>(2), &on);
	_ker_osd_PreInitSetting(OSD_NORMAL1, OSD_REGION1);
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(khost::log(), ERR + "Invalid PlaneID = 6!\n" + ERR + "Invalid PlaneID = 8!\n" +
					ERR + "Invalid PlaneID = 2, RegionID = 2!\n" + ERR +
					"Invalid PlaneID = 4, RegionID = 3!\n" + ERR +
					"Invalid PlaneID = 1, RegionID = 2!\n");

	khost::clear_log();
	EXPECT_EQ(_ker_osd_Check_Ids(OSD_ID_REGION | OSD_ID_KEY, 4, 1, 1, 0, 0), 0);
	EXPECT_NE(_ker_osd_Check_Ids(OSD_ID_KEY, 0, 0, 2, 0, 0), 0);
	EXPECT_NE(_ker_osd_Check_Ids(OSD_ID_LAYER, 0, 0, 0, 3, 0), 0);
	EXPECT_NE(_ker_osd_Check_Ids(OSD_ID_MASK, 0, 0, 0, 0, 2), 0);
	EXPECT_EQ(khost::log(), ERR + "Invalid ColorKeyID = 2!\n" + ERR + "Invalid LayerID = 3!\n" +
					ERR + "Invalid VideoMaskID = 2!\n");
}

// ---- waits and the fast-logo hand-over ------------------------------------

TEST_F(OsdHwTest, UploadWaitGivesUpAfterNineteenPolls)
{
	khost::on_write(R(0xb000), [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = v; });
	khost::set_reg(R(0xb000), 0x1);
	_ker_osd_WaitUploadDone();
	EXPECT_EQ(reads_of(R(0xb000)), 19);
	EXPECT_EQ(khost::log(), ERR + "Timeout, OSD upload timeout, skip\n");

	// An upload that ends while waiting ends the wait at once.
	khost::clear_journal();
	khost::clear_log();
	int polls = 0;
	khost::on_read(R(0xb000), [&](phys_addr_t, uint64_t stored) -> uint64_t {
		return ++polls < 3 ? stored : 0;
	});
	_ker_osd_WaitUploadDone();
	EXPECT_EQ(polls, 3);
	EXPECT_EQ(khost::log(), "");
}

TEST_F(OsdHwTest, PaletteTriggerWaitGivesUpWhenTheHardwareNeverAnswers)
{
	khost::on_write(R(0x428), [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = v; });
	khost::set_reg(R(0x428), 1);
	_ker_osd_WaitPaletteTrigger();
	EXPECT_EQ(khost::log(), ERR + "Timeout, Palette trigger no response, skip\n");
}

TEST_F(OsdHwTest, FastLogoIsReleasedOnceThroughTheHardwareOnly)
{
	khost::set_reg(R(0x008), 0x40000001);
	int polls = 0;
	khost::on_read(R(0x008), [&](phys_addr_t, uint64_t stored) -> uint64_t {
		return (stored & 0x80000000u) && ++polls > 3 ? stored & ~0x40000000ull : stored;
	});
	_ker_osd_check_fastlogo();
	auto w = writes();
	ASSERT_EQ(w.size(), 1u);
	EXPECT_EQ(w[0].value, 0xc0000001u);
	EXPECT_EQ(shadow(R(0x008)), 0u);

	// Once per load, whatever the hardware says later.
	khost::clear_journal();
	khost::set_reg(R(0x008), 0x40000000);
	_ker_osd_check_fastlogo();
	EXPECT_TRUE(writes().empty());
}

TEST_F(OsdHwTest, FastLogoThatNeverLetsGoIsTakenOverAfterFiftyPolls)
{
	gu32APITraceCtl = OSD_TRACE_MSG;
	khost::set_reg(R(0x008), 0x40000000);
	_ker_osd_check_fastlogo();
	EXPECT_EQ(reads_of(R(0x008)), 51);
	EXPECT_EQ(khost::log(), "[MSG_DRV_OSD]_ker_osd_check_fastlogo: fastlogo is still using "
				"this plane, but we will use it forcely ...\n");
}

// A second caller returns only when the boot logo has let the planes go.
TEST_F(OsdHwTest, FastLogoHandOverIsOverForEveryCaller)
{
	khost::set_time_scale(1);
	khost::set_reg(R(0x008), 0x40000000);
	std::thread first(_ker_osd_check_fastlogo);
	for (int i = 0; i < 2000 && !(khost::reg(R(0x008)) & 0x80000000u); i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	std::atomic<bool> back{ false };
	std::thread second([&] { _ker_osd_check_fastlogo(); back = true; });
	std::this_thread::sleep_for(std::chrono::milliseconds(40));
	EXPECT_FALSE(back);
	khost::set_reg(R(0x008), 0x80000000);
	first.join();
	second.join();
}

// ---- pre-init ---------------------------------------------------------------

TEST_F(OsdHwTest, PreInitAdoptsTheBootStateAndWritesOnlyItsOwnSteps)
{
	for (uint32_t off = 0; off < 0x10000; off += 4)
		khost::set_reg(R(off), (off * 2654435761u) ^ 0x5a5a0000u);
	khost::set_reg(R(0x110), 0x00ff0201);	// ARGB8888 (read-back code), shown, alpha 0xff
	khost::set_reg(R(0x120), 480);		// 480 units of 4 bytes
	khost::set_reg(R(0x124), 0x20000100);	// address bits 31:30 = 1, 29:5 = 0x100
	khost::set_reg(R(0x008), 0x00010001);	// DRAM save off, pure output of plane 0 off
	khost::set_reg(R(0x2004), 0xa1000000);	// cursor 1 region 1: RGB565
	khost::set_reg(R(0x202c), 0x00400000);	// cursor 1 region 0: 64 units
	for (int p = 0; p < OSD_PLANE_MAX; p++)
		_ker_osd_PreInitSetting(static_cast<EN_DRV_OSD_PLANE_ID>(p), OSD_REGION0);

	std::vector<uint32_t> expected = {
		R(0xb004), R(0x420), R(0x428), R(0x402c), R(0x40f0),
		R(0x422c), R(0x42f0), R(0x442c), R(0x44f0),
	};
	auto w = writes();
	ASSERT_EQ(w.size(), expected.size());
	for (size_t i = 0; i < w.size(); i++)
		EXPECT_EQ(w[i].addr, expected[i]) << i;
	EXPECT_EQ(khost::reg(R(0x420)), 0x32100000u);
	EXPECT_EQ(khost::reg(R(0x428)), 0u);
	EXPECT_EQ(khost::reg(R(0xb004)) & 7, 0u);
	EXPECT_EQ(khost::reg(R(0x40f0)) & 0x3ff01, 0x3ff01u);
	EXPECT_EQ(khost::reg(R(0x402c)) & 0x600, 0u);

	// The shadow now mirrors the hardware, cursor globals included.
	for (uint32_t i = 0; i < _ker_osd_Shadow_Count(); i++) {
		ST_KER_OSD_SHADOW_REG *r = _ker_osd_Shadow_At(i);
		if (r->u32Addr && r->u32Addr != R(0x428)) {
			EXPECT_EQ(r->u32Value, khost::reg(r->u32Addr)) << std::hex << r->u32Addr;
		}
	}

	ST_KER_OSD_PLANE_CTX *c = osd_probe_ctx(0);
	EXPECT_EQ(c->astRegion[0].enColor, OSD_COLOR_ARGB8888);
	EXPECT_EQ(c->astRegion[0].u32Stride, 1920u);
	EXPECT_EQ(c->astRegion[0].u32StartAddr, 0x40002000u);
	EXPECT_EQ(c->astRegion[0].u32Alpha, 0xffu);
	EXPECT_EQ(c->astRegion[0].bRegionShow, 1);
	EXPECT_EQ(c->bPureOutput, 0);
	EXPECT_EQ(osd_probe_setting(0)->bDramSaveMode, 0);
	EXPECT_EQ(osd_probe_setting(0)->u32VSyncUpdate, 1u);
	ST_DRV_OSD_GLOBAL_SETTING *s = osd_probe_setting(0);
	EXPECT_EQ(s->au32PaletteMap[0], 3u);
	EXPECT_EQ(s->au32PaletteMap[3], 0u);
	ST_KER_OSD_PLANE_CTX *cur = osd_probe_ctx(3);
	EXPECT_EQ(cur->astRegion[1].enColor, OSD_COLOR_RGB565);
	EXPECT_EQ(cur->astRegion[0].u32Stride, 64u * OSD_COLOR_BPP(cur->astRegion[0].enColor));
	EXPECT_EQ(c->au32FbPreset[1], 6u);
}

// ---- open and close ---------------------------------------------------------

TEST_F(OsdHwTest, OpenProgramsTheDefaultsAndStartsInterruptAndScrollTask)
{
	start();
	EXPECT_EQ(crv_irq_handler_count(), 1u);
	for (int n = 0; n < 3; n++) {
		EXPECT_EQ(khost::reg(R(0x1f0 + 0x100 * n)), 0xaa0154u) << n;
		EXPECT_EQ(khost::reg(R(0x1e8 + 0x100 * n)), 28u) << n;
		EXPECT_EQ(khost::reg(R(0x1d0 + 0x100 * n)) >> 24, 0x20u) << n;
		EXPECT_EQ(khost::reg(R(0x1ec + 0x100 * n)) & 0x1f00, n == 1 ? 0u : 0x100u) << n;
	}
	EXPECT_EQ(khost::reg(R(0x1ec + 0x200)) & 31, 7u);
	EXPECT_EQ(khost::reg(R(0x04c)), 0xffffffffu);
	EXPECT_EQ(khost::reg(R(0x06c)), 0xff000000u);
	EXPECT_EQ(khost::reg(R(0x08c)), 0xffff0000u);
	EXPECT_EQ(khost::reg(R(0x0a4)), 0xff0000ffu);
	EXPECT_EQ(khost::reg(R(0x2254)), 0x28005au);
	EXPECT_EQ(khost::reg(R(0x2258)), 0x28005au);
	EXPECT_EQ(khost::reg(R(0x2080)), 0x2020001cu);
	EXPECT_EQ(khost::reg(R(0x2084)), 0x2020001cu);
	EXPECT_EQ(khost::reg(R(0x2004)) & 0x60006, 0x60006u);
	EXPECT_EQ(khost::reg(R(0x004)) & 0x70001, 0x70001u);	// layer show, auto mute 0-2
	EXPECT_EQ(khost::reg(R(0x2000)) & 1, 1u);
	EXPECT_EQ(khost::reg(R(0x0b0)) >> 28, 7u);		// alpha calculation 0-2
	EXPECT_EQ(khost::reg(R(0x0d4)) & 0xff0111, 0x040111u); // protect area 0-2, bit 18
	EXPECT_EQ(khost::reg(R(0x990)) & 0x10000, 0x10000u);
	EXPECT_EQ(khost::reg(R(0x410)), 0x14u);
	EXPECT_EQ(khost::reg(R(0x0a8)), 0x770210u);
	EXPECT_EQ(khost::reg(R(0x000)) & 0x100, 0x100u);
	EXPECT_EQ(khost::log().find("DpVsync IRQ fail"), std::string::npos);

	stop();
	EXPECT_EQ(crv_irq_handler_count(), 0u);
	EXPECT_EQ(khost::reg(R(0x004)) & 1, 0u);
	EXPECT_EQ(khost::reg(R(0x2000)) & 1, 0u);
}

TEST_F(OsdHwTest, RefusedInterruptIsReportedAndNotFreedAtStop)
{
	// Someone else holds the registration the layer asks for.
	ASSERT_EQ(KER_SYS_IRQRequest(50, _ker_osd_DpIRQHandler, 0, "held", nullptr, 1, nullptr), 0);
	_ker_osd_Open();
	opened = true;
	EXPECT_NE(khost::log().find(ERR + "Register DpVsync IRQ fail !\n"), std::string::npos);
	EXPECT_NE(gstScrollContext.pstTask, nullptr);	// scrolling still starts
	stop();
	EXPECT_EQ(crv_irq_handler_count(), 1u);		// the other registration stays
	EXPECT_EQ(KER_SYS_IRQFree(50, _ker_osd_DpIRQHandler, nullptr, 0), 0);
}

// ---- suspend and resume -----------------------------------------------------

TEST_F(OsdHwTest, ResumeAfterLostPowerRestoresEveryShadowedRegister)
{
	khost::set_reg(R(0x004), 1u << 8);	// the boot loader left plane 0 frozen
	start();
	static u32 palette[OSD_PALETTE_ENTRIES];
	for (int i = 0; i < OSD_PALETTE_ENTRIES; i++)
		palette[i] = 0x01010101u * i;
	ST_KER_OSD_PLANE_CTX *c1 = osd_probe_ctx(1);
	osd_probe_ctx(0)->astRegion[0].enColor = OSD_COLOR_ARGB8888;
	osd_probe_ctx(2)->astRegion[0].enColor = OSD_COLOR_ARGB8888;
	c1->astRegion[0].enColor = OSD_COLOR_PALETTE8;
	c1->pu32KeepPalette = palette;
	c1->u32PaletteValid = 1;
	// Shown and hidden since: the freeze bits resume puts back follow.
	u8 on = 1, off = 0;
	_ker_osd_PlaneShow_Enable(OSD_NORMAL1, &on);
	_ker_osd_PlaneShow_Enable(OSD_NORMAL3, &off);
	_ker_osd_RegionShow_Enable(OSD_NORMAL3, OSD_REGION0, &on);
	_ker_osd_RegionShow_Enable(OSD_CURSOR2, OSD_REGION1, &on);

	_ker_osd_Set_Suspend();
	for (int p = 0; p < OSD_PLANE_MAX; p++) {
		EXPECT_EQ(osd_probe_ctx(p)->bSuspended, 1) << p;
		EXPECT_EQ(osd_probe_sem_count(p), 0) << p;
	}
	EXPECT_EQ(khost::reg(R(0x004)) & 0x701, 0x700u);	// frozen, layer hidden
	EXPECT_EQ(khost::reg(R(0x2270)) & 3, 3u);
	EXPECT_EQ(shadow(R(0x004)) & 0x701, 0x700u);
	// Latches go to the hardware only.
	EXPECT_EQ(writes_to(R(0x12c)).back().value, 1u);
	EXPECT_EQ(writes_to(R(0x100)).back().value, 1u);
	EXPECT_EQ(shadow(R(0x100)), 0u);
	EXPECT_EQ(writes_to(R(0xb000)).back().value, 0x17fu);
	EXPECT_EQ(khost::reg(R(0x210c)) & 0x40000000, 0x40000000u);

	for (uint32_t off = 0; off < 0x10000; off += 4)
		khost::set_reg(R(off), 0xdeadbeef);
	khost::clear_journal();
	_ker_osd_Set_Resume();

	for (uint32_t i = 0; i < _ker_osd_Shadow_Count(); i++) {
		ST_KER_OSD_SHADOW_REG *r = _ker_osd_Shadow_At(i);
		if (r->u32Addr && !kResumeHwOnly.count(r->u32Addr)) {
			EXPECT_EQ(khost::reg(r->u32Addr), r->u32Value) << std::hex << r->u32Addr;
		}
	}
	for (uint32_t a : { R(0x110), R(0x210), R(0x310) })
		EXPECT_EQ(shadow(a) & 0xff0000, 0xff0000u);
	// Freeze follows the planes' hidden state; layers are shown again.
	EXPECT_EQ(khost::reg(R(0x004)) & 0x701, 0x401u);
	EXPECT_EQ(khost::reg(R(0x2270)) & 3, 0u);
	EXPECT_EQ(khost::reg(R(0x2000)) & 1, 1u);

	// The palette-mode plane gets its kept palette back, in order.
	auto w = writes();
	auto first = std::find_if(w.begin(), w.end(), [](auto &a) { return a.addr == R(0x404); });
	ASSERT_NE(first, w.end());
	EXPECT_EQ(first->value, 0u);
	std::vector<uint32_t> loaded;
	for (auto it = first; it != w.end(); ++it)
		if (it->addr == R(0x408))
			loaded.push_back(static_cast<uint32_t>(it->value));
	ASSERT_EQ(loaded.size(), size_t(OSD_PALETTE_ENTRIES));
	for (int i = 0; i < OSD_PALETTE_ENTRIES; i++)
		EXPECT_EQ(loaded[i], palette[i]) << i;
	// Plane 1's palette field changes place with the first one.
	EXPECT_EQ(khost::reg(R(0x420)), 0x12300000u);
	EXPECT_EQ(osd_probe_setting(1)->au32PaletteMap[0], 1u);
	EXPECT_EQ(writes_to(R(0xb000)).back().value, 0x17fu);
	EXPECT_EQ(khost::reg(R(0x000)) & 1, 1u);

	for (int p = 0; p < OSD_PLANE_MAX; p++)
		EXPECT_EQ(osd_probe_ctx(p)->bSuspended, 0) << p;
}

extern "C" int osd_test_suspend_hook(void)
{
	_ker_osd_Set_Suspend();
	return 0;
}

extern "C" int osd_test_resume_hook(void)
{
	_ker_osd_Set_Resume();
	return 0;
}

TEST_F(OsdHwTest, ClocksAreGatedInStandbyOnlyInTheirOrder)
{
	start();
	_ker_osd_Set_Suspend();
	_ker_osd_Set_Resume();
	struct crv_clk_event ev[32];
	EXPECT_EQ(crv_clk_journal(ev, 32), 0);

	static ST_KER_PMI_OPS ops;
	ops.pfSuspend = osd_test_suspend_hook;
	ops.pfResume = osd_test_resume_hook;
	KER_PMI_Install(55, 17, &ops, 10, nullptr, nullptr);
	ASSERT_EQ(crv_pmi_suspend_all(), 0);
	ASSERT_EQ(crv_pmi_resume_all(), 0);
	int n = crv_clk_journal(ev, 32);
	ASSERT_EQ(n, 16);
	const u32 gate[] = { 36900, 36899, 36897, 36901, 34849, 34850, 32801, 32802 };
	const u32 ungate[] = { 32801, 32802, 34849, 34850, 36900, 36899, 36897, 36901 };
	for (int i = 0; i < 8; i++) {
		EXPECT_EQ(ev[i].id, gate[i]) << i;
		EXPECT_EQ(ev[i].value, 0u) << i;
		EXPECT_EQ(ev[8 + i].id, ungate[i]) << i;
		EXPECT_EQ(ev[8 + i].value, 1u) << i;
	}
}

TEST_F(OsdHwTest, ResumeReleasesOnlyTheSemaphoresSuspendTook)
{
	start();
	gu32APITraceCtl = OSD_TRACE_MSG;
	ASSERT_EQ(osd_probe_sem_trydown(2), 0);	// a caller is programming plane 2
	_ker_osd_Set_Suspend();
	EXPECT_EQ(count(khost::log(), "PlaneID = 2, Busy waiting to lock fb_Ioctl/fb_PanDisplay "
				      "Mutex (Semaphore) ...\n"), 5u);
	osd_probe_sem_up(2);				// the caller finishes
	_ker_osd_Set_Resume();
	// The timing lines are information-level lines behind their tag.
	std::string timing;
	for (const khost::LogLine &l : khost::log_lines())
		if (l.text.find('@') != std::string::npos)
			timing += std::to_string(l.level) + " " +
				  std::regex_replace(l.text, std::regex("/[0-9]+/msec"), "/N/msec");
	EXPECT_EQ(timing, "6 [MSG_DRV_OSD]@suspend(in) _ker_osd_Set_Suspend\n"
			  "6 [MSG_DRV_OSD]@suspend_time/_ker_osd_Set_Suspend/N/msec\n"
			  "6 [MSG_DRV_OSD]@resume(in) _ker_osd_Set_Resume\n"
			  "6 [MSG_DRV_OSD]@resume_time/_ker_osd_Set_Resume/N/msec\n");
	// checked for every plane in TearDown: each semaphore counts 1

	// A resume that no suspend preceded gives nothing back.
	_ker_osd_Set_Resume();
	for (int p = 0; p < OSD_PLANE_MAX; p++)
		EXPECT_EQ(osd_probe_sem_count(p), 1) << p;

	// Nor does a second suspend take anything twice.
	_ker_osd_Set_Suspend();
	_ker_osd_Set_Suspend();
	_ker_osd_Set_Resume();
	for (int p = 0; p < OSD_PLANE_MAX; p++)
		EXPECT_EQ(osd_probe_sem_count(p), 1) << p;

	// A stop while suspended hands the semaphores back too.
	_ker_osd_Set_Suspend();
	stop();
}

TEST_F(OsdHwTest, PowerTransitionsDoNothingBeforeStartOrAfterStop)
{
	_ker_osd_Set_Suspend();
	_ker_osd_Set_Resume();
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(osd_probe_ctx(0)->bSuspended, 0);

	start();
	stop();
	khost::clear_journal();
	_ker_osd_Set_Suspend();
	_ker_osd_Set_Resume();
	EXPECT_TRUE(writes().empty());
}

// ---- vsync wait ------------------------------------------------------------

TEST_F(OsdHwTest, VSyncWaitEndsOnTheInterruptOnATimeoutOrAtOnceAfterAMissedOne)
{
	start();
	gu32APITraceCtl = OSD_TRACE_WRN;
	gastVSyncContext[3].done = 1;			// an interrupt came unasked
	EXPECT_EQ(_ker_osd_VSyncWait(OSD_CURSOR2), 0);	// cursor 2 shares context 3
	EXPECT_EQ(khost::log(), "[WRN_DRV_OSD]_ker_osd_VSyncWait(), PlaneID = 3, Lose waiting "
				"DpVSync, Miss ...\n");
	EXPECT_EQ(gastVSyncContext[3].done, 0);

	khost::clear_log();
	EXPECT_EQ(_ker_osd_VSyncWait(OSD_NORMAL2), 0);
	EXPECT_NE(khost::log().find("[MSG_DRV_OSD]_ker_osd_VSyncWait(), PlaneID = 1, trying to sync "
				    "DpVSync ...\n"), std::string::npos);

	// Real time from here, so the interrupt comes well inside the wait.
	khost::clear_log();
	khost::set_time_scale(1);
	std::atomic<bool> back{ false };
	std::thread raiser([&] {
		while (!back)
			khost::run_in_irq([] { crv_sys_irq_raise(50); });
	});
	EXPECT_EQ(_ker_osd_VSyncWait(OSD_NORMAL1), 0);
	back = true;
	raiser.join();
	EXPECT_EQ(khost::log().find("trying to sync"), std::string::npos);
}

// ---- scroll task ------------------------------------------------------------

static void scroll_setup(int p)
{
	ST_KER_OSD_PLANE_CTX *c = osd_probe_ctx(p);
	c->stScroll.bEnable = 1;
	c->stScroll.u32Step = 16;
	c->stScroll.u32Limit = 48;
	c->stScroll.u32ScrollStride = 7680;
	c->stScroll.u32SavedStride = 3840;
	c->u32BufLen = 0x1000000;	// the registers' start, 0, lies in it
}

TEST_F(OsdHwTest, ScrollTaskMovesThePlaneAndStopsWithTheHardware)
{
	start();
	scroll_setup(0);
	u8 on = 1;
	_ker_osd_Scroll_Enable(OSD_NORMAL1, OSD_REGION0, &on);
	std::set<u32> offsets;
	auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	while (offsets.size() < 3 && std::chrono::steady_clock::now() < until) {
		offsets.insert(__atomic_load_n(&osd_probe_ctx(0)->stScroll.u32Offset, __ATOMIC_RELAXED));
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	EXPECT_EQ(offsets, (std::set<u32>{ 0, 16, 32 }));	// wraps at the limit
	EXPECT_EQ(osd_probe_ctx(0)->astRegion[0].u32Stride, 7680u);

	// Disabled, the task goes idle and sleeps; the stop must still end it.
	u8 off = 0;
	osd_probe_ctx(0)->stScroll.bEnable = 0;
	_ker_osd_Scroll_Enable(OSD_NORMAL1, OSD_REGION0, &off);
	EXPECT_EQ(osd_probe_ctx(0)->astRegion[0].u32Stride, 3840u);
	until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	while (!__atomic_load_n(&gstScrollContext.u32Idle, __ATOMIC_RELAXED) &&
	       std::chrono::steady_clock::now() < until)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	std::this_thread::sleep_for(std::chrono::milliseconds(20));
	stop();	// TearDown finds no thread left
}

// In standby the OSD clocks are off: the scroll task writes nothing until
// the resume, then goes on.
TEST_F(OsdHwTest, ScrollTaskPausesInStandby)
{
	start();
	scroll_setup(0);
	u8 on = 1;
	_ker_osd_Scroll_Enable(OSD_NORMAL1, OSD_REGION0, &on);
	auto moved = [](u32 from) {
		auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
		while (__atomic_load_n(&osd_probe_ctx(0)->stScroll.u32Offset, __ATOMIC_RELAXED) == from &&
		       std::chrono::steady_clock::now() < until)
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
		return __atomic_load_n(&osd_probe_ctx(0)->stScroll.u32Offset, __ATOMIC_RELAXED) != from;
	};
	ASSERT_TRUE(moved(0));
	_ker_osd_Set_Suspend();
	u32 at = osd_probe_ctx(0)->stScroll.u32Offset;
	khost::clear_journal();
	std::this_thread::sleep_for(std::chrono::milliseconds(100));
	EXPECT_TRUE(writes().empty()) << std::hex << writes().front().addr;
	EXPECT_EQ(osd_probe_ctx(0)->stScroll.u32Offset, at);
	_ker_osd_Set_Resume();
	EXPECT_TRUE(moved(at));
	osd_probe_ctx(0)->stScroll.bEnable = 0;
	stop();
}

// An update that the analogue TV timing holds back keeps its waiter for
// six vsyncs, then lets it go; a waiter signalled five times gives up.
TEST_F(OsdHwTest, VSyncWaitEndsForAnUpdateHeldBackAndForSignals)
{
	start();
	khost::set_time_scale(1);	// the waits last while the vsyncs come
	u8 on = 1;
	_ker_osd_UpdateSyncByATV_Enable(OSD_NORMAL1, &on);
	std::atomic<bool> back{ false };
	std::thread waiter([&] {
		ST_DRV_OSD_UPDATE_ENABLE upd = { OSD_UPDATE_NORMAL, 1, 1, { 0, 0 } };
		_ker_osd_Update_Enable(OSD_NORMAL1, &upd);
		back = true;
	});
	while (!__atomic_load_n(&gastVSyncContext[0].waiting, __ATOMIC_RELAXED))
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	for (int i = 0; i < 6; i++)
		khost::hw::osd::vsync();
	EXPECT_FALSE(back) << "pending through six vsyncs";
	khost::hw::osd::vsync();
	waiter.join();
	EXPECT_NE(khost::log().find(ERR + "_ker_osd_VSyncNotify(), Discard UpdateSyncByATV!\n"),
		  std::string::npos) << khost::log();

	khost::set_signal_pending(khost_current(), true);
	EXPECT_EQ(_ker_osd_VSyncWait(OSD_NORMAL2), -512);
	khost::set_signal_pending(khost_current(), false);
	EXPECT_NE(khost::log().find("Miss: Always interrupted by a signal"), std::string::npos);
	stop();
}

TEST_F(OsdHwTest, DisablingOneOfTwoScrollingPlanesReturns)
{
	start();
	scroll_setup(0);
	scroll_setup(1);
	u8 on = 1, off = 0;
	_ker_osd_Scroll_Enable(OSD_NORMAL1, OSD_REGION0, &on);
	osd_probe_ctx(0)->stScroll.bEnable = 0;
	auto t0 = std::chrono::steady_clock::now();
	_ker_osd_Scroll_Enable(OSD_NORMAL1, OSD_REGION0, &off);
	EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
	EXPECT_LE(count(khost::log(), "Wait previous ScrollBar behavior complete ...\n"), 10u);
	EXPECT_EQ(osd_probe_ctx(0)->astRegion[0].u32Stride, 3840u);
	stop();
}

} // namespace

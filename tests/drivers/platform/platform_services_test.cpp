// The platform stand-in as the graphics components use it: debug menus fed
// through debugfs, power hooks around system sleep, the vsync interrupt,
// memory-layout regions, and everything forgotten when its owner unloads.
#include "khost/gtest.hpp"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
void khost_module_register(struct module *m);
}

namespace {

std::vector<std::string> events;
std::mutex events_lock;

void note(const std::string &e)
{
	std::lock_guard<std::mutex> g(events_lock);
	events.push_back(e);
}

std::vector<std::string> noted()
{
	std::lock_guard<std::mutex> g(events_lock);
	return events;
}

class Platform : public khost::KernelTest {
protected:
	void SetUp() override { events.clear(); }
	void load() { ASSERT_EQ(khost::load_module("crv_platform"), 0); }
	void TearDown() override
	{
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}
	// Types lines on the debug console and waits until the menu wants more.
	void type(const std::string &lines)
	{
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		crv_dbg_wait_idle();
	}
	std::string menu()
	{
		crv_dbg_wait_idle();
		return khost::debugfs_read("crv_platform/menu");
	}
};

/* ---- a component's menu, as the components declare theirs ---- */

int set_color(u32 *)
{
	printk("Fill Color ? ");
	u32 color = DRV_DBG_GetNumber();
	note("color " + std::to_string(color));
	return 0;
}

int set_name(u32 *)
{
	char name[16];
	int n = DRV_DBG_GetString(name, sizeof(name));
	note("name " + std::string(name) + " " + std::to_string(n));
	return 0;
}

int copy_args(u32 *args)
{
	note("args " + std::to_string(args[0]) + " " + std::to_string(args[1]));
	note(in_interrupt() ? "in interrupt" : "in process context");
	return -22;
}

const ST_DRV_DBG_MENU_ACTION act_color = {set_color, {nullptr, nullptr}, {}};
const ST_DRV_DBG_MENU_ACTION act_name = {set_name, {nullptr, nullptr}, {}};
const ST_DRV_DBG_MENU_ACTION act_copy = {copy_args, {"Src ? \n", "Len ? \n"}, {}};

const ST_DRV_DBG_MENU_ENTRY sub_menu[] = {
	{DRV_DBG_MENU_ACTION, 0, "Set Name", &act_name},
	{DRV_DBG_MENU_END, 0, nullptr, nullptr},
};

const ST_DRV_DBG_MENU_ENTRY top_menu[] = {
	{DRV_DBG_MENU_ACTION, 0, "Fill Color", &act_color},
	{DRV_DBG_MENU_SUBMENU, 0, "Names", sub_menu},
	{DRV_DBG_MENU_ACTION, 0, "Copy", &act_copy},
	{DRV_DBG_MENU_END, 0, nullptr, nullptr},
};

TEST_F(Platform, MenuRecordsHaveTheLayoutTheModulesExchange)
{
	EXPECT_EQ(sizeof(ST_DRV_DBG_MENU_ENTRY), 24u);
	EXPECT_EQ(sizeof(ST_DRV_DBG_MENU_ACTION), 56u);
	EXPECT_EQ(offsetof(ST_DRV_DBG_MENU_ACTION, pszArgPrompt[1]), 16u);
	EXPECT_EQ(sizeof(ST_KER_PMI_OPS), 112u);
	EXPECT_EQ(offsetof(ST_KER_PMI_OPS, pfSuspend), 16u);
	EXPECT_EQ(offsetof(ST_KER_PMI_OPS, pfResume), 24u);
	load();
}

TEST_F(Platform, OperatorNavigatesMenusAndFeedsHandlers)
{
	load();
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Test", top_menu), 0);
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "DRV_OTHER", sub_menu), 0);
	EXPECT_EQ(menu(), "menu: /\n  1 Ker_Test >\n  2 DRV_OTHER >\nwaiting for: command\n");

	type("1\n");
	EXPECT_EQ(menu(), "menu: /Ker_Test (level 1)\n  0 ..\n  1 Fill Color\n  2 Names >\n  3 Copy\n"
			  "waiting for: command\n");
	type("1\n");
	EXPECT_EQ(menu().substr(menu().rfind("waiting")), "waiting for: number\n");
	type("0x20\n");
	type("Names\n1\nosd_plane_name_too_long\n");
	EXPECT_EQ(noted(), (std::vector<std::string>{"color 32", "name osd_plane_name_ 15"}));
	EXPECT_NE(khost::log().find("Fill Color ? "), std::string::npos);

	/* Up to the top, by name into the other menu. */
	type("..\n..\nDRV_OTHER\n");
	EXPECT_EQ(menu().substr(0, 27), "menu: /DRV_OTHER (level 1)\n");
}

TEST_F(Platform, DeclaredPromptsAreAskedAndHandedToTheHandler)
{
	load();
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Test", top_menu), 0);
	type("1\n3\n4096\nbogus\n");
	EXPECT_EQ(noted(), (std::vector<std::string>{"args 4096 0", "in process context"}));
	auto log = khost::log();
	EXPECT_NE(log.find("Src ? \n"), std::string::npos);
	EXPECT_NE(log.find("Len ? \n"), std::string::npos);
	EXPECT_NE(log.find("\"bogus\" is not a number, using 0"), std::string::npos);
	EXPECT_NE(log.find("Copy returned -22"), std::string::npos);
}

TEST_F(Platform, UnknownItemsAndEmptyLinesChangeNothing)
{
	load();
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Test", top_menu), 0);
	type("7\n\nnothing\n1\n9\n");
	EXPECT_EQ(menu().substr(0, 26), "menu: /Ker_Test (level 1)\n");
	EXPECT_TRUE(noted().empty());
	EXPECT_EQ(DRV_DBG_Register(4, 0x100000, nullptr, top_menu), -EINVAL);
	EXPECT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Null", nullptr), -EINVAL);
	char buf[4];
	EXPECT_EQ(DRV_DBG_GetString(buf, 0), -EINVAL);
}

TEST_F(Platform, RegisteringANameAgainReplacesItsMenu)
{
	load();
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Test", top_menu), 0);
	type("1\n");
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Test", sub_menu), 0);
	EXPECT_EQ(menu(), "menu: /\n  1 Ker_Test >\nwaiting for: command\n");
	type("1\n1\nx\n");
	EXPECT_EQ(noted(), (std::vector<std::string>{"name x 1"}));
}

/* ---- power hooks ---- */

std::atomic<u32> mode_seen{99};

int osd_suspend(void)
{
	mode_seen = KER_PMI_Mode();
	note("osd suspend");
	return 0;
}
int osd_resume(void) { note("osd resume"); return 0; }
int gpu_suspend(void) { note("gpu suspend"); return -16; }
int gpu_resume(void) { note("gpu resume"); return 0; }
int xdma_suspend(void) { note("xdma suspend"); return 0; }

TEST_F(Platform, HooksRunInOrderAroundSystemSleepInStandbyMode)
{
	load();
	ST_KER_PMI_OPS osd = {}, gpu = {}, xdma = {};
	osd.pfSuspend = osd_suspend;
	osd.pfResume = osd_resume;
	gpu.pfSuspend = gpu_suspend;
	gpu.pfResume = gpu_resume;
	xdma.pfSuspend = xdma_suspend;
	ASSERT_EQ(KER_PMI_Install(56, 17, &gpu, 22, nullptr, nullptr), 0);
	ASSERT_EQ(KER_PMI_Install(55, 17, &osd, 10, nullptr, nullptr), 0);
	ASSERT_EQ(KER_PMI_Install(29, 17, &xdma, 21, nullptr, nullptr), 0);
	EXPECT_EQ(KER_PMI_Mode(), KER_PMI_MODE_NORMAL);

	ASSERT_EQ(khost::system_suspend(), 0);
	EXPECT_EQ(mode_seen.load(), KER_PMI_MODE_STANDBY);
	EXPECT_EQ(KER_PMI_Mode(), KER_PMI_MODE_STANDBY);
	ASSERT_EQ(khost::system_resume(), 0);
	EXPECT_EQ(KER_PMI_Mode(), KER_PMI_MODE_NORMAL);
	EXPECT_EQ(noted(), (std::vector<std::string>{"osd suspend", "xdma suspend", "gpu suspend",
						    "gpu resume", "osd resume"}));
	EXPECT_NE(khost::log().find("suspend hook 56 returned -16"), std::string::npos);
}

TEST_F(Platform, InstallingAnIdAgainReplacesItsHooks)
{
	load();
	ST_KER_PMI_OPS first = {}, second = {};
	first.pfSuspend = gpu_suspend;
	second.pfSuspend = osd_suspend;
	ASSERT_EQ(KER_PMI_Install(55, 17, &first, 10, nullptr, nullptr), 0);
	ASSERT_EQ(KER_PMI_Install(55, 17, &second, 10, nullptr, nullptr), 0);
	EXPECT_EQ(crv_pmi_hook_count(), 1u);
	/* By hand, as an operator would through crv_platform/power. */
	ASSERT_EQ(khost::debugfs_write("crv_platform/power", "suspend\n"), 0);
	EXPECT_NE(khost::debugfs_write("crv_platform/power", "suspend\n"), 0);
	ASSERT_EQ(khost::debugfs_write("crv_platform/power", "resume\n"), 0);
	EXPECT_EQ(noted(), (std::vector<std::string>{"osd suspend"}));
	EXPECT_EQ(KER_PMI_Install(1, 17, nullptr, 1, nullptr, nullptr), -EINVAL);
}

TEST_F(Platform, ClockCallsAreJournaledInOrder)
{
	load();
	KER_CLK_SetClockReset(0x46, 1);
	KER_CLK_SetClockReset(0x10, 1);
	KER_CLK_SetClockMask(0x8844, 0);
	crv_clk_event ev[8];
	ASSERT_EQ(crv_clk_journal(ev, 8), 3);
	EXPECT_EQ(ev[0].reset, 1);
	EXPECT_EQ(ev[0].id, 0x46u);
	EXPECT_EQ(ev[2].reset, 0);
	EXPECT_EQ(ev[2].id, 0x8844u);
	EXPECT_EQ(ev[2].value, 0u);
	EXPECT_EQ(khost::debugfs_read("crv_platform/clk"), "reset 0x46 1\nreset 0x10 1\nmask 0x8844 0\n");
}

/* ---- interrupts ---- */

std::atomic<int> vsyncs{0};
std::atomic<int> vsync_outside_interrupt{0};

irqreturn_t vsync_handler(int irq, void *dev)
{
	if (irq != 50 || dev != nullptr || !irqs_disabled())
		vsync_outside_interrupt++;
	vsyncs++;
	return IRQ_HANDLED;
}

irqreturn_t other_handler(int, void *) { return IRQ_HANDLED; }

TEST_F(Platform, Interrupt50IsRaisedOncePerVsyncWhileRequested)
{
	load();
	ASSERT_EQ(KER_SYS_IRQRequest(50, vsync_handler, 0, "DpVsync", nullptr, 1, nullptr), 0);
	/* At 60 Hz: a tenth of a second of kernel time brings about six. */
	auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	while (vsyncs < 6 && std::chrono::steady_clock::now() < deadline)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_GE(vsyncs.load(), 6);
	EXPECT_EQ(vsync_outside_interrupt.load(), 0);
	EXPECT_EQ(KER_SYS_IRQRequest(50, vsync_handler, 0, "DpVsync", nullptr, 1, nullptr), -EBUSY);
	ASSERT_EQ(KER_SYS_IRQFree(50, vsync_handler, nullptr, 0), 0);
	int after = vsyncs.load();
	std::this_thread::sleep_for(std::chrono::milliseconds(20));
	EXPECT_EQ(vsyncs.load(), after);
	EXPECT_EQ(KER_SYS_IRQFree(50, vsync_handler, nullptr, 0), -ENOENT);
}

TEST_F(Platform, InterruptsAreRaisedByHandWithTheTimerOff)
{
	ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
	load();
	ASSERT_EQ(KER_SYS_IRQRequest(50, vsync_handler, 0, "DpVsync", nullptr, 1, nullptr), 0);
	ASSERT_EQ(KER_SYS_IRQRequest(51, other_handler, 0, "Other", nullptr, 1, nullptr), 0);
	EXPECT_EQ(KER_SYS_IRQRequest(50, nullptr, 0, "DpVsync", nullptr, 1, nullptr), -EINVAL);
	std::this_thread::sleep_for(std::chrono::milliseconds(10));
	EXPECT_EQ(vsyncs.load(), 0);
	int handlers = 0;
	khost::run_in_irq([&] { handlers = crv_sys_irq_raise(50); });
	EXPECT_EQ(handlers, 1);
	ASSERT_EQ(khost::debugfs_write("crv_platform/irq", "50\n"), 0);
	EXPECT_EQ(vsyncs.load(), 2);
	EXPECT_EQ(vsync_outside_interrupt.load(), 0);
	EXPECT_NE(khost::debugfs_read("crv_platform/irq").find("50 DpVsync 2\n"), std::string::npos);
	KER_SYS_IRQFree(50, vsync_handler, nullptr, 0);
	KER_SYS_IRQFree(51, other_handler, nullptr, 0);
}

/* ---- memory layout ---- */

TEST_F(Platform, RegionsComeFromParametersAndTheDeviceTree)
{
	ASSERT_EQ(khost::set_param("crv_platform", "regions",
				   "osd:0x140000000:0x2000000,broken,huge:0x0:0x100000000"), 0);
	auto *rm = khost::dt_node(nullptr, "reserved-memory");
	khost::dt_prop(rm, "#address-cells", {2});
	khost::dt_prop(rm, "#size-cells", {2});
	auto *hdma = khost::dt_node(rm, "hdma@60000000");
	khost::dt_prop_u64(hdma, "reg", {0x60000000, 0x400000});
	khost::dt_prop(hdma, "no-map", {});
	auto *osd_dt = khost::dt_node(rm, "osd@70000000");
	khost::dt_prop_u64(osd_dt, "reg", {0x70000000, 0x1000});
	khost::dt_prop(osd_dt, "no-map", {});
	load();

	crv_mem_info info = {};
	struct crv_mem_node *osd = crv_mem_find_node_by_name("osd");
	ASSERT_NE(osd, nullptr);
	ASSERT_EQ(crv_mem_alloc_from_contiguous(osd, &info), 0);
	EXPECT_EQ(info.u64Start, 0x140000000ull);	/* the parameter wins */
	EXPECT_EQ(info.u32Size, 0x2000000u);
	ASSERT_EQ(crv_mem_alloc_from_contiguous(crv_mem_find_node_by_name("hdma"), &info), 0);
	EXPECT_EQ(info.u64Start, 0x60000000ull);
	EXPECT_EQ(info.u32Size, 0x400000u);

	EXPECT_EQ(crv_mem_find_node_by_name("gpu"), nullptr);
	EXPECT_EQ(crv_mem_find_node_by_name(nullptr), nullptr);
	EXPECT_EQ(crv_mem_alloc_from_contiguous(nullptr, &info), -EINVAL);
	/* A size the record cannot hold is refused, never cut down. */
	EXPECT_EQ(crv_mem_alloc_from_contiguous(crv_mem_find_node_by_name("huge"), &info), -EOVERFLOW);
	EXPECT_NE(khost::log().find("region \"broken\" is not name:start:size"), std::string::npos);
}

TEST_F(Platform, OnlyNoMapRegionsAreHandedOutRawAndAPoolIsAllocatedFirst)
{
	auto *rm = khost::dt_node(nullptr, "reserved-memory");
	khost::dt_prop(rm, "#address-cells", {2});
	khost::dt_prop(rm, "#size-cells", {2});
	auto *pool = khost::dt_node(rm, "gpu@a8000000");
	khost::dt_prop_u64(pool, "reg", {khost::foreign_ram() + 0x8000000, 0x100000});
	khost::dt_prop_str(pool, "compatible", "shared-dma-pool");
	khost::dt_prop(pool, "reusable", {});
	auto *mapped = khost::dt_node(rm, "plain@b0000000");
	khost::dt_prop_u64(mapped, "reg", {0xB0000000, 0x1000});
	load();

	EXPECT_EQ(crv_mem_find_node_by_name("plain"), nullptr) << "the kernel's own mapped memory";
	crv_mem_info info = {}, again = {};
	struct crv_mem_node *gpu = crv_mem_find_node_by_name("gpu");
	ASSERT_NE(gpu, nullptr);
	ASSERT_EQ(crv_mem_alloc_from_contiguous(gpu, &info), 0);
	EXPECT_EQ(info.u32Size, 0x100000u);
	bool allocated = false;
	for (auto &l : khost::leaks())
		allocated |= l.find("coherent buffer of 1048576 bytes") != std::string::npos;
	EXPECT_TRUE(allocated) << "the pool's pages are lent to the kernel until allocated";
	ASSERT_EQ(crv_mem_alloc_from_contiguous(gpu, &again), 0);
	EXPECT_EQ(again.u64Start, info.u64Start) << "one allocation, handed out to every caller";
}

/* ---- bandwidth checks ---- */

int bw_error(void) { return 1; }
int bw_fine(void) { return 0; }

TEST_F(Platform, BandwidthChecksRunOnDemand)
{
	load();
	ASSERT_EQ(CRV_DBG_RegisterBwErrChk(16, bw_fine), 0);
	ASSERT_EQ(CRV_DBG_RegisterBwErrChk(17, bw_error), 0);
	EXPECT_EQ(crv_bw_run_checks(), 1);
	ASSERT_EQ(CRV_DBG_RegisterBwErrChk(16, bw_error), 0);
	EXPECT_EQ(crv_bw_check_count(), 2u);
	EXPECT_EQ(khost::debugfs_read("crv_platform/bwchk"), "16 error\n17 error\n");
}

/* ---- a component module that unloads ---- */

int comp_suspend(void) { note("comp suspend"); return 0; }
irqreturn_t comp_irq(int, void *) { note("comp irq"); return IRQ_HANDLED; }
int comp_bw(void) { note("comp bw"); return 0; }

std::atomic<bool> comp_handler_entered{false};
int comp_action(u32 *)
{
	comp_handler_entered = true;
	note("comp got " + std::to_string(DRV_DBG_GetNumber()));
	return 0;
}
const ST_DRV_DBG_MENU_ACTION comp_act = {comp_action, {nullptr, nullptr}, {}};
const ST_DRV_DBG_MENU_ENTRY comp_menu[] = {
	{DRV_DBG_MENU_ACTION, 0, "Wait", &comp_act},
	{DRV_DBG_MENU_END, 0, nullptr, nullptr},
};
ST_KER_PMI_OPS comp_ops;

int comp_init(void)
{
	comp_ops.pfSuspend = comp_suspend;
	DRV_DBG_Register(4, 0x100000, "Ker_Comp", comp_menu);
	KER_PMI_Install(57, 17, &comp_ops, 22, nullptr, nullptr);
	KER_SYS_IRQRequest(50, comp_irq, 0, "Comp", nullptr, 1, nullptr);
	CRV_DBG_RegisterBwErrChk(18, comp_bw);
	return 0;
}

/* Leaves everything registered, as the components do. */
void comp_exit(void) {}

struct module comp_module = {};

void make_component()
{
	comp_module.name = "fake_comp";
	comp_module.state = MODULE_STATE_UNFORMED;
	comp_module.init = comp_init;
	comp_module.exit = comp_exit;
	khost_module_register(&comp_module);
	khost::claim(&comp_module, comp_menu, sizeof(comp_menu));
	khost::claim(&comp_module, &comp_ops, sizeof(comp_ops));
	khost::claim(&comp_module, (const void *)comp_irq, 1);
	khost::claim(&comp_module, (const void *)comp_bw, 1);
}

TEST_F(Platform, AnUnloadedComponentIsNeverCalledAgain)
{
	ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
	load();
	make_component();
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Stays", sub_menu), 0);
	ASSERT_EQ(khost::load_module("fake_comp"), 0);
	EXPECT_EQ(crv_pmi_hook_count(), 1u);
	EXPECT_EQ(crv_irq_handler_count(), 1u);
	EXPECT_EQ(crv_bw_check_count(), 1u);
	type("2\n");	/* into Ker_Comp */

	ASSERT_EQ(khost::unload_module("fake_comp"), 0);
	EXPECT_EQ(crv_pmi_hook_count(), 0u);
	EXPECT_EQ(crv_irq_handler_count(), 0u);
	EXPECT_EQ(crv_bw_check_count(), 0u);
	EXPECT_EQ(menu(), "menu: /\n  1 Ker_Stays >\nwaiting for: command\n");
	khost::run_in_irq([] { crv_sys_irq_raise(50); });
	crv_bw_run_checks();
	ASSERT_EQ(khost::system_suspend(), 0);
	ASSERT_EQ(khost::system_resume(), 0);
	EXPECT_TRUE(noted().empty());
}

TEST_F(Platform, AComponentCannotUnloadWhileItsHandlerRuns)
{
	ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
	load();
	make_component();
	ASSERT_EQ(khost::load_module("fake_comp"), 0);
	type("1\n1\n");
	ASSERT_TRUE(comp_handler_entered.load());
	EXPECT_EQ(khost::unload_module("fake_comp"), -EAGAIN);
	type("7\n");
	EXPECT_EQ(khost::unload_module("fake_comp"), 0);
	EXPECT_EQ(noted(), (std::vector<std::string>{"comp got 7"}));
}

TEST_F(Platform, UnloadingThePlatformEndsAHandlerWaitingForInput)
{
	load();
	ASSERT_EQ(DRV_DBG_Register(4, 0x100000, "Ker_Test", top_menu), 0);
	type("1\n1\n");
	/* TearDown unloads while "Fill Color" waits: it gets 0 and returns. */
}

} // namespace

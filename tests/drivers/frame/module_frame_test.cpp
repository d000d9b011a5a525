// Loading and unloading vyr_gfx: component order, failures ignored, banner.
#include "khost/gtest.hpp"

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
int osd_result = 0;

} // namespace

extern "C" {
int KER_GPU_DrvInit(void) { calls.push_back("GPU init"); return 0; }
void KER_GPU_DrvExit(void) { calls.push_back("GPU exit"); }
int KER_DispAge_DrvInit(void) { calls.push_back("DispAge init"); return -19; }
void KER_DispAge_DrvExit(void) { calls.push_back("DispAge exit"); }
int KER_XDMA_DrvInit(void) { calls.push_back("XDMA init"); return 0; }
void KER_XDMA_DrvExit(void) { calls.push_back("XDMA exit"); }
int KER_HDMA_DrvInit(void) { calls.push_back("HDMA init"); return 0; }
void KER_HDMA_DrvExit(void) { calls.push_back("HDMA exit"); }
int KER_OSD_DrvInit(void) { calls.push_back("OSD init"); return osd_result; }
void KER_OSD_DrvExit(void) { calls.push_back("OSD exit"); }
int KER_GAI_DrvInit(void) { calls.push_back("GAI init"); return 0; }
void KER_GAI_DrvExit(void) { calls.push_back("GAI exit"); }
}

namespace {

using Frame = khost::KernelTest;

TEST_F(Frame, StartsAndStopsInTheSameOrderWhateverTheResults)
{
	osd_result = -12;	/* no memory for its settings */
	EXPECT_EQ(khost::load_module("vyr_gfx"), 0);
	EXPECT_EQ(calls, (std::vector<std::string>{"GPU init", "DispAge init", "XDMA init", "HDMA init",
						  "OSD init", "GAI init"}));
	calls.clear();
	EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
	EXPECT_EQ(calls, (std::vector<std::string>{"GPU exit", "DispAge exit", "XDMA exit", "HDMA exit",
						  "OSD exit", "GAI exit"}));
}

TEST_F(Frame, PrintsTheBannerAtAlertAndTheEndLinesAtInfo)
{
	ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
	ASSERT_EQ(khost::unload_module("vyr_gfx"), 0);
	const std::string rule(80, '=');
	auto lines = khost::log_lines();
	ASSERT_EQ(lines.size(), 6u);
	EXPECT_EQ(lines[0].level, 1);
	EXPECT_EQ(lines[0].text, rule + "\n");
	EXPECT_EQ(lines[1].level, 1);
	EXPECT_EQ(lines[1].text, " Vyr Gfx Initiation start\n");
	EXPECT_EQ(lines[2].text, rule + "\n");
	EXPECT_EQ(lines[3].level, 6);
	EXPECT_EQ(lines[3].text, "Vyr Gfx: Initiation end\r\n");
	EXPECT_EQ(lines[4].text, "Vyr Gfx: unloaded start\r\n");
	EXPECT_EQ(lines[5].text, "Vyr Gfx: unloaded end\r\n");
}

} // namespace

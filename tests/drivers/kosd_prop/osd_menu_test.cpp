// The OSD debug menu driven from the platform's console: numbers typed by
// the operator become ioctl records on the current plane's framebuffer.
#include <cstring>
#include <string>

#include "khost/gtest.hpp"

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
#include "osd_hw_probe.h"
#include "osd_menu_standin.h"
}

namespace {

const std::string ERR = "\033[0;32;41m[ERR_DRV_OSD]\033[0m";

class OsdMenuTest : public khost::KernelTest {
protected:
	void SetUp() override
	{
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		khost::set_time_scale(1000);
		giMenuCalls = 0;
		giMenuFailNr = -1;
		ASSERT_EQ(_ker_osd_menu_register(), 0);
		type("DRV_OSD\n");
		khost::clear_log();
	}
	void TearDown() override
	{
		for (int p = 0; p < OSD_PLANE_MAX; p++)
			_ker_osd_ForceDisable(static_cast<EN_DRV_OSD_PLANE_ID>(p), 0);
		_ker_osd_menu_unregister();
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}
	void type(const std::string &lines)
	{
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		crv_dbg_wait_idle();
	}
	// Item n of the table is entry n + 1 of the console (0 is "..").
	void item(int n, const std::string &answers = "")
	{
		type(std::to_string(n + 1) + "\n" + answers);
	}
};

TEST_F(OsdMenuTest, ListsTheItemsInOrder)
{
	std::string m = khost::debugfs_read("crv_platform/menu");
	EXPECT_NE(m.find("menu: /DRV_OSD"), std::string::npos);
	EXPECT_NE(m.find("  1 Show Revision\n"), std::string::npos);
	EXPECT_NE(m.find(" 41 Set Separate Vsync    \n"), std::string::npos) << m;
	EXPECT_NE(m.find(" 43 Q2 FPGA Demo  \n"), std::string::npos);
	item(0);
	EXPECT_NE(khost::log().find("OSD Driver Revision: DRV-OSD 0.0.107\n"), std::string::npos);
}

TEST_F(OsdMenuTest, PlaneSelectionBecomesCurrentAndScalarsTravelInTheArgument)
{
	item(1, "3\n7\n");	// cursor 1, any non-zero is on
	ASSERT_EQ(giMenuCalls, 1);
	EXPECT_EQ(gastMenuCalls[0].plane, 3);
	EXPECT_EQ(gastMenuCalls[0].cmd, (unsigned)KER_OSD_IO_SHOW_ENABLE);
	EXPECT_EQ(gastMenuCalls[0].arg, 1ul);
	item(6, "8192\n");	// stride on the current plane
	ASSERT_EQ(giMenuCalls, 2);
	EXPECT_EQ(gastMenuCalls[1].plane, 3);
	EXPECT_EQ(gastMenuCalls[1].arg, 8192ul);
	EXPECT_NE(khost::log().find("\nPlease Select PlaneID --->\n"), std::string::npos);

	// A plane that does not exist is refused and the current one stays.
	item(1, "7\n1\n");
	item(6, "1\n");
	EXPECT_EQ(gastMenuCalls[giMenuCalls - 1].plane, 3);
	EXPECT_NE(khost::log().find("Invalid PlaneID = 8!"), std::string::npos);
}

TEST_F(OsdMenuTest, RecordsAreFilledFromTheAnswers)
{
	item(7, "1\n2\n30\n40\n5\n6\n70\n80\n");
	ASSERT_EQ(giMenuCalls, 1);
	EXPECT_EQ(gastMenuCalls[0].cmd, (unsigned)KER_OSD_IO_SET_DISP_WIN);
	ST_DRV_OSD_DISP_WIN w;
	memcpy(&w, gastMenuCalls[0].rec, sizeof(w));
	EXPECT_EQ(w.stSrcWin.u32X, 1u);
	EXPECT_EQ(w.stSrcWin.u32H, 40u);
	EXPECT_EQ(w.stDstWin.u32W, 70u);

	item(3, "0\n1\n");	// horizontal up, vertical down
	ST_DRV_OSD_SCALE_ENABLE s;
	memcpy(&s, gastMenuCalls[1].rec, sizeof(s));
	EXPECT_EQ(s.bHScaleUp, 1);
	EXPECT_EQ(s.bVScaleDown, 1);
	EXPECT_EQ(s.bHScaleDown, 0);

	item(36, "1\n1\n");	// dual-output defaults, then the enable
	ASSERT_EQ(giMenuCalls, 4);
	ST_DRV_OSD_TIME_GEN t;
	memcpy(&t, gastMenuCalls[2].rec, sizeof(t));
	EXPECT_EQ(t.au32Value[0], 2200u);
	EXPECT_EQ(t.au32Value[7], 1920u);
	EXPECT_EQ(gastMenuCalls[3].cmd, (unsigned)KER_OSD_IO_TIMING_GEN_ENABLE);
}

TEST_F(OsdMenuTest, AFailedIoctlEndsTheItemWithItsName)
{
	giMenuFailNr = KER_OSD_IO_NR(KER_OSD_IO_ALPHA_BLEND_ENABLE);
	item(4, "1\n");
	EXPECT_EQ(giMenuCalls, 1);
	EXPECT_NE(khost::log().find(ERR + "KER_OSD_IO_ALPHA_BLEND_ENABLE Fail\n"), std::string::npos);
	EXPECT_NE(khost::log().find("returned -22"), std::string::npos);
}

TEST_F(OsdMenuTest, AlphaSweepsStepByThirtyTwo)
{
	item(20);
	std::vector<unsigned long> alphas;
	for (int i = 0; i < giMenuCalls; i++)
		if (gastMenuCalls[i].cmd == (unsigned)KER_OSD_IO_SET_ALPHA)
			alphas.push_back(gastMenuCalls[i].arg);
	EXPECT_EQ(alphas, (std::vector<unsigned long>{ 0, 32, 64, 96, 128, 160, 192, 224, 255 }));
}

TEST_F(OsdMenuTest, OperatorInputCannotWriteRegistersOrReachMissingPlanes)
{
	item(30, "0x1000\n5\n");
	EXPECT_NE(khost::log().find("Register invalided =0x1000\n"), std::string::npos);
	EXPECT_EQ(giMenuCalls, 0);

	// Force disable takes only real planes.
	item(31, "9\n1\n");
	EXPECT_EQ(gau8ForceDisable[4], 0);
	item(31, "4\n1\n");
	EXPECT_EQ(gau8ForceDisable[4], 1);

	// A region that the plane lacks is refused before anything is sent.
	giMenuCalls = 0;
	item(2, "0\n1\n1\n1\n");
	EXPECT_EQ(giMenuCalls, 0);

	// Q2 demo paths of 6 and above mean 0, on plane 0.
	item(42, "9\n");
	EXPECT_EQ(gastMenuCalls[0].plane, 0);
	EXPECT_EQ(gastMenuCalls[0].cmd, 0x4004c8c9u);
	EXPECT_EQ(gastMenuCalls[0].arg, 0ul);
}

TEST_F(OsdMenuTest, TestPatternCarriesTheBlockWidthWhereTheHardwareLayerReadsIt)
{
	item(16, "1\n24\n9\n");	// on, block width 24, pattern 9 means 0
	ASSERT_EQ(giMenuCalls, 1);
	EXPECT_EQ(gastMenuCalls[0].cmd, 0x4020c8d2u);
	ST_DRV_OSD_LBM_TEST_PATTERN t;
	memcpy(&t, gastMenuCalls[0].rec, sizeof(t));
	EXPECT_EQ(t.u8Byte, 24u);
	EXPECT_EQ(t.u32Value, 0u);
	EXPECT_EQ(t.u32Mode, 0u);
	EXPECT_EQ(t.au32Color[3], 0xff0000ffu);
}

// The demos, the function info and the dump window are built: each sends
// its commands on the current plane (the dump window on plane 0).
TEST_F(OsdMenuTest, DemosInfoAndDumpWindowSendTheirCommands)
{
	item(18, "1\n2\n");	// plane 1, FHD scaled up to 4Kx2K
	ASSERT_EQ(giMenuCalls, 12);
	EXPECT_EQ(gastMenuCalls[0].plane, 1);
	EXPECT_EQ(gastMenuCalls[0].cmd, (unsigned)KER_OSD_IO_SHOW_ENABLE);
	EXPECT_EQ(gastMenuCalls[6].cmd, (unsigned)KER_OSD_IO_SET_STRIDE);
	EXPECT_EQ(gastMenuCalls[6].arg, 7680ul);
	ST_DRV_OSD_DISP_WIN w;
	memcpy(&w, gastMenuCalls[8].rec, sizeof(w));
	EXPECT_EQ(w.stSrcWin.u32W, 1920u);
	EXPECT_EQ(w.stDstWin.u32W, 3840u);
	EXPECT_EQ(gastMenuCalls[11].cmd, (unsigned)KER_OSD_IO_GET_BUF_PHY_ADDR_SIZE);

	giMenuCalls = 0;
	item(19, "1\n0\n1\n");	// UHD on plane 0, dual output
	ASSERT_EQ(giMenuCalls, 12 + 12);
	uint32_t gen[8];
	memcpy(gen, gastMenuCalls[23].rec, sizeof(gen));
	EXPECT_EQ(gen[0], 2200u);
	EXPECT_EQ(gen[7], 1920u);

	khost::clear_log();
	item(27);
	std::string log = khost::log();
	EXPECT_NE(log.find("OSDShow: D\n"), std::string::npos);
	EXPECT_NE(log.find("Layer3-VideoMask-2: D\n"), std::string::npos);

	giMenuCalls = 0;
	item(41, "1\n2\n0\n0\n64\n32\n3\n/tmp/\n");
	ASSERT_EQ(giMenuCalls, 1);
	EXPECT_EQ(gastMenuCalls[0].plane, 0);
	EXPECT_EQ(gastMenuCalls[0].cmd, (unsigned)KER_OSD_IO_SET_DUMP_FB_WINDOW);
	uint32_t dump[7];
	memcpy(dump, gastMenuCalls[0].rec, sizeof(dump));
	EXPECT_EQ(dump[1], 2u);
	EXPECT_EQ(dump[4], 64u);
	EXPECT_EQ(dump[6], 3u);
	EXPECT_EQ(khost::log().find("Not supported in this build"), std::string::npos);
}

TEST_F(OsdMenuTest, DimensionInfoPrintsEveryPlane)
{
	item(26);
	EXPECT_EQ(giMenuCalls, 5 * 7 + 2);
	std::string log = khost::log();
	EXPECT_NE(log.find("PlaneID: 4, Plane|RegionShow: [D, D], ColorFmt|Alpha: [INVALID, 0x00]"),
		  std::string::npos);
	EXPECT_NE(log.find("Normal|Cursor-OSDShow: [D, D]\n"), std::string::npos);
}

} // namespace

// OSD plane property operations and the vsync interrupt over a simulated
// register window: what each family writes (hardware and shadow), what the
// getters return, identifier checks, window clipping, scaling, stride and
// buffer address, the palette, and the interrupt's visibility and
// automatic colour key.
#include <cstring>
#include <string>
#include <vector>

#include "khost/gtest.hpp"
#include "khost/hw/osd.hpp"

extern "C" {
#include "crv_platform.h"
#include "osd_hw_probe.h"
extern u32 gu32AutoColorKey;
extern u8 u8APL_FOR_OSD[1923];
}

namespace {

constexpr uint32_t R(uint32_t off) { return 0xfc0d0000u + off; }
const std::string ERR = "\033[0;32;41m[ERR_DRV_OSD]\033[0m";
const EN_DRV_OSD_PLANE_ID N1 = OSD_NORMAL1, N2 = OSD_NORMAL2, N3 = OSD_NORMAL3;
const EN_DRV_OSD_PLANE_ID C1 = OSD_CURSOR1, C2 = OSD_CURSOR2;
const EN_DRV_OSD_REGION_ID R0 = OSD_REGION0, R1 = OSD_REGION1;

uint32_t shadow(uint32_t addr)
{
	ST_KER_OSD_SHADOW_REG *r = _ker_osd_Shadow_Find(addr);
	EXPECT_NE(r, nullptr) << std::hex << addr;
	return r ? r->u32Value : 0;
}

// Hardware and shadow agree and hold the value.
#define EXPECT_REG(addr, value)                                                  \
	do {                                                                     \
		EXPECT_EQ(khost::reg(addr), (uint32_t)(value)) << std::hex << (addr); \
		EXPECT_EQ(shadow(addr), (uint32_t)(value)) << std::hex << (addr); \
	} while (0)

std::vector<uint32_t> written_addrs()
{
	std::vector<uint32_t> out;
	for (auto &a : khost::journal(false))
		out.push_back((uint32_t)a.addr);
	return out;
}

class OsdPropTest : public khost::KernelTest {
protected:
	void SetUp() override
	{
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
		khost::set_time_scale(1000);
		khost::add_regs(R(0), 0x10000);
		// Updates wait for the next vsync, palette loads end at once.
		khost::hw::osd::install();
		gu32APITraceCtl = 0;
		osd_probe_attach();
		// These tests check the register program: the caller may reach
		// anything, and the guard's own cases say otherwise.
		for (int p = 0; p < OSD_PLANE_MAX; p++)
			osd_probe_ctx(p)->bRawCaller = 1;
		_ker_osd_MappingReg();
		ST_SIZE video = { 3840, 2160 };
		_ker_osd_Set_VideoWinSize(&video);
		khost::clear_journal();
		khost::clear_log();
	}

	void TearDown() override
	{
		WRITE_ONCE(gu32AutoColorKey, 0);
		for (int p = 0; p < OSD_PLANE_MAX; p++) {
			_ker_osd_ForceDisable(static_cast<EN_DRV_OSD_PLANE_ID>(p), 0);
			if (osd_probe_ctx(p)->pu32KeepPalette) {
				delete[] osd_probe_ctx(p)->pu32KeepPalette;
				osd_probe_ctx(p)->pu32KeepPalette = nullptr;
			}
		}
		osd_probe_detach();
		_ker_osd_UnMappingReg();
		EXPECT_EQ(khost::log().find("has no shadow"), std::string::npos);
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}

	ST_KER_OSD_PLANE_CTX *ctx(int p) { return osd_probe_ctx(p); }
};

// ---- enable families -----------------------------------------------------

TEST_F(OsdPropTest, PlaneShowMovesShowAndFreezeBitsTogetherAndForceDisableHides)
{
	khost::set_reg(R(0x004), 1u << 9);	// plane 2 frozen (hidden)
	u8 on = 1;
	_ker_osd_PlaneShow_Enable(N2, &on);
	EXPECT_REG(R(0x004), 1u << 2);

	_ker_osd_PlaneShow_Enable(N2, nullptr);	// no byte hides
	EXPECT_REG(R(0x004), 1u << 9);

	// Cursor: show clears the freeze first, hide sets the show bit off first.
	khost::clear_journal();
	_ker_osd_PlaneShow_Enable(C2, &on);
	EXPECT_EQ(written_addrs(), (std::vector<uint32_t>{ R(0x2270), R(0x2000) }));
	EXPECT_REG(R(0x2000), 1u << 2);
	khost::clear_journal();
	u8 off = 0;
	_ker_osd_PlaneShow_Enable(C2, &off);
	EXPECT_EQ(written_addrs(), (std::vector<uint32_t>{ R(0x2000), R(0x2270) }));
	EXPECT_REG(R(0x2270), 1u << 1);

	_ker_osd_ForceDisable(N1, 1);
	_ker_osd_PlaneShow_Enable(N1, &on);
	EXPECT_EQ(khost::reg(R(0x004)) & 0x102, 0x100u);
}

TEST_F(OsdPropTest, InvertedAndSharedEnablesProgramTheirOwnBits)
{
	u8 on = 1;
	khost::set_reg(R(0x008), 0xffffffff);
	_ker_osd_DramSaveMode_Enable(N1, &on);	// saving on clears the bit
	_ker_osd_PureOutput_Enable(N3, &on);	// bit 4 * 2 + 16
	EXPECT_REG(R(0x008), 0xffffffffu & ~1u & ~(1u << 24));
	_ker_osd_PureOutput_Enable(C1, &on);	// cursor: 0x2270 bit 8
	EXPECT_EQ(khost::reg(R(0x2270)) & (1u << 8), 0u);
	u8 off = 0;
	_ker_osd_PureOutput_Enable(C2, &off);
	EXPECT_REG(R(0x2270), 1u << 9);

	_ker_osd_UpdateSyncByATV_Enable(N2, &on);
	_ker_osd_UpdateSyncByATV_Enable(C1, &on);
	EXPECT_REG(R(0x000), 1u << 16);
	EXPECT_REG(R(0x2108), 1u);

	// Only bit 0 of the value reaches the cursor's DBL bit.
	khost::set_reg(R(0x210c), 1u << 31);
	u32 two = 2;
	_ker_osd_Set_DBLSync(C1, &two);
	EXPECT_REG(R(0x210c), 0u);

	_ker_osd_GainOffset_Enable(C2, &on);
	EXPECT_REG(R(0x20bc), 1u << 24);
	_ker_osd_BISTMode_Enable(N2, &on);
	EXPECT_REG(R(0x204), 1u << 15);
	_ker_osd_BitInvertEnable(C2, &on);
	_ker_osd_BitInvertEnable(N1, &on);
	EXPECT_REG(R(0x2020), 1u << 13);
	EXPECT_REG(R(0x110), 1u << 2);
	u8 got = 0;
	_ker_osd_IsBitInvert(N1, &got);
	EXPECT_EQ(got, 1);
	_ker_osd_IsBitInvert(C1, &got);
	EXPECT_EQ(got, 0);
}

TEST_F(OsdPropTest, NormalOnlyPropertiesRefuseCursorsWithoutWriting)
{
	u8 on = 1;
	ST_DRV_OSD_LBM_ADDR addr = { 1, 2 };
	ST_DRV_OSD_REGION_BOUNDARY b = { 1, 2, 3 };
	_ker_osd_Layer1BehindVideo_Enable(C1, &on);
	_ker_osd_Set_LBMAddr(C2, &addr);
	_ker_osd_Set_RegionBoundary(C1, &b);
	_ker_osd_MultiRegion_Enable(C1, &on);
	EXPECT_TRUE(khost::journal().empty());
	EXPECT_EQ(khost::log(), ERR + "Not support for Cursor plane!\n" + ERR +
					  "Not support for Cursor plane!\n" + ERR +
					  "Not support for Cursor plane!\n" + ERR +
					  "Not support for Cursor plane!\n");
	// These say nothing and do nothing on a cursor.
	khost::clear_log();
	_ker_osd_TimingGen_Enable(C1, &on);
	_ker_osd_CRC_Enable(C2, &on);
	u32 ch = 4;
	_ker_osd_Set_Plane_AXI_Channel(C1, &ch);
	EXPECT_TRUE(khost::journal().empty());
	EXPECT_EQ(khost::log(), "");
}

// ---- identifiers -----------------------------------------------------------

TEST_F(OsdPropTest, BadIdentifiersAreReportedAndChangeNothing)
{
	u8 on = 1, out = 7;
	ST_DRV_OSD_COLOR_KEY_VALUE key = { 1, 2, 3 };
	ST_DRV_OSD_VIDEO_MASK_CTRL mask = {};
	EN_DRV_OSD_PLANE_ID bad = static_cast<EN_DRV_OSD_PLANE_ID>(5);

	_ker_osd_PlaneShow_Enable(bad, &on);
	EXPECT_EQ(khost::log(), ERR + "Invalid PlaneID = 6!\n");
	khost::clear_log();
	_ker_osd_RegionShow_Enable(N1, R1, &on);
	EXPECT_EQ(khost::log(), ERR + "Invalid PlaneID = 1, RegionID = 2!\n");
	khost::clear_log();
	_ker_osd_Set_ColorKey(C1, R0, static_cast<EN_DRV_OSD_COLOR_KEY_ID>(2), &key);
	_ker_osd_IsColorKey(N1, R0, static_cast<EN_DRV_OSD_COLOR_KEY_ID>(9), &out);
	_ker_osd_Get_ColorKey(N1, R0, static_cast<EN_DRV_OSD_COLOR_KEY_ID>(2), &key);
	EXPECT_EQ(khost::log(), ERR + "Invalid ColorKeyID = 2!\n" + ERR + "Invalid ColorKeyID = 9!\n" +
					  ERR + "Invalid ColorKeyID = 2!\n");
	khost::clear_log();
	_ker_osd_Set_VideoMask(N1, static_cast<EN_DRV_OSD_LAYER_ID>(3), OSD_VIDEO_MASK0, &mask);
	_ker_osd_IsVideoMask(N1, OSD_LAYER0, static_cast<EN_DRV_OSD_VIDEO_MASK_ID>(2), &out);
	EXPECT_NE(khost::log().find("Invalid LayerID = 3!"), std::string::npos);
	EXPECT_NE(khost::log().find("Invalid VideoMaskID = 2!"), std::string::npos);
	EXPECT_EQ(out, 7);
	EXPECT_TRUE(khost::journal().empty());
	for (uint32_t i = 0; i < _ker_osd_Shadow_Count(); i++)
		EXPECT_EQ(_ker_osd_Shadow_At(i)->u32Value, 0u) << i;
}

// ---- getters ------------------------------------------------------------------

TEST_F(OsdPropTest, GettersReturnWhatTheFramebufferLayerStoredWithoutTouchingRegisters)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N2);
	c->bPlaneShow = 1;
	c->stLBMThrd = { 4, 5, 6 };
	c->astVideoMask[2][1].u32W = 77;
	c->astRegion[0].stDstWin = { 1, 2, 3, 4 };
	c->astRegion[0].stDispWin.stSrcWin = { 9, 8, 7, 6 };
	c->astRegion[0].astColorKey[1].u32Replace = 0x1234;
	osd_probe_setting(N2)->bDualOutput = 1;
	khost::set_reg(R(0x004), 0);	// the registers say otherwise

	u8 b = 0;
	_ker_osd_IsPlaneShow(N2, &b);
	EXPECT_EQ(b, 1);
	_ker_osd_IsDualOutput(N1, &b);	// the setting record is shared by the normal planes
	EXPECT_EQ(b, 1);
	ST_DRV_OSD_LBM_THRD thrd = {};
	_ker_osd_Get_LBMThrd(N2, &thrd);
	EXPECT_EQ(thrd.u32Thrd2, 6u);
	ST_DRV_OSD_VIDEO_MASK_CTRL m = {};
	_ker_osd_Get_VideoMask(N2, OSD_LAYER2, OSD_VIDEO_MASK1, &m);
	EXPECT_EQ(m.u32W, 77u);
	ST_DRV_OSD_DISP_WIN win = {};
	_ker_osd_Get_DispWin(N2, R0, &win);
	EXPECT_EQ(win.stSrcWin.u32X, 9u);
	EXPECT_EQ(win.stDstWin.u32H, 4u);
	ST_DRV_OSD_COLOR_KEY_VALUE key = {};
	_ker_osd_Get_ColorKey(N2, R0, OSD_COLOR_KEY1, &key);
	EXPECT_EQ(key.u32Replace, 0x1234u);
	EXPECT_TRUE(khost::journal(true).empty());

	// The cursor has no layer-1 setting: 0 and the message.
	b = 9;
	_ker_osd_IsLayer1BehindVideo(C1, &b);
	EXPECT_EQ(b, 0);
}

TEST_F(OsdPropTest, HardwareGettersReadTheirRegisters)
{
	khost::set_reg(R(0x004), 1u << 30);	// plane 2 mute status
	khost::set_reg(R(0x2248), 1u << 14);	// cursor 2 mute status
	u8 b = 0;
	_ker_osd_Get_AutoMuteStatus(N3, &b);
	EXPECT_EQ(b, 1);
	_ker_osd_Get_AutoMuteStatus(C2, &b);
	EXPECT_EQ(b, 1);

	khost::set_reg(R(0x1f4), 0xc0000000);	// enable, bits 30:29 = 2
	khost::set_reg(R(0x1f8), 0xab000000);
	ST_DRV_OSD_ALPHASUARE_PARAM sq = {};
	_ker_osd_Get_AlphaSquare(C1, &sq);	// the cursor reads normal plane 1's registers
	EXPECT_EQ(sq.u32Enable, 1u);
	EXPECT_EQ(sq.u32Mode, 1u);
	EXPECT_EQ(sq.u32Value, 0xabu);

	khost::set_reg(R(0xb8), 100);
	khost::set_reg(R(0xc4), 23);
	u32 n = 0;
	_ker_osd_Get_AlphaCalCount(N2, &n);
	EXPECT_EQ(n, 100u);
	osd_probe_setting(N2)->bDualOutput = 1;
	_ker_osd_Get_AlphaCalCount(N2, &n);
	EXPECT_EQ(n, 123u);

	u32 rgb = 7;
	_ker_osd_GetRGBMeterResult(N1, &rgb);	// no samples: no division
	EXPECT_EQ(rgb, 0u);
	khost::set_reg(R(0xe2c), 2);
	khost::set_reg(R(0xe30), 0x200);
	khost::set_reg(R(0xe34), 0x20);
	khost::set_reg(R(0xe38), 4);
	_ker_osd_GetRGBMeterResult(N1, &rgb);
	EXPECT_EQ(rgb, 0x001002u | (0x100u & 255) << 16);
}

// ---- valued properties -----------------------------------------------------

TEST_F(OsdPropTest, FieldSettersPackTheirRecords)
{
	ST_DRV_OSD_VIDEO_MASK_CTRL m = {};
	m.u32X = 0x123; m.u32Y = 0x456; m.u32W = 0x789; m.u32H = 0xabc;
	m.u32Delay = 0x3f; m.u32Disparity3D = 0xff;
	_ker_osd_Set_VideoMask(N3, OSD_LAYER1, OSD_VIDEO_MASK1, &m);
	EXPECT_REG(R(0x054), 0x7fu << 16);
	EXPECT_REG(R(0x060), 0x01230456u);
	EXPECT_REG(R(0x064), 0x07890abcu);
	EXPECT_REG(R(0x068), 0x1fu << 16);

	khost::set_reg(R(0x020), 0xffffffff);
	ST_DRV_OSD_SELF_FRAME_WIN sf = { 0x1fff, 0, 0 };
	_ker_osd_Set_SelfFrameWin(C1, &sf);	// built on the normal register's kept bits
	EXPECT_REG(R(0x2100), 0xe0007800u | 0x1fffu << 16);

	ST_DRV_OSD_GAIN_OFFSET g = { 0x3ff, 0x11, 0x1, 0x22, 0x2, 0x33 };
	khost::set_reg(R(0x2f8), 0xff000000);
	_ker_osd_Set_GainOffset(N2, &g);
	EXPECT_REG(R(0x2f4), 0x001103ffu);
	EXPECT_REG(R(0x2f8), 0xff220001u);
	EXPECT_REG(R(0x2fc), 0x00330002u);

	ST_DRV_OSD_ALPHASUARE_PARAM sq = { 1, 2, 0x80 };
	_ker_osd_Set_AlphaSquare(C1, &sq);	// cursor 1 programs normal plane 1
	EXPECT_EQ(khost::reg(R(0x1f4)) >> 29, 4u);
	EXPECT_EQ(khost::reg(R(0x1f8)) >> 24, 0x80u);
	khost::clear_journal();
	sq.u32Mode = 3;
	_ker_osd_Set_AlphaSquare(N1, &sq);
	EXPECT_TRUE(khost::journal().empty());

	EN_DRV_OSD_CURRENT_BUF_ORDER order = static_cast<EN_DRV_OSD_CURRENT_BUF_ORDER>(9);
	_ker_osd_Set_CurrentBufOrder(C2, &order);
	_ker_osd_Set_CurrentBufOrder(N3, &order);
	EXPECT_REG(R(0x22fc), 9u << 4);
	EXPECT_REG(R(0x0f8), 9u << 8);

	ST_DRV_OSD_VSYNC_EXTEND ext = { 1, 1, {}, 0x12, 0x34 };
	_ker_osd_Set_LBMTestPattern(N1, nullptr);
	_ker_osd_SeparateVsyncExtendEnable(N1, &ext);
	EXPECT_REG(R(0xc020), 0x341203u);

	u32 ch = 3;
	_ker_osd_Set_Plane_AXI_Channel(N2, &ch);
	EXPECT_REG(R(0x224), 1u << 26);
	ch = 5;
	_ker_osd_Set_Plane_AXI_Channel(N2, &ch);
	EXPECT_REG(R(0x224), 1u << 26);
}

TEST_F(OsdPropTest, TimingGeneratorHalvesForDualOutputAndWritesNothingWithout)
{
	ST_DRV_OSD_TIME_GEN t = { { 4400, 2250, 16, 5, 15, 2160, 80, 3840 } };
	_ker_osd_Set_TimeGen(N1, &t);
	EXPECT_TRUE(khost::journal().empty());
	EXPECT_EQ(t.au32Value[0], 4400u);

	osd_probe_setting(N1)->bDualOutput = 1;
	khost::set_reg(R(0x904), 0x80000000);
	_ker_osd_Set_TimeGen(N1, &t);
	EXPECT_EQ(t.au32Value[0], 2200u);
	EXPECT_EQ(t.au32Value[7], 1920u);
	EXPECT_REG(R(0x904), 0x80000000u | 2200u << 16 | 2250u);
	EXPECT_REG(R(0x910), 2160u << 16 | 15u);
	EXPECT_REG(R(0x914), 1920u << 16 | 80u);

	// GPE present: the timing generator picks the timing mode.
	khost::set_reg(R(0x990), 1u << 8);
	u8 on = 1;
	_ker_osd_TimingGen_Enable(N1, &on);
	EXPECT_EQ(genOSDTimingMode, 2u);
	u8 got = 0;
	_ker_osd_IsTimingGen(N1, &got);
	EXPECT_EQ(got, 1);
	on = 0;
	_ker_osd_TimingGen_Enable(N1, &on);
	EXPECT_EQ(genOSDTimingMode, 0u);
}

// ---- colour --------------------------------------------------------------------

TEST_F(OsdPropTest, ColourModesAndFormatsConvertBothWays)
{
	EN_COLOR mode = OSD_COLOR_RGBA4444;
	_ker_osd_Set_ColorMode(C2, R1, &mode);
	EXPECT_REG(R(0x2008), 0x6100u << 16);
	mode = static_cast<EN_COLOR>(0x1234);
	khost::set_reg(R(0x210), 0xffffffff);
	_ker_osd_Set_ColorMode(N2, R0, &mode);
	EXPECT_REG(R(0x210), 0xffffffffu & ~0xf300u);
	EXPECT_EQ(khost::log(), ERR + "Invalid color format = 4660\n");

	ST_KER_OSD_COLOR_FMT fmt = {};
	mode = OSD_COLOR_ARGB1555;
	_ker_osd_Convert_ModeToColorFmt(&fmt, &mode);
	EXPECT_EQ(fmt.u8BitsPerPixel, 16);
	EXPECT_EQ(fmt.u8TranspOffset, 15);
	EN_COLOR back = static_cast<EN_COLOR>(0);
	_ker_osd_Convert_ColorFmtToMode(&fmt, &back);
	EXPECT_EQ(back, OSD_COLOR_ARGB1555);

	fmt = {};
	fmt.u8BitsPerPixel = 8;
	fmt.u8RedLength = 3;	// any 8-bit format is the palette
	_ker_osd_Convert_ColorFmtToMode(&fmt, &back);
	EXPECT_EQ(back, OSD_COLOR_PALETTE8);
	fmt.u8BitsPerPixel = 24;
	khost::clear_log();
	_ker_osd_Convert_ColorFmtToMode(&fmt, &back);
	EXPECT_EQ(back, 0);
	EXPECT_EQ(khost::log(), ERR + "Invalid color format\n");
}

TEST_F(OsdPropTest, ColourKeysFollowTheRegionsPixelSize)
{
	ST_DRV_OSD_COLOR_KEY_VALUE k = { 0x12345678, 0x9abcdef0, 0x1ff };
	ctx(N1)->astRegion[0].enColor = OSD_COLOR_RGB565;
	_ker_osd_Set_ColorKey(N1, R0, OSD_COLOR_KEY1, &k);
	EXPECT_REG(R(0x138), 0x5678u);
	EXPECT_REG(R(0x13c), 0xffdef0u);
	ctx(C2)->astRegion[0].enColor = OSD_COLOR_ARGB8888;
	_ker_osd_Set_ColorKey(C2, R0, OSD_COLOR_KEY0, &k);
	EXPECT_REG(R(0x2128), 0x12345678u);
	EXPECT_REG(R(0x212c), 0x9abcdef0u);
	ctx(N3)->astRegion[0].enColor = OSD_COLOR_PALETTE8;
	khost::set_reg(R(0x330), 5);
	_ker_osd_Set_ColorKey(N3, R0, OSD_COLOR_KEY0, &k);
	EXPECT_REG(R(0x330), 0u);

	u8 on = 1;
	_ker_osd_ColorKey_Enable(C1, R1, OSD_COLOR_KEY1, &on);
	EXPECT_REG(R(0x2004), 1u << 22);
}

// ---- windows and scaling -----------------------------------------------------

TEST_F(OsdPropTest, DestinationWindowIsClippedToTheVideoWindow)
{
	ST_RECT r = { 3000, 2000, 1000, 500 };
	_ker_osd_Set_DstWin(N1, R0, &r);
	EXPECT_REG(R(0x114), 3000u << 16 | 2000u);
	EXPECT_REG(R(0x118), 840u << 16 | 160u);
	EXPECT_REG(R(0x4034), 840u << 16);

	// A start past the edge sits on the last column and row, one pixel wide.
	r = { 5000, 3000, 100, 100 };
	_ker_osd_Set_DstWin(C2, R1, &r);
	EXPECT_REG(R(0x20c8), 3839u << 16 | 2159u);
	EXPECT_REG(R(0x20d0), 1u << 16 | 1u);

	// A size that wraps 32 bits when added is clipped too.
	r = { 100, 0, 0xffffff00, 10 };
	_ker_osd_Set_DstWin(N2, R0, &r);
	EXPECT_REG(R(0x218), 3740u << 16 | 10u);
}

TEST_F(OsdPropTest, ScaleFunctionPicksPathsAndFactors)
{
	ST_DRV_OSD_DISP_WIN w = { { 0, 0, 1920, 1080 }, { 0, 0, 1920, 1080 } };
	_ker_osd_Set_ScaleFunc(N1, R0, &w);
	EXPECT_EQ(khost::reg(R(0x4020)), 0x10000u);
	EXPECT_EQ(khost::reg(R(0x1d8)) & 0xffff, 2048u);
	EXPECT_EQ(khost::reg(R(0x104)) & 0x377, 0u);

	// Halving the width: horizontal down path, a down factor of twice 2048.
	w = { { 0, 0, 3840, 1080 }, { 0, 0, 1920, 1080 } };
	_ker_osd_Set_ScaleFunc(N1, R0, &w);
	EXPECT_EQ(khost::reg(R(0x104)) & 0x377, (1u << 8) | 1u);
	EXPECT_EQ(khost::reg(R(0x4020)), 0x10000u);
	EXPECT_EQ(khost::reg(R(0x1d8)) & 0xffff, 4096u);
	EXPECT_EQ(shadow(R(0x1d8)) & 0xffff, 4096u);
	EXPECT_EQ(khost::reg(R(0x402c)) & ((1u << 24) | (1u << 28)), 1u << 28);
	EXPECT_EQ(khost::reg(R(0x4030)), 255u);

	// Up both ways, vertical mode 2 from the scale-up control.
	ctx(N2)->stScaleUpCtrl.au32Ctrl[4] = OSD_SCALE_UP_VMODE2;
	w = { { 0, 0, 1920, 1080 }, { 0, 0, 3840, 2160 } };
	_ker_osd_Set_ScaleFunc(N2, R0, &w);
	EXPECT_EQ(khost::reg(R(0x204)) & 0x377, (1u << 4) | (2u << 5) | (1u << 2));
	EXPECT_EQ(khost::reg(R(0x4220)), (1920u << 20) / 3840u);
	EXPECT_EQ(khost::reg(R(0x2d0)) & 0x1ffff, ((1080u << 16) - 0x10000u) / 2159u);
	ST_DRV_OSD_SCALE_ENABLE en = {};
	_ker_osd_IsScale(N2, R0, &en);
	EXPECT_EQ(en.bHScaleUp, 1);
	EXPECT_EQ(en.bVScaleUp, 1);

	// A wide source up-scaled keeps its factor (no 32-bit overflow).
	w = { { 0, 0, 4096, 100 }, { 0, 0, 8000, 100 } };
	_ker_osd_Set_ScaleFunc(N3, R0, &w);
	EXPECT_EQ(khost::reg(R(0x4420)), (uint32_t)((4096ull << 20) / 8000));
}

TEST_F(OsdPropTest, ScaleFunctionRefusesEmptyWindowsAndCursorDownScaling)
{
	ST_DRV_OSD_DISP_WIN w = { { 0, 0, 100, 100 }, { 0, 0, 0, 50 } };
	_ker_osd_Set_ScaleFunc(N1, R0, &w);
	EXPECT_EQ(khost::log(), ERR + "Set ScaleFunc failed !\n" + ERR +
					  "Invalid SrcWin: WxH = 100x100, DstWin: WxH = 0x50\n");
	// An empty source is refused the same way, before any division.
	khost::clear_log();
	w = { { 0, 0, 0, 0 }, { 0, 0, 1, 1 } };
	_ker_osd_Set_ScaleFunc(C1, R0, &w);
	_ker_osd_Set_ScaleFunc(N1, R0, &w);
	EXPECT_EQ(khost::log().find("Invalid SrcWin: WxH = 0x0, DstWin: WxH = 1x1") != std::string::npos,
		  true);
	EXPECT_TRUE(khost::journal().empty());

	khost::clear_log();
	w = { { 0, 0, 64, 64 }, { 0, 0, 32, 64 } };
	_ker_osd_Set_ScaleFunc(C1, R0, &w);
	EXPECT_EQ(khost::log(), ERR + "Cursor Plane not support ScaleDown!\n");
	EXPECT_TRUE(khost::journal().empty());

	// Cursor up-scaling: both enables in one bit, factors per region.
	w = { { 0, 0, 32, 64 }, { 0, 0, 64, 64 } };
	_ker_osd_Set_ScaleFunc(C1, R1, &w);
	EXPECT_REG(R(0x2004), 1u << 1);
	EXPECT_REG(R(0x2064), ((32u << 16) - 0x10000u) / 63u);
	EXPECT_REG(R(0x2068), 0x10000u);
}

TEST_F(OsdPropTest, StrideProgramsUnitsAndTheLineBufferEnd)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N2);
	c->astRegion[0].enColor = OSD_COLOR_ARGB8888;
	u32 stride = 7680;
	_ker_osd_Set_Stride(N2, R0, &stride);
	EXPECT_EQ(khost::reg(R(0x220)) & 0x1fff, 1920u);
	EXPECT_REG(R(0x094), (1920u * 25 * 4 / 320) << 16);
	EXPECT_EQ(c->stLBMAddr.u32End, 1920u * 25 * 4 / 320);
	c->bHFlip = 1;
	_ker_osd_Set_Stride(N2, R0, &stride);
	EXPECT_EQ(c->stLBMAddr.u32End, 1920u * 35 * 4 / 320);
	stride = 12000;	// 3000 units * 35 reaches the limit
	_ker_osd_Set_Stride(N2, R0, &stride);
	EXPECT_EQ(c->stLBMAddr.u32End, 1279u);

	// Rounded up to 32 bytes first; no pixel size, no units.
	c->astRegion[0].enColor = OSD_COLOR_RGB565;
	stride = 33;
	_ker_osd_Set_Stride(N2, R0, &stride);
	EXPECT_EQ(khost::reg(R(0x220)) & 0x1fff, 32u);
	c->astRegion[0].enColor = static_cast<EN_COLOR>(0);
	_ker_osd_Set_Stride(N2, R0, &stride);
	EXPECT_EQ(khost::reg(R(0x220)) & 0x1fff, 0u);
}

// OSD_CURSOR2's region 1 lies in its own block: the source width goes to
// 0xfc0d20f8, not to OSD_CURSOR1's run-length register 0xfc0d20e8.
TEST_F(OsdPropTest, CursorTwoRegionOneHasItsOwnRegisters)
{
	ST_SIZE size = { 64, 32 };
	_ker_osd_Set_SrcSize(C2, R1, &size);
	EXPECT_REG(R(0x20f8), 64u);
	EXPECT_REG(R(0x20e8), 0u);
}

TEST_F(OsdPropTest, BufferAddressFollowsBufferOrderOffsetsAndFlip)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N1);
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[0];
	r->enColor = OSD_COLOR_ARGB8888;
	r->u32Stride = 4096;
	r->stDispWin.stSrcWin = { 2, 3, 100, 10 };
	c->u32CurrentBufOrder = 4;	// back buffer
	c->u32BufStart = 0xc0000000;	// the plane's buffer as a whole is handed down
	khost::set_reg(R(0x124), 0xffffffff);
	ST_DRV_OSD_BUF_PHY_ADDR_SIZE buf = { 0xc0000000, 0, 0x100000 };
	_ker_osd_Set_BufPhyAddrSize(N1, R0, &buf);
	uint32_t start = 0xc0000000u + 10 * 4096 + 3 * 4096 + 2 * 4;
	EXPECT_EQ(buf.u32StartAddr, start);
	EXPECT_EQ(r->u32StartAddr, start);
	EXPECT_REG(R(0x124), (0x1eu << 25) | (3u << 29) | (start >> 5));

	// Flipped: the last line of the window first; cursors split the address.
	c = ctx(C2);
	r = &c->astRegion[0];
	r->enColor = OSD_COLOR_ARGB8888;
	r->u32Stride = 256;
	r->stDispWin.stSrcWin = { 0, 0, 64, 64 };
	r->bVFlip = 1;
	r->stBufPhyAddrSize = { 0x80001000, 0, 0 };
	u8 on = 1;
	_ker_osd_VFlip_Enable(C2, R0, &on);
	start = 0x80001000u + 63 * 256;
	EXPECT_REG(R(0x2284), (1u << 31) | ((start >> 5) & 0x1ffffff));
	EXPECT_REG(R(0x228c), 2u << 8);
}

TEST_F(OsdPropTest, DisplayWindowComposesTheRegionSteps)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N1);
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[0];
	r->enColor = OSD_COLOR_RGB565;
	r->u32Stride = 3840;
	r->stBufPhyAddrSize.u32BufPhyAddr = 0x10000000;
	ST_DRV_OSD_DISP_WIN w = { { 21, 4, 4, 100 }, { 10, 20, 1920, 1080 } };
	_ker_osd_Set_DispWin(N1, R0, &w);
	EXPECT_EQ(khost::reg(R(0x120)), (21u & 15) << 16 | 3840u / 2);
	EXPECT_EQ(r->u32ReadOffset, 5u);
	EXPECT_REG(R(0x11c), 8u << 16 | 100u);	// width 4 becomes 8
	EXPECT_REG(R(0x128), 100u * 3840 / 16);
	EXPECT_REG(R(0x1ec), ((2u * 4) >> 4) << 16 | 1u << 8 | 31u);
	EXPECT_EQ(r->u32StartAddr, 0x10000000u + 4 * 3840 + 21 * 2);
	// While scrolling the scroll stride is used.
	c->stScroll.bEnable = 1;
	c->stScroll.u32ScrollStride = 7680;
	_ker_osd_Set_DispWin(N1, R0, &w);
	EXPECT_EQ(khost::reg(R(0x120)) & 0x1fff, 3840u);
}

// ---- palette --------------------------------------------------------------------

TEST_F(OsdPropTest, FullPaletteWriteKeepsTheColoursAndTheNextUpdateCarriesIt)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N2);
	c->astRegion[0].enColor = OSD_COLOR_PALETTE8;
	c->pu32KeepPalette = new u32[256]();
	std::vector<u32> colours(256);
	for (int i = 0; i < 256; i++)
		colours[i] = 0xff000000u | i;
	khost::set_reg(R(0x420), 0x32100000);
	ST_DRV_OSD_PALETTE_DATA pal = { 0, 256, colours.data() };
	std::vector<uint32_t> port;
	int port_reads = 0;	// a read would move the port on
	khost::on_write(R(0x408), [&](phys_addr_t, uint64_t v, uint64_t &) { port.push_back(v); });
	khost::on_read(R(0x408), [&](phys_addr_t, uint64_t v) -> uint64_t { return port_reads++, v; });
	_ker_osd_Set_PaletteData(N2, &pal);
	ASSERT_EQ(port.size(), 256u);
	EXPECT_EQ(port_reads, 0);
	EXPECT_EQ(port[255], 0xff0000ffu);
	EXPECT_EQ(c->pu32KeepPalette[7], 0xff000007u);
	// Plane 1's field (21:20) changes place with 29:28.
	EXPECT_REG(R(0x420), 0x12300000u);
	EXPECT_EQ(osd_probe_setting(N2)->bPaletteBusy, 0);

	// A part: only its entries change; a read gives them back.
	u32 two[2] = { 1, 2 };
	pal = { 254, 2, two };
	_ker_osd_Set_PaletteData(N2, &pal);
	EXPECT_EQ(c->pu32KeepPalette[253], 0xff0000fdu);
	EXPECT_EQ(c->pu32KeepPalette[255], 2u);
	EXPECT_NE(khost::log().find("Last palette is set, but not update trigger"), std::string::npos);

	// The update carries the palette bits.
	khost::clear_journal();
	ST_DRV_OSD_UPDATE_ENABLE up = { 14, 1, 0, {} };
	std::vector<uint64_t> b000;
	khost::on_write(R(0xb000), [&](phys_addr_t, uint64_t v, uint64_t &stored) {
		b000.push_back(v);
		stored = 0;
	});
	_ker_osd_Update_Enable(N2, &up);
	ASSERT_EQ(b000.size(), 2u);
	EXPECT_EQ(b000[0], 0x2u);		// the plane's bit, then trigger and palette
	EXPECT_EQ(b000[1], 0x140u);
	EXPECT_EQ(gatPaletteMutexUp, 1u);
}

TEST_F(OsdPropTest, PaletteRequestsAreCheckedInOrder)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N1);
	u32 e[4] = {};
	ST_DRV_OSD_PALETTE_DATA pal = { 0, 4, e };
	_ker_osd_Set_PaletteData(N1, &pal);
	EXPECT_EQ(khost::log(), ERR + "Current plane is not palette mode\n");
	c->astRegion[0].enColor = OSD_COLOR_PALETTE8;
	khost::clear_log();
	pal = { 250, 7, e };
	_ker_osd_Set_PaletteData(N1, &pal);
	EXPECT_EQ(khost::log(), ERR + "Invalid Palette StartAddr = 250, Count = 7\n");
	khost::clear_log();
	pal = { 0, 0, e };
	_ker_osd_Get_PaletteData(N1, &pal);
	EXPECT_EQ(khost::log(), ERR + "Invalid Palette StartAddr = 0, Count = 0\n");
	khost::clear_log();
	pal = { 0, 4, nullptr };
	_ker_osd_Set_PaletteData(N1, &pal);
	EXPECT_EQ(khost::log(), ERR + "Palette Data address is NULL\n");
	khost::clear_log();
	pal = { 0, 4, e };
	_ker_osd_Set_PaletteData(N1, &pal);
	EXPECT_EQ(khost::log(), ERR + "Kernel-Driver keeped Palette-Buffer is NULL\n");
	EXPECT_TRUE(khost::journal().empty());

	// A cursor has no palette field to swap.
	khost::clear_log();
	_ker_osd_Set_PaletteAccess(C1);
	EXPECT_EQ(khost::log(), ERR + "Not support for Cursor plane!\n");
	EXPECT_EQ(gau8PalettePending[C1], 0);
}

// ---- vsync interrupt ------------------------------------------------------------

void vsync()
{
	khost::run_in_irq([] { _ker_osd_DpIRQHandler(50, nullptr); });
}

TEST_F(OsdPropTest, InterruptKeepsTheVisibilityIndication)
{
	ST_KER_OSD_PLANE_CTX *c = ctx(N3);
	u8 vis = 9;
	khost::set_reg(R(0x2fc), 0x1234);
	vsync();	// no layer shown
	_ker_osd_Is_Osd_Visible(&vis);
	EXPECT_EQ(vis, 0);
	EXPECT_EQ(khost::reg(R(0x2fc)), 0x1234u);

	khost::set_reg(R(0x004), 1);
	c->bPlaneShow = 1;
	c->bAlphaCal = 1;
	c->astRegion[0].stDispWin.stSrcWin = { 0, 0, 10, 10 };
	khost::set_reg(R(0xbc), 100);	// every pixel transparent
	vsync();
	_ker_osd_Is_Osd_Visible(&vis);
	EXPECT_EQ(vis, 0);
	khost::set_reg(R(0xbc), 99);
	vsync();
	_ker_osd_Is_Osd_Visible(&vis);
	EXPECT_EQ(vis, 1);
	EXPECT_EQ(khost::reg(R(0x2fc)), 0x80001234u);
	EXPECT_EQ(shadow(R(0x2fc)), 0u);	// hardware only

	// An unmuted plane counts as visible whatever its alpha.
	khost::set_reg(R(0xbc), 100);
	c->bAutoMute = 1;
	vsync();
	_ker_osd_Is_Osd_Visible(&vis);
	EXPECT_EQ(vis, 1);
	khost::set_reg(R(0x004), 1 | 1u << 30);	// muted now
	vsync();
	_ker_osd_Is_Osd_Visible(&vis);
	EXPECT_EQ(vis, 0);
	EXPECT_EQ(gatPaletteMutexUp, 0u);
}

int g_apl_calls, g_config_calls, g_ctrl_arg;
uint8_t g_config[36];
int g_apl_cell = -1;

extern "C" int fake_get_apl(u32 id, u8 *buf)
{
	g_apl_calls++;
	if (id == 0 && g_apl_cell >= 0) {
		buf[3 + g_apl_cell] = 0;		// channel 1: red 0
		buf[3 + 640 + g_apl_cell] = 0;		// green 0
		buf[3 + 1280 + g_apl_cell] = 255;	// blue full
	}
	return 0;
}

extern "C" int fake_config(void *cfg)
{
	g_config_calls++;
	memcpy(g_config, cfg, sizeof(g_config));
	return 0;
}

extern "C" int fake_ctrl(u32 on)
{
	g_ctrl_arg = (int)on;
	return 0;
}

TEST_F(OsdPropTest, AutoColourKeyWithoutThePictureModuleStartsRed)
{
	u8 on = 1;
	_ker_osd_Auto_Color_Key_Enable(N1, &on);
	EXPECT_REG(R(0x2004), 1u << 5);	// key 0 of cursor 1
	EXPECT_EQ(gu32AutoColorKey, 1u);
	vsync();
	EXPECT_REG(R(0x2120), 0x1f1f1fu);
	EXPECT_REG(R(0x2124), 0xffff0000u);
	u8 off = 0;
	_ker_osd_Auto_Color_Key_Enable(N1, &off);
	EXPECT_EQ(gu32AutoColorKey, 0u);
	EXPECT_REG(R(0x2004), 0u);
}

TEST_F(OsdPropTest, AutoColourKeyUsesTheGridCellUnderTheCursorCentre)
{
	khost::add_symbol("PLAT_PQ_SHELL_GetAmblAPLValue", (void *)fake_get_apl);
	khost::add_symbol("PLAT_PQ_SHELL_SetAmblAPLConfig", (void *)fake_config);
	khost::add_symbol("PLAT_PQ_SHELL_SetAmblAPLCtrl", (void *)fake_ctrl);
	u8 on = 1;
	_ker_osd_Auto_Color_Key_Enable(N1, &on);
	EXPECT_EQ(g_config_calls, 1);
	uint32_t w0;
	uint16_t cols, rows;
	memcpy(&w0, g_config, 4);
	memcpy(&cols, g_config + 30, 2);
	memcpy(&rows, g_config + 32, 2);
	EXPECT_EQ(w0, 3u);
	EXPECT_EQ(cols, 32);
	EXPECT_EQ(rows, 20);
	EXPECT_EQ(g_ctrl_arg, 1);

	// Cursor window 240..480 x 216..432: centre 360, 324 -> cell 3 * 20 + 3.
	khost::set_reg(R(0x2028), 240u << 16 | 216u);
	khost::set_reg(R(0x2030), 240u << 16 | 216u);
	g_apl_cell = 63;
	vsync();
	EXPECT_EQ(g_apl_calls, 1);
	// Blue picture: the complementary hue (yellow) keys it.
	EXPECT_REG(R(0x2124), 0xffffff00u);
	EXPECT_EQ(khost::symbol_refs("PLAT_PQ_SHELL_GetAmblAPLValue"), 0);
	EXPECT_EQ(khost::symbol_refs("PLAT_PQ_SHELL_SetAmblAPLConfig"), 0);

	// A cursor at the bottom right corner reads the last cell, not past the grid.
	khost::set_reg(R(0x2028), 3800u << 16 | 2150u);
	khost::set_reg(R(0x2030), 400u << 16 | 400u);
	g_apl_cell = 639;
	vsync();
	EXPECT_REG(R(0x2124), 0xffffff00u);
}

TEST_F(OsdPropTest, KeyColourHasHysteresisAndIgnoresGrey)
{
	u32 r, g, b;
	find_color(2000, 2000, 2000, &r, &g, &b);	// grey first: red
	EXPECT_EQ(r, 4095u);
	EXPECT_EQ(g, 0u);
	EXPECT_EQ(b, 0u);
	find_color(4095, 0, 0, &r, &g, &b);	// red picture: cyan key
	EXPECT_EQ(r, 1u);
	EXPECT_EQ(b, 4095u);
	EXPECT_GE(g, 4094u);
	u32 r1 = r, g1 = g, b1 = b;
	find_color(4095, 200, 0, &r, &g, &b);	// hue 2.9 degrees: under the step
	EXPECT_EQ(r, r1);
	EXPECT_EQ(g, g1);
	EXPECT_EQ(b, b1);
	find_color(2100, 2000, 2000, &r, &g, &b);	// pale: the last colour stays
	EXPECT_EQ(r, r1);
	find_color(0, 4095, 0, &r, &g, &b);	// green picture: magenta key
	EXPECT_EQ(g, 1u);
	EXPECT_GE(r, 4094u);
	EXPECT_GE(b, 4094u);
}

} // namespace

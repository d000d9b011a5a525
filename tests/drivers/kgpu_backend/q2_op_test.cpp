// Backend choice of the operation layer and the Q2 programming model.
#include "harness.hpp"

#include <functional>

using namespace kgpu;

namespace {

using Q2 = Backend;

_ST_KER_GPU_FILL_SETTING solid(uint32_t color)
{
	_ST_KER_GPU_FILL_SETTING f{};
	f.Color = color;
	return f;
}

TEST_F(Q2, WithoutNv12AccelerationEverythingRunsOnQ3)
{
	start(2, 0x2);
	KER_GPU_PLANE d = plane(26, 0x10000000, 100, 10, 128);
	auto f = solid(0x1234);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x1234u);	// Q3 keeps the whole colour
	EXPECT_TRUE(all(AGE_UPPER_BOUND) == std::vector<uint32_t>{0xFFFFFFFF});
}

TEST_F(Q2, SolidLumaFillGoesToQ2AndWritesOnlyTheLowByte)
{
	start(3, 0x6);
	KER_GPU_PLANE d = plane(26, 0x10000000, 100, 10, 128);
	auto f = solid(0x1234);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(last(AGE_UPPER_BOUND), 79u);	// ((100 + 63) >> 6) * 10 * 4 - 1
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x34u);
	EXPECT_EQ(last(AGE_SRC_SIZE), 99u | 9u << 16);
	EXPECT_EQ(last(AGE_CTRL), 4u) << "fill start bit through the Q2 trigger";
	EXPECT_EQ(last(AGE_DST_ADDR_HI) & (AGE_FIN_STRICT | AGE_FIN_INT), AGE_FIN_STRICT | AGE_FIN_INT);
}

TEST_F(Q2, GradientAndBlendedFillsStayOnQ3)
{
	start(3, 0x6);
	KER_GPU_PLANE d = plane(26, 0x10000000, 100, 10, 128);
	_ST_KER_GPU_FILL_SETTING g{};
	g.FillMode = KER_GPU_FILL_GRADIENT;
	ASSERT_EQ(KGPU_OP_Fill(&d, &g, nullptr), 0);
	EXPECT_EQ(last(AGE_PATGEN) & 4u, 4u);
	auto f = solid(1);
	_ST_KER_GPU_BLEND_PARAM param{};
	_ST_KER_GPU_BLEND_SETTING b{};
	b.pstGpuBlendParam = &param;
	khost::clear_journal();
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, &b), 0);
	EXPECT_EQ(last(AGE_CTRL), 1u) << "Q3 start bit";
}

TEST_F(Q2, TogglingTheFeatureMaskOffSendsWorkAndTriggersToQ3)
{
	start(3, 0x6);
	KGPU_OP_Toggle_FetureMask(2);
	KER_GPU_PLANE d = plane(26, 0x10000000, 100, 10, 128);
	auto f = solid(0x1234);
	khost::set_reg(kEngine0 + AGE_SRAM, 0x10000);	// as a Q2 run leaves it
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(last(AGE_CTRL), 1u);
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x1234u);
}

TEST_F(Q2, CaseTest)
{
	start(3, 0x6);
	KER_GPU_PLANE y = plane(26, 1, 8, 8, 8), uv = plane(29, 1, 8, 8, 16), yuv = plane(30, 1, 8, 8, 8);
	KER_GPU_PLANE rgb = plane(3, 1, 8, 8, 32), p420 = plane(15, 1, 8, 8, 8);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(nullptr, &y, KGPU_Q2_OP_FILL), 0);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(nullptr, &uv, KGPU_Q2_OP_FILL), -1);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(&uv, &uv, KGPU_Q2_OP_COPY), 0);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(&y, &yuv, KGPU_Q2_OP_COPY), -1);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(&y, &yuv, KGPU_Q2_OP_SCALE), 0);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(&rgb, &y, KGPU_Q2_OP_COPY), -1);
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(&p420, &p420, KGPU_Q2_OP_SCALE), 0);
	p420.SeparateUV = 1;
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Case(&p420, &p420, KGPU_Q2_OP_SCALE), -1);
	_ST_KER_GPU_SCLP_SETTING sc{};
	sc.ScaleHwVersion = 1;
	sc.LowPass_Mode = 3;
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Scaling(&sc), -1);
	sc.ScaleOp_Mode = 1;
	EXPECT_EQ(KGPU_OP_Q2_IMVQ_Accelerate_Scaling(&sc), 0);
}

TEST_F(Q2, CopyFromTwoPlaneToChromaIsRefusedWithoutTouchingTheEngine)
{
	start(3, 0x6);
	KER_GPU_PLANE s = plane(30, 0x10000000, 8, 8, 8), d = plane(29, 0x20000000, 4, 4, 8);
	s.Buf_Address[1] = 0x10001000;
	EXPECT_EQ(KGPU_OP_Copy(&s, &d), -524);
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(count("lock"), 0);
	// Chroma to chroma: UV mode 3 pair.
	KER_GPU_PLANE c = plane(29, 0x30000000, 4, 4, 8, 1, 1);
	ASSERT_EQ(KGPU_OP_Copy(&c, &d), 0);
	EXPECT_EQ(last(AGE_UV_SEP), 1u);
	EXPECT_EQ(last(AGE_BLEND_CTRL), 0u);
	EXPECT_EQ(last(AGE_SRC1_ADDR0), 0x30000000u + 8 + 2);
	EXPECT_EQ(last(AGE_CTRL), 2u);
	// Luma to chroma: accepted by the case test, refused by the copy.
	KER_GPU_PLANE y = plane(26, 0x40000000, 4, 4, 8);
	EXPECT_EQ(KGPU_OP_Copy(&y, &d), -22);
}

TEST_F(Q2, ScaleOfTwoPlaneToChromaRunsTwoPassesUnderOneOwnership)
{
	start(3, 0x6);
	KER_GPU_PLANE s = plane(30, 0x10000000, 16, 16, 16), d = plane(29, 0x20000000, 8, 8, 16);
	s.Buf_Address[1] = 0x10001000;
	ASSERT_EQ(KGPU_OP_Scale_LowPassFilter(&s, &d, nullptr), 0);
	EXPECT_EQ(count("trigger"), 2);
	EXPECT_EQ(count("lock"), 1);
	EXPECT_EQ(count("unlock"), 1);
	EXPECT_EQ(all(AGE_SRC1_ADDR0), (std::vector<uint32_t>{0x10000000, 0x10001000}));
	// A failing first pass stops the operation.
	core.calls.clear();
	core.status_after = AGE_STATUS_ERROR;
	EXPECT_EQ(KGPU_OP_Scale_LowPassFilter(&s, &d, nullptr), -28);
	EXPECT_EQ(count("trigger"), 1);
}

TEST_F(Q2, PlanarScaleRunsTheChromaPassFromAList)
{
	start(3, 0x6);
	KER_GPU_PLANE s = plane(15, 0x10000000, 64, 32, 64), d = plane(15, 0x20000000, 32, 16, 32);
	s.Buf_Address[1] = 0x10010000;
	s.Buf_Stride[1] = 64;
	d.Buf_Address[1] = 0x20010000;
	d.Buf_Address[2] = 0x20020000;
	d.Buf_Stride[1] = d.Buf_Stride[2] = 16;
	d.SeparateUV = 1;
	uint64_t first = 0;
	khost::on_write(kEngine0 + KER_GPU_CPU_REG_OFFSET + CP_PC_SET_BY_ARM,
			[&](phys_addr_t, uint64_t v, uint64_t &) { if (v && !first) first = v; });
	ASSERT_EQ(KGPU_OP_Scale_LowPassFilter(&s, &d, nullptr), 0);
	EXPECT_EQ(lists.closed, 1) << "a blocking run closes its list";
	EXPECT_EQ(last(AGE_FACTOR_H), 0x104211u);	// luma 64 -> 32
	ASSERT_NE(first, 0u);
	auto cmds = decode_list(first);
	auto value_of = [&](uint32_t word) {
		for (auto &c : cmds)
			if (c.word == KGPU_CMD_REG(word))
				return c.value;
		return 0xDEADBEEFu;
	};
	EXPECT_EQ(cmds.front().word, KGPU_CMD_REG(0));
	EXPECT_EQ(cmds.front().value, 2u);
	EXPECT_EQ(value_of(0x21), 0x108889u);	// chroma 32 -> 16
	EXPECT_EQ(value_of(0x54), 0x20020000u);	// second chroma plane through 0x150
	EXPECT_EQ(value_of(0x40), 1u);
	EXPECT_EQ(cmds.back().word, KGPU_CMD_END);
}

// An operation is judged whole before the engine is touched: a refusal
// leaves the engine unowned and every register as it was. Sizes of 0 are
// refused for kernel callers too (the size registers take size - 1).
struct Refused {
	const char *name;
	std::function<int()> run;
};

class Refusal : public Backend, public ::testing::WithParamInterface<Refused> {};

TEST_P(Refusal, WritesNoRegister)
{
	start(3, 0x6);
	EXPECT_EQ(GetParam().run(), -EINVAL);
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(count("lock"), 0);
}

INSTANTIATE_TEST_SUITE_P(Kgpu, Refusal, ::testing::Values(
	Refused{"CopyPastTheDestination", [] {
		KER_GPU_PLANE s = plane(26, 0x10000000, 16, 16, 16), d = plane(26, 0x20000000, 16, 16, 16);
		KER_GPU_REACH r = {{0x20000000}, {0x20000000 + 16 * 16 - 1}};	/* a byte short */
		d.pstReach = &r;
		return KGPU_OP_Copy(&s, &d); }},
	Refused{"ScaleWhoseSecondPassReadsPastTheSource", [] {
		KER_GPU_PLANE s = plane(30, 0x10000000, 16, 16, 16), d = plane(29, 0x20000000, 8, 8, 16);
		s.Buf_Address[1] = 0x10001000;
		s.Buf_Stride[1] = 16;
		KER_GPU_REACH r = {{0x10000000, 0x10001000}, {0x10000100, 0x10001000 + 16 * 16 - 1}};
		s.pstReach = &r;
		return KGPU_OP_Scale_LowPassFilter(&s, &d, nullptr); }},
	Refused{"KernelCopyOfNoWidth", [] {
		KER_GPU_PLANE s = plane(26, 0x10000000, 0, 16, 16), d = plane(26, 0x20000000, 16, 16, 16);
		return KGPU_OP_Copy(&s, &d); }},
	Refused{"KernelFillOfNoWidth", [] {
		KER_GPU_PLANE d = plane(3, 0x20000000, 0, 16, 64);
		auto f = solid(1);
		return KGPU_OP_Fill(&d, &f, nullptr); }}),
	[](const ::testing::TestParamInfo<Refused> &i) { return std::string(i.param.name); });

// Without a pair of the context's, the destination plane's own pair limits
// the engine.
TEST_F(Q2, TheDestinationsOwnSpeedLimitPairWithoutTheContexts)
{
	start(3, 0x6);
	KER_GPU_PLANE d = plane(26, 0x10000000, 100, 10, 128);
	d.SpeedLimit_Num = 3;
	d.SpeedLimit_Den = 10;
	auto f = solid(0x12);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x12u | 0x1000000u | 16u << 25);
	KGPU_OP_Set_Speed_Limit(1, 1);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x12u | 0x1000000u | 2u << 25) << "the context's pair first";
	KGPU_OP_Set_Speed_Limit(0, 0);
}

TEST_F(Q2, SpeedLimitFormulas)
{
	EXPECT_EQ(_KGPU_Q2_SpeedLimit_Set(1, 1, 1, 1), 2);
	EXPECT_EQ(_KGPU_Q2_SpeedLimit_Set(3, 10, 1, 1), 16);
	EXPECT_EQ(_KGPU_Q2_SpeedLimit_Set(1, 1, 0, 1), 80);
	EXPECT_EQ(_KGPU_Q2_SpeedLimit_Set(1, 1, 0, 2), 127);
	EXPECT_EQ(_KGPU_Q2_SpeedLimit_Set(5, 0, 0, 1), 127);
	EXPECT_EQ(_KGPU_Q2_SpeedLimit_Set(0, 5, 1, 1), 127);
	EXPECT_STREQ(_KGPU_Q2_FractionToStr(64, 6), "10.666");
}

} // namespace

// Q3 operations: register programs, results, engine ownership, batch lists.
#include "harness.hpp"

using namespace kgpu;

namespace {

using Q3 = Backend;

_ST_KER_GPU_FILL_SETTING solid(uint32_t color)
{
	_ST_KER_GPU_FILL_SETTING f{};
	f.FillMode = KER_GPU_FILL_SOLID;
	f.Color = color;
	return f;
}

TEST_F(Q3, SolidFillResetsThenWritesTheUnitsInOrderThenStarts)
{
	start(4, 2);
	KER_GPU_PLANE d = plane(3, 0x312345600ULL, 100, 10, 400, 2, 3);
	auto f = solid(0x11223344);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	auto w = writes();
	ASSERT_GE(w.size(), 3u);
	// Q5 resets twice, the start bit comes last.
	EXPECT_EQ(w[0], std::make_pair(0u, AGE_RESET_VALUE));
	EXPECT_EQ(w[1], std::make_pair(0u, AGE_RESET_VALUE));
	EXPECT_EQ(w.back(), std::make_pair(0u, 1u));
	auto pos = [&](uint32_t off) {
		for (size_t i = 0; i < w.size(); i++)
			if (w[i].first == off)
				return int(i);
		return -1;
	};
	EXPECT_EQ(pos(AGE_SRC1_FMT), -1) << "a fill without blend reads nothing";
	EXPECT_LT(pos(AGE_FUNC), pos(AGE_FACTOR_H));
	EXPECT_LT(pos(AGE_FACTOR_H), pos(AGE_PATGEN));
	EXPECT_LT(pos(AGE_PATGEN), pos(AGE_BLEND_CTRL));
	EXPECT_LT(pos(AGE_BLEND_CTRL), pos(AGE_DST_ADDR0));
	EXPECT_LT(pos(AGE_DST_ADDR0), pos(AGE_DST_ADDR_HI));
	EXPECT_EQ(last(AGE_FUNC), 0u);
	EXPECT_EQ(last(AGE_DST_SIZE), 99u | 9u << 16);
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x11223344u);
	EXPECT_EQ(last(AGE_UPPER_BOUND), 0xFFFFFFFFu);
	EXPECT_EQ(last(AGE_PATGEN), 4u);
	EXPECT_EQ(last(AGE_DST_ADDR0), 0x12345600u + 3 * 400 + 2 * 4);
	EXPECT_EQ(last(AGE_DST_ADDR_HI), 3u | AGE_FIN_STRICT | AGE_FIN_INT);
	EXPECT_EQ(last(AGE_BLEND_CTRL), 2u);
	EXPECT_EQ(last(AGE_BLEND_COEF), 1u << 24 | 1u << 8);
	EXPECT_EQ(count("lock"), 1);
	EXPECT_EQ(count("unlock"), 1);
}

TEST_F(Q3, TheRegisterTraceTellsWhereTheWrittenImageLies)
{
	start(3, 2);
	g_GpuOpDbgMask |= BIT(6);
	KER_GPU_PLANE d = plane(3, 0x10000000, 8, 4, 32);
	auto f = solid(0xFF);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_NE(khost::log().find("[REG]dump_image f0.bin phys 0x10000000 128\n"), std::string::npos);
}

TEST_F(Q3, FillWithBlendReadsTheDestinationAndKeepsFieldsInTheirWidths)
{
	start(3, 2);
	KER_GPU_PLANE d = plane(3, 0x10000000, 8, 4, 32);
	auto f = solid(0xFF);
	_ST_KER_GPU_BLEND_PARAM param{};
	param.Param[2] = 0xFF;	// a whole user byte for the demultiply flag
	param.Param[9] = 5;
	_ST_KER_GPU_BLEND_SETTING b{};
	b.pstGpuBlendParam = &param;
	b.ConstColor = 0xA1B2C3D4;
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, &b), 0);
	EXPECT_EQ(last(AGE_FUNC), BIT(19));	// Src1_blend_only
	EXPECT_EQ(last(AGE_SRC1_ADDR0), 0x10000000u);
	EXPECT_EQ(last(AGE_BLEND_COEF), 7u | 5u << 28);	// DivAlpha 7, nothing spilled
	EXPECT_EQ(last(AGE_CONST_COLOR), 0xD4A1B2C3u);	// rotated right by 8
	EXPECT_EQ(last(AGE_BLEND_CTRL) & BIT(13), BIT(13));
	b.pstGpuBlendParam = nullptr;
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, &b), -22);
}

TEST_F(Q3, GradientIncrementsAndChannelOrder)
{
	start(3, 6);
	KER_GPU_PLANE d = plane(26, 0x10000000, 256, 11, 256);
	_ST_KER_GPU_FILL_SETTING f{};
	f.FillMode = KER_GPU_FILL_GRADIENT;
	f.stGradient.Wrap = 2;
	f.stGradient.Width = 256;
	f.stGradient.Height = 11;
	f.stGradient.HDiff[3] = 255;	// slot 0
	f.stGradient.HDiff[0] = -1;	// slot 1
	f.stGradient.VDiff[1] = 100;	// slot 6
	f.stGradient.StartColor[0] = 0x11;
	f.stGradient.StartColor[1] = 0x22;
	f.stGradient.StartColor[2] = 0x33;
	f.stGradient.StartColor[3] = 0x44;
	f.stGradient.Domain = 1;
	f.stGradient.YUV_To_RGB_Mode = 9;	// out of range: limited range
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);	// gradient stays on Q3
	EXPECT_EQ(last(AGE_FILL_COLOR), 0x44112233u);
	EXPECT_EQ(last(AGE_PATGEN), 4u | BIT(1 + 3) | 170u << 12);
	EXPECT_EQ(last(AGE_GRAD_INT_H), 1u);	// 255/255 = 1.0 in slot 0
	EXPECT_EQ(last(AGE_GRAD_INT_V), 10u << 16);	// 100/10 in slot 6
	EXPECT_EQ(last(AGE_GRAD_FRAC0), uint32_t((1u << 16) / 255) << 16);
}

TEST_F(Q3, CopyReadsSourceTwoAndBottomUpFlipsTheWrite)
{
	start(3, 2);
	KER_GPU_PLANE s = plane(3, 0x20000000, 16, 8, 64, 1, 1);
	KER_GPU_PLANE d = plane(3, 0x30000000, 16, 8, 64);
	d.BottomUp = 1;
	ASSERT_EQ(KGPU_OP_Copy(&s, &d), 0);
	EXPECT_EQ(last(AGE_FUNC), BIT(20) | 6u << 16 | BIT(15));
	EXPECT_EQ(last(AGE_SRC2_ADDR0), 0x20000000u + 64 + 4);
	EXPECT_EQ(last(AGE_DST_ADDR0), 0x30000000u + 7 * 64);
	EXPECT_EQ(last(AGE_SRC_SIZE), 15u | 7u << 16);
}

TEST_F(Q3, ScaleLoadsCoefficientsAndProgramsTheSteps)
{
	start(3, 2);
	KER_GPU_PLANE s = plane(3, 0x20000000, 1920, 8, 7680);
	KER_GPU_PLANE d = plane(3, 0x30000000, 960, 8, 3840);
	ASSERT_EQ(KGPU_OP_Scale_LowPassFilter(&s, &d, nullptr), 0);
	EXPECT_EQ(all(AGE_COEF_PORT).size(), 192u);
	EXPECT_EQ(last(AGE_FACTOR_H), 0x100223u);
	EXPECT_EQ(last(AGE_FACTOR_V), KGPU_STEP_ONE);
	EXPECT_EQ(last(AGE_FUNC), BIT(21) | 1u << 12 | 1u << 4);	// Src1, Scaler 1, Tap 1
	d.stBatch.Count = 2;
	EXPECT_EQ(KGPU_OP_Scale_LowPassFilter(&s, &d, nullptr), -38);
}

TEST_F(Q3, FlipRotateSwapsTheTargetAndRefusesLargerSources)
{
	start(3, 2);
	KER_GPU_PLANE s = plane(3, 0x20000000, 100, 200, 400);
	KER_GPU_PLANE d = plane(3, 0x30000000, 200, 100, 800);
	ASSERT_EQ(KGPU_OP_FlipRotate(&s, &d, 1), 0);
	EXPECT_EQ(last(AGE_FUNC), 1u | BIT(21) | 1u << 16);
	EXPECT_EQ(last(AGE_DST_SIZE), 99u | 199u << 16);
	EXPECT_EQ(KGPU_OP_FlipRotate(&s, &d, 0), -33);
	EXPECT_EQ(KGPU_OP_FlipRotate(&s, &d, 8), -22);
	// A smaller source scales with the 40-bit step formula.
	KER_GPU_PLANE small = plane(3, 0x20000000, 100, 100, 400);
	KER_GPU_PLANE big = plane(3, 0x30000000, 200, 100, 800);
	khost::clear_journal();
	ASSERT_EQ(KGPU_OP_FlipRotate(&small, &big, 0), 0);
	EXPECT_EQ(last(AGE_FACTOR_H), 0x3FADBu);
	EXPECT_EQ(last(AGE_END_PHASE_H), 0x318003Du);
	EXPECT_EQ(last(AGE_FUNC) & (3u << 4 | 3u << 12), 1u << 4 | 1u << 12);
}

TEST_F(Q3, BlendScaleNeedsMatchingSecondSourceAndDestination)
{
	start(3, 2);
	KER_GPU_PLANE s1 = plane(3, 0x20000000, 50, 50, 200);
	KER_GPU_PLANE s2 = plane(3, 0x30000000, 100, 100, 400);
	KER_GPU_PLANE d = plane(3, 0x40000000, 100, 90, 400);
	_ST_KER_GPU_BLEND_PARAM param{};
	_ST_KER_GPU_BLEND_SETTING b{};
	b.pstGpuBlendParam = &param;
	EXPECT_EQ(KGPU_OP_BlendScale(&s1, &s2, &d, &b, nullptr), -33);
	EXPECT_EQ(count("lock"), 0);
	d.H = 100;
	ASSERT_EQ(KGPU_OP_BlendScale(&s1, &s2, &d, &b, nullptr), 0);
	EXPECT_EQ(last(AGE_FUNC) & (BIT(20) | BIT(21)), BIT(20) | BIT(21));
	EXPECT_EQ(last(AGE_BLEND_CTRL) >> 24 & 7, 4u);
	EXPECT_EQ(all(AGE_COEF_PORT).size(), 192u);
}

// A first source of the destination's size with a flip code is read turned
// or mirrored onto it.
TEST_F(Q3, BlendScaleReadsTheFirstSourceByItsFlipCode)
{
	start(3, 2);
	KER_GPU_PLANE s1 = plane(3, 0x20000000, 100, 100, 400);
	KER_GPU_PLANE s2 = plane(3, 0x30000000, 100, 100, 400);
	KER_GPU_PLANE d = plane(3, 0x40000000, 100, 100, 400);
	_ST_KER_GPU_BLEND_PARAM param{};
	_ST_KER_GPU_BLEND_SETTING b{};
	b.pstGpuBlendParam = &param;
	s1.FlipCode = 2;
	ASSERT_EQ(KGPU_OP_BlendScale(&s1, &s2, &d, &b, nullptr), 0);
	uint32_t fn = last(AGE_FUNC);
	EXPECT_EQ(fn & 3, 1u) << "AccessMode";
	EXPECT_EQ(fn >> 16 & 7, 2u) << "FRE";
	EXPECT_EQ(fn & (BIT(19) | BIT(20) | BIT(21)), BIT(20) | BIT(21));
	EXPECT_EQ(last(AGE_SRC1_ALPHA) & BIT(15), BIT(15)) << "Alpha0Fix0";
	s1.FlipCode = 8;
	EXPECT_EQ(KGPU_OP_BlendScale(&s1, &s2, &d, &b, nullptr), -22);
}

TEST_F(Q3, ResultsFromTriggerAndStatus)
{
	start(2, 2);
	KER_GPU_PLANE d = plane(3, 0x10000000, 8, 8, 32);
	auto f = solid(0);
	core.trigger_result = -16;
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), -16);
	core.trigger_result = 0;
	core.status_after = AGE_STATUS_BUSY;
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), -26);
	core.status_after = AGE_STATUS_ERROR;
	khost::clear_journal();
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), -28);
	EXPECT_EQ(all(AGE_CTRL).back(), AGE_RESET_VALUE) << "version 2 resets after an error";
	core.status_after = 0;
	core.lock_result = -4;
	khost::clear_journal();
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), -4);
	EXPECT_TRUE(writes().empty());
	core.lock_result = 0;
	g_Kgpu_Q3_Ctrl_Ctx.Disabled = 7;
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 7);
	g_Kgpu_Q3_Ctrl_Ctx.Disabled = 0;
	EXPECT_EQ(count("lock"), count("unlock") + 1);	// the refused lock
}

TEST_F(Q3, MissingRegisterBlockAndArguments)
{
	start(3, 2);
	KER_GPU_PLANE d = plane(3, 0x10000000, 8, 8, 32);
	auto f = solid(0);
	EXPECT_EQ(KGPU_OP_Fill(nullptr, &f, nullptr), -22);
	EXPECT_EQ(KGPU_OP_Fill(&d, nullptr, nullptr), -22);
	EXPECT_EQ(KGPU_OP_Copy(&d, nullptr), -22);
	void __iomem *saved = hw_[0].Gpu_RegReMap;
	hw_[0].Gpu_RegReMap = nullptr;
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), -1);
	hw_[0].Gpu_RegReMap = saved;
	EXPECT_EQ(count("lock"), 0);
}

TEST_F(Q3, NonBlockingLeavesOwnershipToTheInterrupt)
{
	start(3, 2);
	static int done;
	done = 0;
	ST_KER_GPU_OP_OPTION opt{};
	opt.NonBlock = 1;
	opt.pfnDone = [](void *a) { *static_cast<int *>(a) += 1; };
	opt.pDoneArg = &done;
	KER_GPU_PLANE d = plane(3, 0x10000000, 8, 8, 32);
	d.pstOption = &opt;
	auto f = solid(0);
	core.status_after = AGE_STATUS_ERROR;	// reported later, not now
	EXPECT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(count("unlock"), 0);
	ASSERT_EQ(core.calls.back().mode, 1u);
	EXPECT_EQ(core.calls.back().cb1, opt.pfnDone);
}

TEST_F(Q3, EngineChoiceHonoursRequestAndIssueWithinTheEngineCount)
{
	start(3, 2, KER_GPU_HW_ISSUE_AGE_1);	// one engine: issue cannot force engine 1
	KER_GPU_PLANE d = plane(3, 0x10000000, 8, 8, 32);
	auto f = solid(0);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(core.calls.front().engine, 0);
	start(4, 6, KER_GPU_HW_ISSUE_AGE_1 | KER_GPU_HW_ISSUE_POWER);
	ASSERT_EQ(KGPU_OP_Fill(&d, &f, nullptr), 0);
	EXPECT_EQ(core.calls.back().engine, 1);
	EXPECT_EQ(last(AGE_DST_ADDR_HI, kEngine1) & AGE_POWER_WA1, AGE_POWER_WA1);
}

TEST_F(Q3, CommandModeRunsAListOnEngineZero)
{
	start(3, 2);
	EXPECT_EQ(KGPU_OP_CmdMode(0), -22);
	ASSERT_EQ(KGPU_OP_CmdMode(0x1000), 0);
	auto cp = writes(kEngine0 + KER_GPU_CPU_REG_OFFSET);
	std::vector<uint32_t> setting;
	for (auto &w : cp)
		if (w.first == CP_PC_SETTING)
			setting.push_back(w.second);
	EXPECT_EQ(setting, (std::vector<uint32_t>{CP_PC_MODE, CP_PC_GO}));
	EXPECT_TRUE(all(AGE_CTRL).back() == AGE_RESET_VALUE) << "no register-mode start";
	core.cpu_status_after = BIT(1);	// the command processor stopped on an error
	EXPECT_EQ(KGPU_OP_CmdMode(0x1000), -28);
}

// Batch copy of n rectangles: one list, each entry sizes, addresses, start, wait.
struct Batch {
	std::vector<uint16_t> e;	// w, h, sx, sy, dx, dy
	void set(KER_GPU_PLANE &s, KER_GPU_PLANE &d, size_t n)
	{
		auto desc = [&](KER_GPU_PLANE &p, int xi) {
			p.stBatch.Count = n;
			p.stBatch.Stride = 12;
			p.stBatch.pW = &e[0];
			p.stBatch.pH = &e[1];
			p.stBatch.pX = reinterpret_cast<s16 *>(&e[xi]);
			p.stBatch.pY = reinterpret_cast<s16 *>(&e[xi + 1]);
		};
		desc(s, 2);
		desc(d, 4);
	}
};

TEST_F(Q3, BatchCopyBuildsAChainedListAndClosesIt)
{
	start(3, 2);
	const size_t n = 100;	// 48 bytes an entry: crosses a page
	Batch b;
	for (size_t i = 0; i < n; i++)
		b.e.insert(b.e.end(), {4, 2, uint16_t(i), 1, 0, uint16_t(i)});
	KER_GPU_PLANE s = plane(3, 0x20000000, 16, 16, 1024), d = plane(3, 0x30000000, 16, 16, 64);
	b.set(s, d, n);
	uint64_t first = 0;
	khost::on_write(kEngine0 + KER_GPU_CPU_REG_OFFSET + CP_PC_SET_BY_ARM,
			[&](phys_addr_t, uint64_t v, uint64_t &) { if (v && !first) first = v; });
	ASSERT_EQ(KGPU_OP_Copy(&s, &d), 0);
	EXPECT_EQ(lists.pages, 2);
	EXPECT_EQ(lists.closed, 1);
	EXPECT_EQ(core.calls[1].mode, 0u) << "a list runs blocking";
	EXPECT_EQ(last(AGE_DST_ADDR_HI) & AGE_FIN_INT, 0u);
	ASSERT_NE(first, 0u);
	auto cmds = decode_list(first);
	// Per entry: 2 sizes, 2 addresses, start, wait; one jump; the end.
	ASSERT_EQ(cmds.size(), n * 6 + 2);
	EXPECT_EQ(cmds[0].word, KGPU_CMD_REG(0x29));
	EXPECT_EQ(cmds[0].value, 3u | 1u << 16);
	EXPECT_EQ(cmds[2].word, KGPU_CMD_REG(0x11));
	EXPECT_EQ(cmds[6 * 7 + 2].value, 0x20000000u + 1024 + 7 * 4);	// entry 7 source
	EXPECT_EQ(cmds[6 * 7 + 3].value, 0x30000000u + 7 * 64);
	EXPECT_EQ(cmds[4].word, KGPU_CMD_REG(0));
	EXPECT_EQ(cmds[5].word, KGPU_CMD_WAIT);
	EXPECT_EQ(cmds[5].value, 512u);
	int jumps = 0;
	for (auto &c : cmds)
		jumps += c.word == KGPU_CMD_JUMP;
	EXPECT_EQ(jumps, 1);
	EXPECT_EQ(cmds.back().word, KGPU_CMD_END);
}

TEST_F(Q3, BatchEntriesAreCheckedAndPageShortageReported)
{
	start(3, 2);
	Batch b;
	b.e = {0, 2, 0, 0, 0, 0};	// width 0
	KER_GPU_PLANE s = plane(3, 0x20000000, 16, 16, 64), d = plane(3, 0x30000000, 16, 16, 64);
	b.set(s, d, 1);
	EXPECT_EQ(KGPU_OP_Copy(&s, &d), -22);
	b.e = {4, 2, 0xFFFF, 0, 0, 0};	// x = -1
	EXPECT_EQ(KGPU_OP_Copy(&s, &d), -22);
	b.e = {4, 2, 0, 0, 0, 0};
	lists.fail_new_after = 0;
	EXPECT_EQ(KGPU_OP_Copy(&s, &d), -12);
	lists.fail_new_after = -1;
	core.lock_result = -1;	// suspended: the built list is not leaked
	EXPECT_EQ(KGPU_OP_Copy(&s, &d), -1);
	EXPECT_EQ(count("unlock"), 0);
}

} // namespace

// Plane conversion, colour matrices, scale steps and coefficient sets.
#include "harness.hpp"

#include <array>
#include <numeric>

using namespace kgpu;

namespace {

using Units = Backend;

std::array<uint32_t, 5> matrix_words(int which)
{
	static const uint32_t base[3] = {AGE_SRC1_MATRIX, AGE_SRC2_MATRIX, AGE_DST_MATRIX};
	std::array<uint32_t, 5> w{};
	for (int i = 0; i < 5; i++)
		w[i] = khost::reg(kEngine0 + base[which] + 4 * i);
	return w;
}

TEST_F(Units, MatricesPackSignsAndHalvedOffsets)
{
	start(3, 2);
	_GPU_Q3_Matrix_SetReg(&hw_[0], YUV_to_RGB_601_LR_Matrix, 0);
	EXPECT_EQ(matrix_words(0), (std::array<uint32_t, 5>{0x1990012A, 0x0D01912A, 0x0008152A,
							    0x6F501430, 0x8A5043F0}));
	_GPU_Q3_Matrix_SetReg(&hw_[0], RGB_to_YUV_601_FR_Matrix, 1);
	EXPECT_EQ(matrix_words(1), (std::array<uint32_t, 5>{0x01D2584D, 0x0801542B, 0x0151AC80,
							    0x00000198, 0x40004000}));
}

TEST_F(Units, AddressesUpTo64GiBAreSplitAndBeyondRefused)
{
	ST_KGPU_Q3_SRC s;
	KER_GPU_PLANE p = plane(3, (1ULL << 36) - 4, 1, 1, 4);
	ASSERT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&p, 0, 0, &s), 0);
	EXPECT_EQ(s.Addr[0], 0xFFFFFFFCu);
	EXPECT_EQ(s.AddrHi[0], 0xF);
	// The base is fine but the rectangle's first pixel lies past 64 GiB.
	EXPECT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&p, 1, 0, &s), -33);
	p.Buf_Address[0] = 1ULL << 36;
	EXPECT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&p, 0, 0, &s), -33);
	p.Buf_Address[0] = 1ULL << 40;	// bits above 39 do not slip through
	EXPECT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&p, 0, 0, &s), -33);
}

TEST_F(Units, ConversionRefusesUnsafeRectangles)
{
	ST_KGPU_Q3_SRC s;
	ST_KGPU_Q3_DST d;
	KER_GPU_PLANE p = plane(3, 0x10000000, 16, 16, 64, -1, 0);
	EXPECT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&p, -1, 0, &s), -33);
	EXPECT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&p, 0, -4, &d), -33);
	p.W = 32768;
	EXPECT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&p, 0, 0, &d), -33);
	// A written two-plane format without its second plane would hit address 0.
	KER_GPU_PLANE nv = plane(30, 0x10000000, 16, 16, 16);
	EXPECT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&nv, 0, 0, &d), -33);
	nv.Buf_Address[1] = 0x10010000;
	nv.Buf_Stride[1] = 16;
	EXPECT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&nv, 0, 0, &d), 0);
}

TEST_F(Units, PaletteWithoutTableReadsAsPlainBytesAndKeyMovesToChannel2)
{
	ST_KGPU_Q3_SRC s;
	KER_GPU_PLANE pal = plane(2, 0x20000000, 8, 8, 8, 3, 2);
	ASSERT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&pal, 3, 2, &s), 0);
	EXPECT_EQ(s.PaletteEn, 0);
	EXPECT_EQ(s.PixBits[0], 8);
	EXPECT_EQ(s.Addr[0], 0x20000000u + 2 * 8 + 3);

	ST_KGPU_Q3_DST d;
	KER_GPU_PLANE k = plane(3, 0x30000000, 8, 8, 32, 1, 1);
	k.ColorKey_Enable = 1;
	k.ColorKey_Width = 2;
	k.ColorKey = 0x00123456;
	ASSERT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&k, 1, 1, &d), 0);
	EXPECT_EQ(d.ChEn, 4);
	EXPECT_EQ(d.Addr[0], 0u);
	EXPECT_EQ(d.Addr[2], 0x30000000u + 32 + 4);
	EXPECT_EQ(d.ColorKeyMode, 3);
	EXPECT_EQ(d.ColorKeyMask, 0xFFFFFFu);
}

TEST_F(Units, BottomUpChromaStaysInsideItsPlane)
{
	ST_KGPU_Q3_DST d;
	// 4:2:0 two-plane (format 15): the chroma plane has half the rows.
	KER_GPU_PLANE p = plane(15, 0x40000000, 16, 8, 16);
	p.Buf_Address[1] = 0x40001000;
	p.Buf_Stride[1] = 16;
	p.BottomUp = 1;
	p.ClipOn = 0;
	ASSERT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&p, 0, 0, &d), 0);
	EXPECT_EQ(d.Addr[0], 0x40000000u + 7 * 16);
	EXPECT_EQ(d.Addr[1], 0x40001000u + 3 * 16);	// last chroma row, not row 7
}

TEST_F(Units, EqualYuvStandardsCancelAndDifferentOnesKeepTheirMatrices)
{
	ST_KGPU_Q3_SRC s;
	ST_KGPU_Q3_DST d;
	KER_GPU_PLANE a = plane(14, 0x1000, 4, 4, 12), b = plane(14, 0x2000, 4, 4, 12);
	a.YUV_To_RGB_Mode = b.YUV_To_RGB_Mode = 1;
	ASSERT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&a, 0, 0, &s), 0);
	ASSERT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&b, 0, 0, &d), 0);
	_GPU_Matrix_Simplification(&s, &d);
	EXPECT_EQ(0, memcmp(s.Matrix, IdentityMatrix, sizeof(KGPU_MATRIX)));
	EXPECT_EQ(0, memcmp(d.Matrix, IdentityMatrix, sizeof(KGPU_MATRIX)));

	a.YUV_To_RGB_Mode = 0;
	a.CustomFormatTransform = 0;
	ASSERT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&a, 0, 0, &s), 0);
	ASSERT_EQ(_GPU_Q3_Plane_to_HwWriteSetting(&b, 0, 0, &d), 0);
	_GPU_Matrix_Simplification(&s, &d);
	EXPECT_EQ(s.MatrixId, 1);
	EXPECT_EQ(d.MatrixId, 2);
	EXPECT_NE(0, memcmp(d.Matrix, IdentityMatrix, sizeof(KGPU_MATRIX)));
	// Out-of-range standards count as limited range instead of indexing past the table.
	a.YUV_To_RGB_Mode = 200;
	ASSERT_EQ(_GPU_Q3_Plane_to_HwReadSetting(&a, 0, 0, &s), 0);
	EXPECT_EQ(s.MatrixId, 1);
}

// ---- scale steps and phases ----

ST_KGPU_SCALING_CTX scale(uint16_t sw, uint16_t sh, uint16_t dw, uint16_t dh,
			  const _ST_KER_GPU_SCLP_SETTING *sc = nullptr, int *ret = nullptr)
{
	KER_GPU_PLANE s = plane(3, 0x1000, sw, sh, 4 * sw), d = plane(3, 0x9000, dw, dh, 4 * dw);
	ST_KGPU_SCALING_CTX c;
	int r = _KGPU_Q3_Scaling_Setting(&s, &d, sc, &c);
	if (ret)
		*ret = r;
	else
		EXPECT_EQ(r, 0);
	return c;
}

TEST_F(Units, StepsAreThirteenNineteenFixedPointWithFortyBitCarry)
{
	EXPECT_EQ(scale(1920, 8, 960, 8).StepH, 0x100223u);
	auto up = scale(960, 8, 1920, 8);
	EXPECT_EQ(up.StepH, 0x3FF78u);
	EXPECT_EQ(up.EndPhaseH, 0x1DF80488u);
	auto big = scale(16384, 4, 2, 4);
	EXPECT_EQ(big.HiFactorH, 1);
	EXPECT_EQ(big.StepH, 0xFFF80001u);
	auto wide = scale(16384, 4, 4096, 4);
	EXPECT_EQ(wide.StepH, 0x200181u);
	EXPECT_EQ(wide.EndHiH, 1);
	EXPECT_EQ(wide.EndPhaseH, 0xFFF80E7Fu);
	auto same = scale(64, 64, 64, 64);
	EXPECT_EQ(same.Scaling, 0);
	EXPECT_EQ(same.StepH, KGPU_STEP_ONE);
}

TEST_F(Units, OnePixelDestinationsAndZeroSizes)
{
	auto col = scale(100, 100, 1, 50);
	EXPECT_EQ(col.StepH, 1u);
	EXPECT_EQ(col.EndPhaseH, col.StartPhaseH);
	auto row = scale(100, 100, 50, 1);
	EXPECT_EQ(row.StepV, 1u);
	EXPECT_EQ(row.EndPhaseV, row.StartPhaseV + 1);
	int r;
	scale(0, 10, 10, 10, nullptr, &r);
	EXPECT_EQ(r, -33);
	scale(10, 10, 10, 0, nullptr, &r);	// no division by the zero size
	EXPECT_EQ(r, -33);
}

TEST_F(Units, ModeChoiceAndLowPassBound)
{
	_ST_KER_GPU_SCLP_SETTING sc{};
	sc.ScaleHwVersion = 1;
	sc.ScaleOp_Mode = 2;
	sc.LowPass_Mode = 10;
	auto c = scale(100, 100, 50, 50, &sc);
	EXPECT_EQ(c.Scaling_Mode, 2);
	EXPECT_EQ(c.LowPass_Mode, 10);
	int r;
	sc.LowPass_Mode = 11;
	scale(100, 100, 50, 50, &sc, &r);
	EXPECT_EQ(r, -33);
	sc = {};
	sc.ScaleOp_Mode = 9;	// 7-15: one tap, no low-pass
	c = scale(100, 100, 50, 50, &sc);
	EXPECT_EQ(c.Scaling_Mode, 0);
	EXPECT_EQ(c.LowPass_Mode, 0);
	c = scale(100, 100, 100, 50);	// widths equal: vertical-only set
	EXPECT_EQ(c.Scaling_Mode, 32);
	khost::set_param("vyr_gfx", "g_GpuOpForceScaleTap", "4");
	EXPECT_EQ(scale(100, 100, 50, 50).Scaling_Mode, 2);
}

TEST_F(Units, PartialScalingCropsAndRefusesAnEmptyWindow)
{
	_ST_KER_GPU_SCLP_SETTING sc{};
	sc.Partial_Marker = KER_GPU_PARTIAL_SCALING_MARKER;
	sc.X1 = 10;
	sc.X2 = 89;
	sc.Y1 = 0;
	sc.Y2 = 99;
	auto c = scale(200, 200, 100, 100, &sc);
	EXPECT_EQ(c.DstX, 10);
	EXPECT_EQ(c.DstW, 80);
	EXPECT_EQ(c.SrcX, int((uint64_t(c.StepH) * 10) >> 19));
	EXPECT_EQ(c.StartPhaseH, (c.StepH * 10) & 0x7FFFFu);
	EXPECT_EQ(c.TapL, 3);
	EXPECT_EQ(c.TapR, 4);

	sc.X1 = 150;	// the window misses the destination altogether
	sc.X2 = 160;
	int r;
	scale(200, 200, 100, 100, &sc, &r);
	EXPECT_EQ(r, -33);

	sc.Partial_Marker = 1;	// not the marker: rectangles untouched
	c = scale(200, 200, 100, 100, &sc);
	EXPECT_EQ(c.DstW, 100);
	EXPECT_EQ(c.SrcW, 200);
}

// ---- coefficients ----

TEST_F(Units, GeneratedSetsMatchHandDerivedWords)
{
	uint32_t h[KGPU_COEF_H_WORDS], v[KGPU_COEF_V_WORDS];
	ASSERT_EQ(_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(&linear_coeff[0][0], 2, 0, h), 128);
	ASSERT_EQ(_GPU_Q3_Scaler_V_with_Lpf_Coef_Set(&linear_coeff[0][0], 2, 0, v), 64);
	EXPECT_EQ((std::vector<uint32_t>(h + 64, h + 68)),
		  (std::vector<uint32_t>{0x10000000, 0x10020000, 0x10000080, 0x10000000}));
	EXPECT_EQ((std::vector<uint32_t>(v + 32, v + 34)), (std::vector<uint32_t>{0x20020000, 0x20000080}));
	_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(&cubic_coeff[0][0], 4, 8, h);
	_GPU_Q3_Scaler_V_with_Lpf_Coef_Set(&cubic_coeff[0][0], 4, 8, v);
	EXPECT_EQ((std::vector<uint32_t>(h + 64, h + 68)),
		  (std::vector<uint32_t>{0x10081000, 0x1001A01C, 0x10007068, 0x10000204}));
	EXPECT_EQ((std::vector<uint32_t>(v + 32, v + 34)), (std::vector<uint32_t>{0x2001A018, 0x20006068}));
	EXPECT_EQ(ScaleCoef_H8V4[64], 0x10003202u);
}

int32_t tap(uint32_t word, int which)
{
	uint32_t m = (word >> (which ? 10 : 0)) & 0x1FF;
	bool neg = word & (which ? BIT(19) : BIT(9));
	return neg ? -int32_t(m) : int32_t(m);
}

TEST_F(Units, EveryPhaseOfEverySetSumsTo256)
{
	uint32_t h[KGPU_COEF_H_WORDS], v[KGPU_COEF_V_WORDS];
	for (int lpf = 0; lpf <= 10; lpf++) {
		for (auto base : {&linear_coeff[0][0], &cubic_coeff[0][0]}) {
			int taps = base == &linear_coeff[0][0] ? 2 : 4;
			_GPU_Q3_Scaler_H_with_Lpf_Coef_Set(base, taps, lpf, h);
			_GPU_Q3_Scaler_V_with_Lpf_Coef_Set(base, taps, lpf, v);
			for (int ph = 0; ph < 32; ph++) {
				int32_t sh = 0, sv = 0;
				for (int i = 0; i < 4; i++)
					sh += tap(h[ph * 4 + i], 0) + tap(h[ph * 4 + i], 1);
				for (int i = 0; i < 2; i++)
					sv += tap(v[ph * 2 + i], 0) + tap(v[ph * 2 + i], 1);
				EXPECT_EQ(sh, 256) << "H lpf " << lpf << " phase " << ph;
				EXPECT_EQ(sv, 256) << "V lpf " << lpf << " phase " << ph;
			}
		}
	}
	for (const uint32_t *set : {ScaleCoef_H8V1, ScaleCoef_H8V2, ScaleCoef_H8V4}) {
		for (int ph = 0; ph < 32; ph++) {
			int32_t sh = 0;
			for (int i = 0; i < 4; i++)
				sh += tap(set[ph * 4 + i], 0) + tap(set[ph * 4 + i], 1);
			EXPECT_EQ(sh, 256);
		}
	}
}

TEST_F(Units, CoefficientPortStreamPerScalerMode)
{
	start(3, 2);
	struct Case {
		uint8_t mode, lpf, tap;
		size_t words;
		uint32_t first;
	} cases[] = {
		{0, 0, 0, 1, KGPU_COEF_ONE_TAP}, {0, 3, 2, 1, KGPU_COEF_ONE_TAP},
		{1, 0, 1, 192, 0x10000000}, {2, 4, 3, 192, 0}, {3, 0, 3, 192, ScaleCoef_H8V4[0]},
		{32, 0, 0, 129, KGPU_COEF_H_ONLY}, {64, 0, 0, 129, KGPU_COEF_H_ONLY},
		{129, 0, 0, 192, ScaleCoef_H8V2[0]}, {7, 0, 9, 1, KGPU_COEF_ONE_TAP},
	};
	for (auto &c : cases) {
		khost::clear_journal();
		ST_KGPU_Q3_FUNC f{};
		f.Scaler = c.mode;
		f.LowPass = c.lpf;
		f.Tap = 9;
		_KGPU_Q3_Scaling_Coef(0, &hw_[0], &f);
		auto w = all(AGE_COEF_PORT);
		EXPECT_EQ(w.size(), c.words) << "mode " << int(c.mode);
		EXPECT_EQ(f.Tap, c.tap) << "mode " << int(c.mode);
		if (c.first && !w.empty()) {
			EXPECT_EQ(w[0], c.first) << "mode " << int(c.mode);
		}
	}
}

} // namespace

// Drawing primitives on a memory backend: clipping to the surface, blending arithmetic,
// blits, text with the built-in and a loaded font, and no display at all.
#include "graphics.h"
#include "resources.h"
#include "ui_testutil.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class GraphicsTest : public ::testing::Test {
protected:
	void Start(const char *images = "/nonexistent")
	{
		res_test_set_dir(images);
		gr_test_setup("/nonexistent/tty", &backend_.ops);
		ASSERT_EQ(gr_start(), 0);
	}
	void TearDown() override
	{
		gr_test_setup(nullptr, nullptr);
		res_test_set_dir(nullptr);
	}
	// Pixel of the current draw surface.
	const uint8_t *At(int x, int y) { return backend_.surfaces[backend_.current].data + (y * 40 + x) * 4; }
	std::vector<uint8_t> Px(int x, int y) { return {At(x, y), At(x, y) + 4}; }
	int Inked(int x0, int y0, int w, int h)
	{
		int n = 0;
		for (int y = y0; y < y0 + h; ++y)
			for (int x = x0; x < x0 + w; ++x)
				n += At(x, y)[3] != 0;
		return n;
	}
	uitest::MemBackend backend_{40, 30};
};

TEST_F(GraphicsTest, StartPresentsTwiceAndReportsTheFallbackFont)
{
	testsupport::StdoutCapture out;
	Start();
	EXPECT_NE(out.take().find("failed to read font: res=-1\n"), std::string::npos);
	EXPECT_EQ(backend_.starts, 1);
	EXPECT_EQ(backend_.presents, 2);
	EXPECT_EQ(gr_screen_width(), 40);
	EXPECT_EQ(gr_screen_height(), 30);
	int w, h;
	gr_glyph_size(&w, &h);
	EXPECT_EQ(w, 10);
	EXPECT_EQ(h, 18);
	EXPECT_EQ(gr_text_width("abc"), 30);
}

TEST_F(GraphicsTest, FillsAreClippedToTheSurfaceAndBlendedExactly)
{
	Start();
	gr_set_color(10, 20, 30, 255);
	gr_fill_rect(30, 0, 40, 2); // right edge one past the last column
	EXPECT_EQ(Px(40 - 1, 1), (std::vector<uint8_t>{30, 20, 10, 255}));
	gr_set_color(99, 99, 99, 255);
	gr_fill_rect(30, 2, 41, 4); // one more: the part inside is drawn
	EXPECT_EQ(Px(30, 2)[0], 99);
	EXPECT_EQ(Px(39, 3)[0], 99);
	gr_fill_rect(-1, 5, 3, 6); // left of the screen: columns 0..2
	EXPECT_EQ(Px(2, 5)[0], 99);
	EXPECT_EQ(Px(3, 5)[0], 0);
	gr_fill_rect(-100, 28, 100, 100); // over every edge but the top
	EXPECT_EQ(Inked(0, 28, 40, 2), 80);
	gr_fill_rect(40, 0, 50, 5); // wholly outside: nothing
	gr_fill_rect(0, -5, 5, 0);
	EXPECT_EQ(Inked(0, 0, 30, 2), 0);

	gr_set_color(200, 100, 0, 100);
	gr_fill_rect(0, 10, 1, 11); // over black, alpha 0
	EXPECT_EQ(Px(0, 10), (std::vector<uint8_t>{0, 100 * 100 / 255, 200 * 100 / 255, 100 * 100 / 255}));
	gr_set_color(255, 255, 255, 0);
	gr_fill_rect(0, 10, 1, 11);
	EXPECT_EQ(Px(0, 10)[2], 200 * 100 / 255);
}

TEST_F(GraphicsTest, WipeClearsEveryByte)
{
	Start();
	gr_set_color(1, 2, 3, 4);
	gr_wipe();
	EXPECT_EQ(Px(39, 29), (std::vector<uint8_t>{3, 2, 1, 4}));
	gr_set_color(0, 0, 0, 255);
	gr_wipe();
	EXPECT_EQ(Px(5, 5), (std::vector<uint8_t>{0, 0, 0, 0})); // alpha too
}

TEST_F(GraphicsTest, BlitsCopyOpaqueWithRedAndBlueExchanged)
{
	Start();
	uint8_t pixels[2 * 2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
	gr_surface src = {2, 2, 8, 4, pixels};
	gr_blit(&src, 1, 0, 1, 2, 5, 6);
	EXPECT_EQ(Px(5, 6), (std::vector<uint8_t>{7, 6, 5, 8}));
	EXPECT_EQ(Px(5, 7), (std::vector<uint8_t>{15, 14, 13, 16}));
	EXPECT_EQ(Px(6, 6)[3], 0);

	gr_blit(&src, 0, 0, 3, 2, 10, 10); // wider than the source: what it has
	EXPECT_EQ(Px(11, 10), (std::vector<uint8_t>{7, 6, 5, 8}));
	EXPECT_EQ(Px(12, 10)[3], 0);
	gr_blit(&src, 0, 0, 2, 2, 39, 0); // half off the right edge
	EXPECT_EQ(Px(39, 1), (std::vector<uint8_t>{11, 10, 9, 12}));
	gr_blit(&src, 0, 0, 2, 2, -1, -1); // off the top left: the last pixel
	EXPECT_EQ(Px(0, 0), (std::vector<uint8_t>{15, 14, 13, 16}));
	EXPECT_EQ(Px(1, 0)[3], 0);
	gr_blit(nullptr, 0, 0, 1, 1, 0, 0);

	uint8_t one = 255;
	gr_surface map = {1, 1, 1, 1, &one};
	testsupport::StdoutCapture out;
	gr_blit(&map, 0, 0, 1, 1, 0, 0);
	gr_texticon(0, 0, &src);
	EXPECT_EQ(out.take(), "gr_blit: source has wrong format\ngr_texticon: source has wrong format\n");
}

TEST_F(GraphicsTest, AlphaMapsTintWithTheCurrentColour)
{
	Start();
	uint8_t map_px[3] = {255, 128, 0};
	gr_surface map = {3, 1, 3, 1, map_px};
	gr_set_color(255, 0, 0, 255);
	gr_texticon(2, 2, &map);
	EXPECT_EQ(Px(2, 2), (std::vector<uint8_t>{0, 0, 255, 255}));
	EXPECT_EQ(Px(3, 2), (std::vector<uint8_t>{0, 0, 255 * 128 / 255, 128})); // coverage 128
	EXPECT_EQ(Px(4, 2), (std::vector<uint8_t>{0, 0, 0, 0}));                // untouched

	gr_set_color(0, 255, 0, 128); // coverage = map x colour alpha
	gr_texticon(2, 3, &map);
	EXPECT_EQ(Px(2, 3), (std::vector<uint8_t>{0, 128, 0, 128}));
	EXPECT_EQ(Px(3, 3)[3], 128 * 128 / 255);
}

TEST_F(GraphicsTest, BuiltInFontDrawsGlyphsAndSkipsCodesAboveTheTable)
{
	Start();
	gr_set_color(255, 255, 255, 255);
	gr_draw_text(0, 0, "\xc3" "0", false);
	EXPECT_EQ(Inked(0, 0, 10, 18), 0);   // code above 0x7F: advance only
	EXPECT_GT(Inked(10, 0, 10, 18), 20); // then the '0'
	int regular = Inked(10, 0, 10, 18);
	gr_set_color(0, 0, 0, 255);
	gr_wipe();
	gr_set_color(255, 255, 255, 255);
	gr_draw_text(10, 0, "0", true); // one glyph row only: bold is regular
	EXPECT_EQ(Inked(10, 0, 10, 18), regular);

	gr_wipe();
	gr_set_color(0, 0, 0, 255);
	gr_wipe();
	gr_set_color(255, 255, 255, 255);
	gr_draw_text(25, 0, "AB", false); // the second glyph is cut at the edge
	EXPECT_GT(Inked(25, 0, 10, 18), 0);
	EXPECT_GT(Inked(35, 0, 5, 18), 0);
	gr_set_color(0, 0, 0, 255);
	gr_wipe();
	gr_set_color(255, 255, 255, 255);
	gr_draw_text(-5, 20, "AB", false); // and the first at the left edge
	EXPECT_GT(Inked(0, 20, 5, 10), 0);

	// Every printable character has ink in the decoded built-in font.
	const gr_builtin_font &f = gr_builtin_font_data;
	size_t pixels = 0;
	for (uint32_t i = 0; i < f.run_count && f.runs[i]; ++i)
		pixels += f.runs[i] & 0x7f;
	EXPECT_EQ(pixels, size_t(f.width) * f.height);
}

TEST_F(GraphicsTest, LoadedFontGivesGlyphSizeAndABoldRow)
{
	const std::string dir = uitest::scratch_dir("font");
	png_out font = uitest::gray_image(96 * 4, 2 * 5, 0);
	for (int x = 0; x < 2; ++x) // '!' regular: two columns; bold: all four
		font.rows[size_t(0) * 384 + 4 + x] = 255;
	for (int x = 0; x < 4; ++x)
		font.rows[size_t(5) * 384 + 4 + x] = 255;
	uitest::write_png(dir, "font", font);
	Start(dir.c_str());
	int w, h;
	gr_glyph_size(&w, &h);
	EXPECT_EQ(w, 4);
	EXPECT_EQ(h, 5);
	gr_set_color(255, 255, 255, 255);
	gr_draw_text(0, 0, "!", false);
	EXPECT_EQ(Inked(0, 0, 4, 5), 2);
	gr_draw_text(0, 10, "!", true);
	EXPECT_EQ(Inked(0, 10, 4, 5), 4);

	// A font image too small for one glyph falls back to the built-in font.
	uitest::write_png(dir, "font", uitest::gray_image(95, 1, 0));
	testsupport::StdoutCapture out;
	ASSERT_EQ(gr_start(), 0);
	EXPECT_NE(out.take().find("failed to read font: res=-7\n"), std::string::npos);
	gr_glyph_size(&w, &h);
	EXPECT_EQ(w, 10);
	EXPECT_EQ(h, 18);
}

TEST_F(GraphicsTest, WithoutADisplayEveryCallDoesNothing)
{
	backend_.fail_start = true;
	res_test_set_dir("/nonexistent");
	gr_test_setup("/nonexistent/tty", &backend_.ops);
	EXPECT_EQ(gr_start(), -1);
	EXPECT_EQ(gr_screen_width(), 0);
	EXPECT_EQ(gr_screen_height(), 0);
	uint8_t px[4] = {};
	gr_surface img = {1, 1, 4, 4, px};
	gr_set_color(1, 2, 3, 255);
	gr_wipe();
	gr_fill_rect(0, 0, 1, 1);
	gr_blit(&img, 0, 0, 1, 1, 0, 0);
	gr_draw_text(0, 0, "x", true);
	gr_present();
	EXPECT_EQ(backend_.presents, 0);
	EXPECT_EQ(Inked(0, 0, 40, 30), 0);

	// The real devices are absent too: no ADF device, no framebuffer.
	gr_test_setup("/nonexistent/tty", nullptr);
	fbdev_test_set_path("/nonexistent/fb0");
	EXPECT_EQ(gr_start(), -1);
	gr_fill_rect(0, 0, 1, 1);
	gr_present();
	fbdev_test_set_path(nullptr);
}

} // namespace

// Loading the progress screen's PNG images: accepted formats and their
// conversion, refused formats and every error code, frame sets, captions.
#include "resources.h"
#include "ui_testutil.h"

#include "capture.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <fstream>

namespace {

class ResourcesTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		dir_ = uitest::scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
		res_test_set_dir(dir_.c_str());
	}
	void TearDown() override { res_test_set_dir(nullptr); }
	void put(const std::string &name, const png_out &img) { uitest::write_png(dir_, name, img); }
	void put_raw(const std::string &name, const std::string &bytes)
	{
		std::ofstream(dir_ + "/" + name + ".png", std::ios::binary) << bytes;
	}
	std::string dir_;
};

const uint8_t *px(const gr_surface *s, int x, int y)
{
	return s->data + size_t(y) * s->row_bytes + size_t(x) * s->pixel_bytes;
}

TEST_F(ResourcesTest, ImagesOfEveryAcceptedFormatBecomeRgbaSurfaces)
{
	put("rgb", uitest::rgb_image(3, 2, 10, 20, 30));

	png_out gray1;
	gray1.width = 8;
	gray1.height = 1;
	gray1.color_type = PNG_COLOR_TYPE_GRAY;
	gray1.bit_depth = 1;
	gray1.rows = {0xA0}; // pixels 1 0 1 0 0 0 0 0
	put("gray1", gray1);

	png_out pal;
	pal.width = 2;
	pal.height = 1;
	pal.color_type = PNG_COLOR_TYPE_PALETTE;
	pal.palette = {1, 2, 3, 200, 100, 50};
	pal.rows = {1, 0};
	put("palette", pal);

	png_out pal_trns = pal; // transparency makes the expansion 4 channels wide
	pal_trns.trns = {7, 255};
	put("palette_trns", pal_trns);

	gr_surface *s = nullptr;
	ASSERT_EQ(res_load_image("rgb", &s), 0);
	EXPECT_EQ(s->width, 3u);
	EXPECT_EQ(s->row_bytes, 12u);
	EXPECT_EQ(s->pixel_bytes, 4u);
	EXPECT_EQ(std::vector<uint8_t>(px(s, 2, 1), px(s, 2, 1) + 4), (std::vector<uint8_t>{10, 20, 30, 255}));
	res_free_surface(s);

	ASSERT_EQ(res_load_image("gray1", &s), 0);
	EXPECT_EQ(px(s, 0, 0)[0], 255);
	EXPECT_EQ(px(s, 1, 0)[1], 0);
	EXPECT_EQ(px(s, 2, 0)[2], 255);
	EXPECT_EQ(px(s, 2, 0)[3], 255);
	res_free_surface(s);

	ASSERT_EQ(res_load_image("palette", &s), 0);
	EXPECT_EQ(std::vector<uint8_t>(px(s, 0, 0), px(s, 0, 0) + 4), (std::vector<uint8_t>{200, 100, 50, 255}));
	EXPECT_EQ(std::vector<uint8_t>(px(s, 1, 0), px(s, 1, 0) + 4), (std::vector<uint8_t>{1, 2, 3, 255}));
	res_free_surface(s);

	ASSERT_EQ(res_load_image("palette_trns", &s), 0);
	EXPECT_EQ(std::vector<uint8_t>(px(s, 1, 0), px(s, 1, 0) + 4), (std::vector<uint8_t>{1, 2, 3, 7}));
	res_free_surface(s);
}

TEST_F(ResourcesTest, RefusedFormatsAndBrokenFilesGiveTheirCodes)
{
	png_out rgba;
	rgba.width = rgba.height = 2;
	rgba.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
	rgba.rows.assign(16, 9);
	put("rgba", rgba);
	png_out deep = uitest::gray_image(2, 2, 0);
	deep.bit_depth = 16;
	deep.rows.assign(8, 1);
	put("gray16", deep);
	png_out ga;
	ga.width = ga.height = 2;
	ga.color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
	ga.rows.assign(8, 1);
	put("gray_alpha", ga);
	put_raw("short", "\x89PNG");
	put_raw("notpng", "GIF89a-not-a-png-at-all");
	// A valid header whose image data stops half way.
	put("whole", uitest::rgb_image(64, 64, 1, 2, 3));
	std::ifstream in(dir_ + "/whole.png", std::ios::binary);
	std::string bytes((std::istreambuf_iterator<char>(in)), {});
	put_raw("truncated", bytes.substr(0, bytes.size() / 2));

	gr_surface *s = reinterpret_cast<gr_surface *>(1);
	testing::internal::CaptureStderr();
	EXPECT_EQ(res_load_image("rgba", &s), RES_ERR_FORMAT);
	EXPECT_EQ(s, nullptr);
	EXPECT_NE(testing::internal::GetCapturedStderr().find("ui doesn't support PNG depth 8 channels 4 color_type 6\n"), std::string::npos);
	EXPECT_EQ(res_load_image("gray16", &s), RES_ERR_FORMAT);
	EXPECT_EQ(res_load_image("gray_alpha", &s), RES_ERR_FORMAT);
	EXPECT_EQ(res_load_image("missing", &s), RES_ERR_OPEN);
	EXPECT_EQ(res_load_image("short", &s), RES_ERR_SHORT);
	EXPECT_EQ(res_load_image("notpng", &s), RES_ERR_SIGNATURE);
	EXPECT_EQ(res_load_image("truncated", &s), RES_ERR_DECODE);
	EXPECT_EQ(s, nullptr);

	// Alpha maps and captions take one channel only.
	put("rgb", uitest::rgb_image(8, 8, 1, 1, 1));
	EXPECT_EQ(res_load_alpha_map("rgb", &s), RES_ERR_FORMAT);
	EXPECT_EQ(res_load_caption("rgb", "en", &s), RES_ERR_FORMAT);
}

TEST_F(ResourcesTest, AlphaMapKeepsOneByteRows)
{
	png_out g = uitest::gray_image(5, 2, 0);
	g.rows[7] = 128;
	put("font", g);
	gr_surface *s = nullptr;
	ASSERT_EQ(res_load_alpha_map("font", &s), 0);
	EXPECT_EQ(s->pixel_bytes, 1u);
	EXPECT_EQ(s->row_bytes, 5u);
	EXPECT_EQ(*px(s, 2, 1), 128);
	res_free_surface(s);
}

png_out striped(uint32_t w, uint32_t h, int frames)
{
	png_out img = uitest::rgb_image(w, h, 0, 0, 0);
	for (uint32_t y = 0; y < h; ++y)
		for (uint32_t x = 0; x < w; ++x)
			img.rows[(y * w + x) * 3] = uint8_t(y); // red channel = image row
	if (frames)
		img.text.push_back({"Frames", std::to_string(frames)});
	return img;
}

TEST_F(ResourcesTest, FrameSetsAreSplitByInterleavedRows)
{
	put("anim", striped(100, 300, 3));
	int n = 0;
	gr_surface **frames = nullptr;
	testsupport::StdoutCapture out;
	ASSERT_EQ(res_load_frames("anim", &n, &frames), 0);
	EXPECT_NE(out.take().find("  found frames = 3\n"), std::string::npos);
	ASSERT_EQ(n, 3);
	for (int i = 0; i < 3; ++i) {
		EXPECT_EQ(frames[i]->width, 100u);
		EXPECT_EQ(frames[i]->height, 100u);
	}
	EXPECT_EQ(px(frames[1], 0, 1)[0], 4); // image row 4 is frame 1, row 1
	EXPECT_EQ(px(frames[2], 7, 99)[0], uint8_t(299));
	res_free_frames(frames, n);

	// Without a "Frames" entry an image is one frame.
	png_out plain = striped(4, 6, 0);
	plain.text.push_back({"Title", "x"});
	put("plain", plain);
	ASSERT_EQ(res_load_frames("plain", &n, &frames), 0);
	EXPECT_EQ(n, 1);
	EXPECT_EQ(frames[0]->height, 6u);
	res_free_frames(frames, n);
}

TEST_F(ResourcesTest, BadFrameCountsFailWithoutImages)
{
	put("odd", striped(100, 301, 3));
	int n = 0;
	gr_surface **frames = reinterpret_cast<gr_surface **>(1);
	testsupport::StdoutCapture out;
	EXPECT_EQ(res_load_frames("odd", &n, &frames), RES_ERR_FRAMES);
	EXPECT_NE(out.take().find("bad height (301) for frame count (3)\n"), std::string::npos);
	EXPECT_EQ(frames, nullptr);

	for (const char *bad : {"0", "-2", "abc"}) {
		png_out img = striped(4, 6, 0);
		img.text.push_back({"Frames", bad});
		put("bad", img);
		EXPECT_EQ(res_load_frames("bad", &n, &frames), RES_ERR_FRAMES) << bad;
		EXPECT_EQ(frames, nullptr);
	}
	EXPECT_EQ(res_load_frames("missing", &n, &frames), RES_ERR_OPEN);
	EXPECT_EQ(n, -1);
}

// A caption image: entries of {header row, rows of the caption}.
png_out caption_image(uint32_t width, const std::vector<std::tuple<std::string, uint32_t, uint32_t, uint8_t>> &entries)
{
	png_out img = uitest::gray_image(width, 0, 0);
	for (const auto &[locale, w, h, fill] : entries) {
		std::vector<uint8_t> header(width, 0);
		header[0] = uint8_t(w);
		header[1] = uint8_t(w >> 8);
		header[2] = uint8_t(h);
		header[3] = uint8_t(h >> 8);
		std::copy(locale.begin(), locale.end(), header.begin() + 5);
		img.rows.insert(img.rows.end(), header.begin(), header.end());
		img.rows.insert(img.rows.end(), size_t(width) * h, fill);
		img.height += 1 + h;
	}
	return img;
}

TEST_F(ResourcesTest, CaptionEntryChosenByLocaleWithLastAsFallback)
{
	put("text", caption_image(40, {{"de", 10, 2, 1}, {"en_US", 20, 3, 2}, {"fr", 30, 4, 3}}));
	gr_surface *s = nullptr;
	testsupport::StdoutCapture out;
	ASSERT_EQ(res_load_caption("text", "en_US", &s), 0);
	EXPECT_EQ(s->width, 20u);
	EXPECT_EQ(s->height, 3u);
	EXPECT_EQ(*px(s, 19, 2), 2);
	res_free_surface(s);
	EXPECT_NE(out.take().find("                  text: en_US (20 x 3 @ 3)\n"), std::string::npos);

	ASSERT_EQ(res_load_caption("text", "en_GB", &s), 0); // no match: the last entry
	EXPECT_EQ(s->width, 30u);
	EXPECT_EQ(*px(s, 0, 0), 3);
	res_free_surface(s);

	EXPECT_EQ(res_load_caption("text", nullptr, &s), 0);
	EXPECT_EQ(s, nullptr);
}

TEST_F(ResourcesTest, LocaleRuleMatchesLanguageOnlyEntries)
{
	EXPECT_TRUE(res_locale_matches("en_US", "en_US"));
	EXPECT_TRUE(res_locale_matches("en", "en_US"));
	EXPECT_TRUE(res_locale_matches("en", "en"));
	EXPECT_FALSE(res_locale_matches("en_US", "en"));
	EXPECT_FALSE(res_locale_matches("en", "eng"));
	EXPECT_FALSE(res_locale_matches("en_GB", "en_US"));
}

TEST_F(ResourcesTest, MalformedCaptionEntriesAreRefused)
{
	gr_surface *s = nullptr;
	put("wide", caption_image(16, {{"en", 17, 1, 1}}));
	EXPECT_EQ(res_load_caption("wide", "en", &s), RES_ERR_FORMAT);
	png_out past = caption_image(16, {{"de", 4, 1, 1}});
	past.rows[past.rows.size() - 16 * 2 + 2] = 9; // the only entry claims 9 rows
	put("past", past);
	EXPECT_EQ(res_load_caption("past", "de", &s), RES_ERR_FORMAT);
	EXPECT_EQ(s, nullptr);
}

// Peak size of this process's address space, in kB.
long vm_peak_kb()
{
	std::ifstream in("/proc/self/status");
	for (std::string line; std::getline(in, line);)
		if (line.rfind("VmPeak:", 0) == 0)
			return std::stol(line.substr(7));
	return 0;
}

void put_be32(std::string &s, uint32_t v)
{
	for (int shift = 24; shift >= 0; shift -= 8)
		s += char(v >> shift);
}

// A chunk with its length and CRC.
std::string chunk(const std::string &type_and_data)
{
	std::string c;
	put_be32(c, uint32_t(type_and_data.size() - 4));
	c += type_and_data;
	put_be32(c, uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(type_and_data.data()),
				   uInt(type_and_data.size()))));
	return c;
}

// The signature and the header of an 8-bit gray image.
std::string gray_png_start(uint32_t width, uint32_t height)
{
	std::string ihdr = "IHDR";
	put_be32(ihdr, width);
	put_be32(ihdr, height);
	ihdr += std::string("\x08\x00\x00\x00\x00", 5);
	return std::string("\x89PNG\r\n\x1a\n", 8) + chunk(ihdr);
}

// Loading the frame set fails with `code` without taking 64 MiB of memory.
void expect_refused_unallocated(const char *name, int code)
{
	const long before = vm_peak_kb();
	int n = 0;
	gr_surface **frames = nullptr;
	EXPECT_EQ(res_load_frames(name, &n, &frames), code);
	EXPECT_EQ(frames, nullptr);
	EXPECT_LT(vm_peak_kb() - before, 64 * 1024) << "kB of address space taken for " << name;
}

TEST_F(ResourcesTest, AChunkLongerThanTheFileIsRefusedBeforeAnythingIsAllocated)
{
	// 49 bytes: signature, a 1x1 gray header, then a text chunk that
	// declares 2 GiB - 1 bytes and holds 8.
	std::string png = gray_png_start(1, 1);
	put_be32(png, 0x7fffffff);
	png += std::string("tEXtFrames\0" "1", 12);
	ASSERT_EQ(png.size(), 49u);
	put_raw("huge_text", png);
	expect_refused_unallocated("huge_text", RES_ERR_DECODE);
}

TEST_F(ResourcesTest, TheCapCoversAWholeFrameSet)
{
	// A small file declaring 16 frames of 4000x4000 (4 bytes a pixel each:
	// 61 MiB a frame, 1 GiB together): refused before any frame exists.
	std::string png = gray_png_start(4000, 64000) + chunk(std::string("tEXtFrames\0" "16", 13));
	// The first rows' data, then the end: libpng reads the header up to it.
	std::string rows(2 * 4001, '\0');
	uLongf packed_len = compressBound(uLong(rows.size()));
	std::string packed(packed_len, '\0');
	ASSERT_EQ(compress(reinterpret_cast<Bytef *>(packed.data()), &packed_len,
			   reinterpret_cast<const Bytef *>(rows.data()), uLong(rows.size())), Z_OK);
	png += chunk("IDAT" + packed.substr(0, packed_len)) + chunk("IEND");
	put_raw("many_frames", png);
	expect_refused_unallocated("many_frames", RES_ERR_MEMORY);
}

} // namespace

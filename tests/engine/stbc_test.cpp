// Standby-controller writers on the simulated NOR flash: what is erased,
// what is written, what is refused, and how the attempts end.
#include "crv_stbc.h"

#include "capture.h"
#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "devmodels.h"
#include "devsim.h"
#include "imgbuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

// Reads of the flash can be spoiled on purpose: the next `g_spoil_reads`
// reads from a descriptor on `g_spoil_path` come back with a flipped byte.
namespace {
std::atomic<int> g_spoil_reads{0};
std::string g_spoil_path;
} // namespace

extern "C" ssize_t __real_read(int fd, void *buf, size_t n);
extern "C" ssize_t __wrap_read(int fd, void *buf, size_t n)
{
	ssize_t got = __real_read(fd, buf, n);
	if (got > 0 && g_spoil_reads.load() > 0 && devsim::fd_path(fd) == g_spoil_path) {
		g_spoil_reads--;
		static_cast<uint8_t *>(buf)[got / 2] ^= 0x01;
	}
	return got;
}

namespace {

constexpr uint32_t K = 1024;

std::string slurp(const std::string &path)
{
	std::ifstream f(path, std::ios::binary);
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

// Whether `flash` holds `want` at `at`; names the first differing byte.
::testing::AssertionResult holds(const std::string &flash, size_t at, const std::string &want)
{
	if (at + want.size() > flash.size())
		return ::testing::AssertionFailure() << "flash of " << flash.size() << " bytes ends before "
						     << at + want.size();
	for (size_t i = 0; i < want.size(); i++)
		if (flash[at + i] != want[i])
			return ::testing::AssertionFailure()
			       << "byte " << at + i << " is " << (flash[at + i] & 0xff) << ", want " << (want[i] & 0xff);
	return ::testing::AssertionSuccess();
}

std::string random_bytes(size_t n, unsigned seed)
{
	std::mt19937 gen(seed);
	std::string s(n, '\0');
	for (auto &c : s)
		c = static_cast<char>(gen());
	return s;
}

// An x50219 image: loader, head tag at 0x1000, end tag at 0x8FF0.
std::string x50219_image(size_t len, char loader, uint8_t rev_hi, uint8_t rev_lo, unsigned seed)
{
	std::string img = random_bytes(len, seed);
	std::fill(img.begin(), img.begin() + 0x1000, loader);
	const char tag[7] = {0x07, 0x25, 0x63, 0x55, static_cast<char>(0xAA), static_cast<char>(rev_hi),
			     static_cast<char>(rev_lo)};
	img.replace(0x1000, 7, tag, 7);
	img.replace(0x8FF0, 7, tag, 7);
	return img;
}

class Stbc : public ::testing::Test {
protected:
	void SetUp() override
	{
		char tmpl[] = "/tmp/crv-stbc.XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir_ = tmpl;
		flash_ = dir_ + "/mtd3";
		image_ = dir_ + "/fw.img";
		g_spoil_path = flash_;
		g_spoil_reads = 0;
	}
	void TearDown() override
	{
		if (handle_.stream)
			fclose(handle_.stream);
		devsim::detach_all();
		std::string cmd = "rm -rf " + dir_;
		ASSERT_EQ(system(cmd.c_str()), 0);
	}

	// A flash of `size` bytes holding `fill` (or `content` from 0).
	std::shared_ptr<devmodels::MtdFlash> make_flash(uint32_t size, uint32_t erasesize, const std::string &content = "",
							const std::string &type = "3")
	{
		std::string bytes = content;
		bytes.resize(size, 'Z');
		std::ofstream(flash_, std::ios::binary) << bytes;
		return devmodels::install<devmodels::MtdFlash>(
			flash_, devmodels::Params{{"erasesize", std::to_string(erasesize)}, {"type", type}});
	}

	// The container holds the image after another one, so that the payload
	// does not start the file. With `missing` the header and handle claim
	// that many bytes more than the file holds (the engine's reader refuses
	// such an image; the writers must not rely on that).
	void load(const std::string &payload, uint32_t offset, uint64_t missing = 0)
	{
		payload_ = payload;
		imgbuilder::Image other{.name = "other", .data = "xyz"};
		imgbuilder::Image stbc{.name = "stbc", .target = flash_, .target_offset = offset, .data = payload};
		imgbuilder::write_container(image_, {other, stbc});
		ASSERT_EQ(crv_ostrel_set_img_path(image_.c_str()), 0);
		FILE *fp = fopen(image_.c_str(), "rb");
		ASSERT_NE(fp, nullptr);
		ASSERT_EQ(fseek(fp, 0x120, SEEK_SET), 0);
		ASSERT_EQ(crv_ostrel_get_per_img(fp, &hdr_, &handle_), 0);
		fclose(handle_.stream);
		ASSERT_EQ(crv_ostrel_get_per_img(fp, &hdr_, &handle_), 0);
		fclose(fp);
		hdr_.length += missing;
		handle_.length += missing;
	}

	std::string dir_, flash_, image_, payload_;
	crv_per_img_hdr hdr_{};
	crv_per_img_handle handle_{};
};

using Writer = int (*)(const crv_per_img_hdr *, crv_per_img_handle *, void *);

TEST_F(Stbc, SinglePassErasesWholeBlocksFromTheRoundedOffset)
{
	struct Case {
		uint32_t erasesize, offset, len, start;
	} cases[] = {
		{64 * K, 0, 192 * K, 0},                // whole blocks
		{64 * K, 0x12345, 100000, 0x10000},     // neither offset nor length on a block
		{4 * K, 0x3000, 4 * K + 1, 0x3000},     // aligned offset, one byte into the next block
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.offset);
		const uint32_t size = 512 * K;
		auto nor = make_flash(size, c.erasesize);
		load(random_bytes(c.len, c.len), c.offset);
		testsupport::StdoutCapture cap;
		ASSERT_EQ(crv_ostrel_spi_stbc_update_cb(&hdr_, &handle_, nullptr), 0);
		std::string out = cap.finish();
		if (c.start != c.offset)
			EXPECT_EQ(out, "crv_ostrel_spi_stbc_update_cb align offset to erase size " +
					       std::to_string(c.start) + "\n");
		else
			EXPECT_EQ(out, "");

		const uint32_t erase_len = (c.len + c.erasesize - 1) / c.erasesize * c.erasesize;
		ASSERT_EQ(nor->erases().size(), 1u);
		EXPECT_EQ(nor->erases()[0].start, c.start);
		EXPECT_EQ(nor->erases()[0].length, erase_len);
		std::string flash = slurp(flash_);
		EXPECT_TRUE(holds(flash, 0, std::string(c.start, 'Z')));
		EXPECT_TRUE(holds(flash, c.start, payload_)) << "payload at the rounded offset";
		EXPECT_TRUE(holds(flash, c.start + c.len, std::string(erase_len - c.len, '\xff')));
		EXPECT_TRUE(holds(flash, c.start + erase_len, std::string(size - c.start - erase_len, 'Z')));
		fclose(handle_.stream);
		handle_.stream = nullptr;
	}
}

TEST_F(Stbc, BadTargetsAndPayloadsAreRefusedBeforeTheFlashIsErased)
{
	struct Case {
		const char *what;
		std::string type;
		uint32_t flash_size, len, offset;
		uint64_t cut;
		int result;
		const char *message;
	} cases[] = {
		{"NAND", "4", 256 * K, 1000, 0, 0, -95, "not support nand operation !"},
		{"MLC NAND", "8", 256 * K, 1000, 0, 0, -95, "not support nand operation !"},
		{"larger than the flash", "3", 64 * K, 64 * K + 1, 0, 0, -22, "file size large than mtd device size !"},
		{"runs past the end", "3", 128 * K, 64 * K + 1, 0x10001, 0, -22, "file size large than mtd device size !"},
		{"truncated payload", "3", 256 * K, 20000, 0, 1, -5, "read input file fail !"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.what);
		auto nor = make_flash(c.flash_size, 64 * K, "", c.type);
		load(random_bytes(c.len, 1), c.offset, c.cut);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_spi_stbc_update_cb(&hdr_, &handle_, nullptr), c.result);
		EXPECT_NE(cap.finish().find(std::string("crv_ostrel_spi_stbc_update_cb ") + c.message), std::string::npos);
		EXPECT_TRUE(nor->erases().empty());
		EXPECT_TRUE(holds(slurp(flash_), 0, std::string(c.flash_size, 'Z')));
		fclose(handle_.stream);
		handle_.stream = nullptr;
	}

	// No device, a device without MTD geometry, an erase the flash refuses.
	devsim::detach_all();
	unlink(flash_.c_str());
	load("abc", 0);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_spi_stbc_update_cb(&hdr_, &handle_, nullptr), -5);
	std::ofstream(flash_) << std::string(4096, 'Z');
	EXPECT_EQ(crv_ostrel_spi_stbc_update_cb(&hdr_, &handle_, nullptr), -5);
	devmodels::install<devmodels::MtdFlash>(flash_, devmodels::Params{{"erasesize", "4K"}, {"fail_erase", "5"}});
	EXPECT_EQ(crv_ostrel_spi_stbc_update_cb(&hdr_, &handle_, nullptr), -5);
	devmodels::install<devmodels::MtdFlash>(flash_, devmodels::Params{{"erasesize", "0"}});
	EXPECT_EQ(crv_ostrel_spi_stbc_update_cb(&hdr_, &handle_, nullptr), -5);
	EXPECT_EQ(cap.finish(), "crv_ostrel_spi_stbc_update_cb open mtd device " + flash_ +
					" fail !\n"
					"crv_ostrel_spi_stbc_update_cb get mtd info fail !\n"
					"crv_ostrel_spi_stbc_update_cb erase flash operation fail !\n"
					"crv_ostrel_spi_stbc_update_cb mtd erase size is 0 !\n");
}

TEST_F(Stbc, RetryingWriterVerifiesAndRetriesASpoiledReadBack)
{
	auto nor = make_flash(256 * K, 64 * K);
	load(random_bytes(100000, 7), 0x12345);
	g_spoil_reads = 2;
	testsupport::StdoutCapture cap;
	ASSERT_EQ(crv_ostrel_spi_stbc_update_w_retry_cb(&hdr_, &handle_, nullptr), 0);
	std::string out = cap.finish();
	const char *fn = "crv_ostrel_spi_stbc_update_w_retry_cb";
	auto count = [&](const std::string &what) {
		size_t n = 0;
		for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1))
			n++;
		return n;
	};
	EXPECT_EQ(count(std::string(fn) + " align offset to erase size 65536\n"), 3u);
	EXPECT_EQ(count(std::string(fn) + " write stbc image fail , retry again !\n"), 2u);
	EXPECT_NE(out.find("pimg_handle->flen: 100000\n"), std::string::npos);
	EXPECT_TRUE(out.ends_with(std::string(fn) + " write stbc ok !\n")) << out;
	ASSERT_EQ(nor->erases().size(), 3u);
	for (const auto &e : nor->erases()) {
		EXPECT_EQ(e.start, 0x10000u);
		EXPECT_EQ(e.length, 128u * K);
	}
	std::string flash = slurp(flash_);
	EXPECT_TRUE(holds(flash, 0x10000, payload_));
	EXPECT_TRUE(holds(flash, 0, std::string(0x10000, 'Z')));
}

TEST_F(Stbc, RetryingWriterGivesUp)
{
	const char *fn = "crv_ostrel_spi_stbc_update_w_retry_cb";
	// A read-back that never matches: a bounded number of attempts.
	{
		auto nor = make_flash(256 * K, 64 * K);
		load(random_bytes(5000, 3), 0);
		g_spoil_reads = 1000;
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_spi_stbc_update_w_retry_cb(&hdr_, &handle_, nullptr), -22);
		EXPECT_TRUE(cap.finish().ends_with(std::string(fn) + ": retry timeout!\n"));
		EXPECT_EQ(nor->erases().size(), static_cast<size_t>(CRV_STBC_MAX_ATTEMPTS));
		fclose(handle_.stream);
		handle_.stream = nullptr;
		g_spoil_reads = 0;
	}
	// A truncated payload: refused at once, the flash untouched.
	{
		auto nor = make_flash(256 * K, 64 * K);
		load(random_bytes(5000, 3), 0, 100);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_spi_stbc_update_w_retry_cb(&hdr_, &handle_, nullptr), -5);
		EXPECT_EQ(cap.finish(), std::string(fn) + " read source file fail !\n");
		EXPECT_TRUE(nor->erases().empty());
		EXPECT_TRUE(holds(slurp(flash_), 0, std::string(256 * K, 'Z')));
		fclose(handle_.stream);
		handle_.stream = nullptr;
	}
	// One byte over the buffer: refused before the device is opened.
	{
		auto nor = make_flash(256 * K, 64 * K);
		load(random_bytes(CRVFWUP_STBC_BUF_SZ + 1, 3), 0);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_spi_stbc_update_w_retry_cb(&hdr_, &handle_, nullptr), -12);
		EXPECT_EQ(cap.finish(), std::string(fn) + " image flen is over CRVFWUP_STBC_BUF_SZ!\n");
		EXPECT_TRUE(nor->events().empty());
	}
}

TEST_F(Stbc, X50219SameTagsAndRevisionKeepTheLoader)
{
	for (size_t len : {size_t{0x20000}, size_t{0x10000}}) {
		SCOPED_TRACE(len);
		auto nor = make_flash(256 * K, 4 * K, x50219_image(0x20000, 'O', 1, 2, 11));
		load(x50219_image(len, 'L', 1, 2, 12), 0);
		testsupport::StdoutCapture cap;
		ASSERT_EQ(crv_ostrel_x50219_spi_stbc_update_cb(&hdr_, &handle_, nullptr), 0);
		std::string out = cap.finish();
		EXPECT_NE(out.find("x50219_spi_stbc_check_pattern: SPI flash check all pass!\n"), std::string::npos);
		EXPECT_NE(out.find(" : Start todo skip loader update...\n"), std::string::npos);
		EXPECT_NE(out.find("crv_ostrel_x50219_spi_stbc_update_cb: spi write count: 0\n"), std::string::npos);
		EXPECT_TRUE(out.ends_with("crv_ostrel_x50219_spi_stbc_update_cb write stbc ok !\n"));

		ASSERT_EQ(nor->erases().size(), 1u);
		EXPECT_EQ(nor->erases()[0].start, 0x1000u);
		EXPECT_EQ(nor->erases()[0].length, 0x1F000u);
		std::string flash = slurp(flash_);
		EXPECT_TRUE(holds(flash, 0, std::string(0x1000, 'O'))) << "the loader is kept";
		EXPECT_TRUE(holds(flash, 0x1000, payload_.substr(0x1000)));
		EXPECT_TRUE(holds(flash, len, std::string(0x20000 - len, '\0'))) << "zero padding";
		EXPECT_TRUE(holds(flash, 0x20000, std::string(128 * K, 'Z')));
		fclose(handle_.stream);
		handle_.stream = nullptr;
	}
}

TEST_F(Stbc, X50219FallsBackToTheFullUpdate)
{
	struct Case {
		const char *what;
		std::string flash, image;
		const char *message;
	} cases[] = {
		{"revision differs", x50219_image(0x20000, 'O', 1, 3, 1), x50219_image(0x20000, 'L', 1, 2, 2),
		 "Incorrect Head/End Code Tag in SPI flash or REV different... Do full update ...\n"},
		{"blank flash", std::string(0x20000, '\xff'), x50219_image(0x20000, 'L', 1, 2, 2),
		 "x50219_spi_stbc_check_pattern: tag is not match!\n"},
		{"image tags differ", x50219_image(0x20000, 'O', 1, 2, 1),
		 x50219_image(0x20000, 'L', 1, 2, 2).replace(0x8FF6, 1, "\x09"),
		 "start-tag and end-tag are not match! Do full update...\n"},
		{"image without the pattern", x50219_image(0x20000, 'O', 1, 2, 1),
		 x50219_image(0x20000, 'L', 1, 2, 2).replace(0x1003, 1, "\x56").replace(0x8FF3, 1, "\x56"),
		 "tag pattern is not match! Do full update...\n"},
		{"too short for tags", x50219_image(0x20000, 'O', 1, 2, 1), random_bytes(0x8FF6, 5),
		 "payload too short for tags! Do full update...\n"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.what);
		auto nor = make_flash(256 * K, 4 * K, c.flash);
		load(c.image, 0);
		testsupport::StdoutCapture cap;
		ASSERT_EQ(crv_ostrel_x50219_spi_stbc_update_cb(&hdr_, &handle_, nullptr), 0);
		std::string out = cap.finish();
		EXPECT_NE(out.find(c.message), std::string::npos) << out;
		EXPECT_TRUE(out.ends_with("crv_ostrel_spi_stbc_update_w_retry_cb write stbc ok !\n"));
		ASSERT_EQ(nor->erases().size(), 1u);
		EXPECT_EQ(nor->erases()[0].start, 0u);
		std::string flash = slurp(flash_);
		EXPECT_TRUE(holds(flash, 0, payload_)) << "the whole payload, loader too";
		fclose(handle_.stream);
		handle_.stream = nullptr;
	}
}

TEST_F(Stbc, X50219RefusesWhatItsBuffersCannotHoldAndBoundsItsAttempts)
{
	auto nor = make_flash(256 * K, 4 * K, x50219_image(0x20000, 'O', 1, 2, 1));
	load(x50219_image(0x21001, 'L', 1, 2, 2), 0);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_x50219_spi_stbc_update_cb(&hdr_, &handle_, nullptr), -12);
	EXPECT_EQ(cap.take(), "crv_ostrel_x50219_spi_stbc_update_cb image flen is over CRVFWUP_STBC_BUF_SZ!\n");
	EXPECT_TRUE(nor->events().empty());
	fclose(handle_.stream);
	handle_.stream = nullptr;

	// Tags match, but every read-back is spoiled: 30 attempts, the loader kept.
	load(x50219_image(0x20000, 'L', 1, 2, 2), 0);
	g_spoil_reads = 1000;
	EXPECT_EQ(crv_ostrel_x50219_spi_stbc_update_cb(&hdr_, &handle_, nullptr), -22);
	g_spoil_reads = 0;
	std::string out = cap.finish();
	EXPECT_NE(out.find("crv_ostrel_x50219_spi_stbc_update_cb: spi write count: 30\n"
			   "crv_ostrel_x50219_spi_stbc_update_cb: retry timeout!\n"),
		  std::string::npos);
	EXPECT_EQ(nor->erases().size(), 30u);
	EXPECT_TRUE(holds(slurp(flash_), 0, std::string(0x1000, 'O')));
}

TEST_F(Stbc, X50219PatternCheckNamesWhatDiffers)
{
	const uint8_t head[7] = {0x07, 0x25, 0x63, 0x55, 0xAA, 1, 2};
	struct Case {
		std::string flash;
		int result;
		const char *message;
	} cases[] = {
		{x50219_image(0x20000, 'O', 1, 2, 1), 0, "x50219_spi_stbc_check_pattern: SPI flash check all pass!\n"},
		{x50219_image(0x20000, 'O', 1, 2, 1).replace(0x8FF0, 1, "\x08"), -1,
		 "x50219_spi_stbc_check_pattern: head tag & end tag are not match!\n"},
		{x50219_image(0x20000, 'O', 1, 2, 1).replace(0x1002, 1, "\x64").replace(0x8FF2, 1, "\x64"), -1,
		 "x50219_spi_stbc_check_pattern: tag is not match!\n"},
		{x50219_image(0x20000, 'O', 2, 2, 1), -1, "x50219_spi_stbc_check_pattern: rev tag is not match!\n"},
		{std::string(0x1000, 'O'), -5, "x50219_spi_stbc_check_pattern read dev file fail !\n"},
	};
	for (const auto &c : cases) {
		make_flash(static_cast<uint32_t>(c.flash.size()), 4 * K, c.flash);
		load("x", 0);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(x50219_spi_stbc_check_pattern(&hdr_, head), c.result);
		std::string out = cap.finish();
		EXPECT_TRUE(out.starts_with("x50219_spi_stbc_check_pattern(")) << out;
		EXPECT_TRUE(out.ends_with(c.message)) << out;
		fclose(handle_.stream);
		handle_.stream = nullptr;
	}
}

} // namespace

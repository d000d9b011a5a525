// The MTD layer on the simulated NAND: probing, bad blocks, page I/O, the
// raw image writers with bad-block skipping and block retirement, and the
// skip-bad transfers.
#include "crv_mtd.h"

#include "capture.h"
#include "devsim_node.h"
#include "nand_sim.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using nandsim::NandTest;
using testsupport::StdoutCapture;

namespace {

constexpr uint32_t kEb = 16 * 1024;
constexpr uint32_t kPage = 512;

devmodels::Params small(std::initializer_list<std::pair<const std::string, std::string>> extra = {})
{
	devmodels::Params p{{"erasesize", "16K"}, {"writesize", "512"}, {"oobsize", "16"}};
	for (const auto &[k, v] : extra)
		p.set(k, v);
	return p;
}

struct Progress {
	std::vector<std::pair<int, int>> calls;
	static void cb(int total, int done, void *arg) { static_cast<Progress *>(arg)->calls.emplace_back(total, done); }
};

class Mtd : public NandTest {
protected:
	// Writes `image` with the raw writer from a file; returns its result.
	int write_raw(const std::string &image, const uint8_t *oob = nullptr, uint32_t oob_size = 0,
		      int oob_page = 0, Progress *progress = nullptr, uint32_t bytes = 0)
	{
		const std::string img = dir_ + "/raw.img";
		nandsim::write_file(img, image);
		int fd = open(img.c_str(), O_RDONLY);
		crv_mtd_img_handle h{fd, oob, oob_size, oob_page, bytes};
		int ret = crv_mtd_nand_write_raw_img(path_.c_str(), 0, &h, progress ? Progress::cb : nullptr, progress);
		close(fd);
		return ret;
	}
};

} // namespace

// ---- CRC --------------------------------------------------------------------

TEST(MtdCrc, CheckValueWithoutFinalInversion)
{
	EXPECT_EQ(crv_mtd_crc32(0xFFFFFFFF, "123456789", 9), 0x340BC6D9u);
	EXPECT_EQ(crv_mtd_crc32(0x1234, "x", 0), 0x1234u);
	EXPECT_EQ(crv_mtd_crc32(0x1234, "x", -3), 0x1234u);
	const std::string data = nandsim::random_bytes(1000, 7);
	EXPECT_EQ(crv_mtd_crc32(0, data.data(), 1000), nandsim::crc32_plain(0, data.data(), 1000));
	// Calls chain: the register carries over.
	EXPECT_EQ(crv_mtd_crc32(crv_mtd_crc32(0xFFFFFFFF, data.data(), 300), data.data() + 300, 700),
		  crv_mtd_crc32(0xFFFFFFFF, data.data(), 1000));
}

// ---- probing ----------------------------------------------------------------

TEST_F(Mtd, ProbeFillsTheDeviceRecord)
{
	make_nand(8, small());
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	EXPECT_EQ(dev.major, 90);
	EXPECT_EQ(dev.minor, 10);
	EXPECT_EQ(dev.mtd_num, 5);
	EXPECT_EQ(dev.type, 4);
	EXPECT_STREQ(dev.type_name, "nand");
	EXPECT_EQ(dev.size, 8u * kEb);
	EXPECT_EQ(dev.eb_cnt, 8);
	EXPECT_EQ(dev.eb_size, static_cast<int>(kEb));
	EXPECT_EQ(dev.min_io_size, static_cast<int>(kPage));
	EXPECT_EQ(dev.subpage_size, static_cast<int>(kPage));
	EXPECT_EQ(dev.oob_size, 16);
	EXPECT_EQ(dev.flags, CRV_MTD_WRITABLE | CRV_MTD_BB_ALLOWED);
	EXPECT_EQ(crv_mtd_get_block_cnt(path_.c_str()), 8);
	EXPECT_EQ(crv_mtd_get_block_size(path_.c_str()), static_cast<int>(kEb));
}

TEST_F(Mtd, ProbeRefusesWhatIsNoMtdDevice)
{
	make_nand(4, small());
	crv_mtd_dev dev;
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_probe((dir_ + "/missing").c_str(), &dev), -19);
	EXPECT_NE(out.take().find("cannot open \""), std::string::npos);

	const std::string plain = dir_ + "/plain";
	nandsim::write_file(plain, "x");
	EXPECT_EQ(crv_mtd_probe(plain.c_str(), &dev), -22);
	EXPECT_EQ(out.take(), "Invalid mtd node " + plain + "\n");

	devsim::set_node(path_, S_IFCHR, makedev(91, 0));
	EXPECT_EQ(crv_mtd_probe(path_.c_str(), &dev), -22);
	EXPECT_EQ(out.take(), "Wrong mtd major number !\n");
	EXPECT_EQ(crv_mtd_get_block_cnt(path_.c_str()), -22);
	EXPECT_NE(out.finish().find("crv_mtd_get_block_cnt get mtd info fail !\n"), std::string::npos);
}

TEST_F(Mtd, ProbeRefusesGeometryThatWouldDivideByZeroOrOverrun)
{
	crv_mtd_dev dev;
	StdoutCapture out;
	make_nand(4, small({{"writesize", "0"}}));
	EXPECT_EQ(crv_mtd_probe(path_.c_str(), &dev), -22);
	EXPECT_NE(out.take().find("invalid min_io_size(0)"), std::string::npos);

	make_nand(4, small({{"erasesize", "256"}, {"writesize", "512"}}));
	EXPECT_EQ(crv_mtd_probe(path_.c_str(), &dev), -22);
	EXPECT_NE(out.take().find("invalid eraseblock(256)"), std::string::npos);

	// Pages that do not tile the block.
	make_nand(4, small({{"erasesize", "1000"}, {"writesize", "512"}}));
	EXPECT_EQ(crv_mtd_probe(path_.c_str(), &dev), -22);

	make_nand(4, small({{"size", "1024"}}));
	EXPECT_EQ(crv_mtd_probe(path_.c_str(), &dev), -22);
	EXPECT_NE(out.take().find("invalid size(1024)"), std::string::npos);

	// Type 0: no device behind the node; success here would leave callers a
	// sub-page size of 0 to divide by.
	make_nand(4, small({{"type", "0"}}));
	EXPECT_EQ(crv_mtd_probe(path_.c_str(), &dev), -19);
	EXPECT_NE(out.finish().find("mtd " + path_ + " not exist !\n"), std::string::npos);
}

// ---- bad blocks -------------------------------------------------------------

TEST_F(Mtd, BadBlockQueriesAndMarksCheckTheBlockIndex)
{
	auto nand = make_nand(8, small({{"bad", "3"}}));
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	int fd = open(path_.c_str(), O_RDWR);
	EXPECT_EQ(crv_mtd_is_bad_blk(&dev, fd, 3), 1);
	EXPECT_EQ(crv_mtd_is_bad_blk(&dev, fd, 2), 0);
	EXPECT_EQ(crv_mtd_mark_bad(&dev, fd, 6), 0);
	EXPECT_TRUE(nand->is_bad(6));
	EXPECT_EQ(crv_mtd_is_bad_blk(&dev, fd, 6), 1);

	StdoutCapture out;
	EXPECT_EQ(crv_mtd_is_bad_blk(&dev, fd, -1), -22);
	// The block count itself is one past the last block.
	EXPECT_EQ(crv_mtd_is_bad_blk(&dev, fd, 8), -22);
	EXPECT_EQ(crv_mtd_mark_bad(&dev, fd, 8), -22);
	EXPECT_EQ(crv_mtd_erase(&dev, fd, 8), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_is_bad_blk invalid eb -1\ncrv_mtd_is_bad_blk invalid eb 8\n"
				"crv_mtd_mark_bad invalid eb 8\ncrv_mtd_erase invalid eb 8\n");
	close(fd);
}

TEST_F(Mtd, WithoutBadBlockSupportEveryBlockIsGoodAndMarkingDoesNothing)
{
	auto nand = make_nand(4, small({{"nobbt", "1"}}));
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	EXPECT_EQ(dev.flags, CRV_MTD_WRITABLE);
	int fd = open(path_.c_str(), O_RDWR);
	EXPECT_EQ(crv_mtd_is_bad_blk(&dev, fd, 1), 0);
	EXPECT_EQ(crv_mtd_mark_bad(&dev, fd, 1), 0);
	EXPECT_TRUE(nand->bad_blocks().empty());
	close(fd);
}

// ---- page I/O and erasing -----------------------------------------------------

TEST_F(Mtd, PageReadsAndWritesWithAndWithoutOob)
{
	auto nand = make_nand(4, small());
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	int fd = open(path_.c_str(), O_RDWR);
	const std::string a = nandsim::random_bytes(kPage, 1), b = nandsim::random_bytes(kPage, 2);
	const std::string oob(16, '\x5a');
	EXPECT_EQ(crv_mtd_write(&dev, fd, 33, a.data(), nullptr), 0);
	EXPECT_EQ(crv_mtd_write(&dev, fd, 34, b.data(), oob.data()), 0);
	EXPECT_EQ(nand->oob(34), std::vector<uint8_t>(16, 0x5a));
	EXPECT_TRUE(nand->oob(33).empty());
	std::string back(2 * kPage, '\0');
	EXPECT_EQ(crv_mtd_read(&dev, fd, 33, back.data(), 2 * kPage), 0);
	EXPECT_EQ(back, a + b);

	StdoutCapture out;
	EXPECT_EQ(crv_mtd_write(&dev, fd, 1, nullptr, oob.data()), -22);
	EXPECT_EQ(crv_mtd_write(&dev, fd, 128, a.data(), nullptr), -22);
	EXPECT_EQ(crv_mtd_read(&dev, fd, 128, back.data(), 16), -22);
	// A read running past the last page is refused, not looped on.
	EXPECT_EQ(crv_mtd_read(&dev, fd, 127, back.data(), 2 * kPage), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_write not support only oob mode !\ncrv_mtd_write invalid page num !\n"
				"crv_mtd_read invalid page num !\ncrv_mtd_read invalid page num !\n");

	EXPECT_EQ(crv_mtd_erase(&dev, fd, 1), 0);
	EXPECT_EQ(nand->oob(34), std::vector<uint8_t>{});
	EXPECT_EQ(block_bytes(1), std::string(kEb, '\xff'));
	close(fd);
}

TEST_F(Mtd, FlashEraseLeavesBadBlocksAloneAndReportsFailures)
{
	auto nand = make_nand(6, small({{"bad", "1:4"}}));
	nandsim::write_file(path_, std::string(6 * kEb, 'A'));
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_flash_erase(path_.c_str(), 0, 0), 0);
	EXPECT_EQ(out.take(), "skip bad block 00004000\nskip bad block 00010000\n");
	const std::string f = flash();
	for (int b = 0; b < 6; b++)
		EXPECT_EQ(f.substr(b * kEb, kEb), std::string(kEb, (b == 1 || b == 4) ? 'A' : '\xff')) << b;
	EXPECT_EQ(nand->erase_count(0), 1);
	EXPECT_EQ(nand->erase_count(1), 0);

	// A count reaches at most the last block.
	EXPECT_EQ(crv_mtd_flash_erase(path_.c_str(), 5, 3), 0);
	EXPECT_EQ(nand->erase_count(5), 2);

	nand->fail_erase(2);
	EXPECT_LT(crv_mtd_flash_erase(path_.c_str(), 0, 0), 0);
	EXPECT_NE(out.finish().find("erase eb 0x   32768 fail\n"), std::string::npos);
}

// ---- raw image writer ---------------------------------------------------------

TEST_F(Mtd, RawImageOfTwoAndAHalfBlocksPadsTheLastWithFF)
{
	make_nand(6, small());
	const std::string img = nandsim::random_bytes(kEb * 2 + kEb / 2 + 100, 3);
	Progress p;
	ASSERT_EQ(write_raw(img, nullptr, 0, 0, &p), 0);
	std::string want = img + std::string(kEb - kEb / 2 - 100, '\xff');
	EXPECT_EQ(flash().substr(0, 3 * kEb), want);
	EXPECT_EQ(block_bytes(3), std::string(kEb, '\xff'));
	EXPECT_EQ(p.calls, (std::vector<std::pair<int, int>>{{3, 1}, {3, 2}, {3, 3}}));
}

TEST_F(Mtd, RawImageSkipsAFactoryBadBlock)
{
	auto nand = make_nand(6, small({{"bad", "1"}}));
	const std::string img = nandsim::random_bytes(kEb * 3, 4);
	StdoutCapture out;
	ASSERT_EQ(write_raw(img), 0);
	EXPECT_EQ(out.finish(), "crv_mtd_nand_write_raw_img skip bad block 1\n");
	EXPECT_EQ(block_bytes(0), img.substr(0, kEb));
	EXPECT_EQ(block_bytes(1), std::string(kEb, '\xff'));
	EXPECT_EQ(block_bytes(2), img.substr(kEb, kEb));
	EXPECT_EQ(block_bytes(3), img.substr(2 * kEb, kEb));
}

TEST_F(Mtd, APageThatFailsRetiresTheBlockAndTheImageStaysWhole)
{
	auto nand = make_nand(8, small());
	nand->fail_write(2);
	fail_plain_writes(true);
	const std::string img = nandsim::random_bytes(kEb * 5, 5);
	StdoutCapture out;
	ASSERT_EQ(write_raw(img), 0);
	fail_plain_writes(false);
	EXPECT_TRUE(nand->is_bad(2));
	EXPECT_EQ(block_bytes(0), img.substr(0, kEb));
	EXPECT_EQ(block_bytes(1), img.substr(kEb, kEb));
	// Each later block holds the next piece of the image, not a repeat.
	EXPECT_EQ(block_bytes(3), img.substr(2 * kEb, kEb));
	EXPECT_EQ(block_bytes(4), img.substr(3 * kEb, kEb));
	EXPECT_EQ(block_bytes(5), img.substr(4 * kEb, kEb));
	EXPECT_EQ(block_bytes(6), std::string(kEb, '\xff'));
}

TEST_F(Mtd, AFlashThatKeepsFailingRunsOutOfBlocksAndStops)
{
	auto nand = make_nand(4, small());
	for (int b = 0; b < 4; b++)
		nand->fail_write(b);
	fail_plain_writes(true);
	StdoutCapture out;
	EXPECT_EQ(write_raw(nandsim::random_bytes(kEb, 6)), -5);
	EXPECT_NE(out.finish().find("crv_mtd_nand_write_raw_img bad block to much !\n"), std::string::npos);
	EXPECT_EQ(nand->bad_blocks(), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(Mtd, AnImageLargerThanThePartitionEndsAtItsLastBlock)
{
	make_nand(3, small({{"bad", "2"}}));
	const std::string img = nandsim::random_bytes(kEb * 3, 8);
	StdoutCapture out;
	EXPECT_EQ(write_raw(img), -5);
	EXPECT_NE(out.finish().find("bad block to much !\n"), std::string::npos);
	// Nothing lands beyond the partition.
	EXPECT_EQ(flash().size(), 3u * kEb);
}

TEST_F(Mtd, OobTemplateGoesOnlyWithItsPage)
{
	auto nand = make_nand(4, small({{"bad", "0"}}));
	std::vector<uint8_t> oob(16, 0xFF);
	oob[2] = 0x01;
	oob[3] = 0x00;
	ASSERT_EQ(write_raw(nandsim::random_bytes(kEb + kPage, 9), oob.data(), 16, 0), 0);
	// Logical page 0 is the image's first page, here in block 1.
	EXPECT_EQ(nand->oob(32), oob);
	for (int page : {0, 33, 64})
		EXPECT_TRUE(nand->oob(page).empty()) << page;

	StdoutCapture out;
	EXPECT_EQ(write_raw("x", oob.data(), 8, 0), -22);
	EXPECT_EQ(write_raw("x", oob.data(), 16, -1), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_nand_write_raw_img invalid oob size !\n"
				"crv_mtd_nand_write_raw_img invalid specifed oob page number !\n");
}

TEST_F(Mtd, RawImageFromMemoryAndArgumentChecks)
{
	auto nand = make_nand(4, small());
	const std::string img = nandsim::random_bytes(kEb + 10, 10);
	std::vector<uint8_t> oob(16, 0xA5);
	ASSERT_EQ(crv_mtd_nand_write_raw_img_from_buff(path_.c_str(), 1, img.data(), img.size(), oob.data(), 16, nullptr), 0);
	EXPECT_EQ(block_bytes(1), img.substr(0, kEb));
	EXPECT_EQ(block_bytes(2).substr(0, 10), img.substr(kEb));
	EXPECT_EQ(nand->oob(32), oob);

	StdoutCapture out;
	EXPECT_EQ(crv_mtd_nand_write_raw_img_from_buff(path_.c_str(), 0, img.data(), 10, oob.data(), 4, nullptr), -22);
	EXPECT_EQ(crv_mtd_nand_write_raw_img(nullptr, 0, nullptr, nullptr, nullptr), -22);
	crv_mtd_img_handle h{-1, nullptr, 0, -1, 0};
	EXPECT_EQ(crv_mtd_nand_write_raw_img(path_.c_str(), 0, &h, nullptr, nullptr), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_nand_write_raw_img_from_buff invalid oob size !\n"
				"crv_mtd_nand_write_raw_img invalid args !\n"
				"crv_mtd_nand_write_raw_img invalid input image handle !\n");
}

TEST_F(Mtd, ATruncatedImageFailsItsRead)
{
	make_nand(4, small());
	StdoutCapture out;
	// The handle claims more than the file holds.
	EXPECT_EQ(write_raw(nandsim::random_bytes(100, 11), nullptr, 0, 0, nullptr, kEb), -5);
	EXPECT_EQ(out.finish(), "crv_mtd_nand_write_raw_img read input data fail !\n");
}

// ---- skip-bad transfers and the block dump -----------------------------------

TEST_F(Mtd, SkipBadRoundTripAndDump)
{
	make_nand(6, small({{"bad", "1:2"}}));
	const std::string data = nandsim::random_bytes(kEb + 4 * kPage, 12);
	uint32_t done = 0;
	ASSERT_EQ(crv_mtd_write_skip_bad(path_.c_str(), data.data(), 0, data.size(), &done), 0);
	EXPECT_EQ(done, data.size());
	EXPECT_EQ(block_bytes(0), data.substr(0, kEb));
	EXPECT_EQ(block_bytes(3).substr(0, 4 * kPage), data.substr(kEb));
	std::string back(data.size(), '\0');
	ASSERT_EQ(crv_mtd_read_skip_bad(path_.c_str(), back.data(), 0, back.size(), &done), 0);
	EXPECT_EQ(back, data);

	const std::string out_path = dir_ + "/dump.bin";
	nandsim::write_file(out_path, std::string(10 * kEb, 'S'));
	ASSERT_EQ(crv_mtd_nand_block_dump(path_.c_str(), 0, 2, out_path.c_str()), 0);
	// Two good blocks, nothing of what the file held before.
	EXPECT_EQ(nandsim::read_file(out_path), data.substr(0, kEb) + block_bytes(3));
}

TEST_F(Mtd, SkipBadRefusesUnalignedCountsAndReportsAShortDevice)
{
	make_nand(3, small({{"bad", "2"}}));
	std::string buf(3 * kEb, '\0');
	uint32_t done = 77;
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_write_skip_bad(path_.c_str(), buf.data(), 0, kPage + 1, &done), -22);
	EXPECT_EQ(done, 77u);
	EXPECT_EQ(out.take(), "crv_mtd_write_skip_bad size_in_byte need page alignment!");
	// Only two good blocks: the third block's worth cannot be read.
	EXPECT_EQ(crv_mtd_read_skip_bad(path_.c_str(), buf.data(), 0, 3 * kEb, &done), -5);
	EXPECT_EQ(done, 2 * kEb);
	EXPECT_EQ(out.finish(), "Read block is out range of mtd device, give up to read\n");
}

// ---- sysfs integers -----------------------------------------------------------

TEST_F(Mtd, SysfsIntegers)
{
	const std::string f = dir_ + "/value";
	nandsim::write_file(f, "126976\n");
	EXPECT_EQ(crv_mtd_read_sysfs_int(f.c_str()), 126976);
	nandsim::write_file(f, "abc\n");
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_read_sysfs_int(f.c_str()), -1);
	EXPECT_EQ(out.finish(), "cannot read value from \"" + f + "\"\n");
	EXPECT_EQ(crv_mtd_read_sysfs_int((dir_ + "/none").c_str()), -1);
	nandsim::write_file(f, std::string(200, '7'));
	EXPECT_EQ(crv_mtd_read_sysfs_int(f.c_str()), -1); // more than int holds
}

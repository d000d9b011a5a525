// UBI records, the scan, flashing and formatting on the simulated NAND; the
// on-flash bytes are checked against an independent reading of the records.
#include "crv_ubi.h"

#include "capture.h"
#include "nand_sim.h"
#include "ubi_image.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using nandsim::be32;
using nandsim::crc32_plain;
using nandsim::NandTest;
using testsupport::StdoutCapture;

namespace {

constexpr uint32_t kEb = 16 * 1024;
constexpr uint32_t kPage = 512;
constexpr uint32_t kVidOff = 512;
constexpr uint32_t kDataOff = 1024;
constexpr uint32_t kLeb = kEb - kDataOff;
const ubitest::Geometry kGeo{kEb, kVidOff, kDataOff};

devmodels::Params small(std::initializer_list<std::pair<const std::string, std::string>> extra = {})
{
	devmodels::Params p{{"erasesize", "16K"}, {"writesize", "512"}, {"oobsize", "16"}};
	for (const auto &[k, v] : extra)
		p.set(k, v);
	return p;
}

crv_mtd_dev geometry(int page, int eb, int blocks = 64)
{
	crv_mtd_dev dev{};
	dev.min_io_size = dev.subpage_size = page;
	dev.eb_size = eb;
	dev.eb_cnt = blocks;
	dev.size = static_cast<uint64_t>(eb) * static_cast<uint64_t>(blocks);
	return dev;
}

struct Progress {
	std::vector<std::pair<int, int>> calls;
	static void cb(int total, int done, void *arg) { static_cast<Progress *>(arg)->calls.emplace_back(total, done); }
};

class Ubi : public NandTest {
protected:
	// Puts an EC header with count ec at the start of a block of the flash.
	void put_ec(int block, uint64_t ec, uint32_t vid = kVidOff, uint32_t data = kDataOff)
	{
		std::string f = flash();
		f.replace(static_cast<size_t>(block) * kEb, 64, ubitest::ec_header(ec, vid, data, 1));
		nandsim::write_file(path_, f);
	}
	void put_bytes(int block, const std::string &bytes)
	{
		std::string f = flash();
		f.replace(static_cast<size_t>(block) * kEb, bytes.size(), bytes);
		nandsim::write_file(path_, f);
	}
	// Writes the image through the whole UBI writer.
	int write_ubi(const std::string &img, Progress *p = nullptr)
	{
		const std::string file = dir_ + "/ubi.img";
		nandsim::write_file(file, img);
		int fd = open(file.c_str(), O_RDONLY);
		crv_mtd_img_handle h{fd, nullptr, 0, -1, static_cast<uint32_t>(img.size())};
		int ret = crv_mtd_nand_write_ubi_img(path_.c_str(), 0, &h, p ? Progress::cb : nullptr, p);
		close(fd);
		return ret;
	}
};

} // namespace

// ---- records ----------------------------------------------------------------

TEST(UbiRecords, LayoutFollowsTheGeometry)
{
	crv_ubi_layout l;
	crv_mtd_dev dev = geometry(2048, 128 * 1024);
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	EXPECT_EQ(l.vid_hdr_offs, 2048);
	EXPECT_EQ(l.data_offs, 4096);
	EXPECT_EQ(l.leb_size, 126976);
	EXPECT_EQ(l.max_volumes, 128);
	EXPECT_EQ(l.vtbl_size, 22016);
	EXPECT_EQ(l.ubi_ver, 1);
	EXPECT_EQ(l.peb_size, 128 * 1024);
	EXPECT_EQ(l.min_io_size, 2048);

	dev = geometry(512, 16 * 1024);
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	EXPECT_EQ(l.max_volumes, 89);
	EXPECT_EQ(l.vtbl_size, 89 * 172);

	// Pages below the header size: the headers span several pages.
	dev = geometry(16, 4096);
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	EXPECT_EQ(l.vid_hdr_offs, 64);
	EXPECT_EQ(l.data_offs, 128);

	// No room for data, or no geometry at all.
	dev = geometry(512, 1024);
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), -22);
	dev = geometry(0, 0);
	EXPECT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), -22);
}

TEST(UbiRecords, HeadersAreBigEndianWithTheirCrc)
{
	crv_ubi_layout l;
	crv_mtd_dev dev = geometry(2048, 128 * 1024);
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	l.image_seq = 0xA1B2C3D4;
	crv_ubi_ec_hdr ec;
	crv_mtd_ubigen_fill_ec_hdr(&l, &ec, 0x0102030405ULL);
	const std::string e(reinterpret_cast<const char *>(&ec), 64);
	EXPECT_EQ(e, ubitest::ec_header(0x0102030405ULL, 2048, 4096, 0xA1B2C3D4));

	const std::string data = nandsim::random_bytes(300, 3);
	crv_ubi_vol_info vi{};
	vi.id = 7;
	vi.type = 2;
	vi.compat = 0;
	vi.used_ebs = 4;
	vi.data_pad = 12;
	crv_ubi_vid_hdr vid;
	crv_mtd_ubigen_fill_vid_hdr(&l, &vi, &vid, 3, data.data(), 300);
	const std::string v(reinterpret_cast<const char *>(&vid), 64);
	EXPECT_EQ(v.substr(0, 8), std::string("UBI!\x01\x02\x00\x00", 8));
	EXPECT_EQ(be32(v, 8), 7u);
	EXPECT_EQ(be32(v, 12), 3u);
	EXPECT_EQ(be32(v, 20), 300u);
	EXPECT_EQ(be32(v, 24), 4u);
	EXPECT_EQ(be32(v, 28), 12u);
	EXPECT_EQ(be32(v, 32), crc32_plain(0xFFFFFFFF, data.data(), 300));
	EXPECT_EQ(v.substr(36, 24), std::string(24, '\0'));
	EXPECT_EQ(be32(v, 60), crc32_plain(0xFFFFFFFF, v.data(), 60));

	// A dynamic volume carries no data size, count or CRC.
	vi.type = 1;
	crv_mtd_ubigen_fill_vid_hdr(&l, &vi, &vid, 3, data.data(), 300);
	const std::string d(reinterpret_cast<const char *>(&vid), 64);
	EXPECT_EQ(d.substr(16, 12), std::string(12, '\0'));
	EXPECT_EQ(be32(d, 32), 0u);
}

TEST(UbiRecords, EmptyVolumeTableRecordsCarryTheirCrc)
{
	crv_ubi_layout l;
	crv_mtd_dev dev = geometry(2048, 128 * 1024);
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	uint8_t *vtbl = crv_mtd_ubigen_create_empty_vtbl(&l);
	ASSERT_NE(vtbl, nullptr);
	const std::string t(reinterpret_cast<const char *>(vtbl), 22016);
	free(vtbl);
	const std::string zero(168, '\0');
	const uint32_t crc = crc32_plain(0xFFFFFFFF, zero.data(), 168);
	for (int i = 0; i < 128; i++) {
		EXPECT_EQ(t.substr(i * 172, 168), zero) << i;
		EXPECT_EQ(be32(t, i * 172 + 168), crc) << i;
	}
}

TEST(UbiRecords, ChangingAnEcHeaderChecksItFirst)
{
	std::string h = ubitest::ec_header(5, 512, 1024, 1);
	ASSERT_EQ(crv_mtd_change_ech(reinterpret_cast<crv_ubi_ec_hdr *>(h.data()), 99, 6), 0);
	EXPECT_EQ(h, ubitest::ec_header(6, 512, 1024, 99));

	StdoutCapture out;
	std::string bad_crc = h;
	bad_crc[9] ^= 1;
	EXPECT_EQ(crv_mtd_change_ech(reinterpret_cast<crv_ubi_ec_hdr *>(bad_crc.data()), 1, 1), -22);
	std::string bad_magic = h;
	bad_magic[3] = '!';
	EXPECT_EQ(crv_mtd_change_ech(reinterpret_cast<crv_ubi_ec_hdr *>(bad_magic.data()), 1, 1), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_change_ech bad crc !\ncrv_mtd_change_ech bad magic header !\n");
}

TEST(UbiRecords, DataPagesDropTrailingFF)
{
	crv_mtd_dev dev = geometry(512, 16 * 1024);
	std::string buf(16 * 1024, '\xff');
	EXPECT_EQ(crv_mtd_data_pages(&dev, buf.data(), static_cast<int>(buf.size())), 0);
	buf[0] = 0;
	EXPECT_EQ(crv_mtd_data_pages(&dev, buf.data(), static_cast<int>(buf.size())), 1);
	buf[2 * 512] = 0x12;
	EXPECT_EQ(crv_mtd_data_pages(&dev, buf.data(), static_cast<int>(buf.size())), 3);
	buf.back() = 0;
	EXPECT_EQ(crv_mtd_data_pages(&dev, buf.data(), static_cast<int>(buf.size())), 32);
}

// ---- scanning -----------------------------------------------------------------

TEST_F(Ubi, ScanClassifiesEveryBlock)
{
	make_nand(8, small({{"bad", "5"}}));
	put_ec(0, 5);
	// 1 stays empty.
	std::string alien = ubitest::ec_header(3, kVidOff, kDataOff, 1);
	alien[10] ^= 0x40;
	put_bytes(2, alien);
	put_bytes(3, "JUNK");
	put_ec(4, 3, kVidOff * 2, kDataOff * 2);
	put_ec(6, 9);
	put_ec(7, 0x7FFFFFFF);

	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	int fd = open(path_.c_str(), O_RDWR);
	crv_ubi_scan_info *scan = nullptr;
	ASSERT_EQ(crv_mtd_ubi_scan(&dev, fd, &scan), 0);
	EXPECT_EQ(std::vector<int32_t>(scan->ec, scan->ec + 8),
		  (std::vector<int32_t>{5, -1, -2, -3, -2, -4, 9, 0x7FFFFFFF}));
	EXPECT_EQ(scan->valid_cnt, 3u);
	EXPECT_EQ(scan->empty_cnt, 1u);
	EXPECT_EQ(scan->alien_cnt, 2u);
	EXPECT_EQ(scan->corrupt_cnt, 1u);
	EXPECT_EQ(scan->bad_cnt, 1u);
	EXPECT_EQ(scan->good_cnt, 7u);
	EXPECT_EQ(scan->mean_ec, (5u + 9u + 0x7FFFFFFFu) / 3u);
	EXPECT_EQ(scan->vid_hdr_offs, static_cast<int32_t>(kVidOff));
	EXPECT_EQ(scan->data_offs, static_cast<int32_t>(kDataOff));
	crv_mtd_ubi_free_scan(scan);

	put_ec(7, 0x80000000ULL);
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_ubi_scan(&dev, fd, &scan), -22);
	EXPECT_EQ(scan, nullptr);
	EXPECT_EQ(out.finish(),
		  "crv_mtd_ubi_scan erase blk 7 erase count 2147483648 bigger than max value 2147483647 !\n");
	close(fd);
}

TEST_F(Ubi, AFirstHeaderWithAnUnalignedDataOffsetIsAlien)
{
	make_nand(4, small());
	put_ec(0, 1, kVidOff, kDataOff + 8);
	put_ec(1, 2);
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	int fd = open(path_.c_str(), O_RDWR);
	crv_ubi_scan_info *scan = nullptr;
	ASSERT_EQ(crv_mtd_ubi_scan(&dev, fd, &scan), 0);
	EXPECT_EQ(scan->ec[0], -2);
	EXPECT_EQ(scan->ec[1], 2);
	crv_mtd_ubi_free_scan(scan);
	close(fd);
}

// ---- flashing and formatting ----------------------------------------------------

TEST_F(Ubi, ImageLandsAroundBadBlocksWithWearCountsKept)
{
	auto nand = make_nand(10, small({{"bad", "1"}}));
	for (int b = 0; b < 10; b++)
		if (b != 1 && b != 6)
			put_ec(b, 5 + static_cast<uint64_t>(b));
	// Block 3 will not erase: it is retired and the image goes on in 4.
	nand->fail_erase(3);
	std::vector<std::string> lebs = {nandsim::random_bytes(kLeb, 1), nandsim::random_bytes(kLeb / 3, 2),
					 nandsim::random_bytes(kLeb, 3)};
	const std::string img = ubitest::image(kGeo, lebs, 77);
	Progress p;
	StdoutCapture out;
	ASSERT_EQ(write_ubi(img, &p), 0);
	out.finish();

	EXPECT_EQ(nand->bad_blocks(), (std::vector<int>{1, 3}));
	const std::string f = flash();
	const std::vector<int> image_blocks = {0, 2, 4};
	std::set<uint32_t> seqs;
	// Valid counts 5, 7, 8, 9, 10, 12, 13, 14 from blocks 0, 2, 3, 4, 5, 7, 8,
	// 9 (block 3 still carried its header when scanned): the empty block 6
	// gets their mean.
	const uint64_t mean = (5 + 7 + 8 + 9 + 10 + 12 + 13 + 14) / 8;
	for (int b = 0; b < 10; b++) {
		if (b == 1 || b == 3)
			continue;
		const std::string blk = f.substr(static_cast<size_t>(b) * kEb, kEb);
		const auto ec = ubitest::parse_ec(blk);
		ASSERT_TRUE(ec.valid) << b;
		EXPECT_EQ(ec.vid_off, kVidOff);
		EXPECT_EQ(ec.data_off, kDataOff);
		EXPECT_EQ(ec.ec, b == 6 ? mean : 5 + static_cast<uint64_t>(b) + 1) << b;
		seqs.insert(ec.seq);
		auto it = std::find(image_blocks.begin(), image_blocks.end(), b);
		if (it != image_blocks.end()) {
			const size_t i = static_cast<size_t>(it - image_blocks.begin());
			// Everything after the EC header is the image's own PEB.
			EXPECT_EQ(blk.substr(64), img.substr(i * kEb + 64, kEb - 64)) << b;
		} else {
			EXPECT_EQ(blk.substr(64), std::string(kEb - 64, '\xff')) << b;
		}
	}
	// One run, one image sequence number, not the image's own.
	EXPECT_EQ(seqs.size(), 1u);
	EXPECT_NE(*seqs.begin(), 0x1234u);
	// Three image blocks, then one call per formatted block.
	ASSERT_GE(p.calls.size(), 3u);
	EXPECT_EQ(p.calls[0], std::make_pair(4, 1));
	EXPECT_EQ(p.calls[2], std::make_pair(4, 3));
	EXPECT_EQ(p.calls.back(), std::make_pair(5, 5)); // blocks 5..9 from block 5
}

TEST_F(Ubi, AnEraseCountAtTheMaximumStaysThere)
{
	make_nand(4, small());
	put_ec(0, 0x7FFFFFFF); // takes the image
	put_ec(2, 0x7FFFFFFF); // formatted
	StdoutCapture out;
	ASSERT_EQ(write_ubi(ubitest::image(kGeo, {"a"})), 0) << out.finish();
	EXPECT_EQ(ubitest::parse_ec(block_bytes(0)).ec, 0x7FFFFFFFu);
	EXPECT_EQ(ubitest::parse_ec(block_bytes(2)).ec, 0x7FFFFFFFu);
	EXPECT_EQ(ubitest::attach_refusal(flash(), kEb, kPage, kPage), "");
}

TEST_F(Ubi, APageThatFailsMovesTheImageBlockOn)
{
	auto nand = make_nand(6, small());
	nand->fail_write(0);
	fail_plain_writes(true);
	const std::string img = ubitest::image(kGeo, {nandsim::random_bytes(kLeb, 4)});
	ASSERT_EQ(write_ubi(img), 0);
	fail_plain_writes(false);
	EXPECT_TRUE(nand->is_bad(0));
	EXPECT_EQ(block_bytes(1).substr(64), img.substr(64));
	EXPECT_TRUE(ubitest::parse_ec(block_bytes(2)).valid);
}

// Real NAND programs each sub-page once per erase. On a flash with 512-byte
// sub-pages (as the kernel reports it in sysfs) and an image whose VID
// header shares the first page with the EC header, the blocks formatted
// after the image get only their EC header's sub-page: the kernel programs
// the VID header's sub-page when it maps such a block.
TEST_F(Ubi, FormattedBlocksLeaveTheVidHeadersSubPageToTheKernel)
{
	if (!fake_sysfs({{"subpagesize", "512"}}))
		GTEST_SKIP() << "needs a mount namespace of its own (root)";
	make_nand(4, small({{"writesize", "2048"}, {"subpagesize", "512"}}));
	const ubitest::Geometry geo{kEb, 512, 2048};
	StdoutCapture out;
	ASSERT_EQ(write_ubi(ubitest::image(geo, {nandsim::random_bytes(kEb - 2048, 5)})), 0) << out.finish();
	out.finish();
	EXPECT_EQ(ubitest::attach_refusal(flash(), kEb, 2048, 512, 512), "");
	// The kernel maps block 3: the VID header's sub-page, then data.
	const std::string vid = ubitest::vid_header(0, 1) + std::string(512 - 64, '\xff');
	int fd = open(path_.c_str(), O_WRONLY);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(lseek(fd, 3 * kEb + 512, SEEK_SET), 3 * kEb + 512);
	EXPECT_EQ(write(fd, vid.data(), vid.size()), 512) << strerror(errno);
	close(fd);
}

TEST_F(Ubi, ImagesThatCannotFitOrAreNotUbiAreRefused)
{
	auto nand = make_nand(4, small({{"bad", "0"}}));
	StdoutCapture out;
	// Not a whole number of erase blocks.
	std::string img = ubitest::image(kGeo, {"a"});
	EXPECT_EQ(write_ubi(img + "x"), -22);
	EXPECT_NE(out.take().find("crv_mtd_ubi_flash_img input file size not block alignment !\n"), std::string::npos);
	// More blocks than the good ones.
	EXPECT_EQ(write_ubi(ubitest::image(kGeo, {"a", "b", "c", "d"})), -22);
	EXPECT_NE(out.take().find("crv_mtd_ubi_flash_img file size too large !\n"), std::string::npos);
	for (int b = 0; b < 4; b++)
		EXPECT_EQ(nand->erase_count(b), 0) << b;
	// A block without an EC header.
	img[0] = 'X';
	EXPECT_EQ(write_ubi(img), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_change_ech bad magic header !\ncrv_mtd_ubi_flash_img bad ec header !\n"
				"crv_mtd_nand_write_ubi_img flash ubi image to nand fail !\n");
}

TEST_F(Ubi, OneGoodBlockIsTooFew)
{
	make_nand(3, small({{"bad", "0:2"}}));
	StdoutCapture out;
	EXPECT_EQ(write_ubi(ubitest::image(kGeo, {"a"})), -22);
	EXPECT_EQ(out.finish(), "crv_mtd_nand_write_ubi_img bad block too much !\n");
}

TEST_F(Ubi, FormatWithVolumeTableWritesTheLayoutVolume)
{
	make_nand(6, small({{"bad", "1"}}));
	put_ec(0, 40);
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	int fd = open(path_.c_str(), O_RDWR);
	crv_ubi_scan_info *scan = nullptr;
	ASSERT_EQ(crv_mtd_ubi_scan(&dev, fd, &scan), 0);
	crv_ubi_layout l;
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	Progress p;
	ASSERT_EQ(crv_mtd_ubi_format(&dev, &l, scan, fd, 0, false, Progress::cb, &p), 0);
	crv_mtd_ubi_free_scan(scan);
	close(fd);

	// Blocks 0 and 2 (the first good ones) hold the layout volume.
	const std::string zero(168, '\0');
	const uint32_t rec_crc = crc32_plain(0xFFFFFFFF, zero.data(), 168);
	int lnum = 0;
	for (int b : {0, 2}) {
		const std::string blk = block_bytes(b);
		const auto ec = ubitest::parse_ec(blk);
		ASSERT_TRUE(ec.valid);
		EXPECT_EQ(ec.ec, b == 0 ? 41u : 40u);
		const auto vid = ubitest::parse_vid(blk, kVidOff);
		ASSERT_TRUE(vid.valid);
		EXPECT_EQ(vid.vol_id, 0x7FFFEFFFu);
		EXPECT_EQ(vid.lnum, static_cast<uint32_t>(lnum++));
		EXPECT_EQ(vid.type, 1);
		EXPECT_EQ(vid.compat, 5);
		for (int r = 0; r < 89; r++)
			EXPECT_EQ(be32(blk, kDataOff + r * 172 + 168), rec_crc);
		EXPECT_EQ(blk.substr(kDataOff + 89 * 172), std::string(kEb - kDataOff - 89 * 172, '\xff'));
	}
	for (int b : {3, 4, 5}) {
		const std::string blk = block_bytes(b);
		EXPECT_TRUE(ubitest::parse_ec(blk).valid);
		EXPECT_EQ(blk.substr(64), std::string(kEb - 64, '\xff'));
	}
	// The bad block and three headers: (6, 1) first, (6, 4) last.
	EXPECT_EQ(p.calls, (std::vector<std::pair<int, int>>{{6, 2}, {6, 3}, {6, 4}}));
}

TEST_F(Ubi, FormatNeedsTwoBlocksForTheVolumeTable)
{
	make_nand(3, small({{"bad", "0:1"}}));
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	int fd = open(path_.c_str(), O_RDWR);
	crv_ubi_scan_info *scan = nullptr;
	ASSERT_EQ(crv_mtd_ubi_scan(&dev, fd, &scan), 0);
	crv_ubi_layout l;
	ASSERT_EQ(crv_mtd_ubigen_layout_init(&l, &dev), 0);
	StdoutCapture out;
	EXPECT_EQ(crv_mtd_ubi_format(&dev, &l, scan, fd, 0, false, nullptr, nullptr), -5);
	EXPECT_EQ(out.finish(), "crv_mtd_ubi_format no erase block for volume table !\n");
	crv_mtd_ubi_free_scan(scan);
	close(fd);
}

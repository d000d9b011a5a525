// The NAND image writers end to end: containers from the image builder go
// through the update thread onto the simulated NAND.
#include "crv_nand_writer.h"

#include "capture.h"
#include "crv_mtd.h"
#include "crv_ostrel_ctx.h"
#include "crv_update.h"
#include "imgbuilder.h"
#include "nand_sim.h"
#include "ubi_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using nandsim::NandTest;

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

std::vector<std::pair<int, int>> g_events;

int record_event(int code, int value, void *)
{
	g_events.emplace_back(code, value);
	return 0;
}

class NandWriters : public NandTest {
protected:
	void SetUp() override
	{
		NandTest::SetUp();
		crv_ostrel_test_reset();
		g_events.clear();
		tmp_ = dir_ + "/fwup";
		crv_ostrel_set_mount_point("/");
		crv_ostrel_set_tmp_folder(tmp_.c_str());
		crv_ostrel_set_event_cb(record_event, nullptr);
	}

	// Builds a container of one image named `name` for the flash and runs the
	// update thread over it with `writer` bound to the name. True when the
	// update reported success.
	bool update(crv_img_cb_fn writer, const std::string &payload, const std::string &param = "",
		    const std::string &name = "nandimg")
	{
		const std::string fw = dir_ + "/fw.img";
		imgbuilder::Image other;
		other.name = "skip";
		other.target = "/dev/null";
		other.data = "payload of another image";
		imgbuilder::Image img;
		img.name = name;
		img.target = path_;
		img.data = payload;
		img.param = param;
		imgbuilder::write_container(fw, {other, img, other});
		EXPECT_EQ(crv_ostrel_register_img_cb(name.c_str(), writer, nullptr), 0);
		EXPECT_EQ(crv_ostrel_register_img_cb("skip", crv_ostrel_bypass_update_cb, nullptr), 0);
		testsupport::StdoutCapture cap;
		crv_ostrel_update_thread(strdup(fw.c_str()));
		out_ = cap.finish();
		return !g_events.empty() && g_events.back().first == CRV_EVT_ALL_DONE;
	}

	// A header naming the flash as the target of "nandimg".
	crv_per_img_hdr target_hdr() const
	{
		crv_per_img_hdr hdr{};
		memcpy(hdr.magic, "PIMG", 4);
		strcpy(hdr.name, "nandimg");
		memcpy(hdr.target, path_.c_str(), std::min(path_.size(), sizeof(hdr.target)));
		return hdr;
	}
	bool staged_left() const
	{
		struct stat st;
		return stat((tmp_ + "/nandimg.div").c_str(), &st) == 0;
	}
	int erases() const
	{
		int n = 0;
		for (const auto &e : nand_->events())
			n += e.rfind("MEMERASE64 block=", 0) == 0;
		return n;
	}

	std::string tmp_;
	std::string out_;
};

} // namespace

// ---- raw writers ----------------------------------------------------------------

TEST_F(NandWriters, RawWriterPutsThePayloadOnTheFlash)
{
	make_nand(6, small({{"bad", "1"}}));
	nandsim::write_file(path_, std::string(6 * kEb, 'O')); // old contents
	const std::string payload = nandsim::random_bytes(2 * kEb + 700, 1);
	ASSERT_TRUE(update(crv_ostrel_nand_raw_update_cb, payload)) << out_;
	const std::string f = flash();
	EXPECT_EQ(f.substr(0, kEb), payload.substr(0, kEb));
	EXPECT_EQ(f.substr(kEb, kEb), std::string(kEb, 'O')); // the bad block is left alone
	EXPECT_EQ(f.substr(2 * kEb, kEb), payload.substr(kEb, kEb));
	EXPECT_EQ(f.substr(3 * kEb, kEb), payload.substr(2 * kEb) + std::string(kEb - 700, '\xff'));
	EXPECT_EQ(f.substr(4 * kEb), std::string(2 * kEb, '\xff'));
	EXPECT_FALSE(staged_left());
	EXPECT_NE(out_.find("crv_mtd_nand_write_raw_img skip bad block 1\n"), std::string::npos);
}

TEST_F(NandWriters, BootLoaderAndStandbyImagesCarryTheirOobTemplate)
{
	auto nand = make_nand(4, small({{"bad", "0"}}));
	ASSERT_TRUE(update(crv_ostrel_nand_xboot_update_cb, nandsim::random_bytes(kEb + 5, 2))) << out_;
	std::vector<uint8_t> want(16, 0xFF);
	want[2] = 0x01;
	want[3] = 0x00;
	EXPECT_EQ(nand->oob(32), want); // first page of the first good block
	EXPECT_TRUE(nand->oob(33).empty());
	EXPECT_TRUE(nand->oob(64).empty());

	ASSERT_TRUE(update(crv_ostrel_nand_stbc_update_cb, nandsim::random_bytes(kPage, 3))) << out_;
	want[2] = 0x00;
	EXPECT_EQ(nand->oob(32), want);
}

TEST_F(NandWriters, EraseOnlyErasesAndWritesNothing)
{
	make_nand(4, small());
	nandsim::write_file(path_, std::string(4 * kEb, 'O'));
	ASSERT_TRUE(update(crv_ostrel_nand_raw_update_w_erase_flag_cb, "ignored payload", "fmt=eraseOnly")) << out_;
	EXPECT_EQ(flash(), std::string(4 * kEb, '\xff'));
	EXPECT_NE(out_.find("Erase MTD: " + path_ + "\n"), std::string::npos);

	// Without the flag it writes like the raw writer.
	ASSERT_TRUE(update(crv_ostrel_nand_raw_update_w_erase_flag_cb, "data", "fmt=normal")) << out_;
	EXPECT_EQ(flash().substr(0, 4), "data");
}

TEST_F(NandWriters, EdidWriterCarriesThePanelFieldsOver)
{
	make_nand(6, small({{"bad", "0:1"}}));
	// The image now in the flash, in block 2 behind two bad blocks.
	std::string old = nandsim::random_bytes(CRV_STBC_IMG_SIZE, 4);
	std::string f = flash();
	f.replace(2 * kEb, old.size(), old);
	nandsim::write_file(path_, f);

	const std::string payload = nandsim::random_bytes(0xA000, 5);
	ASSERT_TRUE(update(crv_ostrel_nand_stbc_with_edid_update_cb, payload)) << out_;
	std::string want = payload;
	for (auto [at, n] : {std::pair{0x8E00, 4}, std::pair{0x8E80, 128}, std::pair{0x8F00, 256}})
		want.replace(at, n, old.substr(at, n));
	EXPECT_EQ(flash().substr(2 * kEb, payload.size()), want);
	EXPECT_NE(out_.find("crv_ostrel_nand_stbc_with_edid_update_cb skip bad block 0\n"
			    "crv_ostrel_nand_stbc_with_edid_update_cb skip bad block 1\n"),
		  std::string::npos);
	std::vector<uint8_t> oob(16, 0xFF);
	oob[2] = oob[3] = 0;
	EXPECT_EQ(nand_->oob(64), oob);
}

// ---- bad input: refused before the flash is erased ---------------------------------

TEST_F(NandWriters, AShortOrOversizedEdidImageIsRefusedAndTheFlashKept)
{
	make_nand(12, small());
	nandsim::write_file(path_, std::string(12 * kEb, 'O'));
	EXPECT_FALSE(update(crv_ostrel_nand_stbc_with_edid_update_cb, std::string(0x8FFF, 'p')));
	EXPECT_NE(out_.find("crv_ostrel_nand_stbc_with_edid_update_cb Illegal EDID offset!!! rdlen=0x8fff\n"),
		  std::string::npos);
	EXPECT_EQ(g_events.back().first, CRV_ERR_UPDATE_IMAGE);
	EXPECT_FALSE(update(crv_ostrel_nand_stbc_with_edid_update_cb, std::string(0x20001, 'p')));
	EXPECT_EQ(erases(), 0);
	EXPECT_EQ(flash(), std::string(12 * kEb, 'O'));
}

TEST_F(NandWriters, AnImageLargerThanThePartitionIsRefusedBeforeErasing)
{
	make_nand(2, small());
	nandsim::write_file(path_, std::string(2 * kEb, 'O'));
	for (auto writer : {crv_ostrel_nand_raw_update_cb, crv_ostrel_nand_xboot_update_cb,
			    crv_ostrel_nand_ubi_img_update_cb}) {
		EXPECT_FALSE(update(writer, std::string(2 * kEb + 1, 'p')));
		EXPECT_NE(out_.find(" file size too large !\n"), std::string::npos) << out_;
	}
	EXPECT_EQ(erases(), 0);
	EXPECT_EQ(flash(), std::string(2 * kEb, 'O'));
	EXPECT_FALSE(staged_left());
}

TEST_F(NandWriters, ATruncatedPayloadLeavesTheFlashAsItWas)
{
	make_nand(4, small());
	nandsim::write_file(path_, std::string(4 * kEb, 'O'));
	// The handle promises a block; the stream holds less.
	const std::string payload_file = dir_ + "/short.bin";
	nandsim::write_file(payload_file, nandsim::random_bytes(kEb - 100, 6));
	const crv_per_img_hdr hdr = target_hdr();
	crv_per_img_handle handle{fopen(payload_file.c_str(), "rb"), kEb, 0};
	ASSERT_NE(handle.stream, nullptr);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_nand_raw_update_cb(&hdr, &handle, nullptr), -5);
	EXPECT_EQ(handle.stream, nullptr);
	EXPECT_EQ(cap.finish(), "crv_ostrel_nand_raw_update_cb read pimg fail !\n");
	EXPECT_EQ(erases(), 0);
	EXPECT_EQ(flash(), std::string(4 * kEb, 'O'));
	EXPECT_FALSE(staged_left());
}

// A partition past 4 GiB is taken whole (MEMGETINFO has its low 32 bits,
// the kernel's sysfs all of it); a payload past the 32 bits the MTD and UBI
// layers count is refused before anything is staged or erased, not cut.
TEST_F(NandWriters, PayloadsPast4GiBAreRefusedNotCut)
{
	constexpr uint64_t k4G = uint64_t{1} << 32;
	if (!fake_sysfs({{"size", std::to_string(k4G + 2 * kEb)}}))
		GTEST_SKIP() << "needs a mount namespace of its own (root)";
	make_nand(2, small());
	ASSERT_EQ(truncate(path_.c_str(), k4G + 2 * kEb), 0);
	crv_mtd_dev dev;
	ASSERT_EQ(crv_mtd_probe(path_.c_str(), &dev), 0);
	EXPECT_EQ(dev.size, k4G + 2 * kEb);
	const std::string payload_file = dir_ + "/big.bin";
	nandsim::write_file(payload_file, "");
	ASSERT_EQ(truncate(payload_file.c_str(), k4G + kEb), 0);
	const crv_per_img_hdr hdr = target_hdr();
	for (auto writer : {crv_ostrel_nand_raw_update_cb, crv_ostrel_nand_ubi_img_update_cb}) {
		crv_per_img_handle handle{fopen(payload_file.c_str(), "rb"), k4G + kEb, 0};
		testsupport::StdoutCapture cap;
		EXPECT_EQ(writer(&hdr, &handle, nullptr), -22);
		EXPECT_NE(cap.finish().find(" file size too large !\n"), std::string::npos);
	}
	EXPECT_EQ(erases(), 0);
	EXPECT_FALSE(staged_left());
}

TEST_F(NandWriters, SpareAreasThatCannotBeTheTemplatesAreRefused)
{
	make_nand(2, small({{"oobsize", "2"}}));
	EXPECT_FALSE(update(crv_ostrel_nand_xboot_update_cb, "x"));
	EXPECT_NE(out_.find("crv_ostrel_nand_xboot_update_cb invalid oob size !\n"), std::string::npos);
	EXPECT_EQ(erases(), 0);
	// A device that claims a spare area larger than its page would size
	// the template by that claim.
	make_nand(2, small({{"oobsize", "4096"}}));
	EXPECT_FALSE(update(crv_ostrel_nand_xboot_update_cb, "x"));
	EXPECT_NE(out_.find("invalid oobsize(4096)\n"), std::string::npos) << out_;
	EXPECT_EQ(erases(), 0);
}

// ---- UBI images ----------------------------------------------------------------------

TEST_F(NandWriters, UbiImageIsFlashedFromTheContainer)
{
	make_nand(8, small({{"bad", "1"}}));
	const ubitest::Geometry g{kEb, kPage, 2 * kPage};
	const std::vector<std::string> lebs = {nandsim::random_bytes(kEb - 2 * kPage, 7), "short leb"};
	const std::string img = ubitest::image(g, lebs, 3);
	ASSERT_TRUE(update(crv_ostrel_nand_ubi_img_update_cb, img)) << out_;
	const std::string f = flash();
	int lnum = 0;
	for (int b = 0; b < 8; b++) {
		if (b == 1)
			continue;
		const std::string blk = f.substr(static_cast<size_t>(b) * kEb, kEb);
		const auto ec = ubitest::parse_ec(blk);
		ASSERT_TRUE(ec.valid) << b;
		EXPECT_EQ(ec.ec, 0u); // a fresh flash: the counts start at 0
		if (b < 3) {
			EXPECT_EQ(blk.substr(64), img.substr(static_cast<size_t>(lnum) * kEb + 64, kEb - 64)) << b;
			EXPECT_EQ(ubitest::parse_vid(blk, kPage).lnum, static_cast<uint32_t>(lnum));
			lnum++;
		} else {
			EXPECT_EQ(blk.substr(64), std::string(kEb - 64, '\xff')) << b;
		}
	}
	EXPECT_EQ(lnum, 2);
}

// The erase counts the flash held survive an update, each one more: a flash
// whose every block counts 5 holds 6 everywhere afterwards.
TEST_F(NandWriters, UbiImageKeepsTheFlashsEraseCounts)
{
	make_nand(8, small());
	const ubitest::Geometry g{kEb, kPage, 2 * kPage};
	nandsim::write_file(path_, ubitest::image(g, std::vector<std::string>(8, "old"), 5));
	ASSERT_TRUE(update(crv_ostrel_nand_ubi_img_update_cb, ubitest::image(g, {"new"}))) << out_;
	for (int b = 0; b < 8; b++)
		EXPECT_EQ(ubitest::parse_ec(block_bytes(b)).ec, 6u) << b;
}

TEST_F(NandWriters, EmptyMisalignedOrCorruptUbiImagesAreRefusedBeforeErasing)
{
	make_nand(8, small());
	nandsim::write_file(path_, std::string(8 * kEb, 'O'));
	const ubitest::Geometry g{kEb, kPage, 2 * kPage};
	// Zero bytes would mean "the whole file" (the container) to the UBI layer.
	EXPECT_FALSE(update(crv_ostrel_nand_ubi_img_update_cb, ""));
	EXPECT_NE(out_.find("crv_ostrel_nand_ubi_img_update_cb invalid input image handle !\n"), std::string::npos);
	EXPECT_FALSE(update(crv_ostrel_nand_ubi_img_update_cb, ubitest::image(g, {"a"}) + "tail"));
	EXPECT_NE(out_.find("not block alignment !\n"), std::string::npos);
	std::string corrupt = ubitest::image(g, {"a", "b", "c"});
	corrupt[2 * kEb + 12] ^= 1; // the third block's EC header
	EXPECT_FALSE(update(crv_ostrel_nand_ubi_img_update_cb, corrupt));
	EXPECT_NE(out_.find("crv_mtd_change_ech bad crc !\ncrv_ostrel_nand_ubi_img_update_cb bad ec header !\n"),
		  std::string::npos);
	// Offsets Linux refuses: blocks that differ, and a data offset that is
	// not the first page boundary after the VID header.
	const std::string mixed = ubitest::image(g, {"a"}) + ubitest::image({kEb, 2 * kPage, 3 * kPage}, {"b"});
	EXPECT_FALSE(update(crv_ostrel_nand_ubi_img_update_cb, mixed));
	EXPECT_NE(out_.find("crv_ostrel_nand_ubi_img_update_cb bad ec header !\n"), std::string::npos) << out_;
	EXPECT_FALSE(update(crv_ostrel_nand_ubi_img_update_cb, ubitest::image({kEb, kPage, 3 * kPage}, {"a"})));
	EXPECT_NE(out_.find("crv_mtd_ubi_image_layout image vid hdr offset 512 data offset 1536 on page 512 sub-page "
			    "512 fail !\n"),
		  std::string::npos)
		<< out_;
	EXPECT_EQ(erases(), 0);
	EXPECT_EQ(flash(), std::string(8 * kEb, 'O'));
}

// Images Linux attaches read-only or not at all on the flash at hand, by its
// page and sub-page sizes: a VID header in the EC header's sub-page (an image
// made for 512-byte sub-pages on a flash without them), or one running past
// the header unit from its sub-page's start.
TEST_F(NandWriters, UbiImagesTheKernelCannotUseReadWriteAreRefusedBeforeErasing)
{
	const struct {
		uint32_t eb, page, vid, data;
	} cases[] = {{kEb, 512, 64, 512}, {kEb, 512, 480, 1024}, {128 * 1024, 2048, 512, 2048},
		     {128 * 1024, 2048, 2040, 4096}};
	for (const auto &c : cases) {
		make_nand(4, small({{"erasesize", std::to_string(c.eb)}, {"writesize", std::to_string(c.page)}}));
		nandsim::write_file(path_, std::string(4 * c.eb, 'O'));
		const std::string img = ubitest::image({c.eb, c.vid, c.data}, {"a"});
		EXPECT_NE(ubitest::attach_refusal(img, c.eb, c.page, c.page, c.vid), "") << c.vid;
		EXPECT_FALSE(update(crv_ostrel_nand_ubi_img_update_cb, img)) << c.vid;
		char want[128];
		snprintf(want, sizeof(want), "crv_mtd_ubi_image_layout image vid hdr offset %u data offset %u on page %u "
			 "sub-page %u fail !\n", c.vid, c.data, c.page, c.page);
		EXPECT_NE(out_.find(want), std::string::npos) << out_;
		EXPECT_EQ(erases(), 0) << c.vid;
		EXPECT_TRUE(flash() == std::string(4 * c.eb, 'O')) << c.vid;
	}
}

// Images from ubinize, with and without sub-pages, on a flash of 2048-byte
// pages with sub-pages of the image's: what the writer leaves must attach
// under Linux's rules, with the image's own VID header offset (the kernel's
// default on such a flash).
class UbinizeImages : public NandWriters, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UbinizeImages, FlashAttachesWithTheImagesOffsets)
{
	const uint32_t subpage = GetParam();
	if (subpage != 2048 && !fake_sysfs({{"subpagesize", std::to_string(subpage)}}))
		GTEST_SKIP() << "needs a mount namespace of its own (root)";
	make_nand(16, {{"erasesize", "128K"}, {"writesize", "2048"}, {"subpagesize", std::to_string(subpage)},
		       {"oobsize", "64"}, {"bad", "5"}});
	nandsim::write_file(dir_ + "/vol.bin", nandsim::random_bytes(300 * 1024, 9));
	std::ofstream(dir_ + "/ubi.cfg") << "[rootfs]\nmode=ubi\nimage=" << dir_ << "/vol.bin\nvol_id=0\n"
					 << "vol_type=dynamic\nvol_name=rootfs\nvol_size=1MiB\n";
	const std::string img = dir_ + "/ubi.img";
	ASSERT_EQ(system(("ubinize -o " + img + " -m 2048 -p 128KiB -s " + std::to_string(subpage) + " " + dir_ +
			  "/ubi.cfg >/dev/null")
				 .c_str()),
		  0);
	ASSERT_TRUE(update(crv_ostrel_nand_ubi_img_update_cb, nandsim::read_file(img))) << out_;
	const std::string f = flash();
	EXPECT_EQ(ubitest::attach_refusal(f, 128 * 1024, 2048, subpage, 0, {5}), "");
	// Every good block carries a header: the image's, or a fresh one.
	for (int b = 0; b < 16; b++)
		EXPECT_TRUE(b == 5 || ubitest::parse_ec(block_bytes(b)).valid) << b;
}

INSTANTIATE_TEST_SUITE_P(SubPages, UbinizeImages, ::testing::Values(512u, 2048u));

// ---- the legacy image test ----------------------------------------------------------------

TEST(NandUimage, MagicIsBigEndian)
{
	const uint8_t good[] = {0x27, 0x05, 0x19, 0x56, 0};
	const uint8_t swapped[] = {0x56, 0x19, 0x05, 0x27, 0};
	EXPECT_EQ(crv_ostrel_is_uimage_hdr(good), 1);
	EXPECT_EQ(crv_ostrel_is_uimage_hdr(swapped), 0);
	EXPECT_EQ(crv_ostrel_is_uimage_hdr(nullptr), 0);
}

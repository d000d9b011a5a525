#include "crvgpt.h"
#include "capture.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint64_t kSector = 512;

std::string run(const std::string &cmd)
{
	std::string out;
	FILE *p = popen(cmd.c_str(), "r");
	if (!p)
		return out;
	char buf[4096];
	size_t n;
	while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
		out.append(buf, n);
	pclose(p);
	return out;
}

uint64_t u64_at(const std::vector<uint8_t> &b, size_t off)
{
	uint64_t v;
	memcpy(&v, &b[off], 8);
	return v;
}

uint32_t u32_at(const std::vector<uint8_t> &b, size_t off)
{
	uint32_t v;
	memcpy(&v, &b[off], 4);
	return v;
}

class GptTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		char tmpl[] = "/tmp/crvgpt-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir_ = tmpl;
		size_path_ = dir_ + "/size";
		dev_path_ = dir_ + "/disk";
		list_path_ = dir_ + "/list.txt";
		crvgpt_set_size_path_for_test(size_path_.c_str());
		crvgpt_set_dev_path(dev_path_.c_str());
		entries_.fill({nullptr, 0});
	}

	void TearDown() override
	{
		crvgpt_free_part_list(entries_.data(), count_);
		crvgpt_set_size_path_for_test(nullptr);
		run("rm -rf " + dir_);
	}

	// A disk of `sectors` sectors: the sysfs size file and a sparse image.
	void make_disk(uint64_t sectors)
	{
		sectors_ = sectors;
		std::ofstream(size_path_) << sectors << "\n";
		int fd = open(dev_path_.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
		ASSERT_GE(fd, 0);
		ASSERT_EQ(ftruncate(fd, static_cast<off_t>(sectors * kSector)), 0);
		close(fd);
	}

	void write_list(const std::string &text) { std::ofstream(list_path_) << text; }

	int parse()
	{
		crvgpt_free_part_list(entries_.data(), count_);
		count_ = 0;
		return crv_parse_gpt_text_tbl(list_path_.c_str(), entries_.data(), &count_);
	}

	std::vector<uint8_t> read_disk(uint64_t lba, size_t bytes)
	{
		std::vector<uint8_t> buf(bytes);
		int fd = open(dev_path_.c_str(), O_RDONLY);
		EXPECT_GE(fd, 0);
		EXPECT_EQ(pread(fd, buf.data(), bytes, static_cast<off_t>(lba * kSector)),
			  static_cast<ssize_t>(bytes));
		close(fd);
		return buf;
	}

	bool disk_is_zero()
	{
		auto head = read_disk(0, 34 * kSector);
		auto tail = read_disk(sectors_ - 33, 33 * kSector);
		for (auto b : head)
			if (b)
				return false;
		for (auto b : tail)
			if (b)
				return false;
		return true;
	}

	std::string dir_, size_path_, dev_path_, list_path_;
	uint64_t sectors_ = 0;
	std::array<crvgpt_part_info, CRVGPT_MAX_PART_ENTRIES> entries_{};
	int count_ = 0;
};

TEST(GptCrc, StandardCheckValueAndChaining)
{
	const char *s = "123456789";
	EXPECT_EQ(crvgpt_crc32(0, s, 9), 0xCBF43926u);
	uint32_t part = crvgpt_crc32(0, s, 4);
	EXPECT_EQ(crvgpt_crc32(part, s + 4, 5), 0xCBF43926u);
	EXPECT_EQ(crvgpt_crc32(0, s, 0), 0u);
}

TEST(GptNames, Utf16ConversionLimitsAndRoundTrip)
{
	uint8_t out[72];
	std::string n36(36, 'a');
	EXPECT_EQ(crvgpt_str_to_utf16(n36.c_str(), out, sizeof(out)), 0);
	EXPECT_EQ(out[70], 'a');
	EXPECT_EQ(out[71], 0);

	testsupport::StdoutCapture cap;
	std::string n37(37, 'b');
	EXPECT_EQ(crvgpt_str_to_utf16(n37.c_str(), out, sizeof(out)), -1);
	EXPECT_EQ(cap.finish(), "outbuf length not enough ! \n");

	ASSERT_EQ(crvgpt_str_to_utf16("system", out, sizeof(out)), 0);
	char back[72];
	crvgpt_utf16_to_str(out, back, sizeof(back));
	EXPECT_STREQ(back, "system");
}

TEST_F(GptTest, LayoutOfTheListOnAnEightGigabyteDisk)
{
	make_disk(16ull * 1024 * 1024); // 8 GiB: the backup lies beyond 4 GiB
	write_list("# comment\nboot;65536\nsystem;2097152\r\ndata;0\n");
	ASSERT_EQ(parse(), 0);
	ASSERT_EQ(count_, 3);
	EXPECT_STREQ(entries_[1].name, "system");
	ASSERT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);

	auto mbr = read_disk(0, kSector);
	const uint8_t rec[8] = {0x00, 0xFE, 0xFF, 0xFF, 0xEE, 0xFE, 0xFF, 0xFF};
	EXPECT_EQ(memcmp(&mbr[446], rec, 8), 0);
	EXPECT_EQ(u32_at(mbr, 454), 1u);
	EXPECT_EQ(u32_at(mbr, 458), static_cast<uint32_t>(sectors_ - 1));
	EXPECT_EQ(mbr[510], 0x55);
	EXPECT_EQ(mbr[511], 0xAA);

	auto hdr = read_disk(1, kSector);
	auto tbl = read_disk(2, 16384);
	auto btbl = read_disk(sectors_ - 33, 16384);
	auto bhdr = read_disk(sectors_ - 1, kSector);
	EXPECT_EQ(memcmp(hdr.data(), "EFI PART", 8), 0);
	EXPECT_EQ(u64_at(hdr, 24), 1u);
	EXPECT_EQ(u64_at(hdr, 32), sectors_ - 1);
	EXPECT_EQ(u64_at(hdr, 48), sectors_ - 34);
	EXPECT_EQ(u64_at(bhdr, 24), sectors_ - 1);
	EXPECT_EQ(u64_at(bhdr, 32), 1u);
	EXPECT_EQ(u64_at(bhdr, 72), sectors_ - 33);
	EXPECT_EQ(tbl, btbl);
	EXPECT_EQ(memcmp(&hdr[56], &bhdr[56], 16), 0) << "one disk GUID";

	// Both headers' CRCs verify with the standard CRC-32.
	for (auto *h : {&hdr, &bhdr}) {
		EXPECT_EQ(u32_at(*h, 88), crvgpt_crc32(0, tbl.data(), tbl.size()));
		std::vector<uint8_t> copy(h->begin(), h->begin() + 92);
		memset(&copy[16], 0, 4);
		EXPECT_EQ(u32_at(*h, 16), crvgpt_crc32(0, copy.data(), copy.size()));
	}

	struct { uint64_t first, last; } want[3] = {
		{2048, 67583}, {67584, 2164735}, {2164736, sectors_ - 34}};
	const uint8_t type[16] = {0xAF, 0x3D, 0xC6, 0x0F, 0x83, 0x84, 0x72, 0x47,
				  0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4};
	for (int i = 0; i < 3; i++) {
		size_t e = static_cast<size_t>(i) * 128;
		EXPECT_EQ(memcmp(&tbl[e], type, 16), 0);
		EXPECT_EQ(u64_at(tbl, e + 32), want[i].first) << i;
		EXPECT_EQ(u64_at(tbl, e + 40), want[i].last) << i;
		EXPECT_EQ(u64_at(tbl, e + 48), 0u);
	}
	EXPECT_EQ(tbl[56], 'b');
	EXPECT_EQ(tbl[57], 0);
	for (size_t i = 3 * 128; i < tbl.size(); i++)
		ASSERT_EQ(tbl[i], 0) << "unused entries are zero";
}

TEST_F(GptTest, IndependentToolsAcceptTheTable)
{
	make_disk(16ull * 1024 * 1024);
	write_list("boot;65536\nsystem;2097152\ndata;0\n");
	ASSERT_EQ(parse(), 0);
	ASSERT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);

	std::string verify = run("sgdisk -v " + dev_path_ + " 2>&1");
	EXPECT_NE(verify.find("No problems found"), std::string::npos) << verify;
	std::string dump = run("sfdisk --dump " + dev_path_ + " 2>&1");
	EXPECT_NE(dump.find("label: gpt"), std::string::npos) << dump;
	EXPECT_NE(dump.find("start=        2048, size=       65536"), std::string::npos) << dump;
	EXPECT_NE(dump.find("start=       67584, size=     2097152"), std::string::npos) << dump;
	EXPECT_NE(dump.find("name=\"data\""), std::string::npos) << dump;
	EXPECT_NE(dump.find("type=0FC63DAF-8483-4772-8E79-3D69D8477DE4"), std::string::npos) << dump;
}

TEST_F(GptTest, ExactFitIsWrittenOneSectorMoreIsRefused)
{
	make_disk(100000);
	const uint64_t usable = 100000 - 2081;
	write_list("a;1000\nb;" + std::to_string(usable - 1000) + "\n");
	ASSERT_EQ(parse(), 0);
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);
	auto tbl = read_disk(2, 256);
	EXPECT_EQ(u64_at(tbl, 128 + 40), 100000u - 34);

	make_disk(100000);
	write_list("a;1000\nb;" + std::to_string(usable - 999) + "\n");
	ASSERT_EQ(parse(), 0);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), -1);
	EXPECT_EQ(cap.finish(), "crvgpt_write_gpt partition table large than device, abort update "
				"partition table !\n");
	EXPECT_TRUE(disk_is_zero());
}

TEST_F(GptTest, SizesThatWouldWrapThirtyTwoBitsAreRefused)
{
	make_disk(100000);
	write_list("a;4294967295\nb;4294967295\nc;10\n");
	ASSERT_EQ(parse(), 0);
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), -1);
	EXPECT_TRUE(disk_is_zero());
}

TEST_F(GptTest, TinyDiskIsRefusedWithoutUnderflow)
{
	make_disk(2081);
	write_list("a;0\n");
	ASSERT_EQ(parse(), 0);
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), -1);
	EXPECT_TRUE(disk_is_zero());
}

TEST_F(GptTest, NameTooLongFailsBeforeTheDeviceIsOpened)
{
	make_disk(100000);
	write_list(std::string(37, 'n') + ";100\n");
	ASSERT_EQ(parse(), 0);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), -1);
	std::string out = cap.finish();
	EXPECT_NE(out.find("outbuf length not enough ! \n"), std::string::npos);
	EXPECT_NE(out.find("crvgpt_write_gpt cover part name " + std::string(37, 'n') + " fail !\n"),
		  std::string::npos);
	EXPECT_EQ(out.find("open emmc device"), std::string::npos);
	EXPECT_TRUE(disk_is_zero());
}

TEST_F(GptTest, TooManyEntriesAreRefusedByParserAndWriter)
{
	make_disk(1000000);
	std::string list;
	for (int i = 0; i < 129; i++)
		list.append("p").append(std::to_string(i)).append(";10\n");
	write_list(list);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(parse(), -1);
	EXPECT_EQ(count_, 0);
	EXPECT_NE(cap.take().find("more than 128 entries"), std::string::npos);

	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), 129), -1);
	EXPECT_EQ(cap.finish(), "crvgpt_write_gpt entry count 129 large than max gpt entry count !\n");
	EXPECT_TRUE(disk_is_zero());

	// Exactly 128 fit, with no terminating entry after them.
	list.clear();
	for (int i = 0; i < 128; i++)
		list.append("p").append(std::to_string(i)).append(";10\n");
	write_list(list);
	ASSERT_EQ(parse(), 0);
	EXPECT_EQ(count_, 128);
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);
	auto tbl = read_disk(2, 16384);
	EXPECT_EQ(u64_at(tbl, 127 * 128 + 32), 2048u + 127 * 10);
}

TEST_F(GptTest, ParserSkipsCommentsAndBlanksAndRefusesJunk)
{
	write_list("#only;comment\n\n  \nboot part;42\n");
	ASSERT_EQ(parse(), 0);
	ASSERT_EQ(count_, 1);
	EXPECT_STREQ(entries_[0].name, "boot part") << "blanks in names are kept";
	EXPECT_EQ(entries_[0].size, 42u);
	EXPECT_EQ(entries_[1].name, nullptr);

	write_list("boot;1\nnot a partition\n");
	EXPECT_EQ(parse(), -1);
	EXPECT_EQ(count_, 0);

	// Sizes are decimal numbers; text would otherwise read as 0, the rest
	// of the disk.
	for (const char *bad : {"boot;\n", "boot;abc\n", "boot;12k\n", "boot;-5\n", "boot;0x10\n"}) {
		write_list(bad);
		EXPECT_EQ(parse(), -1) << bad;
	}
	write_list("boot; 12 \r\n");
	ASSERT_EQ(parse(), 0);
	EXPECT_EQ(entries_[0].size, 12u);

	// The longest line the buffer holds, as the last line without a line end.
	std::string last = std::string(1018, 'n') + ";1234";
	write_list("a;1\n" + last);
	ASSERT_EQ(parse(), 0);
	ASSERT_EQ(count_, 2);
	EXPECT_EQ(entries_[1].size, 1234u);
	write_list("a;1\n" + last + "5\n");
	EXPECT_EQ(parse(), -1) << "one character more is refused";

	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_parse_gpt_text_tbl((dir_ + "/missing").c_str(), entries_.data(), &count_), -1);
	EXPECT_EQ(crv_parse_gpt_text_tbl(nullptr, entries_.data(), &count_), -1);
	EXPECT_EQ(cap.finish(), "crv_parse_gpt_text_tbl open partition list file " + dir_ +
					"/missing fail !\n"
					"crv_parse_gpt_text_tbl invalid parameters !\n");
}

TEST_F(GptTest, CommentOnlyListWritesAnEmptyTable)
{
	make_disk(100000);
	write_list("# nothing\n");
	ASSERT_EQ(parse(), 0);
	ASSERT_EQ(count_, 0);
	ASSERT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);
	auto hdr = read_disk(1, kSector);
	auto bhdr = read_disk(sectors_ - 1, kSector);
	EXPECT_EQ(memcmp(hdr.data(), "EFI PART", 8), 0);
	EXPECT_EQ(memcmp(bhdr.data(), "EFI PART", 8), 0);
	auto tbl = read_disk(2, 16384);
	for (auto b : tbl)
		ASSERT_EQ(b, 0);
}

TEST_F(GptTest, ZeroSizesTakeTheRestAndASecondZeroIsRefused)
{
	make_disk(100000);
	write_list("a;1000\nb;0\n");
	ASSERT_EQ(parse(), 0);
	crvgpt_gen_dram_part_tbl(entries_.data(), count_);
	EXPECT_EQ(entries_[1].size, 100000u - 2081 - 1000);
	ASSERT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);
	auto tbl = read_disk(2, 256);
	EXPECT_EQ(u64_at(tbl, 128 + 40), 100000u - 34);

	make_disk(100000);
	write_list("a;0\nb;0\n");
	ASSERT_EQ(parse(), 0);
	crvgpt_gen_dram_part_tbl(entries_.data(), count_);
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), count_), -1)
	    << "the second partition would start past the usable area";
	EXPECT_TRUE(disk_is_zero());
}

TEST_F(GptTest, DumpPrintsWhatWasWritten)
{
	make_disk(100000);
	write_list("boot;100\nrootfs;0\n");
	ASSERT_EQ(parse(), 0);
	ASSERT_EQ(crvgpt_write_gpt(entries_.data(), count_), 0);
	testsupport::StdoutCapture cap;
	crvgpt_dump_gpt();
	std::string out = cap.finish();
	EXPECT_NE(out.find("=====protect MBR=====\nboot flag : 0x0\n"), std::string::npos) << out;
	EXPECT_NE(out.find("part type : 0xee\n"), std::string::npos);
	EXPECT_NE(out.find("gpt hdr sign : EFI PART\n"), std::string::npos);
	EXPECT_NE(out.find("backup gpt_lba : 99999\n"), std::string::npos);
	EXPECT_NE(out.find("===========part entry 2===============\n"), std::string::npos);
	EXPECT_NE(out.find("part name : rootfs\n"), std::string::npos);
	EXPECT_NE(out.find("part type guid:AF3DC60F83847247"), std::string::npos);
	EXPECT_EQ(out.find("part entry 3"), std::string::npos);

	auto hdr = read_disk(1, kSector);
	char line[64];
	snprintf(line, sizeof(line), "calc hdr crc = 0x%x\n", u32_at(hdr, 16));
	EXPECT_NE(out.find(line), std::string::npos) << "a sound header recomputes to its CRC";
}

TEST_F(GptTest, MissingSizeFileOrDeviceFails)
{
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crvgpt_get_dev_max_sectors(), 0u);
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), 0), -1);
	EXPECT_EQ(cap.take(), "crvgpt_get_dev_max_sectors open emmc info path fail !\n"
			      "crvgpt_get_dev_max_sectors open emmc info path fail !\n"
			      "crvgpt_write_gpt get max sectors fail !\n");
	std::ofstream(size_path_) << "100000\n";
	EXPECT_EQ(crvgpt_write_gpt(entries_.data(), 0), -1);
	EXPECT_EQ(cap.finish(), "crvgpt_write_gpt open emmc device node fail !\n");
}

} // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture.h"
#include "crv_md5tbl.h"
#include "crv_ostrel_ctx.h"
#include "imgbuilder.h"

namespace {

using imgbuilder::Image;

constexpr const char *kEmptyMd5 = "d41d8cd98f00b204e9800998ecf8427e";

int open_fds()
{
	int n = 0;
	DIR *d = opendir("/proc/self/fd");
	while (readdir(d))
		n++;
	closedir(d);
	return n;
}

class Md5Tbl : public ::testing::Test {
protected:
	void SetUp() override
	{
		char tmpl[] = "/tmp/crvmd5tbl-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir_ = tmpl;
	}
	void TearDown() override { std::filesystem::remove_all(dir_); }

	// A "partition" of `size` bytes of a repeating pattern.
	std::string make_part(const std::string &name, std::size_t size, char seed = 1)
	{
		std::string path = dir_ + "/" + name;
		std::string data(size, '\0');
		for (std::size_t i = 0; i < size; i++)
			data[i] = char((i * 131 + std::size_t(seed) * 7 + i / 4093) & 0xFF);
		std::ofstream(path, std::ios::binary) << data;
		return path;
	}

	// What md5sum says of `count` bytes from `offset` of a file.
	std::string md5sum(const std::string &path, uint64_t offset, uint64_t count)
	{
		std::string cmd = "tail -c +" + std::to_string(offset + 1) + " '" + path + "' | head -c " +
				  std::to_string(count) + " | md5sum";
		FILE *p = popen(cmd.c_str(), "r");
		char out[33] = {};
		EXPECT_EQ(fread(out, 1, 32, p), 32u);
		pclose(p);
		return out;
	}

	// Loads table text through a firmware image holding it as "md5tbl".
	int load(const std::string &table, std::string *out = nullptr)
	{
		std::string img = dir_ + "/fw.img";
		imgbuilder::write_container(img, {Image{.name = "kernel", .data = "not the table"},
						  Image{.name = "md5tbl", .data = table}});
		crv_ostrel_set_img_path(img.c_str());
		FILE *fp = fopen(img.c_str(), "rb");
		testsupport::StdoutCapture cap;
		int ret = crv_ostrel_gen_md5tbl_in_ram(fp);
		std::string printed = cap.finish();
		if (out)
			*out = printed;
		fclose(fp);
		return ret;
	}

	int verify(const char *name, std::string *out)
	{
		testsupport::StdoutCapture cap;
		int ret = crv_otsrel_md5_part_verify(name);
		*out = cap.finish();
		return ret;
	}

	std::string dir_;
};

// ---- Verification -------------------------------------------------------------

TEST_F(Md5Tbl, VerifiesTheListedRegionOfADevice)
{
	std::string dev = make_part("mmcblk0p3", 16 << 20);
	std::string sum = md5sum(dev, 0, 8 << 20);
	ASSERT_EQ(load("boot:" + dev + ":0:8388608:" + sum + "\n"), 0);

	std::string out;
	EXPECT_EQ(verify("boot", &out), 0);
	EXPECT_EQ(out, "Verify boot ...\n");

	// The digest of the whole device is not the digest of its first half.
	ASSERT_EQ(load("boot:" + dev + ":0:8388608:" + md5sum(dev, 0, 16 << 20) + "\n"), 0);
	EXPECT_EQ(verify("boot", &out), -1);
	EXPECT_EQ(out, "Verify boot ...\nVeify boot fail !!!\n");
}

TEST_F(Md5Tbl, OffsetsAndOddSizesAreHonoured)
{
	std::string dev = make_part("p5", 100000, 3);
	std::string table = "a:" + dev + ":12345:54321:" + md5sum(dev, 12345, 54321) + "\n" +
			    "b:" + dev + ":99999:1:" + md5sum(dev, 99999, 1) + "\r\n" + // CR LF line end
			    "c:" + dev + ":10240:10240:" + md5sum(dev, 10240, 10240); // no line end
	ASSERT_EQ(load(table), 0);
	std::string out;
	EXPECT_EQ(verify("a", &out), 0) << out;
	EXPECT_EQ(verify("b", &out), 0) << out;
	EXPECT_EQ(verify("c", &out), 0) << out;
}

TEST_F(Md5Tbl, UppercaseDigestsMatchToo)
{
	std::string dev = make_part("p6", 4096);
	std::string sum = md5sum(dev, 0, 4096);
	for (auto &c : sum)
		c = char(toupper(c));
	ASSERT_EQ(load("x:" + dev + ":0:4096:" + sum + "\n"), 0);
	std::string out;
	EXPECT_EQ(verify("x", &out), 0);
}

TEST_F(Md5Tbl, UnlistedNamesAreNotChecked)
{
	std::string dev = make_part("p1", 4096);
	ASSERT_EQ(load("system:" + dev + ":0:4096:" + md5sum(dev, 0, 4096) + "\n"), 0);
	std::string out;
	EXPECT_EQ(verify("sys", &out), 0); // exact names only
	EXPECT_EQ(verify("systemx", &out), 0);
	EXPECT_EQ(verify("", &out), 0);
	EXPECT_EQ(out, "");
	EXPECT_EQ(crv_otsrel_md5_part_verify(nullptr), 0);
}

TEST_F(Md5Tbl, ASizeOfZeroHashesNoData)
{
	std::string dev = make_part("p2", 512);
	ASSERT_EQ(load(std::string("empty:") + dev + ":0:0:" + kEmptyMd5 + "\n" + "wrong:" + dev + ":0:0:" +
		       md5sum(dev, 0, 512) + "\n"),
		  0);
	std::string out;
	EXPECT_EQ(verify("empty", &out), 0);
	EXPECT_EQ(verify("wrong", &out), -1);
}

TEST_F(Md5Tbl, DeviceFailuresGiveMinusFive)
{
	std::string dev = make_part("p3", 4096);
	std::string gone = dir_ + "/nothing";
	ASSERT_EQ(load("gone:" + gone + ":0:16:" + kEmptyMd5 + "\n" + "short:" + dev + ":4000:200:" + kEmptyMd5 +
		       "\n" + "past:" + dev + ":8192:1:" + kEmptyMd5 + "\n"),
		  0);
	std::string out;
	EXPECT_EQ(verify("gone", &out), -5);
	EXPECT_EQ(out, "crv_otsrel_md5_part_verify open device " + gone + " fail !\n");
	EXPECT_EQ(verify("short", &out), -5);
	EXPECT_EQ(out, "Verify short ...\ncrv_otsrel_md5_part_verify read fail !\n");
	EXPECT_EQ(verify("past", &out), -5);

	int before = open_fds();
	verify("short", &out);
	verify("gone", &out);
	EXPECT_EQ(open_fds(), before);
}

TEST_F(Md5Tbl, OffsetsBeyondFourGiBReachTheRightBytes)
{
	const uint64_t at = (4ull << 30) + 4096; // would wrap to 4096 in 32 bits
	std::string dev = dir_ + "/big";
	std::string tail(8192, 'T');
	{
		FILE *f = fopen(dev.c_str(), "wb");
		ASSERT_EQ(fseeko(f, off_t(at), SEEK_SET), 0);
		ASSERT_EQ(fwrite(tail.data(), 1, tail.size(), f), tail.size());
		fclose(f);
	}
	std::string probe = make_part("probe", 0);
	std::ofstream(probe, std::ios::binary) << tail;
	ASSERT_EQ(load("far:" + dev + ":" + std::to_string(at) + ":8192:" + md5sum(probe, 0, 8192) + "\n"), 0);
	EXPECT_EQ(crv_md5tbl_entries()[0].offset, at);
	std::string out;
	EXPECT_EQ(verify("far", &out), 0) << out;
}

// ---- Loading the table ------------------------------------------------------

TEST_F(Md5Tbl, FillsEntriesFromTheFiveFields)
{
	std::string line = std::string("boot:/dev/mmcblk0p3:1048576:8388608:") + "00112233445566778899aabbccddeeff\n";
	ASSERT_EQ(load(line), 0);
	const crv_md5tbl_entry &e = crv_md5tbl_entries()[0];
	EXPECT_STREQ(e.name, "boot");
	EXPECT_STREQ(e.dev, "/dev/mmcblk0p3");
	EXPECT_EQ(e.offset, 1048576u);
	EXPECT_EQ(e.size, 8388608u);
	const uint8_t want[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
				  0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
	EXPECT_EQ(memcmp(e.digest, want, 16), 0);
	EXPECT_EQ(crv_md5tbl_entries()[1].name[0], '\0');
}

TEST_F(Md5Tbl, MalformedLinesFailTheirVerification)
{
	std::string good = ":" + make_part("p5", 16) + ":0:0:" + kEmptyMd5;
	std::string table = "ok1" + good + "\n" +
			    std::string(16, 'n') + good + "\n" + // name too long
			    "bad:" + std::string(64, 'd') + ":0:1:" + kEmptyMd5 + "\n" + // path too long
			    "few:/dev/x:0:" + kEmptyMd5 + "\n" + // four fields
			    "more:/dev/x:0:1:" + kEmptyMd5 + ":extra\n" + // six fields
			    "neg:/dev/x:-1:1:" + kEmptyMd5 + "\n" + // offset not a number
			    "hex:/dev/x:0:1:d41d8cd98f00b204e9800998ecf8427g\n" + // not hex
			    "shortsum:/dev/x:0:1:d41d8cd98f00b204e9800998ecf8427\n" + //
			    "\n" + // blank: ignored quietly
			    "ok2" + good + "\n";
	std::string out;
	ASSERT_EQ(load(table, &out), 0);
	for (int line : {2, 3, 4, 5, 6, 7, 8})
		EXPECT_NE(out.find("crv_ostrel_gen_md5tbl_in_ram:invalid md5tbl line " + std::to_string(line) + " !\n"),
			  std::string::npos)
			<< line << "\n"
			<< out;
	EXPECT_EQ(out.find("line 9 "), std::string::npos);
	EXPECT_EQ(verify("ok2", &out), 0) << out;
	for (const char *name : {"bad", "few", "more", "neg", "hex", "shortsum"}) {
		EXPECT_EQ(verify(name, &out), -1) << name;
		EXPECT_EQ(out, std::string("crv_otsrel_md5_part_verify md5tbl entry ") + name + " invalid !\n");
	}
	// The line whose name could not be read may list any name.
	EXPECT_EQ(verify("unlisted", &out), -1);
	EXPECT_EQ(out, "crv_otsrel_md5_part_verify md5tbl incomplete, can't verify unlisted !\n");
}

TEST_F(Md5Tbl, TakesThirtyEntriesAtMost)
{
	std::string table;
	for (int i = 0; i < 31; i++)
		table += "p" + std::to_string(i) + ":/dev/x:0:1:" + kEmptyMd5 + "\n";
	std::string out;
	ASSERT_EQ(load(table, &out), 0);
	EXPECT_STREQ(crv_md5tbl_entries()[29].name, "p29");
	EXPECT_EQ(out, "crv_ostrel_gen_md5tbl_in_ram:md5tbl holds more than 30 entries, the rest is ignored !\n");
}

TEST_F(Md5Tbl, ASecondLoadLeavesNoStaleEntry)
{
	std::string dev = make_part("p4", 1024);
	ASSERT_EQ(load("a:" + dev + ":0:1024:" + md5sum(dev, 0, 1024) + "\nb:" + dev + ":0:1024:" + kEmptyMd5 + "\n"),
		  0);
	std::string out;
	EXPECT_EQ(verify("b", &out), -1);
	ASSERT_EQ(load("a:" + dev + ":0:1024:" + md5sum(dev, 0, 1024) + "\n"), 0);
	EXPECT_EQ(verify("b", &out), 0);
	EXPECT_EQ(out, ""); // no longer listed
	EXPECT_EQ(crv_md5tbl_entries()[1].name[0], '\0');
}

TEST_F(Md5Tbl, ImageProblemsAreReturnedAndNothingLeaks)
{
	std::string img = dir_ + "/fw.img";
	crv_ostrel_set_img_path(img.c_str());
	int before = open_fds();
	{
		imgbuilder::write_container(img, {Image{.name = "kernel", .data = "x"}});
		FILE *fp = fopen(img.c_str(), "rb");
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_gen_md5tbl_in_ram(fp), -22);
		cap.finish();
		fclose(fp);
	}
	{
		imgbuilder::write_container(img, {Image{.name = "md5tbl", .data = "abc", .length = 1000}});
		FILE *fp = fopen(img.c_str(), "rb");
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_gen_md5tbl_in_ram(fp), -5); // no buffer sized by a length the file lacks
		EXPECT_EQ(cap.finish(), "crv_ostrel_get_per_img_by_name setup phandle fail !\n");
		fclose(fp);
	}
	{
		std::string out;
		ASSERT_EQ(load(std::string("a:/dev/x:0:1:") + kEmptyMd5 + "\n", &out), 0);
	}
	EXPECT_EQ(open_fds(), before);
}

} // namespace

// The format callback's keywords with their real effects on file targets.
// (Targets holding the temporary folder's file system, NTFS and the dd wipe
// need a private system: see system_sandbox_test.cpp.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "crv_emmc_format.h"
#include "crv_ostrel_ctx.h"

namespace {

std::string read_all(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

crv_per_img_hdr header(const std::string &target, const std::string &text)
{
	crv_per_img_hdr h;
	memset(&h, 0, sizeof(h));
	memcpy(h.magic, "PIMG", 4);
	memcpy(h.name, "apdat", 5);
	memcpy(h.target, target.data(), std::min(target.size(), sizeof(h.target)));
	memcpy(h.param, text.data(), std::min(text.size(), sizeof(h.param)));
	return h;
}

class FormatCb : public ::testing::Test {
protected:
	void SetUp() override
	{
		crv_ostrel_test_reset();
		char tmpl[] = "/tmp/crv-fmt-XXXXXX";
		dir_ = mkdtemp(tmpl);
		part_ = dir_ + "/part";
		make_part(8 << 20);
	}
	void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
	void make_part(off_t size)
	{
		std::ofstream(part_, std::ios::binary) << std::string(4096, '\x5A');
		ASSERT_EQ(truncate(part_.c_str(), size), 0);
	}
	int format(const std::string &text)
	{
		auto h = header(part_, text);
		return crv_ostrel_emmc_common_format_cb(&h, nullptr);
	}
	// Puts recording stand-ins for the format tools first on PATH; each
	// appends its name to the target, so the order shows in the file.
	void stand_in_tools()
	{
		std::string bin = dir_ + "/bin";
		mkdir(bin.c_str(), 0755);
		for (const char *tool : {"mkfs.ext4", "mkfs.vfat", "mkntfs", "mkswap"}) {
			std::string f = bin + "/" + tool;
			std::ofstream(f) << "#!/bin/sh\nfor t; do :; done\necho " << tool << " >> \"$t\"\n";
			chmod(f.c_str(), 0755);
		}
		setenv("PATH", (bin + ":" + getenv("PATH")).c_str(), 1);
	}

	std::string dir_, part_;
};

} // namespace

TEST_F(FormatCb, Ext4MakesARealExt4FileSystem)
{
	EXPECT_EQ(format("FORMAT-EXT4"), 0);
	std::string data = read_all(part_);
	ASSERT_GT(data.size(), 1082u);
	EXPECT_EQ(uint8_t(data[1080]), 0x53); // superblock magic 0xEF53
	EXPECT_EQ(uint8_t(data[1081]), 0xEF);
	EXPECT_EQ(std::system(("e2fsck -fn " + part_ + " >/dev/null 2>&1").c_str()), 0);
}

TEST_F(FormatCb, VfatMakesAFileSystemThatChecksClean)
{
	EXPECT_EQ(format("FORMAT-VFAT"), 0);
	EXPECT_EQ(std::system(("fsck.vfat -n " + part_ + " >/dev/null 2>&1").c_str()), 0);
}

TEST_F(FormatCb, SwapWritesTheSwapSignature)
{
	EXPECT_EQ(format("FORMAT-SWAP"), 0);
	std::string data = read_all(part_);
	long page = sysconf(_SC_PAGESIZE);
	EXPECT_EQ(data.substr(page - 10, 10), "SWAPSPACE2");
}

TEST_F(FormatCb, EraseWritesTheEraseMarkAtTheStart)
{
	EXPECT_EQ(format("FORMAT-ERASE"), 0);
	EXPECT_EQ(read_all(part_).substr(0, 8), "ERASEDB\n");
}

TEST_F(FormatCb, KeywordsRunInTableOrderEachOnItsOwn)
{
	stand_in_tools();
	EXPECT_EQ(format("FORMAT-SWAP-NTFS-VFAT-EXT4"), 0);
	std::string data = read_all(part_);
	EXPECT_EQ(data.substr(data.size() - 34), "mkfs.ext4\nmkfs.vfat\nmkntfs\nmkswap\n");

	// "ERASE" (a shell redirection) replaces what a file target held: had
	// it run first, the vfat tool's line would follow it.
	make_part(4096);
	EXPECT_EQ(format("FORMAT-VFAT,ERASE"), 0);
	EXPECT_EQ(read_all(part_), "ERASEDB\n");
}

TEST_F(FormatCb, NoKeywordFormatsNothing)
{
	stand_in_tools();
	std::string before = read_all(part_);
	EXPECT_EQ(format("FORMAT-XFS"), 0);
	EXPECT_EQ(format(""), 0);
	EXPECT_EQ(format("ext4 vfat"), 0); // keywords are upper case
	EXPECT_EQ(read_all(part_), before);
}

TEST_F(FormatCb, TargetThatIsNoPlainPathIsRefused)
{
	stand_in_tools();
	std::string before = read_all(part_);
	for (const std::string &bad : std::vector<std::string>{part_ + ";touch " + dir_ + "/owned", part_ + " " + part_, "$(reboot)", "-q"}) {
		auto h = header(bad, "FORMAT-EXT4-ERASE");
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_emmc_common_format_cb(&h, nullptr), -22);
		EXPECT_EQ(cap.finish(), "crv_ostrel_emmc_common_format_cb invalid target " + bad + " !\n");
	}
	EXPECT_EQ(read_all(part_), before);
	EXPECT_NE(access((dir_ + "/owned").c_str(), F_OK), 0);
	EXPECT_EQ(crv_ostrel_emmc_common_format_cb(nullptr, nullptr), -22);
}

TEST_F(FormatCb, TargetOffTheTemporaryFileSystemIsNeverUnmounted)
{
	// A device that is not the target, and one that is empty (mount not
	// found), both leave the mount alone; a mount point that does not
	// exist would make any unmount fail.
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	strcpy(ctx.mount_point, "/crv-no-such-mount");
	ctx.tmp_dev = "/dev/crv-other";
	stand_in_tools();
	testsupport::StdoutCapture cap;
	EXPECT_EQ(format("FORMAT-EXT4"), 0);
	ctx.tmp_dev.clear();
	EXPECT_EQ(format("FORMAT-EXT4"), 0);
	// A device whose path starts the target's is another device
	// (/dev/mmcblk0p1 and /dev/mmcblk0p10).
	ctx.tmp_dev = part_.substr(0, part_.size() - 1);
	EXPECT_EQ(format("FORMAT-EXT4"), 0);
	EXPECT_EQ(cap.finish(), "");
}

TEST_F(FormatCb, MissingTargetIsNeitherFormattedNorMade)
{
	const std::string missing = dir_ + "/mmcblk0p9";
	auto h = header(missing, "FORMAT-ERASE");
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_emmc_common_format_cb(&h, nullptr), -1);
	EXPECT_EQ(cap.finish(), "crv_ostrel_emmc_common_format_cb target " + missing + " not found !\n");
	EXPECT_NE(access(missing.c_str(), F_OK), 0);
}

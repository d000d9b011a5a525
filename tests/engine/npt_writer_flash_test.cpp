// The partition-table writer onto a NAND partition: a regular file under
// /dev in a sandbox stands in for the MTD character device (its stat reports
// a character device of major 90, its ioctls answer as a NAND flash).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <mtd/mtd-user.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "crv_npt.h"
#include "crv_npt_writer.h"
#include "devsim.h"
#include "sandbox.h"

namespace {

constexpr const char *kFlash = "/dev/mtd5";
constexpr uint32_t kPage = 2048;

bool is_flash(const char *path)
{
	return path != nullptr && strcmp(path, kFlash) == 0;
}

} // namespace

extern "C" {
int __real_stat(const char *path, struct stat *st);
int __wrap_stat(const char *path, struct stat *st)
{
	int ret = __real_stat(path, st);
	if (ret == 0 && is_flash(path)) {
		st->st_mode = (st->st_mode & ~S_IFMT) | S_IFCHR;
		st->st_rdev = makedev(90, 10);
	}
	return ret;
}
int __real_stat64(const char *path, struct stat64 *st);
int __wrap_stat64(const char *path, struct stat64 *st)
{
	int ret = __real_stat64(path, st);
	if (ret == 0 && is_flash(path)) {
		st->st_mode = (st->st_mode & ~S_IFMT) | S_IFCHR;
		st->st_rdev = makedev(90, 10);
	}
	return ret;
}
}

namespace {

// A NAND flash of `blocks` erase blocks of `eb_size` bytes; `bad_block` (or
// -1) reports bad. Erases are printed so the test sees them.
void attach_nand(uint32_t eb_size, uint32_t blocks, int bad_block)
{
	devsim::attach(kFlash, [=](int fd, unsigned long request, void *arg) -> int {
		switch (request) {
		case MEMGETINFO: {
			mtd_info_user info{};
			info.type = MTD_NANDFLASH;
			info.flags = MTD_WRITEABLE;
			info.size = eb_size * blocks;
			info.erasesize = eb_size;
			info.writesize = kPage;
			info.oobsize = 64;
			memcpy(arg, &info, sizeof(info));
			return 0;
		}
		case MEMGETBADBLOCK: {
			loff_t off;
			memcpy(&off, arg, sizeof(off));
			return bad_block >= 0 && off == loff_t(bad_block) * eb_size ? 1 : 0;
		}
		case MEMSETBADBLOCK:
			return 0;
		case MEMERASE64: {
			erase_info_user64 req;
			memcpy(&req, arg, sizeof(req));
			printf("[erase 0x%llx]\n", static_cast<unsigned long long>(req.start));
			std::string ff(req.length, '\xFF');
			return pwrite(fd, ff.data(), ff.size(), off_t(req.start)) == ssize_t(ff.size()) ? 0 : -1;
		}
		default:
			errno = ENOTTY;
			return -1;
		}
	});
}

std::string table_text(const std::string &unit_kb)
{
	return "KQ58_PART_TABLE_START\r\nVERSION,1\r\nNAME,t\r\nCHIP,72171\r\nNAND,0\r\nSIZE,2048\r\n"
	       "UNIT_KB," + unit_kb + "\r\nUNIT_VOL_KB,128\r\nID,NAME,SIZE\r\n"
	       "0,boot,8\r\n1,ubi,100\r\nKQ58_PART_UBI_VOL_TABLE\r\nMTD_IDX,NAME,SIZE,VOL_IDX\r\n"
	       "1,rootfs,40,0\r\nKQ58_PART_TABLE_END\r\n";
}

// What the binary table of that text must hold.
std::string expected_bin(const std::string &text)
{
	crv_npt_ctx ctx{};
	memcpy(ctx.text, text.data(), text.size());
	EXPECT_EQ(crv_npt_parse_text_table(&ctx), 0);
	crv_npt_bin bin;
	crv_npt_to_binary(&ctx, &bin);
	return std::string(reinterpret_cast<const char *>(&bin), sizeof(bin));
}

struct Outcome {
	sandbox::Result run;
	std::string flash;
	bool staged_left;
};

Outcome write_table(const std::string &text, uint32_t eb_size, uint32_t blocks, int bad_block)
{
	sandbox::Sandbox box;
	box.write_file(kFlash, std::string(eb_size * blocks, '\x5A'));
	Outcome o;
	o.run = box.run([&] {
		attach_nand(eb_size, blocks, bad_block);
		crv_per_img_hdr hdr{};
		memcpy(hdr.magic, "PIMG", 4);
		memcpy(hdr.name, "npt", 3);
		memcpy(hdr.target, kFlash, strlen(kFlash));
		crv_per_img_handle handle{};
		handle.stream = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
		handle.length = text.size();
		int ret = crv_ostrel_nand_npt_update_cb(&hdr, &handle, nullptr);
		printf("[result %d]\n", ret);
		printf("[staged %s]\n", access(CRV_NPT_BIN_PATH, F_OK) == 0 ? "left" : "gone");
		return 0;
	});
	o.flash = box.read_file(kFlash).value_or("");
	o.staged_left = o.run.out.find("[staged left]") != std::string::npos;
	return o;
}

TEST(NptWriterFlash, WritesTheBinaryTableToTheErasedPartition)
{
	if (auto why = sandbox::unavailable(); !why.empty())
		GTEST_SKIP() << why;
	std::string text = table_text("128");
	Outcome o = write_table(text, 128 * 1024, 8, -1);
	ASSERT_TRUE(o.run.ok()) << o.run.setup_error << o.run.err;
	EXPECT_NE(o.run.out.find("[result 0]"), std::string::npos) << o.run.out;
	EXPECT_NE(o.run.out.find("[erase 0x0]"), std::string::npos) << o.run.out;
	EXPECT_NE(o.run.out.find("[erase 0xe0000]"), std::string::npos) << o.run.out; // the last block too
	ASSERT_EQ(o.flash.size(), 8u * 128 * 1024);
	EXPECT_EQ(o.flash.substr(0, CRV_NPT_BIN_SIZE), expected_bin(text));
	// The rest of the written page and block is erased flash.
	EXPECT_EQ(o.flash.substr(CRV_NPT_BIN_SIZE, 128 * 1024 - CRV_NPT_BIN_SIZE),
		  std::string(128 * 1024 - CRV_NPT_BIN_SIZE, '\xFF'));
	EXPECT_FALSE(o.staged_left);
}

TEST(NptWriterFlash, ABadFirstBlockPutsTheTableInTheNextGoodOne)
{
	if (auto why = sandbox::unavailable(); !why.empty())
		GTEST_SKIP() << why;
	std::string text = table_text("128");
	Outcome o = write_table(text, 128 * 1024, 4, 0);
	ASSERT_TRUE(o.run.ok()) << o.run.setup_error << o.run.err;
	EXPECT_NE(o.run.out.find("[result 0]"), std::string::npos) << o.run.out;
	EXPECT_EQ(o.flash.substr(128 * 1024, CRV_NPT_BIN_SIZE), expected_bin(text));
	EXPECT_FALSE(o.staged_left);
}

TEST(NptWriterFlash, AUnitOtherThanTheEraseBlockLeavesTheFlashAlone)
{
	if (auto why = sandbox::unavailable(); !why.empty())
		GTEST_SKIP() << why;
	Outcome o = write_table(table_text("128"), 256 * 1024, 4, -1);
	ASSERT_TRUE(o.run.ok()) << o.run.setup_error << o.run.err;
	EXPECT_NE(o.run.out.find("crv_ostrel_nand_npt_update_cb:[Error] Load NPT block size is not match with "
				 "flash block size\n[result -1]"),
		  std::string::npos)
		<< o.run.out;
	EXPECT_EQ(o.run.out.find("[erase"), std::string::npos);
	EXPECT_EQ(o.flash, std::string(256 * 1024 * 4, '\x5A'));
	EXPECT_FALSE(o.staged_left);
}

} // namespace

// The UBI volume updater against a simulated volume node and its sysfs
// values at their fixed paths, each run in a private copy of the system.
#include "crv_ubi.h"

#include "devmodels.h"
#include "sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *kVol = "/dev/ubi1_3";
constexpr const char *kSys = "/sys/devices/virtual/ubi/ubi1/ubi1_3/";

std::string pattern(size_t n)
{
	std::string s(n, '\0');
	for (size_t i = 0; i < n; i++)
		s[i] = static_cast<char>('a' + i * 7 % 26);
	return s;
}

// Updates the volume through `path` with an image of `bytes` bytes; prints
// "ret=<r> written=<w> updates=<n,...>".
int update(const char *path, size_t bytes)
{
	auto vol = devmodels::install<devmodels::UbiVolume>(kVol);
	const std::string img = "/tmp/img.bin";
	FILE *f = fopen(img.c_str(), "wb");
	const std::string data = pattern(bytes);
	fwrite(data.data(), 1, data.size(), f);
	fclose(f);
	int fd = open(img.c_str(), O_RDONLY);
	crv_mtd_img_handle h{fd, nullptr, 0, -1, static_cast<uint32_t>(bytes)};
	int written = -1;
	int ret = crv_mtd_nand_write_ubi_vol(path, &h, &written);
	close(fd);
	std::string ups;
	for (auto u : vol->updates())
		ups += std::to_string(u) + ",";
	printf("ret=%d written=%d updates=%s\n", ret, written, ups.c_str());
	return 0;
}

class UbiVolume : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (auto why = sandbox::unavailable(); !why.empty())
			GTEST_SKIP() << why;
		box_.write_file(std::string(kSys) + "usable_eb_size", "1000\n");
		box_.write_file(std::string(kSys) + "reserved_ebs", "3\n");
		box_.write_file(kVol, "old contents");
	}
	sandbox::Sandbox box_;
};

} // namespace

TEST_F(UbiVolume, ImageIsStreamedIntoTheVolume)
{
	auto r = box_.run([] { return update(kVol, 2500); });
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "ret=0 written=2500 updates=2500,\n");
	EXPECT_EQ(box_.read_file(kVol), pattern(2500));
}

TEST_F(UbiVolume, CapacityIsUsableSizeTimesReservedBlocks)
{
	auto r = box_.run([] {
		update(kVol, 3000);
		return update(kVol, 3001);
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "ret=0 written=3000 updates=3000,\n"
			 "[ERROR] img size (3001) will not fit dev volume size (3000)\n"
			 "ret=-22 written=-1 updates=\n");
	EXPECT_EQ(box_.read_file(kVol), pattern(3000));
}

TEST_F(UbiVolume, AnEmptyImageStartsAnEmptyUpdate)
{
	auto r = box_.run([] { return update(kVol, 0); });
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "ret=0 written=0 updates=0,\n");
	EXPECT_EQ(box_.read_file(kVol), "");
}

TEST_F(UbiVolume, NumbersComeFromTheLinkTargetAndNeverReachAShell)
{
	auto r = box_.run([] {
		if (symlink(kVol, "/dev/rootfs") != 0)
			return 2;
		update("/dev/rootfs", 10);
		update("/dev/mtdblock2", 10);
		update("/dev/ubi1_3;touch /tmp/pwned", 10);
		update("/dev/ubi1_3$(touch /tmp/pwned)", 10);
		return access("/tmp/pwned", F_OK) == 0 ? 3 : 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.exit_code;
	EXPECT_EQ(r.out, "ret=0 written=10 updates=10,\n"
			 "cannot read dev_num and vol_id \"/dev/mtdblock2\n\"\n"
			 "ret=-22 written=-1 updates=\n"
			 "crv_mtd_nand_write_ubi_vol open mtd dev /dev/ubi1_3;touch /tmp/pwned fail !\n"
			 "ret=-5 written=-1 updates=\n"
			 "crv_mtd_nand_write_ubi_vol open mtd dev /dev/ubi1_3$(touch /tmp/pwned) fail !\n"
			 "ret=-5 written=-1 updates=\n");
}

TEST_F(UbiVolume, MissingOrZeroSysfsValuesAreRefused)
{
	box_.write_file(std::string(kSys) + "usable_eb_size", "0\n");
	auto r = box_.run([] { return update(kVol, 10); });
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "Fail to get usable_eb_size\nret=-22 written=-1 updates=\n");
	EXPECT_EQ(box_.read_file(kVol), "old contents");
}

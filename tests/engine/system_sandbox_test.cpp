// Services and callbacks that use fixed system paths or mount file systems,
// each run in a private copy of the system. A body prints what it found;
// the test compares that text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "crv_emmc_format.h"
#include "crv_ostrel_ctx.h"
#include "crv_system.h"
#include "crv_update.h"
#include "imgbuilder.h"
#include "sandbox.h"

namespace {

std::string slurp(const std::string &path)
{
	std::ifstream f(path, std::ios::binary);
	if (!f)
		return "<missing>";
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

// A loop device over a new sparse file filled with 0x5A in its first 8 KiB.
std::string make_loop(const std::string &file, off_t size)
{
	std::ofstream(file, std::ios::binary) << std::string(8192, '\x5A');
	if (truncate(file.c_str(), size) != 0)
		return "";
	FILE *p = popen(("losetup -f --show " + file).c_str(), "r");
	if (p == nullptr)
		return "";
	char buf[128] = "";
	if (fgets(buf, sizeof(buf), p) == nullptr)
		buf[0] = '\0';
	pclose(p);
	buf[strcspn(buf, "\n")] = '\0';
	return buf;
}

bool mounted_at(const std::string &dir)
{
	std::string m = slurp("/proc/mounts");
	return m.find(" " + dir + " ") != std::string::npos;
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

} // namespace

// ---- temporary folder lookup -------------------------------------------------

TEST(TmpFolderLookup, MatchesTheMountPointFieldExactly)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/data");
	box.make_dir("/data2");
	box.make_dir("/srv/da ta");
	auto r = box.run([] {
		crv_ostrel_test_reset();
		// "/data2" comes first in /proc/mounts and must not be taken for "/data".
		if (mount("crvtwo", "/data2", "tmpfs", 0, nullptr) != 0 || mount("crvone", "/data", "ramfs", 0, nullptr) != 0 ||
		    mount("crvsp", "/srv/da ta", "tmpfs", 0, nullptr) != 0)
			return 2;
		crv_ostrel_ctx &ctx = crv_ostrel_context();
		crv_ostrel_set_mount_point("/data");
		printf("[%d %s %s]", crv_ostrel_parse_tmp_folder_info(), ctx.tmp_dev.c_str(), ctx.tmp_fs_type.c_str());
		crv_ostrel_set_mount_point("/data2/");
		printf("[%d %s %s]", crv_ostrel_parse_tmp_folder_info(), ctx.tmp_dev.c_str(), ctx.tmp_fs_type.c_str());
		crv_ostrel_set_mount_point("/srv/da ta");
		printf("[%d %s %s]", crv_ostrel_parse_tmp_folder_info(), ctx.tmp_dev.c_str(), ctx.tmp_fs_type.c_str());
		// No line: fields unchanged.
		crv_ostrel_set_mount_point("/dat");
		printf("[%d %s %s]", crv_ostrel_parse_tmp_folder_info(), ctx.tmp_dev.c_str(), ctx.tmp_fs_type.c_str());
		ctx.mount_point[0] = '\0';
		printf("[%d]", crv_ostrel_parse_tmp_folder_info());
		crv_ostrel_set_mount_point("/data");
		umount2("/proc", MNT_DETACH);
		printf("[%d]\n", crv_ostrel_parse_tmp_folder_info());
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(r.out, "[0 crvone ramfs][0 crvtwo tmpfs][0 crvsp tmpfs][0 crvsp tmpfs][-22]"
			 "crv_ostrel_parse_tmp_folder_info parse mount path fail !\n[-5]\n");
}

// The temporary folder's device and type as long as the kernel gives them.
TEST(TmpFolderLookup, LongDevicesAndTypesAreReadWhole)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/data");
	auto r = box.run([] {
		crv_ostrel_test_reset();
		const std::string dev = "/dev/block/platform/" + std::string(80, 'd');
		if (mount(dev.c_str(), "/data", "hugetlbfs", 0, nullptr) != 0)
			return 2;
		crv_ostrel_set_mount_point("/data");
		const int ret = crv_ostrel_parse_tmp_folder_info();
		const crv_ostrel_ctx &ctx = crv_ostrel_context();
		printf("%d %d %s %d\n", ret, ctx.tmp_dev == dev, ctx.tmp_fs_type.c_str(), crv_ostrel_is_tmp_dev(dev.c_str()));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(r.out, "0 1 hugetlbfs 1\n");
}

// ---- SPI switch, ADC timer, mounting ------------------------------------------

TEST(StbcLock, WritesOneCharacterToTheSwitch)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/proc/sys/crv/crv_stbc_lock_spi", "");
	auto r = box.run([] {
		int a = crv_ostrel_stbc_lock_spi(7);
		std::string after_lock = slurp("/proc/sys/crv/crv_stbc_lock_spi");
		int b = crv_ostrel_stbc_lock_spi(0);
		printf("%d %s %d %s", a, after_lock.c_str(), b, slurp("/proc/sys/crv/crv_stbc_lock_spi").c_str());
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "0 1 0 0");
}

TEST(AdcTimer, SetsAndClearsTheRegisterThroughDevMem)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.sparse_file("/dev/mem", 0xfc041000ull);
	auto reg = [] {
		int fd = open("/dev/mem", O_RDONLY);
		uint32_t v = 0xdeadbeef;
		if (pread(fd, &v, 4, 0xfc040210) != 4)
			v = 0xdeadbeef;
		close(fd);
		return v;
	};
	auto put = [](uint32_t v) {
		int fd = open("/dev/mem", O_WRONLY);
		ssize_t w = pwrite(fd, &v, 4, 0xfc040210);
		close(fd);
		return w == 4;
	};
	auto r = box.run([&] {
		int a = crv_ostrel_init_adc_timer();
		uint32_t ra = reg();
		int b = crv_ostrel_deinit_adc_timer();
		uint32_t rb = reg();
		put(0x12);
		int c = crv_ostrel_deinit_adc_timer();
		printf("%d %#x %d %#x %d %#x", a, ra, b, rb, c, reg());
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "0 0xc0 0 0 0 0x12");
}

TEST(AdcTimer, MissingDevMemIsReportedAndHarmless)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	auto r = box.run([] {
		unlink("/dev/mem");
		return crv_ostrel_init_adc_timer();
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err;
	EXPECT_EQ(r.out, "Unable to init adc timer !\n");
}

TEST(MountFs, MountsAnExt4Device)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/mnt/part");
	auto r = box.run([] {
		std::string loop = make_loop("/tmp/part.img", 16 << 20);
		if (loop.empty() || std::system(("mkfs.ext4 -q -F " + loop).c_str()) != 0)
			return 2;
		int ret = crv_ostrel_mount_fs(loop.c_str(), "/mnt/part", "ext4", 1);
		printf("%d %d", ret, mounted_at("/mnt/part"));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(r.out, "0 1");
}

// ---- format callback on the temporary folder's own file system ---------------

// The temporary folder's file system on a loop device of the test's own
// (one the sandbox mounts goes away with its unmount).
bool mount_loop_data()
{
	std::string loop = make_loop("/tmp/data.img", 16 << 20);
	return !loop.empty() && std::system(("mkfs.ext4 -q -F " + loop).c_str()) == 0 &&
	       mount(loop.c_str(), "/data", "ext4", 0, nullptr) == 0;
}

TEST(FormatTmpFileSystem, UnmountsFormatsRemountsAndRecreatesTheFolder)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/data");
	auto r = box.run([] {
		if (!mount_loop_data())
			return 2;
		crv_ostrel_test_reset();
		crv_ostrel_set_mount_point("/data");
		crv_ostrel_set_tmp_folder("/data/.fwup");
		std::ofstream("/data/old-file") << "old";
		crv_ostrel_parse_tmp_folder_info();
		crv_ostrel_ctx &ctx = crv_ostrel_context();
		std::string dev = ctx.tmp_dev;
		printf("type=%s ", ctx.tmp_fs_type.c_str());
		auto h = header(dev, "FORMAT-EXT4");
		fflush(stdout);
		int ret = crv_ostrel_emmc_common_format_cb(&h, nullptr);
		struct stat st;
		printf("ret=%d mounted=%d folder=%d old=%d\n", ret, mounted_at("/data"), stat("/data/.fwup", &st) == 0,
		       access("/data/old-file", F_OK) == 0);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_NE(r.out.find("type=ext4 "), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("ret=0 mounted=1 folder=1 old=0\n"), std::string::npos) << r.out;
}

TEST(FormatTmpFileSystem, BusyFileSystemIsNotFormattedUnderneath)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/data");
	auto r = box.run([] {
		if (!mount_loop_data())
			return 2;
		crv_ostrel_test_reset();
		crv_ostrel_set_mount_point("/data");
		std::ofstream("/data/keep") << "kept";
		int busy = open("/data/keep", O_RDONLY); // holds the file system
		crv_ostrel_parse_tmp_folder_info();
		auto h = header(crv_ostrel_context().tmp_dev, "FORMAT-EXT4-ERA-ANDROID");
		int ret = crv_ostrel_emmc_common_format_cb(&h, nullptr);
		printf("ret=%d mounted=%d keep=%s\n", ret, mounted_at("/data"), slurp("/data/keep").c_str());
		close(busy);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(r.out, "crv_ostrel_emmc_common_format_cb umount fail : Device or resource busy\n"
			 "ret=-1 mounted=1 keep=kept\n");
}

// ---- keywords that need a block device ----------------------------------------

TEST(FormatBlockDevice, NtfsAndTheAndroidWipe)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	auto r = box.run([] {
		std::string loop = make_loop("/tmp/ntfs.img", 16 << 20);
		if (loop.empty())
			return 2;
		auto h = header(loop, "FORMAT-NTFS");
		int ret = crv_ostrel_emmc_common_format_cb(&h, nullptr);
		std::string head = slurp(loop).substr(3, 8);
		printf("ntfs %d [%s]\n", ret, head.c_str());

		std::string wipe = make_loop("/tmp/wipe.img", 1 << 20);
		auto w = header(wipe, "FORMAT-ERA-ANDROID");
		ret = crv_ostrel_emmc_common_format_cb(&w, nullptr);
		std::string data = slurp(wipe);
		printf("wipe %d %d %d %d", ret, data.find_first_not_of('\0') == 4096, data[4096] == '\x5A',
		       access("/tmp/dd_progress", F_OK) == 0);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_NE(r.out.find("ntfs 0 [NTFS    ]\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("wipe 0 1 1 1"), std::string::npos) << r.out;
}

// ---- update thread on a private system -----------------------------------------

namespace {

int log_event(int code, int value, void *)
{
	printf("<%#x,%d>", code, value);
	return 0;
}

int plain_writer(const crv_per_img_hdr *hdr, crv_per_img_handle *, void *)
{
	printf("<write %s>", crv_hdr_name(*hdr).c_str());
	return 0;
}

// The program's FORMAT filter hands every FORMAT image to the format callback.
int format_filter(const crv_per_img_hdr *hdr, void *user)
{
	return crv_ostrel_emmc_common_format_cb(hdr, user);
}

} // namespace

TEST(UpdateThreadDefaults, EmptySettingsGetTheDefaultFolderAndMiscDevice)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/data");
	std::string image = box.dir() + "/fw.img";
	imgbuilder::Image i;
	i.name = "a";
	i.data = "x";
	imgbuilder::write_container(image, {i});
	box.copy_file("/fw.img", image);
	auto r = box.run([] {
		crv_ostrel_test_reset();
		crv_ostrel_set_mount_point("/");
		crv_ostrel_register_img_cb("a", plain_writer, nullptr);
		crv_ostrel_set_event_cb(log_event, nullptr);
		if (crv_ostrel_start_update_thread("/fw.img") != 0)
			return 2;
		for (int i = 0; i < 2000 && crv_ostrel_context().event_cb != nullptr; ++i)
			usleep(5000);
		printf("\n%s|%s|%d\n", crv_ostrel_get_tmp_folder(), crv_ostrel_context().misc_dev,
		       access("/data/.fwup", F_OK) == 0);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(r.out, "mkdir path: /data/.fwup/ success\nupdating a to  ...\n<write a><0,100><0,100><0x1,100>\n"
			 "/data/.fwup/|/dev/mmcblk0p6|1\n");
}

TEST(UpdateThreadFormat, FormatImagesReachTheFormatCallbackAndARefusedOneFailsTheUpdate)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.make_dir("/data");
	std::string image = box.dir() + "/fw.img";
	imgbuilder::Image fmt, bad, after;
	fmt.name = "apdat";
	fmt.target = "/dev/loop-apdat";
	fmt.param = "FORMAT-EXT4";
	bad.name = "cache";
	bad.target = "/dev/x;touch /owned";
	bad.param = "FORMAT-ERASE";
	after.name = "kernel";
	after.target = "/dev/kernel";
	after.data = "k";
	imgbuilder::write_container(image, {fmt, after, bad});
	box.copy_file("/fw.img", image);
	auto r = box.run([] {
		std::string loop = make_loop("/tmp/apdat.img", 16 << 20);
		if (loop.empty() || symlink(loop.c_str(), "/dev/loop-apdat") != 0)
			return 2;
		crv_ostrel_test_reset();
		crv_ostrel_set_mount_point("/");
		crv_ostrel_set_tmp_folder("/data/.fwup");
		crv_ostrel_register_img_cb("apdat", plain_writer, nullptr);
		crv_ostrel_register_img_cb("kernel", plain_writer, nullptr);
		crv_ostrel_set_format_cb(format_filter, nullptr);
		crv_ostrel_set_event_cb(log_event, nullptr);
		fflush(stdout);
		crv_ostrel_update_thread(strdup("/fw.img"));
		printf("\next4=%d owned=%d\n", std::system(("e2fsck -fn " + loop + " >/dev/null 2>&1").c_str()) == 0,
		       access("/owned", F_OK) == 0);
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	// Tool output goes to the console too; check the engine's own lines.
	EXPECT_NE(r.out.find("updating apdat to /dev/loop-apdat ...\n"), std::string::npos) << r.out;
	// A refused format fails its image like a failed writer.
	EXPECT_NE(r.out.find("updating kernel to /dev/kernel ...\n<write kernel>"), std::string::npos) << r.out;
	EXPECT_TRUE(r.out.ends_with("updating cache to /dev/x;touch /owned ...\n"
				    "crv_ostrel_emmc_common_format_cb invalid target /dev/x;touch /owned !\n"
				    "<0x407,66>\next4=1 owned=0\n"))
		<< r.out;
	EXPECT_EQ(r.out.find("<write apdat>"), std::string::npos);
	EXPECT_NE(r.out.find("ext4=1 owned=0\n"), std::string::npos) << r.out;
}

TEST(UpdateThreadFormat, MissingFormatToolFailsTheImage)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	std::string image = box.dir() + "/fw.img";
	imgbuilder::Image fmt, after;
	fmt.name = "swap";
	fmt.target = "/tmp/swap.img";
	fmt.param = "FORMAT-SWAP";
	after.name = "kernel";
	after.data = "k";
	imgbuilder::write_container(image, {fmt, after});
	box.copy_file("/fw.img", image);
	box.write_file("/tmp/swap.img", std::string(1 << 20, '\0'));
	auto r = box.run([] {
		setenv("PATH", "/crv-empty-bin", 1);
		crv_ostrel_test_reset();
		crv_ostrel_set_mount_point("/");
		crv_ostrel_register_img_cb("kernel", plain_writer, nullptr);
		crv_ostrel_set_format_cb(format_filter, nullptr);
		crv_ostrel_set_event_cb(log_event, nullptr);
		crv_ostrel_update_thread(strdup("/fw.img"));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(r.out, "updating swap to /tmp/swap.img ...\n"
			 "crv_ostrel_system execvp command mkswap fail !\n"
			 "crv_ostrel_emmc_common_format_cb run mkswap /tmp/swap.img fail !\n"
			 "<0x407,0>");
}

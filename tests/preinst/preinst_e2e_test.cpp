// preinst as a whole program, in a sandbox with its fixed paths in place.

#include "imgbuilder.h"
#include "preinst.h"
#include "sandbox.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

const std::string kOldIcon = "old icon bytes\n";

class PreinstTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		CRV_REQUIRE_SANDBOX();
		char tmpl[] = "/tmp/preinst-test-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir_ = tmpl;
		box_.write_file("/res/images/icon_installing.png", kOldIcon);
	}

	void TearDown() override
	{
		if (!dir_.empty())
			sandbox::run_host({"rm", "-rf", dir_});
	}

	// A gzip tar archive holding one file "hello.txt".
	std::string make_bundle()
	{
		std::string src = dir_ + "/bundle";
		sandbox::run_host({"mkdir", "-p", src});
		std::ofstream(src + "/hello.txt") << "hello from the bundle\n";
		std::string tgz = dir_ + "/sys_run.tgz";
		auto r = sandbox::run_host({"tar", "czf", tgz, "-C", src, "hello.txt"});
		EXPECT_EQ(r.exit_code, 0) << r.err;
		return read_host(tgz);
	}

	static std::string read_host(const std::string &path)
	{
		std::ifstream in(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(in), {});
	}

	sandbox::Result run_with(const std::vector<imgbuilder::Image> &images,
				 const imgbuilder::Faults &faults = {})
	{
		std::string img = dir_ + "/fw.img";
		imgbuilder::write_container(img, images, faults);
		box_.copy_file("/fw.img", img);
		return box_.run_program({PREINST_PATH, "/fw.img"});
	}

	std::string dir_;
	sandbox::Sandbox box_;
};

std::string png_like_icon()
{
	std::string icon = "\x89PNG\r\n\x1a\n";
	for (int i = 0; i < 5000; i++)
		icon += static_cast<char>(i * 7);
	return icon;
}

TEST_F(PreinstTest, ReplacesTheIconAndUnpacksTheBundle)
{
	std::string icon = png_like_icon();
	std::string bundle = make_bundle();
	auto r = run_with({{.name = "install_icon", .data = icon}, {.name = "sys_run", .data = bundle}});
	ASSERT_TRUE(r.setup_error.empty()) << r.setup_error;
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_EQ(r.out, "pre install success !\n");
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), icon);
	EXPECT_FALSE(box_.read_file("/res/images/icon_installing.png.new").has_value());
	EXPECT_EQ(box_.read_file("/tmp/sys_run.tgz"), bundle);
	EXPECT_EQ(box_.read_file("/tmp/hello.txt"), "hello from the bundle\n");
}

TEST_F(PreinstTest, MissingIconLeavesTheBundleStepRunning)
{
	auto r = run_with({{.name = "sys_run", .data = make_bundle()}});
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_NE(r.out.find("can't find image install_icon!\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("pre install success !\n"), std::string::npos);
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), kOldIcon);
	EXPECT_EQ(box_.read_file("/tmp/hello.txt"), "hello from the bundle\n");
}

TEST_F(PreinstTest, MissingBundleStillReplacesTheIcon)
{
	std::string icon = png_like_icon();
	auto r = run_with({{.name = "install_icon", .data = icon}});
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_NE(r.out.find("can't find image sys_run!\n"), std::string::npos) << r.out;
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), icon);
	EXPECT_FALSE(box_.read_file("/tmp/sys_run.tgz").has_value());
}

TEST_F(PreinstTest, TruncatedIconKeepsTheOldOne)
{
	imgbuilder::Faults cut;
	cut.truncate = 1000;
	auto r = run_with({{.name = "install_icon", .data = png_like_icon()}}, cut);
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_NE(r.out.find("crv_ostrel_get_per_img_by_name setup phandle fail !\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("pre install success !\n"), std::string::npos);
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), kOldIcon);
	EXPECT_FALSE(box_.read_file("/res/images/icon_installing.png.new").has_value());
}

TEST_F(PreinstTest, DeclaredLengthsBeyondTheFileAreRefusedBeforeAnyBuffer)
{
	// A small file whose headers claim up to 4 GiB: nothing is allocated
	// for a payload the file does not hold.
	imgbuilder::Image icon{.name = "install_icon", .data = "tiny"};
	icon.length = 0xFFFFFFFFull;
	imgbuilder::Image bundle{.name = "sys_run", .data = "tiny"};
	bundle.length = 0xFFFFFFFFull;
	for (const auto &image : {icon, bundle}) {
		auto r = run_with({image});
		EXPECT_EQ(r.exit_code, 0);
		EXPECT_NE(r.out.find("crv_ostrel_get_per_img_by_name setup phandle fail !\n"), std::string::npos)
			<< r.out;
		EXPECT_EQ(r.out.find("allocate buffer fail"), std::string::npos) << r.out;
		EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), kOldIcon);
	}
}

// The icon replaced where the set keeps it: through a symbolic link to the
// file it leads to, and in place when its folder takes no new file.
TEST_F(PreinstTest, IconIsWrittenThroughALinkAndInAReadOnlyFolder)
{
	std::string icon = png_like_icon();
	std::string img = dir_ + "/fw.img";
	imgbuilder::write_container(img, {{.name = "install_icon", .data = icon}});
	box_.copy_file("/fw.img", img);
	box_.make_dir("/data");
	box_.write_file("/data/icon.png", kOldIcon);
	static const char *argv[] = {"preinst", "/fw.img", nullptr};
	static const char *path = "/res/images/icon_installing.png";

	auto r = box_.run([] {
		if (unlink(path) != 0 || symlink("../../data/icon.png", path) != 0)
			return 2;
		preinst_main(2, const_cast<char **>(argv));
		struct stat st;
		printf("link=%d\n", lstat(path, &st) == 0 && S_ISLNK(st.st_mode));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_TRUE(r.out.ends_with("pre install success !\nlink=1\n")) << r.out;
	EXPECT_EQ(box_.read_file("/data/icon.png"), icon);

	// A read-only folder; the icon in it is a file that can be written.
	box_.write_file("/tmp/icon.png", kOldIcon);
	r = box_.run([] {
		if (unlink(path) != 0 || std::ofstream(path).fail() ||
		    mount("/res/images", "/res/images", nullptr, MS_BIND, nullptr) != 0 ||
		    mount(nullptr, "/res/images", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0 ||
		    mount("/tmp/icon.png", path, nullptr, MS_BIND, nullptr) != 0)
			return 2;
		return preinst_main(2, const_cast<char **>(argv));
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_TRUE(r.out.ends_with("pre install success !\n")) << r.out;
	EXPECT_EQ(box_.read_file("/tmp/icon.png"), icon);
}

// /tmp is shared: a link a user left at the bundle's path makes root write
// nowhere but the file it creates there itself.
TEST_F(PreinstTest, ALinkAtTheBundlePathIsReplacedNotFollowed)
{
	std::string bundle = make_bundle();
	std::string img = dir_ + "/fw.img";
	imgbuilder::write_container(img, {{.name = "sys_run", .data = bundle}});
	box_.copy_file("/fw.img", img);
	box_.write_file("/etc/crv-victim", "kept\n");
	static const char *argv[] = {"preinst", "/fw.img", nullptr};
	auto r = box_.run([] {
		if (symlink("/etc/crv-victim", "/tmp/sys_run.tgz") != 0)
			return 2;
		return preinst_main(2, const_cast<char **>(argv));
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_EQ(box_.read_file("/etc/crv-victim"), "kept\n");
	EXPECT_EQ(box_.read_file("/tmp/sys_run.tgz"), bundle);
	EXPECT_EQ(box_.read_file("/tmp/hello.txt"), "hello from the bundle\n");
}

TEST_F(PreinstTest, TheNewIconKeepsTheOldOnesModeAndOwner)
{
	std::string img = dir_ + "/fw.img";
	imgbuilder::write_container(img, {{.name = "install_icon", .data = png_like_icon()}});
	box_.copy_file("/fw.img", img);
	static const char *argv[] = {"preinst", "/fw.img", nullptr};
	static const char *path = "/res/images/icon_installing.png";
	auto r = box_.run([] {
		if (chown(path, 1234, 4321) != 0 || chmod(path, 0640) != 0)
			return 2;
		preinst_main(2, const_cast<char **>(argv));
		struct stat st;
		if (stat(path, &st) != 0)
			return 3;
		printf("mode=%o owner=%u:%u\n", unsigned(st.st_mode & 07777), unsigned(st.st_uid), unsigned(st.st_gid));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_TRUE(r.out.ends_with("pre install success !\nmode=640 owner=1234:4321\n")) << r.out;
	EXPECT_EQ(box_.read_file(path), png_like_icon());
}

TEST_F(PreinstTest, BundleThatIsNotAnArchiveIsKeptAndReported)
{
	auto r = run_with({{.name = "sys_run", .data = "plain text, not gzip"}});
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_NE(r.out.find("uncompress sys run image fail !\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("pre install success !\n"), std::string::npos);
	EXPECT_EQ(box_.read_file("/tmp/sys_run.tgz"), "plain text, not gzip");
}

TEST_F(PreinstTest, UsageAndMissingFile)
{
	auto r = box_.run_program({PREINST_PATH});
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_EQ(r.out, std::string("Usage : ") + PREINST_PATH + " crv_tv_firmware.img\n");

	r = box_.run_program({PREINST_PATH, "a.img", "b.img"});
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_EQ(r.out, std::string("Usage : ") + PREINST_PATH + " crv_tv_firmware.img\n");

	r = box_.run_program({PREINST_PATH, "/no/such.img"});
	EXPECT_EQ(r.exit_code, 251) << "-5 as an exit status";
	EXPECT_EQ(r.out, "open firmware file /no/such.img fail !\n");
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), kOldIcon);
}

} // namespace

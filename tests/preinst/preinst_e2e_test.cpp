// preinst as a whole program, in a sandbox with its fixed paths in place.

#include "imgbuilder.h"
#include "sandbox.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

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
	EXPECT_NE(r.out.find("read new install icon fail !\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("pre install success !\n"), std::string::npos);
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), kOldIcon);
	EXPECT_FALSE(box_.read_file("/res/images/icon_installing.png.new").has_value());
}

TEST_F(PreinstTest, HugeDeclaredIconLengthIsRefused)
{
	imgbuilder::Image icon{.name = "install_icon", .data = "tiny"};
	icon.length = 0x100000004ull; // needs more than 32 bits
	auto r = run_with({icon});
	EXPECT_EQ(r.exit_code, 0);
	EXPECT_NE(r.out.find("read new install icon fail !\n"), std::string::npos) << r.out;
	EXPECT_EQ(box_.read_file("/res/images/icon_installing.png"), kOldIcon);
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

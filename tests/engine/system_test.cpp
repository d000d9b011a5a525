// Command runner, misc-partition records, EXT_CSD read and the argument
// checks, on the host (nothing here touches a fixed system path).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/mmc/ioctl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "crv_ostrel_ctx.h"
#include "crv_system.h"
#include "devsim.h"

namespace {

std::string read_all(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream ss;
	ss << in.rdbuf();
	return ss.str();
}

std::vector<std::string> read_lines(const std::string &path)
{
	std::vector<std::string> lines;
	std::ifstream in(path);
	for (std::string l; std::getline(in, l);)
		lines.push_back(l);
	return lines;
}

class TempDir {
public:
	TempDir()
	{
		char tmpl[] = "/tmp/crv-sys-XXXXXX";
		path_ = mkdtemp(tmpl);
	}
	~TempDir() { std::system(("rm -rf " + path_).c_str()); }
	const std::string &path() const { return path_; }
	std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
	std::string path_;
};

// A folder of recording programs put first on PATH: each writes its
// arguments, one per line, to <dir>/<name>.args.
class Recorders : public TempDir {
public:
	Recorders()
	{
		old_path_ = getenv("PATH") ? getenv("PATH") : "";
		setenv("PATH", (path() + ":" + old_path_).c_str(), 1);
	}
	~Recorders() { setenv("PATH", old_path_.c_str(), 1); }

	void add(const std::string &name, int exit_code = 0)
	{
		std::string file = *this / name;
		std::ofstream(file) << "#!/bin/sh\n: > '" << file << ".args'\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '"
				    << file << ".args'; done\nexit " << exit_code << "\n";
		chmod(file.c_str(), 0755);
	}
	std::vector<std::string> args(const std::string &name) const { return read_lines(*this / (name + ".args")); }
	bool ran(const std::string &name) const { return access((*this / (name + ".args")).c_str(), F_OK) == 0; }

private:
	std::string old_path_;
};

} // namespace

// ---- command runner --------------------------------------------------------

TEST(CommandRunner, SplitsAtEverySingleSpaceWithoutInterpreting)
{
	Recorders rec;
	rec.add("crvrec");
	EXPECT_EQ(crv_ostrel_system("crvrec a  b * $HOME >x |"), 0);
	EXPECT_EQ(rec.args("crvrec"), (std::vector<std::string>{"a", "", "b", "*", "$HOME", ">x", "|"}));
}

TEST(CommandRunner, SixtyFourWordsRunAndSixtyFourSpacesAreRefused)
{
	Recorders rec;
	rec.add("crvrec");
	std::string line = "crvrec";
	for (int i = 1; i < 64; ++i)
		line += " w" + std::to_string(i);
	EXPECT_EQ(crv_ostrel_system(line.c_str()), 0);
	EXPECT_EQ(rec.args("crvrec").size(), 63u);

	unlink((rec / "crvrec.args").c_str());
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_system((line + " w64").c_str()), -22);
	EXPECT_EQ(cap.finish(), "crv_ostrel_system too much params !\n");
	EXPECT_FALSE(rec.ran("crvrec"));
}

TEST(CommandRunner, ReturnsZeroWhateverTheExitStatus)
{
	Recorders rec;
	rec.add("crvfail", 3);
	EXPECT_EQ(crv_ostrel_system("crvfail x"), 0);
	EXPECT_TRUE(rec.ran("crvfail"));
	EXPECT_EQ(crv_ostrel_system_status("crvfail x"), 3);
	EXPECT_EQ(crv_ostrel_system(nullptr), 0);
}

TEST(CommandRunner, MissingProgramPrintsOnceAndParentOutputIsNotRepeated)
{
	testsupport::StdoutCapture cap;
	printf("pending ");
	EXPECT_EQ(crv_ostrel_system("crv-no-such-program --x"), 0);
	printf("after\n");
	EXPECT_EQ(cap.finish(), "pending crv_ostrel_system execvp command crv-no-such-program fail !\nafter\n");
	EXPECT_EQ(crv_ostrel_system_status("crv-no-such-program"), 127);
}

TEST(CommandRunner, ChildInheritsNoCloseOnExecDescriptor)
{
	Recorders rec;
	// The recorder lists the descriptors it holds.
	std::string file = rec / "crvfds";
	std::ofstream(file) << "#!/bin/sh\nls /proc/$$/fd > '" << file << ".args'\n";
	chmod(file.c_str(), 0755);
	int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
	ASSERT_GE(fd, 0);
	EXPECT_EQ(crv_ostrel_system(file.c_str()), 0);
	for (const auto &l : rec.args("crvfds"))
		EXPECT_NE(l, std::to_string(fd));
	close(fd);
}

// ---- argument checks -------------------------------------------------------

TEST(CommandSafety, AcceptsPathsAndRefusesShellText)
{
	for (const char *ok : {"/dev/mmcblk0p1", "/dev/crv-part-name/apdat", "rootfs", "a_b-c.d+e,f=g:h@i%j"})
		EXPECT_TRUE(crv_str_is_cmd_safe(ok)) << ok;
	for (const char *bad : {"", "a b", "a\tb", "a;b", "a|b", "a&b", "$(x)", "`x`", "a>b", "a<b", "*", "a?",
				"'a'", "\"a\"", "a\\b", "~x", "a\nb", "-rf", "{a,b}", "[a]", "!x", "#x"})
		EXPECT_FALSE(crv_str_is_cmd_safe(bad)) << bad;
	EXPECT_FALSE(crv_str_is_cmd_safe(nullptr));

	EXPECT_TRUE(crv_img_name_is_safe("rootfs"));
	for (const char *bad : {"a/b", "/x", ".", "..", "", "a b"})
		EXPECT_FALSE(crv_img_name_is_safe(bad)) << bad;
}

// ---- misc-partition records ------------------------------------------------

class MiscFlags : public ::testing::Test {
protected:
	void SetUp() override
	{
		crv_ostrel_test_reset();
		misc_ = dir_ / "misc";
		// A misc partition full of 0xAA, so untouched bytes show.
		std::ofstream(misc_, std::ios::binary) << std::string(4096, '\xAA');
		ASSERT_EQ(crv_ostrel_set_misc_device(misc_.c_str()), 0);
	}
	std::string misc() const { return read_all(misc_); }

	TempDir dir_;
	std::string misc_;
};

TEST_F(MiscFlags, DualBootRecordIs64BytesByDefault)
{
	EXPECT_EQ(crv_ostrel_write_dual_boot_flag(0, 0, 0, 1, 0), 0);
	std::string m = misc();
	std::string want("DBFG\0\0\0\0\0\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0", 24);
	want += std::string(40, '\0');
	EXPECT_EQ(m.substr(0, 64), want);
	EXPECT_EQ(m.substr(64), std::string(4096 - 64, '\xAA'));
}

TEST_F(MiscFlags, DualBootRecordPaddedTo512Bytes)
{
	ASSERT_EQ(crv_ostrel_set_dual_boot_rec_len(512), 0);
	EXPECT_EQ(crv_ostrel_write_dual_boot_flag(1, 0, 1, 2, 0x81), 0);
	std::string m = misc();
	std::string want("DBFG\1\0\0\0\0\0\0\0\1\0\0\0\2\0\0\0\x81\0\0\0", 24);
	want += std::string(512 - 24, '\0');
	EXPECT_EQ(m.substr(0, 512), want);
	EXPECT_EQ(m.substr(512), std::string(4096 - 512, '\xAA'));
	EXPECT_EQ(crv_ostrel_set_dual_boot_rec_len(100), -22);
}

TEST_F(MiscFlags, DualBootOutOfRangeValuesStoreZero)
{
	EXPECT_EQ(crv_ostrel_write_dual_boot_flag(7, 0, 0, 5, 0x83), 0);
	crv_dual_boot_flag_rec rec;
	memcpy(&rec, misc().data(), sizeof(rec));
	EXPECT_EQ(rec.a, 1u); // any nonzero flag is stored as 1
	EXPECT_EQ(rec.d, 0);
	EXPECT_EQ(rec.e, 0);

	EXPECT_EQ(crv_ostrel_write_dual_boot_flag(0, 0, 0, 2, 0x82), 0);
	memcpy(&rec, misc().data(), sizeof(rec));
	EXPECT_EQ(rec.d, 2);
	EXPECT_EQ(rec.e, 0x82);
}

TEST_F(MiscFlags, BootFlagRecordIs512Bytes)
{
	EXPECT_EQ(crv_ostrel_write_boot_flag(1, 0, 1), 0);
	std::string m = misc();
	std::string want("BTFG\1\0\0\0\0\0\0\0\1\0\0\0", 16);
	want += std::string(496, '\0');
	EXPECT_EQ(m.substr(0, 512), want);
	EXPECT_EQ(m.substr(512), std::string(4096 - 512, '\xAA'));
}

TEST_F(MiscFlags, MissingDeviceFailsWithMinus5)
{
	crv_ostrel_set_misc_device((dir_ / "nonexistent").c_str());
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_write_dual_boot_flag(0, 0, 0, 1, 0), -5);
	EXPECT_EQ(crv_ostrel_write_boot_flag(0, 0, 0), -5);
	EXPECT_EQ(cap.finish(), "crv_ostrel_write_dual_boot_flag open misc partition fail !\n"
				"crv_ostrel_write_boot_flag open misc partition fail !\n");
}

TEST_F(MiscFlags, WriteThatNeverReachesTheDeviceIsNotReportedWritten)
{
	// /dev/full takes the buffered write but refuses it on flush.
	crv_ostrel_set_misc_device("/dev/full");
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_write_dual_boot_flag(0, 0, 0, 1, 0), -5);
	EXPECT_EQ(cap.finish(), "crv_ostrel_write_dual_boot_flag write fail !\n");
}

// ---- EXT_CSD ---------------------------------------------------------------

TEST(ExtCsd, SendsCmd8AndFillsTheCallersBuffer)
{
	TempDir dir;
	std::string dev = dir / "mmcblk0";
	std::ofstream(dev) << "x";
	mmc_ioc_cmd seen{};
	devsim::attach(dev, [&](int, unsigned long req, void *arg) {
		if (req != MMC_IOC_CMD)
			return devsim::kPass;
		seen = *static_cast<mmc_ioc_cmd *>(arg);
		auto *data = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(seen.data_ptr));
		data[179] = 0x48;
		return 0;
	});
	uint8_t buf[512];
	memset(buf, 0x5A, sizeof(buf));
	EXPECT_EQ(crv_ostrel_read_ext_csd(dev.c_str(), buf), 0);
	EXPECT_EQ(seen.opcode, 8u);
	EXPECT_EQ(seen.arg, 0u);
	EXPECT_EQ(seen.flags, 0xb5u);
	EXPECT_EQ(seen.blksz, 512u);
	EXPECT_EQ(seen.blocks, 1u);
	EXPECT_EQ(seen.write_flag, 0);
	EXPECT_EQ(buf[179], 0x48);
	EXPECT_EQ(buf[0], 0); // cleared before the command
	devsim::detach_all();
}

TEST(ExtCsd, FailuresReportTheirCause)
{
	TempDir dir;
	std::string dev = dir / "mmcblk0";
	std::ofstream(dev) << "x";
	devsim::attach(dev, [](int, unsigned long, void *) {
		errno = EIO;
		return -1;
	});
	uint8_t buf[512];
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_read_ext_csd(dev.c_str(), buf), -1);
	EXPECT_EQ(crv_ostrel_read_ext_csd((dir / "none").c_str(), buf), -5);
	EXPECT_EQ(cap.finish(), "open " + (dir / "none") + " fail !\n");
	devsim::detach_all();
}

// ---- mounting and the SPI switch (refusals that need no privileges) --------

TEST(MountFs, RefusesMissingDeviceMountPointAndTries)
{
	TempDir dir;
	std::string dev = dir / "dev";
	std::ofstream(dev) << "x";
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_ostrel_mount_fs((dir / "nodev").c_str(), dir.path().c_str(), "ext4", 3), -14);
	EXPECT_EQ(crv_ostrel_mount_fs(dev.c_str(), (dir / "nomnt").c_str(), "ext4", 3), -14);
	EXPECT_EQ(crv_ostrel_mount_fs(dev.c_str(), dir.path().c_str(), "ext4", 0), -14);
	EXPECT_EQ(cap.finish(), "crv_ostrel_mount_fs : mount device " + (dir / "nodev") + " not exist !\n" +
					"crv_ostrel_mount_fs : mount point " + (dir / "nomnt") + " not exist !\n");
}

TEST(StbcLock, MissingSwitchGivesMinus9)
{
	if (access("/proc/sys/crv/crv_stbc_lock_spi", F_OK) == 0)
		GTEST_SKIP() << "this machine has the switch";
	EXPECT_EQ(crv_ostrel_stbc_lock_spi(1), -9);
}

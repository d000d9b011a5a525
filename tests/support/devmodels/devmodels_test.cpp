#include "devmodels.h"
#include "devsim.h"
#include "sandbox.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <linux/mmc/ioctl.h>
#include <mtd/mtd-user.h>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

// The kernel's own ioctl, past the simulated devices.
extern "C" int __real_ioctl(int fd, unsigned long request, ...);

namespace {

// The error the real ioctl gives for an MMC command on a descriptor: ENOTTY
// from the kernel for a plain file, ENOSYS from qemu-user, which does not
// translate that request.
int real_mmc_errno(int fd)
{
	unsigned char buf[512];
	mmc_ioc_cmd cmd;
	memset(&cmd, 0, sizeof(cmd));
	cmd.opcode = 8;
	cmd.blksz = 512;
	cmd.blocks = 1;
	mmc_ioc_cmd_set_data(cmd, buf);
	errno = 0;
	if (__real_ioctl(fd, MMC_IOC_CMD, &cmd) == 0)
		return 0;
	return errno;
}

// A regular file standing in for a device node.
class DeviceFile {
public:
	explicit DeviceFile(off_t size = 0)
	{
		char tmpl[] = "/tmp/crv-devmodels.XXXXXX";
		fd_ = mkstemp(tmpl);
		path_ = tmpl;
		if (size > 0 && ftruncate(fd_, size) != 0)
			ADD_FAILURE() << "ftruncate";
	}
	~DeviceFile()
	{
		devsim::detach_all();
		close(fd_);
		unlink(path_.c_str());
	}
	const std::string &path() const { return path_; }
	int fd() const { return fd_; }

private:
	std::string path_;
	int fd_;
};

mmc_ioc_cmd ext_csd_read(unsigned char *buf)
{
	mmc_ioc_cmd cmd;
	memset(&cmd, 0, sizeof(cmd));
	cmd.opcode = 8;
	cmd.flags = 0xb5;
	cmd.blksz = 512;
	cmd.blocks = 1;
	mmc_ioc_cmd_set_data(cmd, buf);
	return cmd;
}

mmc_ioc_cmd switch_cmd(uint32_t arg)
{
	mmc_ioc_cmd cmd;
	memset(&cmd, 0, sizeof(cmd));
	cmd.write_flag = 1;
	cmd.opcode = 6;
	cmd.arg = arg;
	cmd.flags = 0x49D;
	return cmd;
}

std::string slurp(const std::string &path)
{
	std::ifstream f(path);
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

TEST(DevModelsParams, NumbersWithSuffixesAndBadValues)
{
	devmodels::Params p{{"a", "8M"}, {"b", "0x10"}, {"c", "12x"}, {"d", "-1"}, {"e", "3G"}, {"f", ""},
			     {"g", "99999999999999999999"}, {"h", "0xffffffffffffffffK"}};
	EXPECT_EQ(p.get_u64("a"), 8u << 20);
	EXPECT_EQ(p.get_u64("b"), 16u);
	EXPECT_EQ(p.get_u64("c", 7), 7u);
	EXPECT_EQ(p.get_u64("d", 7), 7u);
	EXPECT_EQ(p.get_u64("e"), 3ull << 30);
	EXPECT_EQ(p.get_u64("f", 5), 5u);
	EXPECT_EQ(p.get_u64("g", 5), 5u);
	EXPECT_EQ(p.get_u64("h", 5), 5u);
	EXPECT_EQ(p.get_u64("missing", 9), 9u);
}

TEST(DevModelsBlock, SizeFromParameterOrBackingFile)
{
	DeviceFile dev(12345);
	auto fixed = devmodels::install<devmodels::BlockDevice>(dev.path(), devmodels::Params{{"size", "4G"}});
	uint64_t size = 0;
	ASSERT_EQ(ioctl(dev.fd(), BLKGETSIZE64, &size), 0);
	EXPECT_EQ(size, 4ull << 30);

	auto backed = devmodels::install<devmodels::BlockDevice>(dev.path());
	ASSERT_EQ(ioctl(dev.fd(), BLKGETSIZE64, &size), 0);
	EXPECT_EQ(size, 12345u);
	EXPECT_EQ(backed->events(), std::vector<std::string>{"BLKGETSIZE64 12345"});
	// The replaced model saw only its own call.
	EXPECT_EQ(fixed->events().size(), 1u);
}

TEST(DevModelsBlock, RereadCountedAndFailureInjected)
{
	DeviceFile dev;
	auto blk = devmodels::install<devmodels::BlockDevice>(dev.path());
	EXPECT_EQ(ioctl(dev.fd(), BLKRRPART), 0);
	EXPECT_EQ(ioctl(dev.fd(), BLKRRPART), 0);
	EXPECT_EQ(blk->rereads(), 2);

	auto busy = devmodels::install<devmodels::BlockDevice>(dev.path(), devmodels::Params{{"rrpart_errno", "16"}});
	errno = 0;
	EXPECT_EQ(ioctl(dev.fd(), BLKRRPART), -1);
	EXPECT_EQ(errno, EBUSY);
	EXPECT_EQ(busy->rereads(), 1);
}

TEST(DevModelsBlock, UnsimulatedRequestsReachTheRealIoctl)
{
	DeviceFile dev;
	devmodels::install<devmodels::BlockDevice>(dev.path());
	int flags = 0;
	// FIONREAD works on a regular file; the model must not swallow it.
	EXPECT_EQ(ioctl(dev.fd(), FIONREAD, &flags), 0);
	// A path without a model gets the kernel's answer for a plain file.
	DeviceFile other;
	unsigned char buf[512];
	mmc_ioc_cmd cmd = ext_csd_read(buf);
	int expected = real_mmc_errno(other.fd());
	ASSERT_NE(expected, 0);
	errno = 0;
	EXPECT_EQ(ioctl(other.fd(), MMC_IOC_CMD, &cmd), -1);
	EXPECT_EQ(errno, expected);
}

TEST(DevModelsEmmc, ExtCsdReflectsLastSwitch)
{
	DeviceFile dev;
	auto emmc = devmodels::install<devmodels::Emmc>(
		dev.path(), devmodels::Params{{"partition_config", "0x48"}, {"size", "8M"}});
	unsigned char buf[512];
	memset(buf, 0xee, sizeof(buf));
	mmc_ioc_cmd read = ext_csd_read(buf);
	ASSERT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &read), 0);
	EXPECT_EQ(buf[179], 0x48);
	EXPECT_EQ(buf[0], 0);
	// SEC_COUNT, little endian, in 512-byte sectors.
	EXPECT_EQ(buf[212] | buf[213] << 8 | buf[214] << 16 | buf[215] << 24, 16384);

	// Write byte, set bits, clear bits.
	mmc_ioc_cmd sw = switch_cmd(0x03B30001 | (0x08 << 8));
	ASSERT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &sw), 0);
	EXPECT_EQ(emmc->partition_config(), 0x08);
	sw = switch_cmd(0x01B30001 | (0x40 << 8));
	ASSERT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &sw), 0);
	EXPECT_EQ(emmc->partition_config(), 0x48);
	sw = switch_cmd(0x02B30001 | (0x08 << 8));
	ASSERT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &sw), 0);
	ASSERT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &read), 0);
	EXPECT_EQ(buf[179], 0x40);

	auto events = emmc->events();
	ASSERT_EQ(events.size(), 8u);
	EXPECT_EQ(events[0], "CMD8 arg=0x00000000 flags=0xb5");
	EXPECT_EQ(events[1], "CMD6 arg=0x03b30801 flags=0x49d");
	EXPECT_EQ(events[2], "EXT_CSD[179]=0x08");
	EXPECT_EQ(events[6], "EXT_CSD[179]=0x40");
	auto cmds = emmc->commands();
	ASSERT_EQ(cmds.size(), 5u);
	EXPECT_EQ(cmds[1].write_flag, 1);
	EXPECT_EQ(cmds[1].opcode, 6u);
}

TEST(DevModelsEmmc, MalformedAndFailingCommands)
{
	DeviceFile dev;
	auto emmc = devmodels::install<devmodels::Emmc>(dev.path(), devmodels::Params{{"fail_opcode", "6"}});
	unsigned char buf[512];
	mmc_ioc_cmd read = ext_csd_read(buf);
	read.blksz = 256;
	errno = 0;
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &read), -1);
	EXPECT_EQ(errno, EINVAL);
	read = ext_csd_read(nullptr);
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &read), -1);

	mmc_ioc_cmd sw = switch_cmd(0x03B30001 | (0x08 << 8));
	errno = 0;
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &sw), -1);
	EXPECT_EQ(errno, EIO);
	EXPECT_EQ(emmc->partition_config(), 0);

	// Unknown opcode; access mode 0 of a switch is not a mode.
	auto plain = devmodels::install<devmodels::Emmc>(dev.path());
	mmc_ioc_cmd odd = switch_cmd(0);
	odd.opcode = 99;
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &odd), -1);
	sw = switch_cmd(0x00B30001 | (0x08 << 8));
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &sw), -1);
	EXPECT_EQ(plain->partition_config(), 0);
}

TEST(DevModelsEmmc, MultiCommandRunsInOrderAndStopsAtFailure)
{
	DeviceFile dev;
	auto emmc = devmodels::install<devmodels::Emmc>(dev.path());
	std::vector<unsigned char> raw(sizeof(mmc_ioc_multi_cmd) + 3 * sizeof(mmc_ioc_cmd));
	auto *multi = reinterpret_cast<mmc_ioc_multi_cmd *>(raw.data());
	unsigned char buf[512];
	multi->num_of_cmds = 3;
	multi->cmds[0] = switch_cmd(0x03B30001 | (0x10 << 8));
	multi->cmds[1] = ext_csd_read(buf);
	multi->cmds[2] = switch_cmd(0); // access 0: rejected
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_MULTI_CMD, multi), -1);
	EXPECT_EQ(buf[179], 0x10);
	EXPECT_EQ(emmc->commands().size(), 3u);
}

TEST(DevModelsMtd, InfoFromParametersOrBackingFile)
{
	DeviceFile dev(256 * 1024);
	auto nor = devmodels::install<devmodels::MtdFlash>(dev.path(), devmodels::Params{{"erasesize", "4K"}});
	mtd_info_user info;
	memset(&info, 0xAA, sizeof(info));
	ASSERT_EQ(ioctl(dev.fd(), MEMGETINFO, &info), 0);
	EXPECT_EQ(info.type, MTD_NORFLASH);
	EXPECT_EQ(info.size, 256u * 1024);
	EXPECT_EQ(info.erasesize, 4096u);
	EXPECT_EQ(info.oobsize, 0u);

	devmodels::install<devmodels::MtdFlash>(dev.path(), devmodels::Params{{"type", "4"}, {"size", "1M"}});
	ASSERT_EQ(ioctl(dev.fd(), MEMGETINFO, &info), 0);
	EXPECT_EQ(info.type, MTD_NANDFLASH);
	EXPECT_EQ(info.size, 1024u * 1024);
	EXPECT_EQ(info.erasesize, 65536u);
	EXPECT_EQ(nor->events(), std::vector<std::string>{"MEMGETINFO"});
}

TEST(DevModelsMtd, EraseFillsWithOnesWithinBlockBoundsOnly)
{
	DeviceFile dev(128 * 1024);
	ASSERT_EQ(pwrite(dev.fd(), std::string(128 * 1024, 'x').data(), 128 * 1024, 0), 128 * 1024);
	std::string lock = dev.path() + ".lock";
	std::ofstream(lock) << "1";
	auto nor = devmodels::install<devmodels::MtdFlash>(dev.path(),
							    devmodels::Params{{"erasesize", "32K"}, {"lock", lock}});

	erase_info_user ok{32 * 1024, 64 * 1024};
	ASSERT_EQ(ioctl(dev.fd(), MEMERASE, &ok), 0);
	std::string flash = slurp(dev.path());
	EXPECT_EQ(flash.substr(0, 32 * 1024), std::string(32 * 1024, 'x'));
	EXPECT_EQ(flash.substr(32 * 1024, 64 * 1024), std::string(64 * 1024, '\xff'));
	EXPECT_EQ(flash.substr(96 * 1024), std::string(32 * 1024, 'x'));

	// Past the end, misaligned start or length: refused, nothing changes.
	erase_info_user bad[] = {{96 * 1024, 64 * 1024}, {128 * 1024, 0}, {4096, 32 * 1024}, {0, 4096}};
	for (auto &req : bad) {
		errno = 0;
		EXPECT_EQ(ioctl(dev.fd(), MEMERASE, &req), -1) << req.start << "+" << req.length;
		EXPECT_EQ(errno, EINVAL);
	}
	EXPECT_EQ(slurp(dev.path()), flash);

	// A descriptor opened read-only may not erase.
	int ro = open(dev.path().c_str(), O_RDONLY);
	ASSERT_GE(ro, 0);
	erase_info_user first{0, 32 * 1024};
	errno = 0;
	EXPECT_EQ(ioctl(ro, MEMERASE, &first), -1);
	EXPECT_EQ(errno, EPERM);
	close(ro);

	EXPECT_EQ(nor->events(), (std::vector<std::string>{"MEMERASE start=0x8000 len=0x10000 lock=1",
							   "MEMERASE refused errno=22", "MEMERASE refused errno=22",
							   "MEMERASE refused errno=22", "MEMERASE refused errno=22",
							   "MEMERASE refused errno=1"}));
	ASSERT_EQ(nor->erases().size(), 1u);
	unlink(lock.c_str());
}

TEST(DevModelsMtd, EraseFailureInjectedFromConfiguration)
{
	DeviceFile dev(64 * 1024);
	ASSERT_EQ(devmodels::load_config_text(dev.path() + " mtd erasesize=4K fail_erase=5\n"), 1);
	erase_info_user req{0, 4096};
	errno = 0;
	EXPECT_EQ(ioctl(dev.fd(), MEMERASE, &req), -1);
	EXPECT_EQ(errno, EIO);
	EXPECT_EQ(slurp(dev.path()), std::string(64 * 1024, '\0'));
}

TEST(DevModelsConfig, BadConfigurationInstallsNothing)
{
	DeviceFile dev;
	std::string error;
	EXPECT_EQ(devmodels::load_config_text(dev.path() + " emmc\n/dev/x nosuchmodel\n", &error), -1);
	EXPECT_EQ(error, "line 2: unknown model nosuchmodel");
	EXPECT_EQ(devmodels::load_config_text(dev.path() + " block size\n", &error), -1);
	EXPECT_EQ(devmodels::load_config_text(dev.path() + "\n", &error), -1);
	EXPECT_EQ(devmodels::load_config("/nonexistent/crv.conf", &error), -1);
	unsigned char buf[512];
	mmc_ioc_cmd read = ext_csd_read(buf);
	int expected = real_mmc_errno(dev.fd());
	errno = 0;
	EXPECT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &read), -1);
	EXPECT_EQ(errno, expected) << "the first line's model must not have been installed";

	EXPECT_EQ(devmodels::load_config_text("# comment only\n\n" + dev.path() + " emmc partition_config=0x38 # boot 7\n",
					      &error),
		  1);
	ASSERT_EQ(ioctl(dev.fd(), MMC_IOC_CMD, &read), 0);
	EXPECT_EQ(buf[179], 0x38);
}

// A whole program with no test code gets its devices from $CRV_DEVSIM and
// leaves the models' events in their log files.
TEST(DevModelsConfig, WholeProgramGetsDevicesFromEnvironment)
{
	DeviceFile disk(1 << 20), card;
	std::string log = card.path() + ".log", conf = card.path() + ".conf";
	{
		std::ofstream c(conf);
		c << disk.path() << " block log=" << log << ".disk\n"
		  << card.path() << " emmc partition_config=0x48 log=" << log << "\n";
	}
	auto size = sandbox::run_host({DEVSIM_PROBE, "size", disk.path()}, {"CRV_DEVSIM=" + conf});
	EXPECT_EQ(size.exit_code, 0) << size.err;
	EXPECT_EQ(size.out, "size 1048576\n");
	auto boot = sandbox::run_host({DEVSIM_PROBE, "boot", card.path(), "2"}, {"CRV_DEVSIM=" + conf});
	EXPECT_EQ(boot.exit_code, 0) << boot.out << boot.err;
	auto check = sandbox::run_host({DEVSIM_PROBE, "extcsd", card.path()}, {"CRV_DEVSIM=" + conf});
	// Each process starts from the configured state.
	EXPECT_EQ(check.out, "partition_config 0x48\n");
	EXPECT_EQ(slurp(log), "CMD8 arg=0x00000000 flags=0xb5\n"
			      "CMD6 arg=0x03b35001 flags=0x49d\n"
			      "EXT_CSD[179]=0x50\n"
			      "CMD8 arg=0x00000000 flags=0xb5\n");
	EXPECT_EQ(slurp(log + ".disk"), "BLKGETSIZE64 1048576\n");

	// Without the variable the program meets the real kernel.
	auto plain = sandbox::run_host({DEVSIM_PROBE, "extcsd", card.path()});
	EXPECT_EQ(plain.exit_code, 1);
	EXPECT_EQ(plain.out, "ioctl: " + std::string(strerror(real_mmc_errno(card.fd()))) + "\n");

	// A broken configuration stops the program before it does anything.
	{
		std::ofstream c(conf);
		c << card.path() << " flux-capacitor\n";
	}
	auto broken = sandbox::run_host({DEVSIM_PROBE, "extcsd", card.path()}, {"CRV_DEVSIM=" + conf});
	EXPECT_EQ(broken.exit_code, 125);
	EXPECT_NE(broken.err.find("unknown model flux-capacitor"), std::string::npos) << broken.err;
	for (auto &f : {log, log + ".disk", conf})
		unlink(f.c_str());
}

} // namespace

namespace {

// The way whole-program tests combine the two: device nodes and the device
// configuration placed in a sandbox, the program run there, the models' logs
// read back afterwards.
TEST(DevModelsConfig, WholeProgramInSandbox)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/dev/mmcblk0", "");
	box.sparse_file("/dev/mmcblk0boot1", 4 << 20);
	box.write_file("/etc/devsim.conf", "/dev/mmcblk0 emmc partition_config=0x08 log=/tmp/emmc.log\n"
					  "/dev/mmcblk0boot1 block log=/tmp/boot1.log\n");
	std::vector<std::string> env = {"CRV_DEVSIM=/etc/devsim.conf"};
	auto boot = box.run_program({DEVSIM_PROBE, "boot", "/dev/mmcblk0", "1"}, env);
	EXPECT_EQ(boot.exit_code, 0) << boot.setup_error << boot.out << boot.err;
	auto size = box.run_program({DEVSIM_PROBE, "size", "/dev/mmcblk0boot1"}, env);
	EXPECT_EQ(size.out, "size 4194304\n") << size.setup_error << size.err;
	EXPECT_EQ(box.read_file("/tmp/emmc.log"), "CMD8 arg=0x00000000 flags=0xb5\n"
						  "CMD6 arg=0x03b30801 flags=0x49d\n"
						  "EXT_CSD[179]=0x08\n");
	EXPECT_EQ(box.read_file("/tmp/boot1.log"), "BLKGETSIZE64 4194304\n");
}

} // namespace

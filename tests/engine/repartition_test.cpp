// The re-partition writer inside a private copy of the system: the list is
// staged in /tmp, the disk size comes from sysfs, "mdev -s" is a stub that
// logs its call, and the disk is a sparse file with the block-device model.
// Callbacks, hooks, the model and the stub all append to one log, so the
// order of the steps shows.
#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "crv_repartition.h"
#include "devmodels.h"
#include "imgbuilder.h"
#include "sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kDisk = "/dev/mmcblk0";
constexpr const char *kLog = "/tmp/order.log";

void log_line(const std::string &line)
{
	std::ofstream(kLog, std::ios::app) << line << "\n";
}

bool disk_has_gpt()
{
	char sign[8] = {};
	int fd = open(kDisk, O_RDONLY);
	bool yes = fd >= 0 && pread(fd, sign, 8, 512) == 8 && memcmp(sign, "EFI PART", 8) == 0;
	if (fd >= 0)
		close(fd);
	return yes;
}

int g_umount_result = 0;

int fake_umount(void *arg)
{
	log_line(std::string("umount ") + static_cast<const char *>(arg) + (disk_has_gpt() ? " gpt=yes" : " gpt=no"));
	return g_umount_result;
}

int fake_mount(void *arg)
{
	log_line(std::string("mount ") + static_cast<const char *>(arg) + (disk_has_gpt() ? " gpt=yes" : " gpt=no"));
	return 0;
}

void hook(unsigned long word)
{
	log_line("hook " + std::to_string(word));
}

struct Scenario {
	std::string list;
	uint64_t sectors = 100000;
	std::string name = "part_tbl";
	bool callbacks = true;
	int umount_result = 0;
	int rrpart_errno = 0;
	uint64_t missing = 0; // the handle claims this many bytes more than the file holds
};

struct Outcome {
	int result = -999;
	std::string out;   // the writer's messages
	std::string order; // the shared log
	std::optional<std::string> staged;
	std::string disk; // host path of the disk after the run
};

class Repartition : public ::testing::Test {
protected:
	Outcome run(const Scenario &s)
	{
		box_ = std::make_unique<sandbox::Sandbox>();
		box_->sparse_file(kDisk, s.sectors * 512);
		box_->write_file("/sys/class/block/mmcblk0/size", std::to_string(s.sectors) + "\n");
		auto r = box_->run([&] {
			setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
			std::ofstream("/sbin/mdev") << "#!/bin/sh\necho \"mdev $*\" >> " << kLog << "\n";
			chmod("/sbin/mdev", 0755);
			auto disk = devmodels::install<devmodels::BlockDevice>(
				kDisk, devmodels::Params{{"rrpart_errno", std::to_string(s.rrpart_errno)}});
			disk->set_log(kLog);
			crv_ostrel_set_mount_point("/tmp");
			g_umount_result = s.umount_result;
			static char arg[] = "tmpfs";
			if (s.callbacks)
				crv_ostrel_set_gpt_remount_cb(fake_mount, fake_umount, arg);
			crv_ostrel_set_gpt_hooks(hook, hook, 7, 9);

			imgbuilder::write_container("/var/fw.img", {{.name = s.name, .target = kDisk, .data = s.list}});
			crv_ostrel_set_img_path("/var/fw.img");
			FILE *fp = fopen("/var/fw.img", "rb");
			crv_per_img_hdr hdr;
			crv_per_img_handle handle{};
			if (!fp || fseek(fp, 0x120, SEEK_SET) != 0 || crv_ostrel_get_per_img(fp, &hdr, &handle) != 0)
				return 2;
			handle.length += s.missing;
			int ret = crv_ostrel_update_gpt_cb(&hdr, &handle, nullptr);
			fclose(handle.stream);
			fclose(fp);
			printf("result=%d\n", ret);
			return 0;
		});
		EXPECT_TRUE(r.ok()) << r.setup_error << r.err;
		Outcome o;
		auto at = r.out.rfind("result=");
		if (at != std::string::npos) {
			o.result = std::stoi(r.out.substr(at + 7));
			o.out = r.out.substr(0, at);
		}
		o.order = box_->read_file(kLog).value_or("");
		if (s.name.find('/') == std::string::npos)
			o.staged = box_->read_file("/tmp/" + s.name + ".div");
		o.disk = box_->host_path(kDisk);
		return o;
	}

	bool untouched(const std::string &disk)
	{
		std::string head(34 * 512, '\0');
		int fd = open(disk.c_str(), O_RDONLY);
		bool ok = fd >= 0 && pread(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size());
		if (fd >= 0)
			close(fd);
		return ok && head == std::string(head.size(), '\0');
	}

	std::unique_ptr<sandbox::Sandbox> box_;
};

std::string run_host(const std::string &cmd)
{
	std::string out;
	if (FILE *p = popen(cmd.c_str(), "r")) {
		char buf[4096];
		size_t n;
		while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
			out.append(buf, n);
		pclose(p);
	}
	return out;
}

TEST_F(Repartition, UnmountWriteRereadDevicesMountInThatOrder)
{
	CRV_REQUIRE_SANDBOX();
	const std::string list = "# eMMC layout\nboot;65536\nsystem;2097152\ndata;0\n";
	auto o = run({.list = list, .sectors = 16ull * 1024 * 1024}); // 8 GiB
	EXPECT_EQ(o.result, 0);
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.order, "hook 7\n"
			   "umount tmpfs gpt=no\n"
			   "BLKRRPART\n"
			   "mdev -s\n"
			   "mount tmpfs gpt=yes\n"
			   "hook 9\n");
	EXPECT_EQ(o.staged, list) << "the staged list stays in /tmp";

	std::string dump = run_host("sfdisk --dump " + o.disk + " 2>&1");
	EXPECT_NE(dump.find("label: gpt"), std::string::npos) << dump;
	EXPECT_NE(dump.find("start=        2048, size=       65536"), std::string::npos) << dump;
	EXPECT_NE(dump.find("start=       67584, size=     2097152"), std::string::npos) << dump;
	EXPECT_NE(dump.find("start=     2164736, size=    14612447, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4"),
		  std::string::npos)
		<< "data takes the rest: up to S - 34\n"
		<< dump;
	std::string verify = run_host("sgdisk -v " + o.disk + " 2>&1");
	EXPECT_NE(verify.find("No problems found"), std::string::npos) << verify;
}

TEST_F(Repartition, CommentOnlyListWritesATableWithoutPartitions)
{
	CRV_REQUIRE_SANDBOX();
	auto o = run({.list = "# nothing yet\n"});
	EXPECT_EQ(o.result, 0);
	std::string dump = run_host("sfdisk --dump " + o.disk + " 2>&1");
	EXPECT_NE(dump.find("label: gpt"), std::string::npos) << dump;
	EXPECT_EQ(dump.find("start="), std::string::npos) << dump;
}

TEST_F(Repartition, WithoutRemountCallbacksNothingIsTouched)
{
	CRV_REQUIRE_SANDBOX();
	auto o = run({.list = "boot;100\n", .callbacks = false});
	EXPECT_EQ(o.result, -22);
	EXPECT_EQ(o.out, "You should mount crv_ostrel_tmp_dir_mount and crv_ostrel_tmp_dir_umount before do "
			 "re-partition !\n");
	EXPECT_FALSE(o.staged.has_value()) << "not even /tmp";
	EXPECT_EQ(o.order, "");
	EXPECT_TRUE(untouched(o.disk));
}

TEST_F(Repartition, FailedUnmountStopsBeforeTheListIsParsed)
{
	CRV_REQUIRE_SANDBOX();
	auto o = run({.list = "not a list\n", .umount_result = 1});
	EXPECT_EQ(o.result, -22);
	EXPECT_EQ(o.out, "crv_ostrel_update_gpt_cb call umount tmp dir fail !\n");
	EXPECT_EQ(o.order, "hook 7\numount tmpfs gpt=no\n");
	EXPECT_TRUE(untouched(o.disk));
}

TEST_F(Repartition, BadListsAreRefusedAndTheFileSystemComesBack)
{
	CRV_REQUIRE_SANDBOX();
	std::string many;
	for (int i = 0; i < 129; i++)
		many += "p" + std::to_string(i) + ";8\n";
	struct Case {
		const char *what;
		std::string list;
		const char *message;
	} cases[] = {
		{"line without a size", "boot;100\nsystem\n", "parse text partition table fail !\n"},
		{"size that is no number", "boot;lots\n", "parse text partition table fail !\n"},
		{"more entries than the table holds", many, "parse text partition table fail !\n"},
		{"sizes beyond the disk", "boot;50000\nsystem;50000\n", "write partition table fail !\n"},
		{"size 0 then more", "boot;0\nsystem;8\n", "write partition table fail !\n"},
		{"name too long for the table", std::string(37, 'n') + ";8\n", "write partition table fail !\n"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.what);
		auto o = run({.list = c.list});
		EXPECT_EQ(o.result, -1);
		EXPECT_TRUE(o.out.ends_with(c.message)) << o.out;
		EXPECT_EQ(o.order, "hook 7\numount tmpfs gpt=no\nmount tmpfs gpt=no\n");
		EXPECT_TRUE(untouched(o.disk));
	}
}

TEST_F(Repartition, RefusedRereadLeavesTheNewTableAndTheFileSystemDown)
{
	CRV_REQUIRE_SANDBOX();
	auto o = run({.list = "boot;100\n", .rrpart_errno = 16});
	EXPECT_EQ(o.result, -1);
	EXPECT_EQ(o.out, "reload partition fail !\n");
	EXPECT_EQ(o.order, "hook 7\numount tmpfs gpt=no\nBLKRRPART\n");
	EXPECT_FALSE(untouched(o.disk));
}

TEST_F(Repartition, StagingProblemsStopBeforeTheUnmount)
{
	CRV_REQUIRE_SANDBOX();
	auto truncated = run({.list = "boot;100\n", .missing = 10});
	EXPECT_EQ(truncated.result, -5);
	EXPECT_EQ(truncated.out, "crv_ostrel_update_gpt_cb read partition table from firmware fail !\n");
	EXPECT_EQ(truncated.order, "");
	EXPECT_TRUE(untouched(truncated.disk));

	// The image name becomes a file name in /tmp.
	auto escaping = run({.list = "boot;100\n", .name = "../etc/x"});
	EXPECT_EQ(escaping.result, -22);
	EXPECT_EQ(escaping.out, "crv_ostrel_update_gpt_cb invalid image name ../etc/x !\n");
	EXPECT_EQ(escaping.order, "");
	EXPECT_FALSE(box_->read_file("/etc/x.div").has_value());
}

} // namespace

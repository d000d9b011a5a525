#include "sandbox.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string slurp(const char *path)
{
	std::ifstream f(path);
	if (!f)
		return "<missing>";
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

bool spit(const char *path, const std::string &text, int flags = O_WRONLY | O_CREAT | O_TRUNC)
{
	int fd = open(path, flags, 0644);
	if (fd < 0)
		return false;
	bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
	return close(fd) == 0 && ok;
}

std::set<std::string> listing(const char *dir)
{
	std::set<std::string> names;
	if (DIR *d = opendir(dir)) {
		while (struct dirent *e = readdir(d))
			names.insert(e->d_name);
		closedir(d);
	}
	return names;
}

struct HostStamp {
	bool present;
	struct stat st;
	explicit HostStamp(const char *path) { present = lstat(path, &st) == 0; }
	bool same(const HostStamp &o) const
	{
		return present == o.present && (!present || (st.st_ino == o.st.st_ino && st.st_size == o.st.st_size &&
							      st.st_mtim.tv_sec == o.st.st_mtim.tv_sec &&
							      st.st_mtim.tv_nsec == o.st.st_mtim.tv_nsec));
	}
};

// Writes to /etc, /data and /dev/mem inside change nothing on the host, and
// a file deleted inside is still on the host.
TEST(Sandbox, NoWriteReachesTheHost)
{
	CRV_REQUIRE_SANDBOX();
	auto etc_before = listing("/etc");
	HostStamp hosts("/etc/hosts"), data("/data"), mem("/dev/mem"), passwd("/etc/passwd");
	std::string hosts_text = slurp("/etc/hosts");
	std::string probe = "/etc/crv-sandbox-probe." + std::to_string(getpid());

	sandbox::Sandbox box;
	box.sparse_file("/dev/mem", 0xfc041000ull);
	auto r = box.run([&] {
		int bad = 0;
		bad += !spit(probe.c_str(), "probe");
		bad += !spit("/etc/hosts", "127.0.0.1 elsewhere\n", O_WRONLY | O_APPEND);
		bad += unlink("/etc/passwd") != 0;
		bad += mkdir("/data", 0755) != 0;
		bad += !spit("/data/apdat.bin", "apdat");
		int fd = open("/dev/mem", O_RDWR | O_SYNC);
		if (fd < 0)
			return 100;
		void *p = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0xfc040000);
		if (p == MAP_FAILED)
			return 101;
		memcpy(p, "TIMR", 4);
		munmap(p, 4096);
		close(fd);
		return bad;
	});
	ASSERT_EQ(r.setup_error, "");
	EXPECT_EQ(r.exit_code, 0) << r.err;

	EXPECT_EQ(listing("/etc"), etc_before);
	EXPECT_TRUE(hosts.same(HostStamp("/etc/hosts")));
	EXPECT_EQ(slurp("/etc/hosts"), hosts_text);
	EXPECT_TRUE(passwd.same(HostStamp("/etc/passwd")));
	EXPECT_TRUE(data.same(HostStamp("/data")));
	EXPECT_TRUE(mem.same(HostStamp("/dev/mem")));

	// ... while the sandbox kept every change.
	EXPECT_EQ(box.read_file(probe), "probe");
	EXPECT_EQ(box.read_file("/etc/hosts"), hosts_text + "127.0.0.1 elsewhere\n");
	EXPECT_EQ(box.read_file("/etc/passwd"), std::nullopt);
	EXPECT_TRUE(box.changed("/etc/passwd"));
	EXPECT_FALSE(box.changed("/etc/group"));
	EXPECT_EQ(box.read_file("/etc/group"), slurp("/etc/group"));
	EXPECT_EQ(box.read_file("/data/apdat.bin"), "apdat");
	std::string memfile = box.host_path("/dev/mem");
	struct stat st;
	ASSERT_EQ(stat(memfile.c_str(), &st), 0);
	EXPECT_EQ(static_cast<uint64_t>(st.st_size), 0xfc041000ull);
	char word[5] = {};
	int fd = open(memfile.c_str(), O_RDONLY);
	EXPECT_EQ(pread(fd, word, 4, 0xfc040000), 4);
	close(fd);
	EXPECT_STREQ(word, "TIMR");
}

// Files put at the fixed paths the programs use are there inside, and what
// the code writes to them is read back afterwards.
TEST(Sandbox, PlacedFilesAtFixedPaths)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/etc/mtab", "/dev/root / ext4 rw 0 0\n");
	box.write_file("/proc/cmdline", "console=ttyS0 crv_boot=emmc\n");
	box.write_file("/proc/sys/crv/crv_stbc_lock_spi", "1\n");
	box.write_file("/sys/block/mmcblk0boot0/force_ro", "1\n");
	box.write_file("/dev/crv-part-name/misc", std::string(4096, '\0'));
	box.write_file("/tmp/dd_progress", "");
	box.write_file("/res/images/bar.png", "PNG");
	box.make_dir("/extract_dir");
	auto r = box.run([] {
		if (slurp("/etc/mtab") != "/dev/root / ext4 rw 0 0\n")
			return 1;
		if (slurp("/proc/cmdline") != "console=ttyS0 crv_boot=emmc\n")
			return 2;
		if (slurp("/res/images/bar.png") != "PNG")
			return 3;
		// The rest of /proc and /proc/sys stays usable around the new entries.
		if (slurp("/proc/self/status").find("Pid:") == std::string::npos)
			return 4;
		if (slurp("/proc/sys/kernel/ostype") != "Linux\n")
			return 5;
		struct stat st;
		if (stat("/extract_dir", &st) != 0 || !S_ISDIR(st.st_mode))
			return 6;
		if (!spit("/proc/sys/crv/crv_stbc_lock_spi", "0"))
			return 7;
		if (!spit("/sys/block/mmcblk0boot0/force_ro", "0"))
			return 8;
		if (!spit("/dev/crv-part-name/misc", "BTFG", O_WRONLY))
			return 9;
		if (!spit("/tmp/dd_progress", "1024+0 records in\n"))
			return 10;
		if (!spit("/etc/mtab", "none\n"))
			return 11;
		// The system's own switches stay read-only.
		if (spit("/proc/sys/kernel/hostname", "elsewhere") || errno != EROFS)
			return 12;
		if (access("/sys/block", F_OK) != 0 || spit("/sys/kernel/uevent_helper", "x"))
			return 13;
		return 0;
	});
	ASSERT_EQ(r.setup_error, "");
	EXPECT_EQ(r.exit_code, 0) << r.err;
	EXPECT_EQ(box.read_file("/proc/sys/crv/crv_stbc_lock_spi"), "0");
	EXPECT_EQ(box.read_file("/sys/block/mmcblk0boot0/force_ro"), "0");
	auto misc = box.read_file("/dev/crv-part-name/misc");
	ASSERT_TRUE(misc.has_value());
	EXPECT_EQ(misc->size(), 4096u);
	EXPECT_EQ(misc->substr(0, 4), "BTFG");
	EXPECT_EQ(box.read_file("/tmp/dd_progress"), "1024+0 records in\n");
	EXPECT_EQ(box.read_file("/etc/mtab"), "none\n");
	EXPECT_NE(box.host_path("/etc/mtab"), "");
}

// Private pid namespace and /dev; exit status, signals and output reach the
// test; the state of one run is there for the next.
TEST(Sandbox, IsolationResultsAndSuccessiveRuns)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	auto r = box.run([] {
		// The parent is the namespace's first process (the emulator's own
		// threads may take the next numbers when running under qemu-user).
		printf("parent %d\n", static_cast<int>(getppid()));
		fprintf(stderr, "to stderr\n");
		std::set<std::string> dev = listing("/dev");
		for (const char *want : {"null", "zero", "urandom", "tty", "loop-control", "loop0"})
			if (!dev.count(want))
				return 1;
		// Nothing of the host's own disks.
		for (const auto &name : dev)
			if (name.starts_with("vd") || name.starts_with("sd") || name.starts_with("nvme"))
				return 2;
		if (slurp("/proc/1/comm") == "<missing>")
			return 3;
		spit("/etc/crv-state", "first");
		return 42;
	});
	ASSERT_EQ(r.setup_error, "");
	EXPECT_EQ(r.exit_code, 42) << r.err;
	EXPECT_EQ(r.out, "parent 1\n");
	EXPECT_EQ(r.err, "to stderr\n");

	auto second = box.run([] { return slurp("/etc/crv-state") == "first" ? 0 : 1; });
	EXPECT_TRUE(second.ok());

	auto killed = box.run([] {
		raise(SIGKILL);
		return 0;
	});
	EXPECT_EQ(killed.signal, SIGKILL);
	EXPECT_EQ(killed.exit_code, -1);
	EXPECT_FALSE(killed.ok());
}

TEST(Sandbox, WholeProgramWithEnvironmentAndInput)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.write_file("/proc/cmdline", "boot=1\n");
	auto r = box.run_program({"/bin/sh", "-c", "read line; echo \"$line $CRV_X $(cat /proc/cmdline)\"; "
						  "echo done > /etc/crv-done; echo oops >&2; exit 3"},
				 {"CRV_X=x"}, "hello\n");
	ASSERT_EQ(r.setup_error, "");
	EXPECT_EQ(r.exit_code, 3);
	EXPECT_EQ(r.out, "hello x boot=1\n");
	EXPECT_EQ(r.err, "oops\n");
	EXPECT_EQ(box.read_file("/etc/crv-done"), "done\n");
	EXPECT_EQ(slurp("/etc/crv-done"), "<missing>");

	auto missing = box.run_program({"/nonexistent/program"});
	EXPECT_EQ(missing.exit_code, 127);
	EXPECT_NE(missing.err.find("/nonexistent/program"), std::string::npos);
}

std::set<std::string> loops_backed_by(const std::string &needle)
{
	std::set<std::string> found;
	for (const auto &name : listing("/sys/block")) {
		if (!name.starts_with("loop"))
			continue;
		std::string file = slurp(("/sys/block/" + name + "/loop/backing_file").c_str());
		if (file != "<missing>" && file.find(needle) != std::string::npos)
			found.insert(name);
	}
	return found;
}

// An ext4 image mounted inside; what the run wrote is in the image, and no
// loop device stays bound afterwards, neither the sandbox's own nor one the
// program bound and forgot.
TEST(Sandbox, Ext4ImageAndLoopDevicesReleased)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	box.ext4_image("/data", 16 << 20);
	std::string leftover = "crv-forgotten." + std::to_string(getpid()) + ".img";
	auto r = box.run_program({"/bin/sh", "-c",
				  "grep -q ' /data ext4 ' /proc/mounts || exit 5; echo apdat > /data/apdat.txt || exit 6; "
				  "truncate -s 1M /var/" + leftover + " && losetup -f --show /var/" + leftover},
				 {"PATH=/usr/sbin:/sbin:/usr/bin:/bin"});
	ASSERT_EQ(r.setup_error, "");
	EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
	EXPECT_TRUE(r.out.starts_with("/dev/loop")) << r.out;
	EXPECT_EQ(box.read_image_file("/data", "/apdat.txt"), "apdat\n");
	EXPECT_EQ(box.read_image_file("/data", "/nothing.txt"), std::nullopt);
	EXPECT_EQ(loops_backed_by(box.dir()), std::set<std::string>{});
	EXPECT_EQ(loops_backed_by(leftover), std::set<std::string>{});
	// Nothing mounted on the host either.
	EXPECT_EQ(slurp("/proc/self/mountinfo").find(box.dir()), std::string::npos);
}

TEST(Sandbox, BadRequestsAreReportedNotFatal)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	EXPECT_THROW(box.write_file("relative/path", ""), std::invalid_argument);
	EXPECT_THROW(box.write_file("/etc/../root/x", ""), std::invalid_argument);
	EXPECT_THROW(box.make_dir("/proc"), std::invalid_argument);
	// A new entry at the top of /proc cannot be made: the run reports it.
	box.write_file("/proc/crv-new", "x");
	auto r = box.run([] { return 0; });
	EXPECT_NE(r.setup_error, "");
	EXPECT_FALSE(r.ok());
}

// Sandboxes of one process (and of parallel test processes) keep apart, and
// each leaves nothing behind.
TEST(Sandbox, SeparateFoldersRemovedAfterUse)
{
	CRV_REQUIRE_SANDBOX();
	std::string first_dir;
	{
		sandbox::Sandbox a, b;
		first_dir = a.dir();
		EXPECT_NE(a.dir(), b.dir());
		a.write_file("/etc/crv-which", "a");
		b.write_file("/etc/crv-which", "b");
		auto ra = a.run([] { return slurp("/etc/crv-which") == "a" ? 0 : 1; });
		auto rb = b.run([] { return slurp("/etc/crv-which") == "b" ? 0 : 1; });
		EXPECT_TRUE(ra.ok()) << ra.setup_error;
		EXPECT_TRUE(rb.ok()) << rb.setup_error;
	}
	struct stat st;
	EXPECT_NE(lstat(first_dir.c_str(), &st), 0);
}

} // namespace

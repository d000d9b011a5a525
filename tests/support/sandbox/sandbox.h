// A private copy of the system for tests of code that reads and writes fixed
// system paths, and for whole programs.
//
// Each run() happens in a child process with a mount and a pid namespace of
// its own, chrooted into an overlay of the host root: the host's "/" is the
// read-only lower layer and every write lands in an upper layer inside the
// sandbox's temporary folder. Inside:
//   /dev   a tmpfs with null, zero, full, random, urandom, tty, loop-control
//          and the loop devices, plus the files the test put there;
//   /proc  a fresh proc of the new pid namespace (/proc/sys read-only);
//   /sys   the system's sysfs, read-only;
//   /tmp   a fresh, empty folder of the sandbox.
// Files a test puts under /dev, /proc, /sys and /tmp are host files in the
// temporary folder bind-mounted over those paths (missing folders of /proc
// and /sys are made by laying a tmpfs over the nearest existing one); other
// files go straight into the upper layer. After a run the test reads back
// what the code left with read_file(). All mounts vanish with the namespace;
// the temporary folder goes with the Sandbox object.
//
// Needs root (CAP_SYS_ADMIN) and overlayfs: tests call
//     CRV_REQUIRE_SANDBOX();
// (GoogleTest's skip with the reason when sandboxes cannot run here).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sandbox {

// Why sandboxes cannot run here ("" when they can).
std::string unavailable();

struct Result {
	int exit_code = -1;      // exit status; -1 when killed or never started
	int signal = 0;          // the signal that killed it
	std::string out;         // what it wrote to standard output
	std::string err;         // ... and to standard error
	std::string setup_error; // the sandbox could not be set up
	bool ok() const { return setup_error.empty() && signal == 0 && exit_code == 0; }
};

// Runs a host program outside any sandbox, with extra environment entries
// ("NAME=value"); an ARM program under test is started through qemu-user
// when the kernel cannot run it directly.
Result run_host(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
		const std::string &input = "");

class Sandbox {
public:
	// Throws std::runtime_error when the temporary folder cannot be made.
	Sandbox();
	~Sandbox();
	Sandbox(const Sandbox &) = delete;
	Sandbox &operator=(const Sandbox &) = delete;

	// --- put in place before run() (absolute paths as the sandbox sees them)
	void write_file(const std::string &path, const std::string &content, mode_t mode = 0644);
	// A sparse file of the given size (e.g. "/dev/mem" reaching 0xfc041000),
	// optionally with content at an offset.
	void sparse_file(const std::string &path, uint64_t size, uint64_t offset = 0, const std::string &content = "");
	void copy_file(const std::string &path, const std::string &host_file, mode_t mode = 0644);
	void make_dir(const std::string &path);
	// An ext4 file system of the given size (sparse image, mkfs.ext4 -F, filled
	// from populate_dir when given) loop-mounted at mount_point in every run.
	void ext4_image(const std::string &mount_point, uint64_t size, const std::string &populate_dir = "");

	// --- run
	// body() runs inside the sandbox in a child process that ends with
	// _exit(body's result); its standard output and error are captured.
	Result run(const std::function<int()> &body);
	// argv[0] is a path inside the sandbox (the host's build tree is visible
	// at the same path when it lies on the root file system); env entries "NAME=value" are added to the
	// environment; input is fed to standard input.
	Result run_program(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
			   const std::string &input = "");

	// --- read back after run()
	// A file's content as the sandbox left it; nullopt when missing or deleted.
	// (For big sparse files such as /dev/mem, read host_path() instead.)
	std::optional<std::string> read_file(const std::string &path) const;
	// Whether the sandbox wrote, created or deleted the path (placed files
	// count as written).
	bool changed(const std::string &path) const;
	// Where the sandbox's own copy of a path lives on the host ("" when it is
	// still the host's file).
	std::string host_path(const std::string &path) const;
	// A file inside an ext4 image (path relative to the image's root).
	std::optional<std::string> read_image_file(const std::string &mount_point, const std::string &path) const;
	// The image file behind a mount point ("" when none).
	std::string image_path(const std::string &mount_point) const;

	const std::string &dir() const { return dir_; }
	const std::string &upper() const { return upper_; }

private:
	struct Image {
		std::string mount_point;
		std::string file;
	};
	std::string staged_path(const std::string &path) const;
	std::string place(const std::string &path, bool directory);
	Result execute(const std::function<int()> &child, const std::string &input);

	std::string dir_;
	std::string upper_;
	std::vector<std::string> staged_; // placed paths under /dev, /proc, /sys
	std::vector<Image> images_;
	int runs_ = 0;
};

} // namespace sandbox

// Skips the current GoogleTest case, with the reason, when sandboxes cannot
// run here.
#define CRV_REQUIRE_SANDBOX()                                        \
	do {                                                         \
		if (std::string why_ = sandbox::unavailable(); !why_.empty()) \
			GTEST_SKIP() << why_;                        \
	} while (0)

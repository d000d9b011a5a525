// A set in a sandbox for whole runs of fwupdate: misc and apdat partitions,
// the kernel command line, physical memory with the LED and ADC registers,
// an eMMC answering the boot-partition commands, eMMC partitions to write,
// and the progress screen's resources and framebuffer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imgbuilder.h"
#include "sandbox.h"

namespace fwrig {

inline constexpr uint64_t MEM_SIZE = 0xfc041000;
inline constexpr uint64_t LED_BASE = 0xfc040000;
inline constexpr uint64_t MISC_SIZE = 0x10000;
inline constexpr const char *PART_DIR = "/dev/crv-part-name";
inline constexpr const char *IMAGE = "/tmp/update.img";

struct Outcome {
	sandbox::Result result;
	int exit_code = -1; // fwupdate's exit status; -1 when it had to be ended
	bool hung = false; // still running after its failure line: ended by the rig
	bool cut = false; // ended by the power cut placed with cut_at()
	uint32_t led_level_after_failure = 0; // register 0x424, sampled before ending it
	double seconds = 0; // wall time of the fwupdate process
	std::string out; // its standard output
};

class Rig {
public:
	// `program`: the fwupdate build to run (a host path, visible in the sandbox).
	explicit Rig(std::string program, uint64_t apdat_size = 64ull << 20);

	// The kernel command line (a newline is added).
	void cmdline(const std::string &text);
	// An eMMC partition /dev/crv-part-name/<name> of `size` bytes filled with `fill`.
	void partition(const std::string &name, uint64_t size, char fill = '\0');
	// A partition file of `size` bytes, sparse (for large targets).
	void sparse_partition(const std::string &name, uint64_t size);
	// The progress screen's PNG resources and a file-backed /dev/fb0 (by
	// default the set's full-HD plane).
	void screen(const std::string &res_dir, uint32_t width = 1920, uint32_t height = 1080);
	// The misc partition accepts writes but fails to store them.
	void failing_misc() { failing_misc_ = true; }
	// Faults of the set: no /dev/mem; an eMMC that refuses to select a boot
	// partition; an image path that exists but cannot be opened (a socket);
	// a process that cannot start any thread (its stack limit is more than
	// the address space gives a thread); the engine's update thread alone
	// failing to start (fwupdate_devsim's thread seam).
	void no_mem_device() { mem_ = false; }
	void refuse_boot_select();
	void unopenable_image() { unopenable_image_ = true; }
	void no_threads() { no_threads_ = true; }
	void failing_update_thread() { failing_update_thread_ = true; }
	// The set loses power in the next run while a shell command of the
	// updater that begins with `command` runs: the updater and everything it
	// started are killed (Outcome::cut).
	void cut_at(std::string command) { cut_at_ = std::move(command); }
	// What a restart after that leaves: the run's mounts are gone with it,
	// and the files the updater left in /tmp go too; the partitions stay.
	void reboot();
	// Writes the firmware image container the run will get.
	void image(const std::vector<imgbuilder::Image> &images, const imgbuilder::Faults &faults = {});
	// Places an existing container file as the image.
	void image_file(const std::string &host_file);

	// Runs fwupdate with these arguments (default: the image). A run that
	// prints its failure line is ended `linger` seconds later.
	Outcome run(std::optional<std::vector<std::string>> args = std::nullopt, double linger = 0.6,
		    double deadline = 120);

	// Read back after a run.
	std::string partition_bytes(const std::string &name) const;
	std::string misc(uint64_t offset, std::size_t len) const;
	uint32_t mem_reg(uint64_t offset) const; // offset inside the LED window
	std::string apdat(uint64_t offset, std::size_t len) const;
	std::vector<std::string> emmc_log() const;
	// The frame the screen shows last, as rows of blue, green, red, alpha
	// bytes; empty without a framebuffer.
	struct Frame {
		uint32_t width = 0, height = 0;
		std::string bgra;
	};
	Frame last_frame() const;
	// Called every 20 ms while fwupdate runs, inside the sandbox, with its
	// output so far (read_frame() below reads the frame shown then).
	using Watcher = std::function<void(const std::string &out)>;
	void watch(Watcher w) { watcher_ = std::move(w); }

	sandbox::Sandbox &box() { return sb_; }

private:
	std::string read_host(const std::string &sandbox_path, uint64_t offset, std::size_t len) const;

	std::string program_;
	sandbox::Sandbox sb_;
	std::vector<std::string> devsim_;
	Watcher watcher_;
	std::string cut_at_;
	bool fb_ = false;
	bool failing_misc_ = false;
	bool mem_ = true;
	bool mem_placed_ = false;
	bool unopenable_image_ = false;
	bool no_threads_ = false;
	bool failing_update_thread_ = false;
};

// The frame the screen shows now, read inside the sandbox (from a watcher).
Rig::Frame read_frame();

// Console tags and untagged status lines of the output, in order.
std::vector<std::string> status_lines(const std::string &out);

} // namespace fwrig

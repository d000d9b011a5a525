#include "fwupdate_rig.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace fwrig {

namespace {

constexpr const char *APDAT_FILE = "/tmp/apdat.img";
constexpr const char *EMMC_LOG = "/tmp/emmc.log";
constexpr const char *DEVSIM_CONF = "/tmp/devsim.conf";
constexpr const char *OUT_FILE = "/tmp/fwupdate.out";
constexpr const char *RESULT_FILE = "/tmp/rig.result";
constexpr const char *FB_STATE = "/tmp/fb.state";
constexpr const char *PATH_ENV = "/usr/sbin:/usr/bin:/sbin:/bin";

std::string part_path(const std::string &name)
{
	return std::string(PART_DIR) + "/" + name;
}

std::string shell_line(const std::string &cmd)
{
	std::string out;
	FILE *p = popen(cmd.c_str(), "r");
	if (!p)
		return out;
	char buf[256];
	while (fgets(buf, sizeof(buf), p))
		out += buf;
	pclose(p);
	while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
		out.pop_back();
	return out;
}

std::string slurp(const char *path)
{
	std::string s;
	FILE *fp = fopen(path, "rb");
	if (!fp)
		return s;
	char buf[4096];
	std::size_t n;
	while ((n = fread(buf, 1, sizeof(buf), fp)) > 0)
		s.append(buf, n);
	fclose(fp);
	return s;
}

std::string pread_file(const std::string &path, uint64_t offset, std::size_t len)
{
	std::string out(len, '\0');
	int fd = open(path.c_str(), O_RDONLY);
	if (fd < 0)
		return {};
	ssize_t n = pread(fd, out.data(), len, static_cast<off_t>(offset));
	close(fd);
	out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
	return out;
}

uint32_t led_level()
{
	uint32_t v = 0;
	int fd = open("/dev/mem", O_RDONLY);
	if (fd >= 0) {
		if (pread(fd, &v, 4, static_cast<off_t>(LED_BASE + 0x424)) != 4)
			v = 0;
		close(fd);
	}
	return v;
}

// A unix socket bound at path: stat() finds it, open() cannot open it.
bool socket_at(const char *path)
{
	sockaddr_un addr = {};
	addr.sun_family = AF_UNIX;
	snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path);
	umount2(path, MNT_DETACH);
	unlink(path);
	int fd = socket(AF_UNIX, SOCK_STREAM, 0);
	bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0;
	if (fd >= 0)
		close(fd);
	return ok;
}

double since(std::chrono::steady_clock::time_point t0)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

Rig::Rig(std::string program, uint64_t apdat_size) : program_(std::move(program))
{
	// Erased flash reads as ones: records written show up against it.
	sb_.write_file(part_path("misc"), std::string(MISC_SIZE, '\xff'));
	sb_.sparse_file(APDAT_FILE, apdat_size);
	sandbox::Result r = sandbox::run_host({"mkfs.ext4", "-q", "-F", sb_.host_path(APDAT_FILE)}, {std::string("PATH=") + PATH_ENV});
	if (!r.ok())
		throw std::runtime_error("mkfs.ext4 for apdat failed: " + r.err);
	sb_.sparse_file("/dev/mmcblk0", 8ull << 20);
	devsim_.push_back(std::string("/dev/mmcblk0 emmc size=8M partition_config=0x50 log=") + EMMC_LOG);
	cmdline("console=ttyS0 root=/dev/mmcblk0p5 rootwait");
}

void Rig::refuse_boot_select()
{
	devsim_.front() += " fail_opcode=6"; // MMC SWITCH
}

void Rig::cmdline(const std::string &text)
{
	sb_.write_file("/proc/cmdline", text + "\n");
}

void Rig::partition(const std::string &name, uint64_t size, char fill)
{
	sb_.write_file(part_path(name), std::string(size, fill));
}

void Rig::sparse_partition(const std::string &name, uint64_t size)
{
	sb_.sparse_file(part_path(name), size);
}

void Rig::screen(const std::string &res_dir, uint32_t width, uint32_t height)
{
	if (DIR *d = opendir(res_dir.c_str())) {
		while (dirent *e = readdir(d)) {
			std::string n = e->d_name;
			if (n.size() > 4 && n.ends_with(".png"))
				sb_.copy_file("/res/images/" + n, res_dir + "/" + n);
		}
		closedir(d);
	}
	// Two pages of 32-bit pixels.
	sb_.sparse_file("/dev/fb0", 2ull * width * height * 4);
	devsim_.push_back("/dev/fb0 osdfb xres=" + std::to_string(width) + " yres=" + std::to_string(height) +
			  " state=" + FB_STATE);
	fb_ = true;
}

void Rig::reboot()
{
	const std::vector<std::string> own = {APDAT_FILE, EMMC_LOG, DEVSIM_CONF, OUT_FILE, RESULT_FILE, FB_STATE, IMAGE};
	for (const auto &e : std::filesystem::directory_iterator(sb_.dir() + "/tmp")) {
		const std::string path = "/tmp/" + e.path().filename().string();
		if (std::find(own.begin(), own.end(), path) == own.end())
			std::filesystem::remove_all(e.path());
	}
}

void Rig::image(const std::vector<imgbuilder::Image> &images, const imgbuilder::Faults &faults)
{
	sb_.sparse_file(IMAGE, 0);
	imgbuilder::write_container(sb_.host_path(IMAGE), images, faults);
}

void Rig::image_file(const std::string &host_file)
{
	sb_.copy_file(IMAGE, host_file);
}

Outcome Rig::run(std::optional<std::vector<std::string>> args, double linger, double deadline)
{
	if (mem_ && !mem_placed_) {
		sb_.sparse_file("/dev/mem", MEM_SIZE);
		mem_placed_ = true;
	}
	std::string conf;
	for (auto &l : devsim_)
		conf += l + "\n";
	sb_.write_file(DEVSIM_CONF, conf);
	std::vector<std::string> argv{program_};
	if (args)
		argv.insert(argv.end(), args->begin(), args->end());
	else
		argv.push_back(IMAGE);

	const std::string cut_at = std::exchange(cut_at_, {});
	Outcome o;
	o.result = sb_.run([&]() -> int {
		setenv("PATH", PATH_ENV, 1);
		// apdat is a block device on the set: a loop device over its image.
		std::string loop = shell_line(std::string("losetup -f --show ") + APDAT_FILE);
		if (loop.empty() || symlink(loop.c_str(), part_path("apdat").c_str()) != 0) {
			fprintf(stderr, "rig: no loop device for apdat\n");
			return 120;
		}
		if (failing_misc_) {
			std::string misc = part_path("misc");
			if (umount2(misc.c_str(), MNT_DETACH) != 0 || unlink(misc.c_str()) != 0 ||
			    symlink("/dev/full", misc.c_str()) != 0) {
				fprintf(stderr, "rig: cannot replace misc\n");
				return 121;
			}
		}
		if (unopenable_image_ && !socket_at(IMAGE)) {
			fprintf(stderr, "rig: cannot put a socket at the image path\n");
			return 122;
		}
		auto t0 = std::chrono::steady_clock::now();
		pid_t pid = fork();
		if (pid == 0) {
			// A group of its own: a power cut ends everything it started.
			setpgid(0, 0);
			int fd = open(OUT_FILE, O_CREAT | O_WRONLY | O_TRUNC, 0644);
			dup2(fd, 1);
			close(fd);
			setenv("CRV_DEVSIM", DEVSIM_CONF, 1);
			if (failing_update_thread_)
				setenv("CRV_FAIL_THREAD", "update", 1);
			if (!cut_at.empty())
				setenv("CRV_CUT_AT", cut_at.c_str(), 1);
			std::vector<char *> a;
			for (auto &s : argv)
				a.push_back(const_cast<char *>(s.c_str()));
			a.push_back(nullptr);
			// glibc gives each thread a stack of the process's stack
			// limit: 1 TiB is more than the system lets a thread map.
			const rlimit huge = {1ull << 40, 1ull << 40};
			if (no_threads_)
				setrlimit(RLIMIT_STACK, &huge);
			execv(a[0], a.data());
			if (errno == ENOEXEC) {
				// An ARM build on another host: through the emulator. A
				// 32-bit process has no room for a 2 GiB stack; the limit
				// is set by the host's prlimit (qemu keeps its own).
				a.insert(a.begin(), const_cast<char *>("qemu-arm-static"));
				if (no_threads_) {
					a.insert(a.begin(), {const_cast<char *>("prlimit"),
							     const_cast<char *>("--stack=2147483647"), const_cast<char *>("--")});
				}
				execvp(a[0], a.data());
			}
			_exit(127);
		}
		int status = 0;
		int exit_code = -1;
		bool hung = false, cut = false;
		uint32_t led = 0;
		double end_at = -1;
		for (;;) {
			pid_t w = waitpid(pid, &status, WNOHANG | WUNTRACED);
			if (w == pid && WIFSTOPPED(status)) {
				// Stopped at the cut (power_cut.cpp): the power goes.
				kill(-pid, SIGKILL);
				waitpid(pid, &status, 0);
				cut = true;
				break;
			}
			if (w == pid) {
				exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
				break;
			}
			double t = since(t0);
			const std::string out = slurp(OUT_FILE);
			if (watcher_)
				watcher_(out);
			if (end_at < 0 && out.find("\r\nupgrade-failed\r\n") != std::string::npos)
				end_at = t + linger;
			if ((end_at >= 0 && t >= end_at) || t >= deadline) {
				led = led_level();
				hung = end_at >= 0;
				kill(pid, SIGKILL);
				waitpid(pid, &status, 0);
				break;
			}
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		}
		double secs = since(t0);
		shell_line("losetup -d " + loop);
		FILE *r = fopen(RESULT_FILE, "w");
		fprintf(r, "%d %d %u %f %d\n", exit_code, hung ? 1 : 0, led, secs, cut ? 1 : 0);
		fclose(r);
		return 0;
	});
	o.out = sb_.read_file(OUT_FILE).value_or("");
	std::string res = sb_.read_file(RESULT_FILE).value_or("");
	int hung = 0, cut = 0;
	unsigned led = 0;
	if (sscanf(res.c_str(), "%d %d %u %lf %d", &o.exit_code, &hung, &led, &o.seconds, &cut) == 5) {
		o.hung = hung != 0;
		o.cut = cut != 0;
		o.led_level_after_failure = led;
	}
	return o;
}

std::string Rig::read_host(const std::string &path, uint64_t offset, std::size_t len) const
{
	return pread_file(sb_.host_path(path), offset, len);
}

std::string Rig::partition_bytes(const std::string &name) const
{
	return sb_.read_file(part_path(name)).value_or("");
}

std::string Rig::misc(uint64_t offset, std::size_t len) const
{
	return read_host(part_path("misc"), offset, len);
}

uint32_t Rig::mem_reg(uint64_t offset) const
{
	std::string b = read_host("/dev/mem", LED_BASE + offset, 4);
	uint32_t v = 0;
	if (b.size() == 4)
		memcpy(&v, b.data(), 4);
	return v;
}

std::string Rig::apdat(uint64_t offset, std::size_t len) const
{
	return read_host(APDAT_FILE, offset, len);
}

std::vector<std::string> Rig::emmc_log() const
{
	std::vector<std::string> lines;
	std::istringstream in(sb_.read_file(EMMC_LOG).value_or(""));
	std::string l;
	while (std::getline(in, l))
		lines.push_back(l);
	return lines;
}

namespace {

// The page the plane scans out, from the model's state file; `read` reads
// (path, offset, length) of the sandbox's files.
Rig::Frame shown_frame(const std::function<std::string(const std::string &, uint64_t, std::size_t)> &read)
{
	Rig::Frame f;
	unsigned w = 0, h = 0, line = 0, yoff = 0;
	std::string state = read(FB_STATE, 0, 64);
	if (sscanf(state.c_str(), "%u %u %u %u", &w, &h, &line, &yoff) != 4 || line < w * 4)
		return f;
	f.width = w;
	f.height = h;
	for (unsigned y = 0; y < h; y++)
		f.bgra += read("/dev/fb0", static_cast<uint64_t>(yoff + y) * line, w * 4);
	if (f.bgra.size() != static_cast<std::size_t>(w) * h * 4)
		f = Rig::Frame{};
	return f;
}

} // namespace

Rig::Frame Rig::last_frame() const
{
	if (!fb_)
		return {};
	return shown_frame([this](const std::string &path, uint64_t offset, std::size_t len) {
		return read_host(path, offset, len);
	});
}

Rig::Frame read_frame()
{
	return shown_frame(pread_file);
}

std::vector<std::string> status_lines(const std::string &out)
{
	std::vector<std::string> lines;
	std::istringstream in(out);
	std::string l;
	while (std::getline(in, l))
		if (l.find("upgrade-") != std::string::npos)
			lines.push_back(l);
	return lines;
}

} // namespace fwrig

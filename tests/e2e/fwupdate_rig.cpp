#include "fwupdate_rig.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fwrig {

namespace {

constexpr const char *APDAT_FILE = "/tmp/apdat.img";
constexpr const char *EMMC_LOG = "/tmp/emmc.log";
constexpr const char *DEVSIM_CONF = "/tmp/devsim.conf";
constexpr const char *OUT_FILE = "/tmp/fwupdate.out";
constexpr const char *RESULT_FILE = "/tmp/rig.result";
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

double since(std::chrono::steady_clock::time_point t0)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

Rig::Rig(std::string program, uint64_t apdat_size) : program_(std::move(program))
{
	sb_.sparse_file("/dev/mem", MEM_SIZE);
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
			  " state=/tmp/fb.state");
	fb_ = true;
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
	std::string conf;
	for (auto &l : devsim_)
		conf += l + "\n";
	sb_.write_file(DEVSIM_CONF, conf);
	std::vector<std::string> argv{program_};
	if (args)
		argv.insert(argv.end(), args->begin(), args->end());
	else
		argv.push_back(IMAGE);

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
		auto t0 = std::chrono::steady_clock::now();
		pid_t pid = fork();
		if (pid == 0) {
			int fd = open(OUT_FILE, O_CREAT | O_WRONLY | O_TRUNC, 0644);
			dup2(fd, 1);
			close(fd);
			setenv("CRV_DEVSIM", DEVSIM_CONF, 1);
			std::vector<char *> a;
			for (auto &s : argv)
				a.push_back(const_cast<char *>(s.c_str()));
			a.push_back(nullptr);
			execv(a[0], a.data());
			if (errno == ENOEXEC) {
				// An ARM build on another host: through the emulator.
				a.insert(a.begin(), const_cast<char *>("qemu-arm-static"));
				execvp(a[0], a.data());
			}
			_exit(127);
		}
		int status = 0;
		int exit_code = -1;
		bool hung = false;
		uint32_t led = 0;
		double end_at = -1;
		for (;;) {
			pid_t w = waitpid(pid, &status, WNOHANG);
			if (w == pid) {
				exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
				break;
			}
			double t = since(t0);
			if (end_at < 0 && slurp(OUT_FILE).find("\r\nupgrade-failed\r\n") != std::string::npos)
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
		fprintf(r, "%d %d %u %f\n", exit_code, hung ? 1 : 0, led, secs);
		fclose(r);
		return 0;
	});
	o.out = sb_.read_file(OUT_FILE).value_or("");
	std::string res = sb_.read_file(RESULT_FILE).value_or("");
	int hung = 0;
	unsigned led = 0;
	if (sscanf(res.c_str(), "%d %d %u %lf", &o.exit_code, &hung, &led, &o.seconds) == 4) {
		o.hung = hung != 0;
		o.led_level_after_failure = led;
	}
	return o;
}

std::string Rig::read_host(const std::string &path, uint64_t offset, std::size_t len) const
{
	std::string host = sb_.host_path(path);
	std::string out(len, '\0');
	int fd = open(host.c_str(), O_RDONLY);
	if (fd < 0)
		return {};
	ssize_t n = pread(fd, out.data(), len, static_cast<off_t>(offset));
	close(fd);
	out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
	return out;
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

std::string Rig::fb_path() const
{
	return fb_ ? sb_.host_path("/dev/fb0") : std::string();
}

Rig::Frame Rig::last_frame() const
{
	Frame f;
	unsigned w = 0, h = 0, line = 0, yoff = 0;
	std::string state = sb_.read_file("/tmp/fb.state").value_or("");
	if (!fb_ || sscanf(state.c_str(), "%u %u %u %u", &w, &h, &line, &yoff) != 4 || line < w * 4)
		return f;
	f.width = w;
	f.height = h;
	for (unsigned y = 0; y < h; y++)
		f.bgra += read_host("/dev/fb0", static_cast<uint64_t>(yoff + y) * line, w * 4);
	if (f.bgra.size() != static_cast<std::size_t>(w) * h * 4)
		f = Frame{};
	return f;
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

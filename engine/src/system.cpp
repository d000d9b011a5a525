// Command runner, mounting, the temporary folder's file system and the small
// device services the writers use.
#include "crv_system.h"

#include <fcntl.h>
#include <linux/mmc/ioctl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crv_ostrel_ctx.h"

namespace {

constexpr int kMaxWords = 64;

struct free_deleter {
	void operator()(char *p) const { free(p); }
};

bool is_cmd_char(char c)
{
	if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
		return true;
	return strchr("/._+,=:@%-", c) != nullptr && c != '\0';
}

// Where the child looks for the program, worked out before fork so that the
// child itself only calls execv, write and _exit.
std::vector<std::string> exec_candidates(const char *prog)
{
	std::vector<std::string> out;
	if (prog[0] == '\0')
		return out;
	if (strchr(prog, '/') != nullptr) {
		out.emplace_back(prog);
		return out;
	}
	const char *path = getenv("PATH");
	if (path == nullptr)
		path = "/bin:/usr/bin";
	const std::size_t prog_len = strlen(prog);
	for (const char *p = path;;) {
		const char *end = strchrnul(p, ':');
		// An empty entry means the current folder.
		const char *dir = end == p ? "." : p;
		const std::size_t dir_len = end == p ? 1 : std::size_t(end - p);
		std::string cand(dir_len + 1 + prog_len, '/');
		memcpy(cand.data(), dir, dir_len);
		memcpy(cand.data() + dir_len + 1, prog, prog_len);
		out.push_back(std::move(cand));
		if (*end == '\0')
			break;
		p = end + 1;
	}
	return out;
}

// Splits and runs the line; the exit status (or 127, or 128 + signal)
// goes to *status. Returns 0 when the program ran or a negative result.
int run_line(const char *func, const char *cmdline, int *status)
{
	*status = 0;
	if (cmdline == nullptr)
		return 0;

	std::unique_ptr<char, free_deleter> copy(strdup(cmdline));
	if (!copy) {
		printf("%s allocate memory fail !\n", func);
		return -12;
	}

	// One entry more than the word limit for the terminating null.
	char *argv[kMaxWords + 1];
	int argc = 0;
	char *p = copy.get();
	argv[argc++] = p;
	for (; *p != '\0'; ++p) {
		if (*p != ' ')
			continue;
		if (argc == kMaxWords) {
			printf("%s too much params !\n", func);
			return -22;
		}
		*p = '\0';
		argv[argc++] = p + 1;
	}
	argv[argc] = nullptr;

	std::vector<std::string> cands;
	std::vector<const char *> cand_ptrs;
	std::vector<char> fail_msg;
	try {
		cands = exec_candidates(argv[0]);
		for (const auto &c : cands)
			cand_ptrs.push_back(c.c_str());
		int n = snprintf(nullptr, 0, "%s execvp command %s fail !\n", func, argv[0]);
		fail_msg.resize(std::size_t(n) + 1);
		snprintf(fail_msg.data(), fail_msg.size(), "%s execvp command %s fail !\n", func, argv[0]);
	} catch (const std::bad_alloc &) {
		printf("%s allocate memory fail !\n", func);
		return -12;
	}

	// Whatever stdout holds must not be written twice or after the
	// child's own line.
	fflush(stdout);
	pid_t pid = fork();
	if (pid < 0) {
		printf("%s run command %s fail !\n", func, cmdline);
		return -8;
	}
	if (pid == 0) {
		// Child: async-signal-safe calls only.
		for (const char *cand : cand_ptrs) {
			execv(cand, argv);
			if (errno != ENOENT && errno != ENOTDIR && errno != EACCES)
				break;
		}
		ssize_t w = write(STDOUT_FILENO, fail_msg.data(), fail_msg.size() - 1);
		(void)w;
		_exit(127);
	}

	int wstatus = 0;
	while (waitpid(pid, &wstatus, 0) < 0) {
		if (errno != EINTR) {
			wstatus = 0;
			break;
		}
	}
	if (WIFEXITED(wstatus))
		*status = WEXITSTATUS(wstatus);
	else if (WIFSIGNALED(wstatus))
		*status = 128 + WTERMSIG(wstatus);
	return 0;
}

// /proc/mounts escapes blanks, tabs, new lines and backslashes as \ooo.
std::string mounts_unescape(const char *s)
{
	std::string out;
	for (; *s != '\0'; ++s) {
		if (s[0] == '\\' && s[1] >= '0' && s[1] <= '3' && s[2] >= '0' && s[2] <= '7' && s[3] >= '0' &&
		    s[3] <= '7') {
			out.push_back(char((s[1] - '0') * 64 + (s[2] - '0') * 8 + (s[3] - '0')));
			s += 3;
		} else {
			out.push_back(*s);
		}
	}
	return out;
}

// "/data/" and "/data" name one mount point.
std::string strip_trailing_slashes(std::string s)
{
	while (s.size() > 1 && s.back() == '/')
		s.pop_back();
	return s;
}

} // namespace

bool crv_str_is_cmd_safe(const char *s)
{
	if (s == nullptr || s[0] == '\0' || s[0] == '-')
		return false;
	for (const char *p = s; *p != '\0'; ++p)
		if (!is_cmd_char(*p))
			return false;
	return true;
}

bool crv_img_name_is_safe(const char *name)
{
	if (!crv_str_is_cmd_safe(name) || strchr(name, '/') != nullptr)
		return false;
	return strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

int crv_ostrel_system(const char *cmdline)
{
	int status;
	return run_line(__func__, cmdline, &status);
}

int crv_ostrel_system_status(const char *cmdline)
{
	// The same runner, with the same messages.
	int status;
	int ret = run_line("crv_ostrel_system", cmdline, &status);
	return ret < 0 ? ret : status;
}

int crv_ostrel_mount_fs(const char *device, const char *mount_point, const char *fs_type, int tries)
{
	if (device == nullptr || access(device, F_OK) != 0) {
		printf("%s : mount device %s not exist !\n", __func__, device ? device : "(null)");
		return -14;
	}
	if (mount_point == nullptr || access(mount_point, F_OK) != 0) {
		printf("%s : mount point %s not exist !\n", __func__, mount_point ? mount_point : "(null)");
		return -14;
	}
	if (tries < 1)
		return -14;

	bool present = false;
	for (int i = 0; i < tries; ++i) {
		if (access(device, F_OK) == 0) {
			present = true;
			break;
		}
		sleep(1);
	}
	if (!present)
		return -14;
	return mount(device, mount_point, fs_type, 0, nullptr);
}

int crv_ostrel_mount_vfat(const char *device, const char *mount_point, int tries)
{
	return crv_ostrel_mount_fs(device, mount_point, "vfat", tries);
}

int crv_ostrel_parse_tmp_folder_info()
{
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	if (ctx.mount_point[0] == '\0')
		return -22;

	FILE *fp = fopen("/proc/mounts", "re");
	if (fp == nullptr) {
		printf("%s parse mount path fail !\n", __func__);
		return -5;
	}

	const std::string want = strip_trailing_slashes(std::string(ctx.mount_point, strnlen(ctx.mount_point, sizeof(ctx.mount_point))));
	char *line = nullptr;
	size_t cap = 0;
	while (getline(&line, &cap, fp) >= 0) {
		// device, mount point, type, options, ...; split at blanks.
		char *save = nullptr;
		char *dev = strtok_r(line, " \t\n", &save);
		char *dir = dev ? strtok_r(nullptr, " \t\n", &save) : nullptr;
		char *type = dir ? strtok_r(nullptr, " \t\n", &save) : nullptr;
		if (type == nullptr)
			continue;
		if (strip_trailing_slashes(mounts_unescape(dir)) != want)
			continue;
		ctx.tmp_dev = mounts_unescape(dev);
		ctx.tmp_fs_type = type;
		break;
	}
	free(line);
	fclose(fp);
	return 0;
}

int crv_ostrel_stbc_lock_spi(int lock)
{
	int fd = open("/proc/sys/crv/crv_stbc_lock_spi", O_RDWR | O_CLOEXEC);
	if (fd < 0)
		return -9;
	ssize_t w = write(fd, lock ? "1" : "0", 1);
	(void)w; // the switch's answer is not examined
	close(fd);
	return 0;
}

int crv_ostrel_read_ext_csd(const char *dev, uint8_t *buf)
{
	int fd = dev ? open(dev, O_RDONLY | O_CLOEXEC) : -1;
	if (fd < 0) {
		printf("open %s fail !\n", dev ? dev : "(null)");
		return -5;
	}
	if (buf == nullptr) {
		close(fd);
		return -22;
	}
	memset(buf, 0, 512);

	struct mmc_ioc_cmd cmd;
	memset(&cmd, 0, sizeof(cmd));
	cmd.write_flag = 0;
	cmd.opcode = 8; // SEND_EXT_CSD
	cmd.arg = 0;
	cmd.flags = 0xb5; // R1 response, data transfer command
	cmd.blksz = 512;
	cmd.blocks = 1;
	mmc_ioc_cmd_set_data(cmd, buf);

	int ret = ioctl(fd, MMC_IOC_CMD, &cmd);
	if (ret != 0)
		perror("ioctl");
	close(fd);
	return ret;
}

namespace {

constexpr off_t kAdcWindow = 0xfc040000;
constexpr std::size_t kAdcWindowSize = 4096;
constexpr std::size_t kAdcTimerReg = 0x210;
constexpr uint32_t kAdcTimerOn = 0xC0;

void adc_timer_access(bool init)
{
	int fd = open("/dev/mem", O_RDWR | O_CLOEXEC);
	if (fd < 0) {
		puts("Unable to init adc timer !");
		return;
	}
	void *map = mmap(nullptr, kAdcWindowSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kAdcWindow);
	if (map != MAP_FAILED) {
		volatile uint32_t *reg = reinterpret_cast<volatile uint32_t *>(static_cast<uint8_t *>(map) + kAdcTimerReg);
		if (init)
			*reg = kAdcTimerOn;
		else if (*reg == kAdcTimerOn)
			*reg = 0;
		munmap(map, kAdcWindowSize);
	}
	close(fd);
}

} // namespace

int crv_ostrel_init_adc_timer()
{
	adc_timer_access(true);
	return 0;
}

int crv_ostrel_deinit_adc_timer()
{
	adc_timer_access(false);
	return 0;
}

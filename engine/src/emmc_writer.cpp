// The eMMC common writer: stages an image's payload in the temporary folder,
// then copies, decompresses, unpacks or expands it onto the target.
#include "crv_emmc_writer.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "crv_emmc_format.h"
#include "crv_ostrel_ctx.h"
#include "crv_sparse.h"
#include "crv_system.h"
#include "img_call.h"
#include "unique_fd.h"

extern char **environ;

namespace {

constexpr const char *kUpdateCb = "crv_ostrel_emmc_common_update_cb";

constexpr const char *kDdReport = "/tmp/dd_progress";
constexpr const char *kExtractDir = "/extract_dir";
constexpr const char *kMtab = "/etc/mtab";

constexpr size_t kCopyChunk = 10240;
using line_buf = std::array<char, 512>;

// The status a shell gives for a command it cannot find.
constexpr int kNotFoundStatus = 127 << 8;

template <typename... Args>
bool format_into(line_buf &buf, const char *fmt, Args... args)
{
	int n = snprintf(buf.data(), buf.size(), fmt, args...);
	return n >= 0 && static_cast<size_t>(n) < buf.size();
}

// Writing a boot partition needs its read-only switch off first.
void unlock_boot_partition(const char *target)
{
	const char *sw = nullptr;
	if (strstr(target, "boot0") != nullptr)
		sw = "/sys/block/mmcblk0boot0/force_ro";
	if (strstr(target, "boot1") != nullptr)
		sw = "/sys/block/mmcblk0boot1/force_ro";
	if (sw == nullptr)
		return;
	int fd = open(sw, O_RDWR | O_CLOEXEC);
	if (fd < 0)
		return;
	if (write(fd, "0", 1) != 1) {
		// Not examined: the write to the partition reports its own failure.
	}
	close(fd);
}

int stage_payload(const char *path, crv_per_img_handle *handle)
{
	FILE *out = fopen(path, "wb+e");
	if (out == nullptr) {
		printf("%s create temp pimg %s fail(%s) !\n", kUpdateCb, path, strerror(errno));
		return -5;
	}
	std::vector<char> buf(kCopyChunk);
	uint64_t left = handle->length;
	while (left > 0) {
		size_t n = static_cast<size_t>(std::min<uint64_t>(left, kCopyChunk));
		if (handle->stream == nullptr || fread(buf.data(), 1, n, handle->stream) != n) {
			printf("%s read pimg fail !\n", kUpdateCb);
			fclose(out);
			return -5;
		}
		if (fwrite(buf.data(), 1, n, out) != n) {
			printf("%s write pimg fail !\n", kUpdateCb);
			fclose(out);
			return -5;
		}
		left -= n;
	}
	// Buffered data that does not fit the folder fails here.
	if (fclose(out) != 0) {
		printf("%s write pimg fail !\n", kUpdateCb);
		return -5;
	}
	return 0;
}

// ---- "gzip" and "bzip2": the decompressor piped into dd -------------------

class child_proc {
public:
	pid_t pid = -1;
	int status = 0;
	bool ended = false;

	// Whether the child has ended, waiting for it up to timeout.
	bool wait_for(std::chrono::milliseconds timeout)
	{
		auto deadline = std::chrono::steady_clock::now() + timeout;
		for (;;) {
			if (poll_end())
				return true;
			if (std::chrono::steady_clock::now() >= deadline)
				return false;
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		}
	}

	void wait_end()
	{
		while (!ended) {
			pid_t r = waitpid(pid, &status, 0);
			if (r == pid || (r < 0 && errno != EINTR))
				ended = true;
		}
	}

private:
	bool poll_end()
	{
		if (ended)
			return true;
		pid_t r = waitpid(pid, &status, WNOHANG);
		if (r == pid || (r < 0 && errno != EINTR))
			ended = true;
		return ended;
	}
};

// Starts argv with stdin/stdout moved to the given descriptors (-1: keep)
// and, when err_path is given, stderr appended to that file. 0, or the
// spawn's error number.
int spawn(child_proc &child, const std::vector<std::string> &args, int in_fd, int out_fd,
	  const char *err_path)
{
	std::vector<char *> argv;
	for (const auto &a : args)
		argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	if (in_fd >= 0)
		posix_spawn_file_actions_adddup2(&fa, in_fd, 0);
	if (out_fd >= 0)
		posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
	// Appending, so that after the report file is emptied dd's next report
	// starts at its beginning.
	if (err_path != nullptr)
		posix_spawn_file_actions_addopen(&fa, 2, err_path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
	int ret = posix_spawnp(&child.pid, argv[0], &fa, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&fa);
	if (ret != 0)
		child.pid = -1;
	return ret;
}

// Whether the process's program name (its cmdline up to the first NUL)
// holds "dd": the child has become dd.
bool runs_dd(pid_t pid)
{
	char path[64];
	snprintf(path, sizeof(path), "/proc/%d/cmdline", static_cast<int>(pid));
	FILE *fp = fopen(path, "re");
	if (fp == nullptr) {
		printf("failed to open %s\n", path);
		return false;
	}
	char buf[129] = {};
	size_t n = fread(buf, 1, 128, fp);
	fclose(fp);
	buf[n] = '\0';
	return strstr(buf, "dd") != nullptr;
}

uint64_t target_size(const char *target, bool *ok)
{
	*ok = false;
	int fd = open(target, O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return 0;
	uint64_t size = 0;
	if (ioctl(fd, BLKGETSIZE64, &size) != 0 || size == 0) {
		struct stat st {};
		size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
	}
	close(fd);
	*ok = true;
	return size;
}

// Reads dd's latest report and empties the file; false when it cannot be
// opened. *bytes keeps its value when the report holds no byte count.
bool read_dd_report(int64_t *bytes)
{
	FILE *fp = fopen(kDdReport, "r+e");
	if (fp == nullptr)
		return false;
	std::vector<char> text(64 * 1024);
	size_t n = fread(text.data(), 1, text.size(), fp);
	int64_t b = crv_emmc_dd_report_bytes(text.data(), n);
	if (b >= 0)
		*bytes = b;
	if (ftruncate(fileno(fp), 0) != 0) {
		// A report left in place is read again next time: harmless.
	}
	fclose(fp);
	return true;
}

int decompress_to_target(bool bzip2, const char *staged, const char *target, uint32_t offset,
			 const crv_per_img_hdr &hdr, crv_progress *progress)
{
	// dd's seek counts its output blocks: 64 KiB, unless the offset needs
	// 512-byte ones.
	const uint32_t sectors = offset >> 9;
	line_buf dd_seek;
	std::vector<std::string> dd_args {"dd", std::string("of=") + target};
	if (sectors % 128 == 0) {
		format_into(dd_seek, "seek=%u", sectors / 128);
		dd_args.push_back(dd_seek.data());
		dd_args.push_back("bs=64k");
	} else {
		format_into(dd_seek, "seek=%u", sectors);
		dd_args.push_back("ibs=64k");
		dd_args.push_back("obs=512");
		dd_args.push_back(dd_seek.data());
	}
	line_buf cmd;
	const char *tool = bzip2 ? "bunzip2" : "gunzip";
	bool fits;
	if (sectors % 128 == 0)
		fits = bzip2 ? format_into(cmd, "bunzip2 -dc %s | dd of=%s seek=%d bs=64k 2>/tmp/dd_progress &",
					   staged, target, static_cast<int>(sectors / 128))
			     : format_into(cmd, "gunzip  -c %s | dd of=%s seek=%d bs=64k 2>/tmp/dd_progress &",
					   staged, target, static_cast<int>(sectors / 128));
	else
		fits = format_into(cmd, "%s %s %s | dd of=%s ibs=64k obs=512 seek=%u 2>/tmp/dd_progress &", tool,
				   bzip2 ? "-dc" : " -c", staged, target, sectors);
	if (!fits) {
		printf("%s run shell command fail !\n", kUpdateCb);
		return -22;
	}
	printf("update cmd : %s \n", cmd.data());
	fflush(stdout);

	int pipefd[2];
	if (pipe2(pipefd, O_CLOEXEC) != 0) {
		printf("%s run shell command fail !\n", kUpdateCb);
		return -1;
	}
	child_proc decomp, dd;
	std::vector<std::string> decomp_args {tool, bzip2 ? "-dc" : "-c", staged};
	int err = spawn(decomp, decomp_args, -1, pipefd[1], nullptr);
	if (err == 0)
		err = spawn(dd, dd_args, pipefd[0], -1, kDdReport);
	close(pipefd[0]);
	close(pipefd[1]);
	if (err != 0) {
		if (decomp.pid > 0)
			decomp.wait_end();
		printf("%s run shell command fail !\n", kUpdateCb);
		return err == ENOENT ? kNotFoundStatus : -1;
	}

	const uint64_t L = hdr.length;
	const uint64_t D = progress->bytes_done;
	const uint64_t T = progress->total;
	int percent = 0;
	using std::chrono::seconds;

	bool poll = true;
	if (!dd.wait_for(seconds(2))) {
		bool found = false;
		for (int pass = 0; pass < 3 && !found && !dd.ended; pass++) {
			found = runs_dd(dd.pid);
			if (!found)
				dd.wait_for(seconds(1));
		}
		if (found) {
			printf("Process %s pid %d\n", "dd", static_cast<int>(dd.pid));
		} else if (!dd.ended) {
			puts("No dd process find!");
			poll = false;
		}
		bool sized = false;
		const uint64_t S = poll && !dd.ended ? target_size(target, &sized) : 0;
		if (poll && !dd.ended && !sized) {
			printf("Can't get device %s size, return!\n", target);
			poll = false;
		}
		int64_t B = 0;
		while (poll && !dd.ended) {
			// dd is our own unreaped child: the signal cannot reach
			// another process.
			kill(dd.pid, SIGUSR1);
			dd.wait_for(seconds(1));
			if (!read_dd_report(&B)) {
				poll = false;
				break;
			}
			percent = crv_emmc_dd_percent(L, D, T, S, static_cast<uint64_t>(B));
			crv_ostrel_notify_event(CRV_EVT_IMG_PROGRESS, percent);
		}
	}
	dd.wait_end();
	decomp.wait_end();
	if (poll)
		printf("write partition %s completed!\n", target);
	progress->last_percent = percent;

	int status = dd.status != 0 ? dd.status : decomp.status;
	if (status != 0) {
		printf("%s run shell command fail !\n", kUpdateCb);
		return status;
	}
	return 0;
}

// ---- "tgz" ---------------------------------------------------------------

int tgz_unpack(const crv_per_img_hdr *hdr, const char *staged)
{
	const char *fn = "crv_ostrel_emmc_tgz_help_func";
	const auto target = crv_hdr_target(*hdr);
	const auto param = crv_hdr_param(*hdr);
	// The archive is staged in the temporary folder: formatting the
	// partition under it would leave nothing to unpack.
	if (crv_ostrel_is_tmp_dev(target.c_str())) {
		printf("%s can't unpack %s onto %s, it holds the temp folder !\n", fn, staged, target.c_str());
		return -22;
	}
	int ret = crv_ostrel_emmc_common_format_cb(hdr, nullptr);
	if (ret != 0) {
		printf("%s format part %s fail !\n", fn, target.c_str());
		return ret;
	}
	if (mkdir(kExtractDir, 0775) != 0 && errno != EEXIST) {
		printf("%s create extract dir %s fail !\n", fn, kExtractDir);
		return -1;
	}
	const char *fs_type = nullptr;
	if (strstr(param.c_str(), "EXT4") != nullptr)
		fs_type = "ext4";
	if (strstr(param.c_str(), "VFAT") != nullptr)
		fs_type = "vfat";
	if (fs_type == nullptr) {
		printf("%s unknown file system %s\n", fn, param.c_str());
		return -22;
	}
	if (crv_ostrel_mount_fs(target.c_str(), kExtractDir, fs_type, 1) != 0) {
		printf("%s mount partition %s fail !\n", fn, target.c_str());
		return -22;
	}
	line_buf cmd;
	ret = 0;
	if (!format_into(cmd, "tar zxf %s --strip-components 1 -C %s", staged, kExtractDir) ||
	    crv_ostrel_system_status(cmd.data()) != 0) {
		printf("%s unpack %s fail !\n", fn, staged);
		ret = -5;
	}
	umount(kExtractDir);
	return ret;
}

// ---- "sparse" --------------------------------------------------------------

int sparse_expand(const crv_per_img_hdr *hdr, const char *staged, crv_progress *progress)
{
	const char *fn = "crv_ostrel_emmc_sparse_update_cb";
	const auto target = crv_hdr_target(*hdr);
	// The target must exist: a device node that is missing would come
	// back as a new file.
	crv_unique_fd out(open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
	int out_errno = errno;
	crv_unique_fd in(open(staged, O_RDONLY | O_CLOEXEC));
	int in_errno = errno;
	if (!in.valid()) {
		printf("%s open input sparse file fail !\n", fn);
		return -in_errno;
	}
	if (!out.valid()) {
		printf("%s open output device fail !\n", fn);
		return -out_errno;
	}
	crv_sparse_file *s = crv_sparse_file_import(in.get(), true, false);
	if (s == nullptr) {
		printf("%s open sparse file fail !\n", fn);
		return -22;
	}
	crv_ostrel_sparse_set_progress(s, progress);
	int ret = 0;
	if (lseek(out.get(), 0, SEEK_SET) != 0) {
		printf("%s seek output device fail !\n", fn);
		ret = -5;
	} else if (crv_sparse_file_write(s, out.get(), false, false, false) < 0) {
		printf("%s write sparse file to device fail !\n", fn);
		ret = -5;
	}
	in.reset();
	out.reset();
	if (ret == 0 && strstr(crv_hdr_param(*hdr).c_str(), "SPARSE-EXTEND") != nullptr) {
		FILE *mtab = fopen(kMtab, "w+e");
		if (mtab == nullptr) {
			printf("%s create mtab file fail !\n", fn);
			ret = -5;
		} else {
			fprintf(mtab, "%s /mnt ext4 rw 0 0", target.c_str());
			fclose(mtab);
			line_buf cmd;
			if (format_into(cmd, "resize2fs -f %s", target.c_str()))
				crv_ostrel_system(cmd.data());
		}
	}
	crv_sparse_file_destroy(s);
	return ret;
}

// The target and the staged path reach command lines in both branches.
bool branch_args_safe(const char *fn, const crv_per_img_hdr *hdr, const char *staged)
{
	if (hdr != nullptr && staged != nullptr && crv_str_is_cmd_safe(crv_hdr_target(*hdr).c_str()) &&
	    crv_str_is_cmd_safe(staged))
		return true;
	printf("%s invalid target or staged file !\n", fn);
	return false;
}

} // namespace

int crv_ostrel_emmc_tgz_help_func(const crv_per_img_hdr *hdr, const char *staged, crv_progress *progress)
{
	int ret = branch_args_safe(__func__, hdr, staged) ? tgz_unpack(hdr, staged) : -22;
	if (progress != nullptr)
		progress->last_percent = 0;
	return ret;
}

int crv_ostrel_emmc_sparse_update_cb(const crv_per_img_hdr *hdr, const char *staged, crv_progress *progress)
{
	int ret = branch_args_safe(__func__, hdr, staged) ? sparse_expand(hdr, staged, progress) : -22;
	if (progress != nullptr)
		progress->last_percent = 0;
	return ret;
}

int64_t crv_emmc_dd_report_bytes(const char *text, std::size_t len)
{
	std::string line;
	for (size_t i = 0; i <= len; i++) {
		if (i < len && text[i] != '\n') {
			if (text[i] != '\0')
				line.push_back(text[i]);
			continue;
		}
		if (line.find("bytes") != std::string::npos) {
			const char *p = line.c_str();
			while (*p == ' ' || *p == '\t')
				p++;
			if (*p < '0' || *p > '9')
				return -1;
			errno = 0;
			long long v = strtoll(p, nullptr, 10);
			return errno == ERANGE ? INT64_MAX : v;
		}
		line.clear();
	}
	return -1;
}

int crv_emmc_dd_percent(uint64_t L, uint64_t D, uint64_t T, uint64_t S, uint64_t B)
{
	const uint64_t t = T >> 10;
	if (t == 0)
		return 0;
	const uint64_t share = static_cast<uint32_t>(((L >> 10) * 100) / t);
	const uint64_t s = S >> 10;
	// A file target grows while dd writes it: never past this image's share.
	const uint64_t part = s == 0 ? 0 : std::min(share, share * (B / 1024) / s);
	const uint64_t base = ((D >> 10) * 100) / t;
	return static_cast<int>(std::min<uint64_t>(part + base, INT_MAX));
}

int crv_ostrel_emmc_common_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user)
{
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid header or handle buffer !\n", kUpdateCb);
		return -22;
	}
	crv_img_call cleanup(handle);
	auto *progress = user != nullptr ? static_cast<crv_progress *>(user) : crv_ostrel_get_progress();
	const auto name = crv_hdr_name(*hdr);
	const auto target = crv_hdr_target(*hdr);
	const auto compress = crv_hdr_compress(*hdr);
	const char *folder = crv_ostrel_get_tmp_folder();

	// Every one of these reaches a command line.
	if (!crv_img_name_is_safe(name.c_str()) || !crv_str_is_cmd_safe(target.c_str()) ||
	    !crv_str_is_cmd_safe(folder)) {
		printf("%s invalid image name, target or temp folder !\n", kUpdateCb);
		return -22;
	}

	// An image goes onto a device that is there, never into a new file.
	if (int ret = crv_ostrel_check_target(kUpdateCb, target.c_str()); ret != 0)
		return ret;

	unlock_boot_partition(target.c_str());

	line_buf staged;
	if (!format_into(staged, "%s/%s.div", folder, name.c_str())) {
		printf("%s create temp pimg %s fail(%s) !\n", kUpdateCb, staged.data(), strerror(ENAMETOOLONG));
		return -5;
	}
	cleanup.remove_on_exit(staged.data());
	if (int ret = stage_payload(staged.data(), handle); ret != 0)
		return ret;
	cleanup.close_stream();

	const std::string_view method = compress.view();
	if (method == "tgz")
		return crv_ostrel_emmc_tgz_help_func(hdr, staged.data(), progress);
	if (method == "sparse")
		return crv_ostrel_emmc_sparse_update_cb(hdr, staged.data(), progress);
	if (method == "gzip" || method == "bzip2")
		return decompress_to_target(method == "bzip2", staged.data(), target.c_str(), hdr->target_offset,
					    *hdr, progress);
	if (method != "none") {
		printf("%s unknown compress method %s on image %s !\n", kUpdateCb, compress.c_str(), name.c_str());
		return -22;
	}

	line_buf cmd;
	if (!format_into(cmd, "dd if=%s of=%s seek=%d 2>/tmp/dd_progress", staged.data(), target.c_str(),
			 static_cast<int>(hdr->target_offset >> 9))) {
		printf("%s run shell command fail !\n", kUpdateCb);
		return -22;
	}
	printf("update cmd : %s \n", cmd.data());
	fflush(stdout);
	int status = system(cmd.data());
	if (status != 0) {
		printf("%s run shell command fail !\n", kUpdateCb);
		return status;
	}
	progress->last_percent = 0;
	return 0;
}

#include "sandbox.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <linux/loop.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

extern char **environ;

namespace sandbox {
namespace {

// ----------------------------------------------------------------- helpers

bool exists(const std::string &path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0;
}

bool is_dir(const std::string &path)
{
	struct stat st;
	return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parent_of(const std::string &path)
{
	auto slash = path.find_last_of('/');
	if (slash == std::string::npos || slash == 0)
		return "/";
	return path.substr(0, slash);
}

bool mkdirs(const std::string &path, mode_t mode = 0755)
{
	if (path.empty() || is_dir(path))
		return true;
	if (!mkdirs(parent_of(path), mode))
		return false;
	return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

bool read_whole(const std::string &path, std::string &out)
{
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return false;
	out.clear();
	char buf[65536];
	ssize_t n;
	while ((n = read(fd, buf, sizeof(buf))) > 0)
		out.append(buf, static_cast<size_t>(n));
	close(fd);
	return n == 0;
}

bool write_whole(int fd, const std::string &data)
{
	size_t done = 0;
	while (done < data.size()) {
		ssize_t n = write(fd, data.data() + done, data.size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += static_cast<size_t>(n);
	}
	return true;
}

void check_path(const std::string &path)
{
	if (path.size() < 2 || path[0] != '/' || path.back() == '/' || path.find("/../") != std::string::npos ||
	    path.find("//") != std::string::npos || path.ends_with("/..") || path.find("/./") != std::string::npos)
		throw std::invalid_argument("sandbox: not a plain absolute path: " + path);
}

bool under(const std::string &path, const char *top)
{
	size_t n = strlen(top);
	return path.compare(0, n, top) == 0 && (path.size() == n || path[n] == '/');
}

// The top folder under /tmp that holds this program ("" when it lies
// elsewhere): the sandbox's own /tmp would hide it.
std::string tmp_build_tree()
{
	char buf[PATH_MAX];
	ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
	if (n <= 0)
		return {};
	std::string exe(buf, static_cast<size_t>(n));
	if (!under(exe, "/tmp") || exe.size() <= 5)
		return {};
	size_t end = exe.find('/', 5);
	return end == std::string::npos ? std::string() : exe.substr(0, end);
}

bool staged_tree(const std::string &path)
{
	return under(path, "/dev") || under(path, "/proc") || under(path, "/sys");
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
	::remove(path);
	return 0;
}

void remove_tree(const std::string &path)
{
	nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

// A temporary folder on a file system other than the root's: overlayfs
// refuses an upper layer inside its lower layer.
std::string base_dir()
{
	struct stat root;
	if (stat("/", &root) != 0)
		return {};
	std::vector<std::string> candidates;
	if (const char *env = getenv("CRV_SANDBOX_BASE"))
		candidates.emplace_back(env);
	for (const char *c : {"/dev/shm", "/run", "/tmp", "/var/tmp"})
		candidates.emplace_back(c);
	for (auto &c : candidates) {
		struct stat st;
		if (stat(c.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev != root.st_dev &&
		    access(c.c_str(), W_OK) == 0)
			return c;
	}
	return {};
}

// Folders left by test processes that were killed before cleaning up.
void sweep_stale(const std::string &base)
{
	DIR *d = opendir(base.c_str());
	if (!d)
		return;
	std::vector<std::string> stale;
	while (struct dirent *e = readdir(d)) {
		int pid = 0;
		if (sscanf(e->d_name, "crv-sandbox.%d.", &pid) != 1 || pid <= 0)
			continue;
		if (kill(pid, 0) != 0 && errno == ESRCH)
			stale.push_back(base + "/" + e->d_name);
	}
	closedir(d);
	for (auto &s : stale)
		remove_tree(s);
}

// The program that runs foreign executables of the test build (ARM programs
// on a PC), or "" when there is none.
std::string emulator()
{
	if (const char *env = getenv("CRV_TEST_EMULATOR"))
		return env;
#if defined(__arm__)
	return "/usr/bin/qemu-arm-static";
#elif defined(__aarch64__)
	return "/usr/bin/qemu-aarch64-static";
#else
	return {};
#endif
}

[[noreturn]] void exec_program(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
	std::vector<std::string> envs;
	for (char **e = environ; *e; ++e)
		envs.emplace_back(*e);
	for (auto &add : env) {
		auto name = add.substr(0, add.find('=') + 1);
		envs.erase(std::remove_if(envs.begin(), envs.end(), [&](const std::string &s) { return s.starts_with(name); }),
			   envs.end());
		envs.push_back(add);
	}
	std::vector<char *> envp;
	for (auto &e : envs)
		envp.push_back(const_cast<char *>(e.c_str()));
	envp.push_back(nullptr);
	std::vector<char *> args;
	for (auto &a : argv)
		args.push_back(const_cast<char *>(a.c_str()));
	args.push_back(nullptr);

	if (argv[0].find('/') != std::string::npos)
		execve(args[0], args.data(), envp.data());
	else
		execvpe(args[0], args.data(), envp.data());
	int saved = errno;
	std::string emu = emulator();
	if (saved == ENOEXEC && !emu.empty()) {
		args.insert(args.begin(), const_cast<char *>(emu.c_str()));
		execve(emu.c_str(), args.data(), envp.data());
		saved = errno;
	}
	dprintf(2, "exec %s: %s\n", argv[0].c_str(), strerror(saved));
	_exit(127);
}

// Runs a program to completion in a child; returns its wait status or -1.
int spawn_wait(const std::vector<std::string> &argv, int out_fd, int err_fd)
{
	pid_t pid = fork();
	if (pid < 0)
		return -1;
	if (pid == 0) {
		int null = open("/dev/null", O_RDWR);
		dup2(null, 0);
		dup2(out_fd >= 0 ? out_fd : null, 1);
		dup2(err_fd >= 0 ? err_fd : null, 2);
		exec_program(argv, {});
	}
	int status;
	while (waitpid(pid, &status, 0) < 0)
		if (errno != EINTR)
			return -1;
	return status;
}

void fill_status(Result &r, int status)
{
	if (WIFEXITED(status))
		r.exit_code = WEXITSTATUS(status);
	else if (WIFSIGNALED(status))
		r.signal = WTERMSIG(status);
}

// ------------------------------------------------- set-up inside the child

struct Setup {
	std::string merged;
	std::string scratch; // host folder for the shadowing tmpfs mounts
	int shadows = 0;
	std::string error;

	bool fail(const std::string &what)
	{
		error = what + ": " + strerror(errno);
		return false;
	}

	bool do_mount(const char *src, const std::string &target, const char *type, unsigned long flags,
		      const char *data = nullptr)
	{
		if (mount(src, target.c_str(), type, flags, data) != 0)
			return fail("mount " + std::string(type ? type : "bind") + " on " + target);
		return true;
	}

	bool make_node(const std::string &name, const std::string &host)
	{
		struct stat st;
		if (stat(host.c_str(), &st) != 0)
			return true; // the host has none either
		std::string node = merged + "/dev/" + name;
		if (mknod(node.c_str(), (st.st_mode & S_IFMT) | 0666, st.st_rdev) != 0 && errno != EEXIST)
			return fail("mknod " + node);
		return true;
	}

	bool make_dev()
	{
		std::string dev = merged + "/dev";
		if (!do_mount("tmpfs", dev, "tmpfs", MS_NOSUID | MS_NOEXEC, "mode=755,size=64k"))
			return false;
		for (const char *n : {"null", "zero", "full", "random", "urandom", "tty", "loop-control"})
			if (!make_node(n, std::string("/dev/") + n))
				return false;
		unsigned loop_major = 7;
		struct stat st;
		if (stat("/dev/loop0", &st) == 0 && S_ISBLK(st.st_mode))
			loop_major = major(st.st_rdev);
		int highest = 31;
		if (DIR *d = opendir("/dev")) {
			while (struct dirent *e = readdir(d)) {
				int n;
				char extra;
				if (sscanf(e->d_name, "loop%d%c", &n, &extra) == 1)
					highest = std::max(highest, n);
			}
			closedir(d);
		}
		for (int n = 0; n <= highest; ++n) {
			std::string node = dev + "/loop" + std::to_string(n);
			if (mknod(node.c_str(), S_IFBLK | 0660, makedev(loop_major, static_cast<unsigned>(n))) != 0)
				return fail("mknod " + node);
		}
		const std::pair<const char *, const char *> links[] = {
			{"fd", "/proc/self/fd"},
			{"stdin", "/proc/self/fd/0"},
			{"stdout", "/proc/self/fd/1"},
			{"stderr", "/proc/self/fd/2"},
		};
		for (auto &[name, to] : links)
			if (symlink(to, (dev + "/" + name).c_str()) != 0)
				return fail("symlink " + std::string(name));
		mkdir((dev + "/shm").c_str(), 01777);
		mkdir((dev + "/pts").c_str(), 0755);
		return true;
	}

	bool read_only_bind(const std::string &path)
	{
		if (!exists(path))
			return true;
		if (!do_mount(path.c_str(), path, nullptr, MS_BIND | MS_REC))
			return false;
		return do_mount(nullptr, path, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV);
	}

	// Lays a tmpfs over a folder of /proc or /sys that holds bind mounts of
	// its entries, so that new entries can be made in it.
	bool shadow(const std::string &dir)
	{
		if (dir == merged + "/proc" || dir == merged + "/sys" || dir == merged + "/dev")
			return fail("cannot add entries at the top of " + dir);
		std::string stage = scratch + "/" + std::to_string(shadows++);
		if (!mkdirs(stage))
			return fail("mkdir " + stage);
		if (!do_mount("tmpfs", stage, "tmpfs", MS_NOSUID | MS_NODEV, "mode=755,size=64k"))
			return false;
		DIR *d = opendir(dir.c_str());
		if (!d)
			return fail("opendir " + dir);
		bool ok = true;
		while (struct dirent *e = readdir(d)) {
			std::string name = e->d_name;
			if (name == "." || name == "..")
				continue;
			std::string from = dir + "/" + name, to = stage + "/" + name;
			struct stat st;
			if (lstat(from.c_str(), &st) != 0)
				continue;
			if (S_ISLNK(st.st_mode)) {
				char link[PATH_MAX];
				ssize_t n = readlink(from.c_str(), link, sizeof(link) - 1);
				if (n <= 0)
					continue;
				link[n] = '\0';
				ok = symlink(link, to.c_str()) == 0 || fail("symlink " + to);
			} else if (S_ISDIR(st.st_mode)) {
				ok = (mkdir(to.c_str(), 0755) == 0 || fail("mkdir " + to)) &&
				     do_mount(from.c_str(), to, nullptr, MS_BIND | MS_REC);
			} else {
				int fd = open(to.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
				ok = fd >= 0 || fail("create " + to);
				if (fd >= 0)
					close(fd);
				ok = ok && do_mount(from.c_str(), to, nullptr, MS_BIND);
			}
			if (!ok)
				break;
		}
		closedir(d);
		return ok && do_mount(stage.c_str(), dir, nullptr, MS_MOVE);
	}

	// Makes a folder (and its parents) inside the merged tree, shadowing
	// folders of /proc and /sys where entries cannot be made.
	bool ensure_dir(const std::string &path)
	{
		if (is_dir(path))
			return true;
		std::string parent = parent_of(path);
		if (!ensure_dir(parent))
			return false;
		if (mkdir(path.c_str(), 0755) == 0)
			return true;
		if (!shadow(parent))
			return false;
		return mkdir(path.c_str(), 0755) == 0 || fail("mkdir " + path);
	}

	bool ensure_file(const std::string &path)
	{
		if (exists(path))
			return true;
		if (!ensure_dir(parent_of(path)))
			return false;
		int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
		if (fd < 0) {
			if (!shadow(parent_of(path)))
				return false;
			fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
		}
		if (fd < 0)
			return fail("create " + path);
		close(fd);
		return true;
	}
};

// Loop devices bound now, with the file behind each (as seen from here).
std::vector<std::pair<std::string, std::string>> bound_loops()
{
	std::vector<std::pair<std::string, std::string>> loops;
	DIR *d = opendir("/sys/block");
	if (!d)
		return loops;
	while (struct dirent *e = readdir(d)) {
		if (strncmp(e->d_name, "loop", 4) != 0)
			continue;
		std::string file;
		if (read_whole(std::string("/sys/block/") + e->d_name + "/loop/backing_file", file)) {
			while (!file.empty() && file.back() == '\n')
				file.pop_back();
			loops.emplace_back(e->d_name, file);
		}
	}
	closedir(d);
	return loops;
}

// Releases the loop devices that a run bound to files of this sandbox and
// left behind (a device still mounted is released when it is unmounted).
void release_loops(const std::vector<std::pair<std::string, std::string>> &before)
{
	for (auto &loop : bound_loops()) {
		if (std::find(before.begin(), before.end(), loop) != before.end())
			continue;
		struct stat st;
		if (loop.second.empty() || loop.second[0] != '/' || stat(loop.second.c_str(), &st) != 0)
			continue;
		int fd = open(("/dev/" + loop.first).c_str(), O_RDONLY | O_CLOEXEC);
		if (fd < 0)
			continue;
		struct loop_info64 info;
		memset(&info, 0, sizeof(info));
		if (ioctl(fd, LOOP_GET_STATUS64, &info) == 0 && info.lo_inode == st.st_ino &&
		    info.lo_device == static_cast<uint64_t>(st.st_dev))
			ioctl(fd, LOOP_CLR_FD, 0);
		close(fd);
	}
}

} // namespace

// ------------------------------------------------------------------- API

std::string unavailable()
{
	static const std::string reason = [] {
		if (geteuid() != 0)
			return std::string("sandbox needs root (mount and pid namespaces, overlayfs)");
		if (base_dir().empty())
			return std::string("sandbox needs a writable temporary folder outside the root file system "
					   "(set CRV_SANDBOX_BASE)");
		std::string fs;
		if (!read_whole("/proc/filesystems", fs) || fs.find("\toverlay\n") == std::string::npos)
			return std::string("sandbox needs overlayfs");
		// A trial run proves namespaces and mounts are allowed here.
		try {
			Sandbox probe;
			Result r = probe.run([] { return access("/proc/self/status", R_OK) == 0 ? 0 : 1; });
			if (!r.ok())
				return "sandbox cannot be set up here: " +
				       (r.setup_error.empty() ? "trial run failed (" + r.err + ")" : r.setup_error);
		} catch (const std::exception &e) {
			return std::string("sandbox cannot be set up here: ") + e.what();
		}
		return std::string();
	}();
	return reason;
}

Result run_host(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &input)
{
	Result r;
	FILE *in = tmpfile(), *out = tmpfile(), *err = tmpfile();
	if (!in || !out || !err || argv.empty()) {
		r.setup_error = "run_host: cannot make capture files";
	} else {
		write_whole(fileno(in), input);
		lseek(fileno(in), 0, SEEK_SET);
		fflush(nullptr);
		pid_t pid = fork();
		if (pid == 0) {
			dup2(fileno(in), 0);
			dup2(fileno(out), 1);
			dup2(fileno(err), 2);
			exec_program(argv, env);
		}
		int status = 0;
		if (pid < 0)
			r.setup_error = std::string("fork: ") + strerror(errno);
		else if (waitpid(pid, &status, 0) == pid)
			fill_status(r, status);
		for (auto [f, s] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
			lseek(fileno(f), 0, SEEK_SET);
			char buf[65536];
			ssize_t n;
			while ((n = read(fileno(f), buf, sizeof(buf))) > 0)
				s->append(buf, static_cast<size_t>(n));
		}
	}
	for (FILE *f : {in, out, err})
		if (f)
			fclose(f);
	return r;
}

Sandbox::Sandbox()
{
	std::string base = base_dir();
	if (base.empty())
		throw std::runtime_error("sandbox: no temporary folder outside the root file system");
	sweep_stale(base);
	std::string tmpl = base + "/crv-sandbox." + std::to_string(getpid()) + ".XXXXXX";
	std::vector<char> buf(tmpl.begin(), tmpl.end());
	buf.push_back('\0');
	if (!mkdtemp(buf.data()))
		throw std::runtime_error("sandbox: mkdtemp " + tmpl + ": " + strerror(errno));
	dir_ = buf.data();
	upper_ = dir_ + "/upper";
	for (const char *sub : {"/upper", "/work", "/merged", "/files", "/mnt", "/images"})
		mkdir((dir_ + sub).c_str(), 0755);
	mkdir((dir_ + "/tmp").c_str(), 0755);
	chmod((dir_ + "/tmp").c_str(), 01777);
}

Sandbox::~Sandbox()
{
	if (!dir_.empty())
		remove_tree(dir_);
}

std::string Sandbox::staged_path(const std::string &path) const
{
	if (under(path, "/tmp"))
		return dir_ + path; // dir_/tmp is the sandbox's /tmp
	if (staged_tree(path))
		return dir_ + "/files" + path;
	return upper_ + path;
}

std::string Sandbox::place(const std::string &path, bool directory)
{
	check_path(path);
	if (path == "/tmp" || path == "/dev" || path == "/proc" || path == "/sys")
		throw std::invalid_argument("sandbox: cannot replace " + path);
	std::string host = staged_path(path);
	if (!mkdirs(directory ? host : parent_of(host)))
		throw std::runtime_error("sandbox: mkdir for " + host + ": " + strerror(errno));
	if (staged_tree(path) && std::find(staged_.begin(), staged_.end(), path) == staged_.end())
		staged_.push_back(path);
	return host;
}

void Sandbox::write_file(const std::string &path, const std::string &content, mode_t mode)
{
	std::string host = place(path, false);
	unlink(host.c_str()); // a whiteout or an earlier file
	int fd = open(host.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, mode);
	if (fd < 0 || !write_whole(fd, content)) {
		if (fd >= 0)
			close(fd);
		throw std::runtime_error("sandbox: write " + host + ": " + strerror(errno));
	}
	fchmod(fd, mode);
	close(fd);
}

void Sandbox::sparse_file(const std::string &path, uint64_t size, uint64_t offset, const std::string &content)
{
	std::string host = place(path, false);
	unlink(host.c_str());
	int fd = open(host.c_str(), O_CREAT | O_RDWR | O_TRUNC | O_CLOEXEC, 0644);
	bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
	if (ok && !content.empty())
		ok = pwrite(fd, content.data(), content.size(), static_cast<off_t>(offset)) ==
		     static_cast<ssize_t>(content.size());
	if (fd >= 0)
		close(fd);
	if (!ok)
		throw std::runtime_error("sandbox: sparse file " + host + ": " + strerror(errno));
}

void Sandbox::copy_file(const std::string &path, const std::string &host_file, mode_t mode)
{
	std::string content;
	if (!read_whole(host_file, content))
		throw std::runtime_error("sandbox: read " + host_file + ": " + strerror(errno));
	write_file(path, content, mode);
}

void Sandbox::make_dir(const std::string &path)
{
	std::string host = place(path, true);
	struct stat st;
	if (lstat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
		unlink(host.c_str());
	if (!mkdirs(host))
		throw std::runtime_error("sandbox: mkdir " + host + ": " + strerror(errno));
}

void Sandbox::ext4_image(const std::string &mount_point, uint64_t size, const std::string &populate_dir)
{
	check_path(mount_point);
	if (staged_tree(mount_point) || under(mount_point, "/tmp"))
		throw std::invalid_argument("sandbox: mount images outside /dev, /proc, /sys and /tmp");
	std::string file = dir_ + "/images/" + std::to_string(images_.size()) + ".img";
	int fd = open(file.c_str(), O_CREAT | O_RDWR | O_TRUNC | O_CLOEXEC, 0644);
	bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
	if (fd >= 0)
		close(fd);
	if (!ok)
		throw std::runtime_error("sandbox: image " + file + ": " + strerror(errno));
	std::vector<std::string> argv = {"mkfs.ext4", "-F", "-q"};
	if (!populate_dir.empty()) {
		argv.push_back("-d");
		argv.push_back(populate_dir);
	}
	argv.push_back(file);
	Result r = run_host(argv, {"PATH=/usr/sbin:/sbin:/usr/bin:/bin"});
	if (!r.ok())
		throw std::runtime_error("sandbox: mkfs.ext4 " + file + " failed: " + r.err);
	make_dir(mount_point);
	images_.push_back({mount_point, file});
}

Result Sandbox::execute(const std::function<int()> &child, const std::string &input)
{
	Result r;
	int n = runs_++;
	std::string out = dir_ + "/out." + std::to_string(n), err = dir_ + "/err." + std::to_string(n);
	int pipefd[2];
	if (pipe2(pipefd, O_CLOEXEC) != 0) {
		r.setup_error = std::string("pipe: ") + strerror(errno);
		return r;
	}
	fflush(nullptr);
	pid_t outer = fork();
	if (outer < 0) {
		r.setup_error = std::string("fork: ") + strerror(errno);
		close(pipefd[0]);
		close(pipefd[1]);
		return r;
	}
	if (outer == 0) {
		// Outside the new pid namespace: starts its first process and waits.
		close(pipefd[0]);
		int report = pipefd[1];
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		auto fail = [&](const std::string &what) {
			dprintf(report, "E%s", what.c_str());
			_exit(1);
		};
		if (unshare(CLONE_NEWNS | CLONE_NEWPID) != 0)
			fail(std::string("unshare: ") + strerror(errno));
		pid_t init = fork();
		if (init < 0)
			fail(std::string("fork: ") + strerror(errno));
		if (init > 0) {
			int status;
			while (waitpid(init, &status, 0) < 0 && errno == EINTR) {
			}
			_exit(0);
		}
		// Process 1 of the new namespace.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		Setup s;
		s.merged = dir_ + "/merged";
		s.scratch = dir_ + "/mnt/" + std::to_string(n);
		std::string opts = "lowerdir=/,upperdir=" + upper_ + ",workdir=" + dir_ + "/work";
		std::string m = s.merged;
		bool ok = s.do_mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE) &&
			  s.do_mount("overlay", m, "overlay", 0, opts.c_str()) && s.make_dev() &&
			  s.ensure_dir(m + "/proc") &&
			  s.do_mount("proc", m + "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC) &&
			  s.read_only_bind(m + "/proc/sys") && s.read_only_bind(m + "/proc/sysrq-trigger") &&
			  s.ensure_dir(m + "/sys") &&
			  s.do_mount("sysfs", m + "/sys", "sysfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC) &&
			  s.ensure_dir(m + "/tmp") && s.do_mount((dir_ + "/tmp").c_str(), m + "/tmp", nullptr, MS_BIND);
		// A build tree under /tmp (a checkout made there) stays visible
		// inside, read-only, so that the programs under test can start.
		std::string tree = tmp_build_tree();
		if (ok && !tree.empty()) {
			std::string t = m + tree;
			ok = s.ensure_dir(t) && s.do_mount(tree.c_str(), t, nullptr, MS_BIND | MS_REC) &&
			     s.do_mount(nullptr, t, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV);
		}
		for (size_t i = 0; ok && i < images_.size(); ++i) {
			std::string target = m + images_[i].mount_point;
			int mount_err = open(err.c_str(), O_CREAT | O_WRONLY | O_APPEND | O_CLOEXEC, 0644);
			int status = spawn_wait({"/usr/bin/mount", "-n", "-t", "ext4", "-o", "loop", images_[i].file, target},
						-1, mount_err);
			if (mount_err >= 0)
				close(mount_err);
			if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
				errno = EIO;
				ok = s.fail("loop mount of " + images_[i].file + " on " + images_[i].mount_point);
			}
		}
		std::vector<std::string> staged = staged_;
		std::sort(staged.begin(), staged.end());
		for (size_t i = 0; ok && i < staged.size(); ++i) {
			std::string host = staged_path(staged[i]), target = m + staged[i];
			ok = (is_dir(host) ? s.ensure_dir(target) : s.ensure_file(target)) &&
			     s.do_mount(host.c_str(), target, nullptr, MS_BIND);
		}
		int in_fd = -1, out_fd = -1, err_fd = -1;
		if (ok) {
			std::string in = dir_ + "/in." + std::to_string(n);
			if (!input.empty()) {
				in_fd = open(in.c_str(), O_CREAT | O_RDWR | O_TRUNC | O_CLOEXEC, 0600);
				if (in_fd >= 0 && (!write_whole(in_fd, input) || lseek(in_fd, 0, SEEK_SET) != 0))
					ok = s.fail("write input");
			} else {
				in_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
			}
			out_fd = open(out.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
			err_fd = open(err.c_str(), O_CREAT | O_WRONLY | O_APPEND | O_CLOEXEC, 0644);
			if (in_fd < 0 || out_fd < 0 || err_fd < 0)
				ok = s.fail("open capture files");
		}
		if (ok && (chroot(m.c_str()) != 0 || chdir("/") != 0))
			ok = s.fail("chroot " + m);
		if (!ok)
			fail(s.error);

		auto loops_before = bound_loops();
		pid_t body = fork();
		if (body < 0)
			fail(std::string("fork: ") + strerror(errno));
		if (body == 0) {
			close(report);
			dup2(in_fd, 0);
			dup2(out_fd, 1);
			dup2(err_fd, 2);
			close(out_fd);
			close(err_fd);
			int code = child();
			fflush(nullptr);
			_exit(code);
		}
		int status = 0;
		while (waitpid(body, &status, 0) < 0 && errno == EINTR) {
		}
		// Whatever the run left behind goes with it.
		kill(-1, SIGKILL);
		while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
		}
		release_loops(loops_before);
		dprintf(report, "S%d", status);
		_exit(0);
	}
	close(pipefd[1]);
	std::string msg;
	char buf[512];
	ssize_t got;
	while ((got = read(pipefd[0], buf, sizeof(buf))) != 0) {
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0)
			break;
		msg.append(buf, static_cast<size_t>(got));
	}
	close(pipefd[0]);
	int status;
	while (waitpid(outer, &status, 0) < 0 && errno == EINTR) {
	}
	if (msg.size() > 1 && msg[0] == 'S')
		fill_status(r, atoi(msg.c_str() + 1));
	else if (msg.size() > 1 && msg[0] == 'E')
		r.setup_error = msg.substr(1);
	else
		r.setup_error = "sandbox ended without a result";
	read_whole(out, r.out);
	read_whole(err, r.err);
	return r;
}

Result Sandbox::run(const std::function<int()> &body)
{
	return execute(body, "");
}

Result Sandbox::run_program(const std::vector<std::string> &argv, const std::vector<std::string> &env,
			    const std::string &input)
{
	if (argv.empty())
		throw std::invalid_argument("sandbox: run_program without a program");
	return execute([&]() -> int { exec_program(argv, env); }, input);
}

std::optional<std::string> Sandbox::read_file(const std::string &path) const
{
	check_path(path);
	std::string content;
	if (under(path, "/tmp") || staged_tree(path)) {
		if (read_whole(staged_path(path), content))
			return content;
		return std::nullopt;
	}
	// The upper layer first: a whiteout or an opaque folder hides the host.
	std::string sub;
	size_t pos = 0;
	while (pos != std::string::npos) {
		pos = path.find('/', pos + 1);
		sub = path.substr(0, pos);
		std::string up = upper_ + sub;
		struct stat st;
		if (lstat(up.c_str(), &st) != 0)
			break;
		if (S_ISCHR(st.st_mode) && st.st_rdev == 0)
			return std::nullopt;
		if (pos == std::string::npos) {
			if (read_whole(up, content))
				return content;
			return std::nullopt;
		}
		char flag = 0;
		if (getxattr(up.c_str(), "trusted.overlay.opaque", &flag, 1) == 1 && flag == 'y')
			return std::nullopt;
	}
	if (read_whole(path, content))
		return content;
	return std::nullopt;
}

bool Sandbox::changed(const std::string &path) const
{
	check_path(path);
	if (under(path, "/tmp") || staged_tree(path))
		return exists(staged_path(path));
	for (std::string p = path; p != "/"; p = parent_of(p))
		if (exists(upper_ + p) && (p == path || !is_dir(upper_ + p)))
			return true;
	return false;
}

std::string Sandbox::host_path(const std::string &path) const
{
	check_path(path);
	std::string host = staged_path(path);
	return exists(host) ? host : std::string();
}

std::string Sandbox::image_path(const std::string &mount_point) const
{
	for (auto &i : images_)
		if (i.mount_point == mount_point)
			return i.file;
	return {};
}

std::optional<std::string> Sandbox::read_image_file(const std::string &mount_point, const std::string &path) const
{
	std::string file = image_path(mount_point);
	if (file.empty())
		return std::nullopt;
	Result r = run_host({"debugfs", "-R", "cat \"" + path + "\"", file}, {"PATH=/usr/sbin:/sbin:/usr/bin:/bin"});
	// debugfs reports a missing file on standard error after its banner.
	std::istringstream lines(r.err);
	std::string line;
	while (std::getline(lines, line))
		if (!line.empty() && !line.starts_with("debugfs "))
			return std::nullopt;
	if (!r.ok())
		return std::nullopt;
	return r.out;
}

} // namespace sandbox

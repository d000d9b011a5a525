#include "nand_sim.h"

#include "devsim.h"
#include "devsim_node.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
// The flash of the running test: plain writes to its path are programs of the
// model (each sub-page once per erase), and may be set to fail per block.
std::mutex g_flash_lock;
std::shared_ptr<devmodels::NandFlash> g_flash_model;
std::string g_flash_path;
std::atomic<bool> g_fail_on{false};
} // namespace

extern "C" ssize_t __real_write(int fd, const void *buf, size_t n);
extern "C" ssize_t __wrap_write(int fd, const void *buf, size_t n)
{
	std::lock_guard<std::mutex> guard(g_flash_lock);
	if (g_flash_model && devsim::fd_path(fd) == g_flash_path) {
		off_t at = lseek(fd, 0, SEEK_CUR);
		struct stat st;
		if (at < 0 || fstat(fd, &st) != 0) {
			errno = EIO;
			return -1;
		}
		if (g_fail_on.load() && g_flash_model->write_fails_at(static_cast<uint64_t>(at))) {
			errno = EIO;
			return -1;
		}
		if (int err = g_flash_model->program(static_cast<uint64_t>(at), n, static_cast<uint64_t>(st.st_size));
		    err != 0) {
			errno = err;
			return -1;
		}
	}
	return __real_write(fd, buf, n);
}

namespace nandsim {

uint32_t crc32_plain(uint32_t crc, const void *buf, size_t len)
{
	const auto *p = static_cast<const uint8_t *>(buf);
	for (size_t i = 0; i < len; i++) {
		crc ^= p[i];
		for (int k = 0; k < 8; k++)
			crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
	}
	return crc;
}

uint32_t be32(const std::string &s, size_t at)
{
	return uint32_t{static_cast<uint8_t>(s[at])} << 24 | uint32_t{static_cast<uint8_t>(s[at + 1])} << 16 |
	       uint32_t{static_cast<uint8_t>(s[at + 2])} << 8 | uint32_t{static_cast<uint8_t>(s[at + 3])};
}

uint64_t be64(const std::string &s, size_t at)
{
	return uint64_t{be32(s, at)} << 32 | be32(s, at + 4);
}

void put_be32(std::string &s, size_t at, uint32_t v)
{
	for (int i = 0; i < 4; i++)
		s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
}

void put_be64(std::string &s, size_t at, uint64_t v)
{
	put_be32(s, at, static_cast<uint32_t>(v >> 32));
	put_be32(s, at + 4, static_cast<uint32_t>(v));
}

std::string read_file(const std::string &path)
{
	std::ifstream f(path, std::ios::binary);
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

void write_file(const std::string &path, const std::string &data)
{
	std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::string random_bytes(size_t n, unsigned seed)
{
	std::mt19937 gen(seed);
	std::string s(n, '\0');
	for (auto &c : s)
		c = static_cast<char>(gen() & 0xFF);
	return s;
}

void NandTest::SetUp()
{
	char tmpl[] = "/tmp/crv-nand.XXXXXX";
	ASSERT_NE(mkdtemp(tmpl), nullptr);
	char real[PATH_MAX];
	ASSERT_NE(realpath(tmpl, real), nullptr);
	dir_ = real;
}

void NandTest::TearDown()
{
	if (sysfs_faked_)
		umount2("/sys/class", MNT_DETACH);
	{
		std::lock_guard<std::mutex> guard(g_flash_lock);
		g_flash_model = nullptr;
		g_flash_path.clear();
		g_fail_on = false;
	}
	devsim::detach_all();
	devsim::clear_nodes();
	std::string cmd = "rm -rf " + dir_;
	ASSERT_EQ(system(cmd.c_str()), 0);
}

std::shared_ptr<devmodels::NandFlash> NandTest::make_nand(int blocks, const devmodels::Params &params,
							  const std::string &name)
{
	devmodels::Params p = params;
	nand_ = std::make_shared<devmodels::NandFlash>(p);
	eb_ = nand_->erasesize();
	page_ = nand_->writesize();
	path_ = dir_ + "/" + name;
	write_file(path_, std::string(static_cast<size_t>(blocks) * eb_, '\xff'));
	devmodels::attach_model(path_, nand_);
	devsim::set_node(path_, S_IFCHR, makedev(90, 10));
	std::lock_guard<std::mutex> guard(g_flash_lock);
	g_flash_model = nand_;
	g_flash_path = path_;
	return nand_;
}

void NandTest::fail_plain_writes(bool on)
{
	g_fail_on = on;
}

bool NandTest::fake_sysfs(std::initializer_list<std::pair<const char *, std::string>> entries)
{
	if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
	    mount("tmpfs", "/sys/class", "tmpfs", 0, nullptr) != 0)
		return false;
	sysfs_faked_ = true;
	if (mkdir("/sys/class/mtd", 0755) != 0 || mkdir("/sys/class/mtd/mtd5", 0755) != 0)
		return false;
	for (const auto &[name, value] : entries)
		std::ofstream(std::string("/sys/class/mtd/mtd5/") + name) << value << "\n";
	return true;
}

std::string NandTest::block_bytes(int block) const
{
	return flash().substr(static_cast<size_t>(block) * eb_, eb_);
}

} // namespace nandsim

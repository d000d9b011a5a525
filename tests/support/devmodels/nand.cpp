#include "devmodels.h"

#include "devsim.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <mtd/ubi-user.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace devmodels {
namespace {

std::set<int> block_list(const std::string &text)
{
	std::set<int> blocks;
	std::stringstream in(text);
	std::string item;
	while (std::getline(in, item, ':'))
		if (!item.empty())
			blocks.insert(std::stoi(item));
	return blocks;
}

int fail(int err)
{
	errno = err;
	return -1;
}

} // namespace

NandFlash::NandFlash(const Params &params)
	: Model(params), size_(static_cast<uint32_t>(params.get_u64("size"))),
	  erasesize_(static_cast<uint32_t>(params.get_u64("erasesize", 128 * 1024))),
	  writesize_(static_cast<uint32_t>(params.get_u64("writesize", 2048))),
	  subpagesize_(static_cast<uint32_t>(params.get_u64("subpagesize", writesize_))),
	  oobsize_(static_cast<uint32_t>(params.get_u64("oobsize", 64))),
	  type_(static_cast<uint8_t>(params.get_u64("type", MTD_NANDFLASH))), bbt_(params.get_u64("nobbt") == 0),
	  bad_(block_list(params.get("bad"))), fail_erase_(block_list(params.get("fail_erase"))),
	  fail_write_(block_list(params.get("fail_write")))
{
}

std::vector<int> NandFlash::bad_blocks() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return {bad_.begin(), bad_.end()};
}

bool NandFlash::is_bad(int block) const
{
	std::lock_guard<std::mutex> guard(lock_);
	return bad_.count(block) != 0;
}

void NandFlash::set_bad(int block)
{
	std::lock_guard<std::mutex> guard(lock_);
	bad_.insert(block);
}

void NandFlash::fail_erase(int block)
{
	std::lock_guard<std::mutex> guard(lock_);
	fail_erase_.insert(block);
}

void NandFlash::fail_write(int block)
{
	std::lock_guard<std::mutex> guard(lock_);
	fail_write_.insert(block);
}

bool NandFlash::write_fails_at(uint64_t offset) const
{
	std::lock_guard<std::mutex> guard(lock_);
	return erasesize_ != 0 && fail_write_.count(static_cast<int>(offset / erasesize_)) != 0;
}

int NandFlash::erase_count(int block) const
{
	std::lock_guard<std::mutex> guard(lock_);
	auto it = erases_.find(block);
	return it == erases_.end() ? 0 : it->second;
}

std::vector<uint8_t> NandFlash::oob(int page) const
{
	std::lock_guard<std::mutex> guard(lock_);
	auto it = oob_.find(page);
	return it == oob_.end() ? std::vector<uint8_t>{} : it->second;
}

int NandFlash::program(uint64_t offset, uint64_t len, uint64_t size)
{
	std::lock_guard<std::mutex> guard(lock_);
	return program_locked(offset, len, size);
}

int NandFlash::program_locked(uint64_t offset, uint64_t len, uint64_t size)
{
	if (subpagesize_ == 0 || offset % subpagesize_ != 0 || len % subpagesize_ != 0 || offset >= size ||
	    len > size - offset)
		return EINVAL;
	const uint64_t first = offset / subpagesize_;
	const uint64_t end = first + len / subpagesize_;
	for (uint64_t i = first; i < end; i++) {
		if (programmed_.count(i) != 0) {
			event("program twice offset=" + std::to_string(i * subpagesize_));
			return EIO;
		}
	}
	for (uint64_t i = first; i < end; i++)
		programmed_.insert(i);
	return 0;
}

uint64_t NandFlash::size_for(int fd) const
{
	if (size_ != 0)
		return size_;
	struct stat st;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
		return static_cast<uint64_t>(st.st_size);
	return 0;
}

int NandFlash::ioctl(int fd, unsigned long request, void *arg)
{
	std::lock_guard<std::mutex> guard(lock_);
	const uint64_t size = size_for(fd);
	char text[96];
	switch (request) {
	case MEMGETINFO: {
		if (!arg)
			return fail(EFAULT);
		mtd_info_user info;
		memset(&info, 0, sizeof(info));
		info.type = type_;
		info.flags = MTD_WRITEABLE;
		info.size = static_cast<uint32_t>(size);
		info.erasesize = erasesize_;
		info.writesize = writesize_;
		info.oobsize = oobsize_;
		memcpy(arg, &info, sizeof(info));
		return 0;
	}
	case MEMGETBADBLOCK:
	case MEMSETBADBLOCK: {
		if (!arg)
			return fail(EFAULT);
		if (!bbt_)
			return fail(EOPNOTSUPP);
		loff_t offset;
		memcpy(&offset, arg, sizeof(offset));
		if (offset < 0 || static_cast<uint64_t>(offset) >= size || erasesize_ == 0)
			return fail(EINVAL);
		const int block = static_cast<int>(static_cast<uint64_t>(offset) / erasesize_);
		if (request == MEMGETBADBLOCK)
			return bad_.count(block) ? 1 : 0;
		snprintf(text, sizeof(text), "MEMSETBADBLOCK block=%d", block);
		event(text);
		bad_.insert(block);
		return 0;
	}
	case MEMERASE64: {
		if (!arg)
			return fail(EFAULT);
		erase_info_user64 req;
		memcpy(&req, arg, sizeof(req));
		if (erasesize_ == 0 || req.length == 0 || req.start % erasesize_ != 0 || req.length % erasesize_ != 0 ||
		    req.start >= size || req.length > size - req.start)
			return fail(EINVAL);
		for (uint64_t at = req.start; at < req.start + req.length; at += erasesize_) {
			const int block = static_cast<int>(at / erasesize_);
			int err = 0;
			if ((fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY)
				err = EPERM;
			else if (bad_.count(block) || fail_erase_.count(block))
				err = EIO;
			if (err != 0) {
				snprintf(text, sizeof(text), "MEMERASE64 refused block=%d errno=%d", block, err);
				event(text);
				return fail(err);
			}
			snprintf(text, sizeof(text), "MEMERASE64 block=%d", block);
			event(text);
			erases_[block]++;
			const std::string ff(erasesize_, '\xff');
			if (pwrite(fd, ff.data(), ff.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(ff.size()))
				return fail(EIO);
			const int pages = static_cast<int>(erasesize_ / writesize_);
			for (int p = 0; p < pages; p++)
				oob_.erase(block * pages + p);
			programmed_.erase(programmed_.lower_bound(at / subpagesize_),
					  programmed_.lower_bound((at + erasesize_) / subpagesize_));
		}
		return 0;
	}
	case MEMWRITE: {
		if (!arg)
			return fail(EFAULT);
		mtd_write_req req;
		memcpy(&req, arg, sizeof(req));
		if (subpagesize_ == 0 || writesize_ == 0 || req.start % subpagesize_ != 0 || req.len % subpagesize_ != 0 ||
		    req.start >= size || req.len > size - req.start || req.ooblen > oobsize_ ||
		    (req.len == 0 && req.ooblen == 0))
			return fail(EINVAL);
		const int page = static_cast<int>(req.start / writesize_);
		const int block = static_cast<int>(req.start / erasesize_);
		if (fail_write_.count(block)) {
			snprintf(text, sizeof(text), "MEMWRITE refused page=%d errno=%d", page, EIO);
			event(text);
			return fail(EIO);
		}
		if (req.len > 0) {
			if (int err = program_locked(req.start, req.len, size); err != 0)
				return fail(err);
		}
		snprintf(text, sizeof(text), "MEMWRITE page=%d oob=%llu", page, static_cast<unsigned long long>(req.ooblen));
		event(text);
		if (req.len > 0 && pwrite(fd, reinterpret_cast<const void *>(static_cast<uintptr_t>(req.usr_data)), req.len,
					  static_cast<off_t>(req.start)) != static_cast<ssize_t>(req.len))
			return fail(EIO);
		if (req.ooblen > 0) {
			const auto *p = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(req.usr_oob));
			oob_[page].assign(p, p + req.ooblen);
		}
		return 0;
	}
	default:
		return devsim::kPass;
	}
}

CRV_DEVMODEL("nand", NandFlash);

UbiVolume::UbiVolume(const Params &params)
	: Model(params), fail_volup_(static_cast<int>(params.get_u64("fail_volup")))
{
}

std::vector<int64_t> UbiVolume::updates() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return updates_;
}

int UbiVolume::ioctl(int fd, unsigned long request, void *arg)
{
	std::lock_guard<std::mutex> guard(lock_);
	if (request != UBI_IOCVOLUP)
		return devsim::kPass;
	if (!arg)
		return fail(EFAULT);
	int64_t bytes;
	memcpy(&bytes, arg, sizeof(bytes));
	if (fail_volup_ != 0)
		return fail(fail_volup_);
	if (bytes < 0)
		return fail(EINVAL);
	if ((fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY)
		return fail(EPERM);
	event("UBI_IOCVOLUP bytes=" + std::to_string(bytes));
	updates_.push_back(bytes);
	if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
		return fail(EIO);
	return 0;
}

CRV_DEVMODEL("ubivol", UbiVolume);

} // namespace devmodels

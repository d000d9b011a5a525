#include "devmodels.h"

#include "devsim.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <mtd/mtd-user.h>
#include <sys/stat.h>
#include <unistd.h>

namespace devmodels {

MtdFlash::MtdFlash(const Params &params)
	: Model(params), type_(static_cast<uint8_t>(params.get_u64("type", kNor))),
	  size_(static_cast<uint32_t>(params.get_u64("size"))),
	  erasesize_(static_cast<uint32_t>(params.get_u64("erasesize", 64 * 1024))),
	  writesize_(static_cast<uint32_t>(params.get_u64("writesize", 1))),
	  oobsize_(static_cast<uint32_t>(params.get_u64("oobsize", 0))),
	  fail_erase_(static_cast<int>(params.get_u64("fail_erase"))), lock_path_(params.get("lock"))
{
}

std::vector<MtdFlash::Erase> MtdFlash::erases() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return erases_;
}

uint32_t MtdFlash::size_for(int fd) const
{
	if (size_ != 0)
		return size_;
	struct stat st;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
		return static_cast<uint32_t>(st.st_size);
	return 0;
}

std::string MtdFlash::lock_state() const
{
	char c = '-';
	if (FILE *f = fopen(lock_path_.c_str(), "r")) {
		int got = fgetc(f);
		if (got != EOF)
			c = static_cast<char>(got);
		fclose(f);
	}
	return std::string(1, c);
}

int MtdFlash::ioctl(int fd, unsigned long request, void *arg)
{
	std::lock_guard<std::mutex> guard(lock_);
	switch (request) {
	case MEMGETINFO: {
		event("MEMGETINFO");
		if (!arg) {
			errno = EFAULT;
			return -1;
		}
		mtd_info_user info;
		memset(&info, 0, sizeof(info));
		info.type = type_;
		info.flags = MTD_WRITEABLE | (type_ == kNor ? MTD_BIT_WRITEABLE : 0);
		info.size = size_for(fd);
		info.erasesize = erasesize_;
		info.writesize = writesize_;
		info.oobsize = oobsize_;
		memcpy(arg, &info, sizeof(info));
		return 0;
	}
	case MEMERASE: {
		if (!arg) {
			errno = EFAULT;
			return -1;
		}
		erase_info_user req;
		memcpy(&req, arg, sizeof(req));
		const uint64_t size = size_for(fd);
		int err = 0;
		if ((fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY)
			err = EPERM;
		else if (fail_erase_ != 0)
			err = fail_erase_;
		else if (erasesize_ == 0 || req.start >= size || req.length > size - req.start ||
			 req.start % erasesize_ != 0 || req.length % erasesize_ != 0)
			err = EINVAL;
		char text[96];
		if (err != 0) {
			snprintf(text, sizeof(text), "MEMERASE refused errno=%d", err);
			event(text);
			errno = err;
			return -1;
		}
		snprintf(text, sizeof(text), "MEMERASE start=0x%x len=0x%x", req.start, req.length);
		std::string line = text;
		if (!lock_path_.empty())
			line += " lock=" + lock_state();
		event(line);
		erases_.push_back({req.start, req.length});
		static const std::string ff(64 * 1024, '\xff');
		for (uint64_t done = 0; done < req.length;) {
			size_t n = static_cast<size_t>(std::min<uint64_t>(ff.size(), req.length - done));
			ssize_t w = pwrite(fd, ff.data(), n, static_cast<off_t>(req.start + done));
			if (w <= 0) {
				errno = EIO;
				return -1;
			}
			done += static_cast<uint64_t>(w);
		}
		return 0;
	}
	default:
		return devsim::kPass;
	}
}

CRV_DEVMODEL("mtd", MtdFlash);

} // namespace devmodels

// Replaces the contents of one UBI volume through the kernel's
// volume-update ioctl.

#include "crv_ubi.h"

#include "unique_fd.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mtd/ubi-user.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

static_assert(UBI_IOCVOLUP == 0x40084f00u);

namespace {

// The UBI device and volume numbers of a volume node: the link target's text
// after its last "ubi" reads "<device>_<volume>". Resolved in process, so
// that no part of the path ever reaches a shell.
bool volume_numbers(const char *path, int *dev_num, int *vol_id, std::string *tail)
{
	char resolved[PATH_MAX];
	std::string target = realpath(path, resolved) != nullptr ? resolved : path;
	size_t at = target.rfind("ubi");
	*tail = at == std::string::npos ? target : target.substr(at + 3);
	tail->push_back('\n');
	return sscanf(tail->c_str(), "%d_%d\n", dev_num, vol_id) == 2;
}

} // namespace

int crv_mtd_nand_write_ubi_vol(const char *path, const crv_mtd_img_handle *image, int *written)
{
	const char *fn = __func__;
	if (path == nullptr || image == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	if (image->fd < 0) {
		printf("%s invalid input image handle !\n", fn);
		return -22;
	}
	int dev_num = 0, vol_id = 0;
	std::string tail;
	if (!volume_numbers(path, &dev_num, &vol_id, &tail)) {
		printf("cannot read dev_num and vol_id \"%s\"\n", tail.c_str());
		return -22;
	}

	char sysfs[128];
	snprintf(sysfs, sizeof(sysfs), "/sys/devices/virtual/ubi/ubi%d/ubi%d_%d/usable_eb_size", dev_num, dev_num,
		 vol_id);
	const int leb_size = crv_mtd_read_sysfs_int(sysfs);
	// A logical block of no bytes could never carry the image.
	if (leb_size <= 0) {
		puts("Fail to get usable_eb_size");
		return -22;
	}
	snprintf(sysfs, sizeof(sysfs), "/sys/devices/virtual/ubi/ubi%d/ubi%d_%d/reserved_ebs", dev_num, dev_num, vol_id);
	const int reserved = crv_mtd_read_sysfs_int(sysfs);
	if (reserved < 0) {
		puts("Fail to get reserved_ebs");
		return -22;
	}

	// The image size is an unsigned 32-bit count, compared and announced as
	// such.
	const int64_t size = image->bytes;
	const int64_t capacity = int64_t{leb_size} * int64_t{reserved};
	if (size > capacity) {
		printf("[ERROR] img size (%d) will not fit dev volume size (%lld)\n", static_cast<int>(image->bytes),
		       static_cast<long long>(capacity));
		return -22;
	}

	crv_unique_fd vol(open(path, O_RDWR | O_CLOEXEC));
	if (!vol.valid()) {
		printf("%s open mtd dev %s fail !\n", fn, path);
		return -5;
	}
	int64_t announced = size;
	if (ioctl(vol.get(), UBI_IOCVOLUP, &announced) != 0) {
		printf("Fail to do UBI_IOCVOLUP on \"%s\"\n", path);
		return -22;
	}

	std::vector<uint8_t> buf;
	try {
		buf.resize(static_cast<size_t>(leb_size));
	} catch (const std::bad_alloc &) {
		printf("%s: Can not alloc buf\n", fn);
		return -12;
	}

	uint64_t remaining = image->bytes;
	while (remaining > 0) {
		const size_t want = remaining < buf.size() ? static_cast<size_t>(remaining) : buf.size();
		ssize_t got;
		for (;;) {
			got = read(image->fd, buf.data(), want);
			if (got < 0 && errno == EINTR) {
				printf("do not interrupt me!\n");
				continue;
			}
			break;
		}
		if (got <= 0) {
			printf("Cannot read %d bytes from pkg image. (%s)\n", static_cast<int>(want),
			       got == 0 ? "end of file" : strerror(errno));
			return -5;
		}
		size_t off = 0;
		while (off < static_cast<size_t>(got)) {
			ssize_t n = write(vol.get(), buf.data() + off, static_cast<size_t>(got) - off);
			if (n < 0 && errno == EINTR) {
				printf("do not interrupt me!\n");
				continue;
			}
			// A write that moves nothing would repeat for ever.
			if (n <= 0) {
				printf("Cannot write %d bytes to volume \"%s\", (%s)\n", static_cast<int>(got), path,
				       n == 0 ? "no space left" : strerror(errno));
				return -5;
			}
			off += static_cast<size_t>(n);
		}
		remaining -= static_cast<uint64_t>(got);
	}
	fsync(vol.get());
	sync();
	if (written)
		*written = static_cast<int>(image->bytes);
	return 0;
}

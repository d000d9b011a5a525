// Raw NAND access through the MTD character devices.

#include "crv_mtd.h"

#include "crc32_table.h"
#include "unique_fd.h"
#include "fd_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

static_assert(sizeof(off_t) == 8, "64-bit file offsets");
static_assert(MEMGETINFO == 0x80204d01u);
static_assert(MEMGETBADBLOCK == 0x40084d0bu);
static_assert(MEMSETBADBLOCK == 0x40084d0cu);
static_assert(MEMERASE64 == 0x40104d14u);
static_assert(MEMWRITE == 0xc0304d18u);
static_assert(sizeof(mtd_write_req) == 48);

namespace {

constexpr int kMtdMajor = 90;

const char *type_name(int type)
{
	switch (type) {
	case MTD_RAM: return "ram";
	case MTD_ROM: return "rom";
	case MTD_NORFLASH: return "nor";
	case MTD_NANDFLASH: return "nand";
	case MTD_DATAFLASH: return "dataflash";
	case MTD_UBIVOLUME: return "ubi";
	case MTD_MLCNANDFLASH: return "mlc-nand";
	default: return "";
	}
}

uint64_t block_offset(const crv_mtd_dev *dev, int block)
{
	return static_cast<uint64_t>(block) * static_cast<uint64_t>(dev->eb_size);
}

uint64_t page_offset(const crv_mtd_dev *dev, int page)
{
	return static_cast<uint64_t>(page) * static_cast<uint64_t>(dev->min_io_size);
}

int pages_in_device(const crv_mtd_dev *dev)
{
	return static_cast<int>(dev->size / static_cast<uint64_t>(dev->min_io_size));
}

bool valid_block(const char *fn, const crv_mtd_dev *dev, int block)
{
	// A block index equal to the count lies past the end of the device.
	if (block < 0 || block >= dev->eb_cnt) {
		printf("%s invalid eb %d\n", fn, block);
		return false;
	}
	return true;
}

bool seek_to(int fd, uint64_t offset)
{
	return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

// The unit the kernel programs UBI headers in: the flash's sub-page where it
// programs a page in parts (its own figure, from sysfs), else the page.
int subpage_size(int mtd_num, int page)
{
	char path[64];
	snprintf(path, sizeof(path), "/sys/class/mtd/mtd%d/subpagesize", mtd_num);
	const int sub = crv_mtd_read_sysfs_int(path);
	if (sub > 0 && (sub & (sub - 1)) == 0 && page % sub == 0)
		return sub;
	return page;
}

// The device's size as the kernel keeps it (sysfs): MEMGETINFO reports
// only its low 32 bits. Taken when those agree with the report, else the
// report stands.
uint64_t device_size(int mtd_num, uint32_t reported)
{
	char path[64];
	snprintf(path, sizeof(path), "/sys/class/mtd/mtd%d/size", mtd_num);
	crv_unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
	char text[32];
	const ssize_t n = fd.valid() ? read(fd.get(), text, sizeof(text) - 1) : -1;
	if (n <= 0)
		return reported;
	text[n] = '\0';
	char *end = nullptr;
	errno = 0;
	const unsigned long long size = strtoull(text, &end, 10);
	if (end == text || errno != 0 || static_cast<uint32_t>(size) != reported)
		return reported;
	return size;
}

// Bytes read before the end of the data (or -1 on an error).
ssize_t read_upto(int fd, uint8_t *buf, size_t len)
{
	size_t got = 0;
	while (got < len) {
		ssize_t n = read(fd, buf + got, len - got);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			return -1;
		if (n == 0)
			break;
		got += static_cast<size_t>(n);
	}
	return static_cast<ssize_t>(got);
}

// Where an image comes from: a descriptor or memory.
class ImageSource {
public:
	virtual ~ImageSource() = default;
	// Fills buf with the next len bytes; false when they are not all there.
	virtual bool next(uint8_t *buf, size_t len) = 0;
};

class FdSource : public ImageSource {
public:
	explicit FdSource(int fd) : fd_(fd) {}
	bool next(uint8_t *buf, size_t len) override { return read_upto(fd_, buf, len) == static_cast<ssize_t>(len); }

private:
	int fd_;
};

class MemSource : public ImageSource {
public:
	MemSource(const uint8_t *data, uint64_t bytes) : data_(data), left_(bytes) {}
	bool next(uint8_t *buf, size_t len) override
	{
		if (len > left_)
			return false;
		memcpy(buf, data_, len);
		data_ += len;
		left_ -= len;
		return true;
	}

private:
	const uint8_t *data_;
	uint64_t left_;
};

// The next good block from *block on; 0, or -22 / -5 after the message.
int next_good_block(const char *fn, const crv_mtd_dev *dev, int fd, int *block)
{
	for (;; ++*block) {
		if (*block >= dev->eb_cnt) {
			printf("%s bad block to much !\n", fn);
			return -5;
		}
		int bad = crv_mtd_is_bad_blk(dev, fd, *block);
		if (bad < 0) {
			printf("%s get bad block fail !\n", fn);
			return -22;
		}
		if (bad == 0)
			return 0;
		printf("%s skip bad block %d\n", fn, *block);
	}
}

// The block loop the raw writers share: one erase block of the image at a
// time into the next good block; a block whose page fails to program is
// erased and marked bad, and the same data goes to the next good block.
int write_blocks(const char *fn, const char *path, const crv_mtd_dev &dev, int fd, int first_block,
		 ImageSource &src, uint64_t bytes, const uint8_t *oob, int32_t oob_page, crv_mtd_progress_cb progress,
		 void *arg)
{
	const int pages_per_block = dev.eb_size / dev.min_io_size;
	std::vector<uint8_t> buf;
	try {
		buf.resize(static_cast<size_t>(dev.eb_size));
	} catch (const std::bad_alloc &) {
		printf("%s allocate blk buffer fail !\n", fn);
		return -12;
	}
	const int total = static_cast<int>(bytes / static_cast<uint64_t>(dev.eb_size)) + 1;
	int done = 0;
	int block = first_block;
	int64_t logical_page = static_cast<int64_t>(first_block) * pages_per_block;
	uint64_t remaining = bytes;

	while (remaining > 0) {
		const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, static_cast<uint64_t>(dev.eb_size)));
		std::fill(buf.begin(), buf.end(), 0xFF);
		if (!src.next(buf.data(), chunk)) {
			printf("%s read input data fail !\n", fn);
			return -5;
		}
		const int pages = static_cast<int>(chunk / static_cast<size_t>(dev.min_io_size)) +
				  (chunk % static_cast<size_t>(dev.min_io_size) != 0 ? 1 : 0);

		for (;;) {
			if (int ret = next_good_block(fn, &dev, fd, &block); ret != 0)
				return ret;
			const int first_page = block * pages_per_block;
			bool failed = false;
			for (int i = 0; i < pages && !failed; i++) {
				const uint8_t *page_data = buf.data() + static_cast<size_t>(i) * static_cast<size_t>(dev.min_io_size);
				const bool with_oob = oob != nullptr && logical_page + i == oob_page;
				failed = crv_mtd_write(&dev, fd, first_page + i, page_data, with_oob ? oob : nullptr) != 0;
			}
			if (!failed)
				break;
			// Retire the block; its data, still in the buffer, goes to the next
			// good block.
			if (crv_mtd_flash_erase(path, block, 1) != 0) {
				printf("%s runtime bad block found ! can not erase this block %d\n", fn, block);
				return -5;
			}
			if (crv_mtd_mark_bad(&dev, fd, block) != 0) {
				printf("%s mark bad block %d fail !\n", fn, block);
				return -5;
			}
			block++;
		}
		block++;
		logical_page += pages_per_block;
		remaining -= chunk;
		done++;
		if (progress)
			progress(total, done, arg);
	}
	return 0;
}

} // namespace

uint32_t crv_mtd_crc32(uint32_t crc, const void *buf, int len)
{
	if (len < 1 || buf == nullptr)
		return crc;
	return crv_crc32_raw(crc, static_cast<const uint8_t *>(buf), static_cast<size_t>(len));
}

int crv_mtd_probe(const char *path, crv_mtd_dev *dev)
{
	if (path == nullptr || dev == nullptr)
		return -22;
	memset(dev, 0, sizeof(*dev));
	struct stat st;
	if (stat(path, &st) != 0) {
		printf("cannot open \"%s\"", path);
		return -19;
	}
	if (!S_ISCHR(st.st_mode)) {
		printf("Invalid mtd node %s\n", path);
		return -22;
	}
	dev->major = static_cast<int>(major(st.st_rdev));
	dev->minor = static_cast<int>(minor(st.st_rdev));
	if (dev->major != kMtdMajor) {
		printf("Wrong mtd major number !\n");
		return -22;
	}
	dev->mtd_num = dev->minor / 2;

	crv_unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
	if (!fd.valid()) {
		printf("open mtd dev %s fail !\n", path);
		return -19;
	}
	mtd_info_user info{};
	if (ioctl(fd.get(), MEMGETINFO, &info) != 0) {
		printf("get %s mtd info fail !\n", path);
		return -22;
	}
	loff_t zero = 0;
	if (ioctl(fd.get(), MEMGETBADBLOCK, &zero) >= 0) {
		dev->flags |= CRV_MTD_BB_ALLOWED;
	} else if (errno != EOPNOTSUPP) {
		printf("ioctl MEMGETBADBLOCK fail !\n");
		return -22;
	}

	dev->size = device_size(dev->mtd_num, info.size);
	dev->eb_size = static_cast<int>(info.erasesize);
	dev->min_io_size = static_cast<int>(info.writesize);
	dev->oob_size = static_cast<int>(info.oobsize);
	dev->type = info.type;
	if (dev->min_io_size <= 0) {
		printf("%s invalid min_io_size(%d)\n", path, dev->min_io_size);
		return -22;
	}
	// Pages must tile the erase block: the writers step through it page by
	// page.
	if (dev->eb_size <= 0 || dev->eb_size < dev->min_io_size || dev->eb_size % dev->min_io_size != 0) {
		printf("%s invalid eraseblock(%d)\n", path, dev->eb_size);
		return -22;
	}
	// Page numbers are ints.
	if (dev->size == 0 || dev->size < static_cast<uint64_t>(dev->eb_size) ||
	    dev->size / static_cast<uint64_t>(dev->min_io_size) > static_cast<uint64_t>(INT32_MAX)) {
		printf("%s invalid size(%lld)\n", path, static_cast<long long>(dev->size));
		return -22;
	}
	// A spare area is a fraction of its page: the writers size their OOB
	// buffers by it.
	if (dev->oob_size < 0 || dev->oob_size > dev->min_io_size) {
		printf("%s invalid oobsize(%d)\n", path, dev->oob_size);
		return -22;
	}
	dev->eb_cnt = static_cast<int>(dev->size / static_cast<uint64_t>(dev->eb_size));
	snprintf(dev->type_name, sizeof(dev->type_name), "%s", type_name(dev->type));
	if (dev->type == MTD_ABSENT) {
		// No device behind the node: nothing a caller could use.
		printf("mtd %s not exist !\n", path);
		return -19;
	}
	dev->subpage_size = subpage_size(dev->mtd_num, dev->min_io_size);
	if (info.flags & MTD_WRITEABLE)
		dev->flags |= CRV_MTD_WRITABLE;
	return 0;
}

int crv_mtd_is_bad_blk(const crv_mtd_dev *dev, int fd, int block)
{
	if (!valid_block(__func__, dev, block))
		return -22;
	if (!(dev->flags & CRV_MTD_BB_ALLOWED))
		return 0;
	loff_t offset = static_cast<loff_t>(block_offset(dev, block));
	int ret = ioctl(fd, MEMGETBADBLOCK, &offset);
	if (ret < 0)
		return errno > 0 ? -errno : -5;
	return ret > 0 ? 1 : 0;
}

int crv_mtd_mark_bad(const crv_mtd_dev *dev, int fd, int block)
{
	if (!valid_block(__func__, dev, block))
		return -22;
	if (!(dev->flags & CRV_MTD_BB_ALLOWED))
		return 0;
	loff_t offset = static_cast<loff_t>(block_offset(dev, block));
	if (ioctl(fd, MEMSETBADBLOCK, &offset) != 0)
		return errno > 0 ? -errno : -5;
	return 0;
}

int crv_mtd_erase(const crv_mtd_dev *dev, int fd, int block)
{
	if (!valid_block(__func__, dev, block))
		return -22;
	erase_info_user64 req{block_offset(dev, block), static_cast<uint64_t>(dev->eb_size)};
	int ret = ioctl(fd, MEMERASE64, &req);
	if (ret != 0)
		printf("erase eb 0x%8llu fail\n", static_cast<unsigned long long>(req.start));
	return ret;
}

int crv_mtd_read(const crv_mtd_dev *dev, int fd, int page, void *buf, int len)
{
	if (page < 0 || page >= pages_in_device(dev) || len < 0 || buf == nullptr ||
	    page_offset(dev, page) + static_cast<uint64_t>(len) > dev->size) {
		printf("%s invalid page num !\n", __func__);
		return -22;
	}
	if (!seek_to(fd, page_offset(dev, page))) {
		printf("%s seek fail !\n", __func__);
		return -5;
	}
	if (!crv_read_full(fd, static_cast<uint8_t *>(buf), static_cast<size_t>(len))) {
		printf("%s read fail !\n", __func__);
		return -5;
	}
	return 0;
}

int crv_mtd_write(const crv_mtd_dev *dev, int fd, int page, const void *data, const void *oob)
{
	if (page < 0 || page >= pages_in_device(dev)) {
		printf("%s invalid page num !\n", __func__);
		return -22;
	}
	if (data == nullptr && oob != nullptr) {
		printf("%s not support only oob mode !\n", __func__);
		return -22;
	}
	if (data == nullptr)
		return -22;
	if (oob != nullptr) {
		mtd_write_req req{};
		req.start = page_offset(dev, page);
		req.len = static_cast<uint64_t>(dev->min_io_size);
		req.ooblen = static_cast<uint64_t>(dev->oob_size);
		req.usr_data = reinterpret_cast<uintptr_t>(data);
		req.usr_oob = reinterpret_cast<uintptr_t>(oob);
		req.mode = MTD_OPS_PLACE_OOB;
		int ret = ioctl(fd, MEMWRITE, &req);
		if (ret != 0)
			printf("%s write nand fail !\n", __func__);
		return ret;
	}
	if (!seek_to(fd, page_offset(dev, page))) {
		printf("%s seek fail !\n", __func__);
		return -5;
	}
	ssize_t n = write(fd, data, static_cast<size_t>(dev->min_io_size));
	if (n != dev->min_io_size) {
		printf("%s write fail, page_num = %d , wrlen = %d, mio_size = %d!, err=%s\n", __func__, page,
		       static_cast<int>(n), dev->min_io_size, strerror(errno));
		return -5;
	}
	return 0;
}

int crv_mtd_flash_erase(const char *path, int first_block, int count)
{
	crv_mtd_dev dev;
	if (crv_mtd_probe(path, &dev) != 0) {
		printf("%s get mtd info fail !\n", __func__);
		return -22;
	}
	if (first_block < 0 || first_block >= dev.eb_cnt || count < 0) {
		printf("%s invalid eb %d\n", __func__, first_block);
		return -22;
	}
	crv_unique_fd fd(open(path, O_RDWR | O_CLOEXEC));
	if (!fd.valid()) {
		printf("%s open mtd(%s) fail !\n", __func__, path);
		return -22;
	}
	const int end = count == 0 ? dev.eb_cnt : static_cast<int>(std::min<int64_t>(int64_t{first_block} + count, dev.eb_cnt));
	for (int block = first_block; block < end; block++) {
		int bad = crv_mtd_is_bad_blk(&dev, fd.get(), block);
		if (bad < 0) {
			printf("%s get mtd(%s) bad block %d fail !\n", __func__, path, block);
			return bad;
		}
		if (bad) {
			printf("skip bad block %08llx\n", static_cast<unsigned long long>(block_offset(&dev, block)));
			continue;
		}
		if (int ret = crv_mtd_erase(&dev, fd.get(), block); ret != 0)
			return ret < 0 ? ret : -5;
	}
	return 0;
}

int crv_mtd_nand_write_raw_img(const char *path, int first_block, crv_mtd_img_handle *image,
			       crv_mtd_progress_cb progress, void *arg)
{
	const char *fn = __func__;
	if (path == nullptr || image == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	crv_mtd_dev dev;
	if (int ret = crv_mtd_probe(path, &dev); ret != 0) {
		printf("%s get mtd info fail !\n", fn);
		return ret;
	}
	if (image->fd < 0) {
		printf("%s invalid input image handle !\n", fn);
		return -22;
	}
	int32_t oob_page = -1;
	if (image->oob != nullptr) {
		if (image->oob_size != static_cast<uint32_t>(dev.oob_size)) {
			printf("%s invalid oob size !\n", fn);
			return -22;
		}
		if (image->oob_page < 0) {
			printf("%s invalid specifed oob page number !\n", fn);
			return -22;
		}
		oob_page = image->oob_page;
	}
	struct stat st;
	if (fstat(image->fd, &st) != 0) {
		printf("%s invalid input image stat !\n", fn);
		return -5;
	}
	if (first_block < 0 || first_block >= dev.eb_cnt) {
		printf("%s invalid eb %d\n", fn, first_block);
		return -22;
	}
	crv_unique_fd fd(open(path, O_RDWR | O_CLOEXEC));
	if (!fd.valid()) {
		printf("%s open mtd device %s fail !\n", fn, path);
		return -5;
	}
	if (image->oob_size != 0 && image->oob_size != static_cast<uint32_t>(dev.oob_size)) {
		printf("%s invalid spare area size !\n", fn);
		return -22;
	}
	const uint64_t bytes = image->bytes != 0 ? image->bytes : static_cast<uint64_t>(st.st_size);
	FdSource src(image->fd);
	return write_blocks(fn, path, dev, fd.get(), first_block, src, bytes, image->oob, oob_page, progress, arg);
}

int crv_mtd_nand_write_raw_img_from_buff(const char *path, int first_block, const void *data, uint32_t bytes,
					 const void *oob, uint32_t oob_size, crv_mtd_progress_cb progress)
{
	const char *fn = __func__;
	if (path == nullptr || data == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	crv_unique_fd fd(open(path, O_RDWR | O_CLOEXEC));
	if (!fd.valid()) {
		printf("%s open mtd device %s fail !\n", fn, path);
		return -5;
	}
	crv_mtd_dev dev;
	if (int ret = crv_mtd_probe(path, &dev); ret != 0) {
		printf("%s get mtd info fail !\n", fn);
		return ret;
	}
	if (oob != nullptr && oob_size != static_cast<uint32_t>(dev.oob_size)) {
		printf("%s invalid oob size !\n", fn);
		return -22;
	}
	if (first_block < 0 || first_block >= dev.eb_cnt) {
		printf("%s invalid eb %d\n", fn, first_block);
		return -22;
	}
	MemSource src(static_cast<const uint8_t *>(data), bytes);
	const int32_t oob_page = oob != nullptr ? first_block * (dev.eb_size / dev.min_io_size) : -1;
	return write_blocks(fn, path, dev, fd.get(), first_block, src, bytes, static_cast<const uint8_t *>(oob),
			    oob_page, progress, nullptr);
}

namespace {

// Page-wise transfer over good blocks for the skip-bad reader and writer.
template <typename Transfer>
int skip_bad_transfer(const char *fn, const char *path, int first_page, uint32_t bytes, uint32_t *done, int flags,
		      Transfer transfer)
{
	crv_mtd_dev dev;
	if (crv_mtd_probe(path, &dev) != 0) {
		printf("%s get mtd info fail !\n", fn);
		return -22;
	}
	if (bytes % static_cast<uint32_t>(dev.min_io_size) != 0) {
		printf("%s size_in_byte need page alignment!", fn);
		return -22;
	}
	if (first_page < 0) {
		printf("%s invalid page num !\n", fn);
		return -22;
	}
	crv_unique_fd fd(open(path, flags | O_CLOEXEC));
	if (!fd.valid()) {
		printf("%s open mtd dev %s fail !\n", fn, path);
		return -5;
	}
	*done = 0;
	const int pages = static_cast<int>(bytes / static_cast<uint32_t>(dev.min_io_size));
	if (pages == 0)
		return 0;
	const int pages_per_block = dev.eb_size / dev.min_io_size;
	int transferred = 0;
	int64_t page = first_page;
	while (page / pages_per_block < dev.eb_cnt) {
		const int block = static_cast<int>(page / pages_per_block);
		int bad = crv_mtd_is_bad_blk(&dev, fd.get(), block);
		if (bad < 0) {
			printf("%s get bad block %d info fail !\n", fn, block);
			return bad;
		}
		if (bad) {
			page = int64_t{block + 1} * pages_per_block;
			continue;
		}
		for (; page < int64_t{block + 1} * pages_per_block; page++) {
			if (transfer(dev, fd.get(), static_cast<int>(page), transferred) != 0) {
				printf("%s read ec header fail !\n", fn);
				return -5;
			}
			*done += static_cast<uint32_t>(dev.min_io_size);
			if (++transferred == pages)
				return 0;
		}
	}
	printf("Read block is out range of mtd device, give up to read\n");
	// Fewer bytes than asked for moved: that is no success.
	return -5;
}

} // namespace

int crv_mtd_read_skip_bad(const char *path, void *buf, int first_page, uint32_t bytes, uint32_t *done)
{
	if (path == nullptr || buf == nullptr || done == nullptr)
		return -22;
	auto *out = static_cast<uint8_t *>(buf);
	return skip_bad_transfer(__func__, path, first_page, bytes, done, O_RDONLY,
				 [out](const crv_mtd_dev &dev, int fd, int page, int index) {
					 return crv_mtd_read(&dev, fd, page,
							     out + static_cast<size_t>(index) * static_cast<size_t>(dev.min_io_size),
							     dev.min_io_size);
				 });
}

int crv_mtd_write_skip_bad(const char *path, const void *data, int first_page, uint32_t bytes, uint32_t *done)
{
	if (path == nullptr || data == nullptr || done == nullptr)
		return -22;
	const auto *in = static_cast<const uint8_t *>(data);
	return skip_bad_transfer(__func__, path, first_page, bytes, done, O_RDWR,
				 [in](const crv_mtd_dev &dev, int fd, int page, int index) {
					 return crv_mtd_write(&dev, fd, page,
							      in + static_cast<size_t>(index) * static_cast<size_t>(dev.min_io_size),
							      nullptr);
				 });
}

int crv_mtd_nand_block_dump(const char *path, int first_block, int count, const char *out_path)
{
	const char *fn = __func__;
	if (path == nullptr || out_path == nullptr)
		return -22;
	crv_mtd_dev dev;
	if (crv_mtd_probe(path, &dev) != 0) {
		printf("%s get mtd info fail !\n", fn);
		return -22;
	}
	std::vector<uint8_t> buf;
	try {
		buf.resize(static_cast<size_t>(dev.eb_size));
	} catch (const std::bad_alloc &) {
		printf("%s allocate blk buffer fail !\n", fn);
		return -12;
	}
	crv_unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
	crv_unique_fd out(open(out_path, O_RDWR | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0666));
	if (!fd.valid() || !out.valid()) {
		printf("%s open mtd dev %s fail !\n", fn, path);
		return -5;
	}
	int dumped = 0;
	for (int block = std::max(first_block, 0); block < dev.eb_cnt && dumped < count; block++) {
		int bad = crv_mtd_is_bad_blk(&dev, fd.get(), block);
		if (bad < 0) {
			printf("%s get bad block %d info fail !\n", fn, block);
			return bad;
		}
		if (bad)
			continue;
		if (crv_mtd_read(&dev, fd.get(), static_cast<int>(block_offset(&dev, block) / static_cast<uint64_t>(dev.min_io_size)),
				 buf.data(), dev.eb_size) != 0) {
			printf("%s read ec header fail !\n", fn);
			return -5;
		}
		if (!crv_write_full(out.get(), buf.data(), buf.size())) {
			printf("%s Write %s fail !\n", fn, out_path);
			return -5;
		}
		dumped++;
	}
	return 0;
}

int crv_mtd_get_block_cnt(const char *path)
{
	crv_mtd_dev dev;
	if (crv_mtd_probe(path, &dev) != 0) {
		printf("%s get mtd info fail !\n", __func__);
		return -22;
	}
	return dev.eb_cnt;
}

int crv_mtd_get_block_size(const char *path)
{
	crv_mtd_dev dev;
	if (crv_mtd_probe(path, &dev) != 0) {
		printf("%s get mtd info fail !\n", __func__);
		return -22;
	}
	return dev.eb_size;
}

int crv_mtd_read_sysfs_int(const char *path)
{
	if (path == nullptr)
		return -1;
	crv_unique_fd fd(open(path, O_RDONLY | O_CLOEXEC));
	if (!fd.valid())
		return -1;
	char text[65];
	ssize_t n = read(fd.get(), text, sizeof(text) - 1);
	if (n < 0) {
		printf("cannot read \"%s\"", path);
		return -1;
	}
	text[n] = '\0';
	errno = 0;
	char *end = nullptr;
	const long value = strtol(text, &end, 10);
	if (end == text || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
		printf("cannot read value from \"%s\"\n", path);
		return -1;
	}
	return static_cast<int>(value);
}

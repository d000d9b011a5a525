// Standby-controller firmware writers for the SPI NOR flash.

#include "crv_stbc.h"

#include "crv_system.h"
#include "unique_fd.h"
#include "fd_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kCopyChunk = 10240;
constexpr size_t kBufSize = CRVFWUP_STBC_BUF_SZ;
constexpr uint32_t kLoaderSize = 0x1000;
constexpr uint32_t kHeadTagOffset = 0x1000;
constexpr uint32_t kEndTagOffset = 0x8FF0;
constexpr uint32_t kTagLen = 7;
constexpr uint32_t kRevOffset = 5; // revision: tag bytes 5 and 6
// The x50219 reference pattern; its first 5 bytes start every valid end tag,
// its first 3 every valid head tag.
constexpr uint8_t kTagPattern[kTagLen] = {0x07, 0x25, 0x63, 0x55, 0xAA, 0x00, 0x00};

static_assert(sizeof(mtd_info_user) == 32);
static_assert(MEMGETINFO == 0x80204D01u);
static_assert(MEMERASE == 0x40084D02u);

// Holds the SPI lock switch; releases it when the scope ends unless told to
// keep it.
class SpiLock {
public:
	SpiLock() { crv_ostrel_stbc_lock_spi(1); }
	~SpiLock()
	{
		if (release_)
			crv_ostrel_stbc_lock_spi(0);
	}
	SpiLock(const SpiLock &) = delete;
	SpiLock &operator=(const SpiLock &) = delete;
	void keep() { release_ = false; }

private:
	bool release_ = true;
};

struct Flash {
	crv_unique_fd fd;
	mtd_info_user info{};
};

// Opens the target and reads its geometry, refusing NAND devices.
int open_flash(const char *fn, const crv_per_img_hdr &hdr, int flags, Flash &flash)
{
	const auto target = crv_hdr_target(hdr);
	flash.fd.reset(open(target.c_str(), flags | O_CLOEXEC));
	if (!flash.fd.valid()) {
		printf("%s open mtd device %s fail !\n", fn, target.c_str());
		return -5;
	}
	if (ioctl(flash.fd.get(), MEMGETINFO, &flash.info) != 0) {
		printf("%s get mtd info fail !\n", fn);
		return -5;
	}
	if (flash.info.type == MTD_NANDFLASH || flash.info.type == MTD_MLCNANDFLASH) {
		printf("%s not support nand operation !\n", fn);
		return -95;
	}
	// Every offset and length below is taken in erase blocks.
	if (flash.info.erasesize == 0) {
		printf("%s mtd erase size is 0 !\n", fn);
		return -5;
	}
	return 0;
}

uint64_t round_up(uint64_t value, uint32_t unit)
{
	return (value + unit - 1) / unit * unit;
}

uint32_t round_down(uint32_t value, uint32_t unit)
{
	return value - value % unit;
}

// The payload must fit the device, and so must the erase blocks it is
// written to, from start on.
int check_fits(const char *fn, const Flash &flash, uint64_t payload_len, uint64_t start, uint64_t span)
{
	if (flash.info.size < payload_len || start + round_up(span, flash.info.erasesize) > flash.info.size) {
		printf("%s file size large than mtd device size !\n", fn);
		return -22;
	}
	return 0;
}

uint32_t aligned_offset(const char *fn, const Flash &flash, uint32_t offset)
{
	uint32_t aligned = round_down(offset, flash.info.erasesize);
	if (aligned != offset)
		printf("%s align offset to erase size %ld\n", fn, static_cast<long>(aligned));
	return aligned;
}

int erase(const char *fn, const Flash &flash, uint64_t start, uint64_t length)
{
	erase_info_user req{static_cast<uint32_t>(start), static_cast<uint32_t>(length)};
	if (ioctl(flash.fd.get(), MEMERASE, &req) != 0) {
		printf("%s erase flash operation fail !\n", fn);
		return -5;
	}
	return 0;
}

int seek_flash(const char *fn, const Flash &flash, uint64_t offset)
{
	if (lseek(flash.fd.get(), static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
		printf("%s seek on flash fail !\n", fn);
		return -5;
	}
	return 0;
}

bool seek_stream(FILE *fp, uint64_t offset)
{
	return fseeko(fp, static_cast<off_t>(offset), SEEK_SET) == 0;
}

// Whether the image file holds the whole payload from the stream's position:
// a truncated image must be found out before the flash is erased.
bool payload_present(FILE *fp, uint64_t length)
{
	struct stat st;
	off_t pos = ftello(fp);
	if (pos < 0 || fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode))
		return true; // nothing to measure; reads will tell
	return static_cast<uint64_t>(st.st_size) >= static_cast<uint64_t>(pos) &&
	       static_cast<uint64_t>(st.st_size) - static_cast<uint64_t>(pos) >= length;
}

bool valid_args(const char *fn, const crv_per_img_hdr *hdr, const crv_per_img_handle *handle)
{
	if (hdr && handle && handle->stream)
		return true;
	printf("%s invalid parameters !\n", fn);
	return false;
}

} // namespace

int crv_ostrel_spi_stbc_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (!valid_args(fn, hdr, handle))
		return -22;
	const uint64_t len = handle->length;

	Flash flash;
	if (int ret = open_flash(fn, *hdr, O_RDWR, flash); ret != 0)
		return ret;
	const uint32_t offset = round_down(hdr->target_offset, flash.info.erasesize);
	if (int ret = check_fits(fn, flash, len, offset, len); ret != 0)
		return ret;
	aligned_offset(fn, flash, hdr->target_offset);
	if (!payload_present(handle->stream, len)) {
		printf("%s read input file fail !\n", fn);
		return -5;
	}

	SpiLock lock;
	if (int ret = erase(fn, flash, offset, round_up(len, flash.info.erasesize)); ret != 0)
		return ret;
	if (int ret = seek_flash(fn, flash, offset); ret != 0)
		return ret;
	uint8_t chunk[kCopyChunk];
	for (uint64_t left = len; left > 0;) {
		size_t n = left < kCopyChunk ? static_cast<size_t>(left) : kCopyChunk;
		if (fread(chunk, 1, n, handle->stream) != n) {
			printf("%s read input file fail !\n", fn);
			return -5;
		}
		if (!crv_write_full(flash.fd.get(), chunk, n)) {
			printf("%s write to flash fail !\n", fn);
			return -5;
		}
		left -= n;
	}
	sync();
	return 0;
}

int crv_ostrel_spi_stbc_update_w_retry_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (!valid_args(fn, hdr, handle))
		return -22;
	const uint64_t len = handle->length;
	if (len > kBufSize) {
		printf("%s image flen is over CRVFWUP_STBC_BUF_SZ!\n", fn);
		return -12;
	}
	std::vector<uint8_t> image(kBufSize), readback(kBufSize);

	SpiLock lock;
	lock.keep(); // the switch stays set after this writer
	Flash flash;
	if (int ret = open_flash(fn, *hdr, O_RDWR, flash); ret != 0)
		return ret;
	if (int ret = check_fits(fn, flash, len, round_down(hdr->target_offset, flash.info.erasesize), len); ret != 0)
		return ret;

	// The payload is read once, before the flash is erased: a short read is
	// a truncated image, which no further attempt would mend.
	if (!seek_stream(handle->stream, handle->offset)) {
		printf("%s seek source file fail !\n", fn);
		return -22;
	}
	if (fread(image.data(), 1, len, handle->stream) != len) {
		printf("%s read source file fail !\n", fn);
		return -5;
	}

	for (int attempt = 1; attempt <= CRV_STBC_MAX_ATTEMPTS; attempt++) {
		std::fill(readback.begin(), readback.end(), 0);
		const uint32_t offset = aligned_offset(fn, flash, hdr->target_offset);
		if (int ret = erase(fn, flash, offset, round_up(len, flash.info.erasesize)); ret != 0)
			return ret;
		if (int ret = seek_flash(fn, flash, offset); ret != 0)
			return ret;
		if (!crv_write_full(flash.fd.get(), image.data(), len)) {
			printf("%s write dst file fail !\n", fn);
			continue;
		}
		if (int ret = seek_flash(fn, flash, offset); ret != 0)
			return ret;
		printf("%s(%d)pimg_handle->flen: %lld\n", fn, __LINE__, static_cast<long long>(len));
		if (!crv_read_full(flash.fd.get(), readback.data(), len)) {
			printf("%s read dev file fail !\n", fn);
			continue;
		}
		if (memcmp(image.data(), readback.data(), len) != 0) {
			printf("%s write stbc image fail , retry again !\n", fn);
			continue;
		}
		printf("%s write stbc ok !\n", fn);
		return 0;
	}
	printf("%s: retry timeout!\n", fn);
	return -22;
}

int x50219_spi_stbc_check_pattern(const crv_per_img_hdr *hdr, const uint8_t *head_tag)
{
	const char *fn = __func__;
	if (!hdr || !head_tag) {
		printf("%s invalid parameters !\n", fn);
		return -22;
	}
	printf("%s(%d) : Start to check spi flash pattern\n", fn, __LINE__);
	std::vector<uint8_t> buf(kBufSize);

	Flash flash;
	if (int ret = open_flash(fn, *hdr, O_RDONLY, flash); ret != 0)
		return ret;
	// The controller's copy lies where the writers put it.
	if (int ret = seek_flash(fn, flash, hdr->target_offset); ret != 0)
		return ret;
	if (!crv_read_full(flash.fd.get(), buf.data(), kBufSize)) {
		printf("%s read dev file fail !\n", fn);
		return -5;
	}

	printf("Start to compare ...\n");
	const uint8_t *flash_head = &buf[kHeadTagOffset];
	const uint8_t *flash_end = &buf[kEndTagOffset];
	if (memcmp(flash_head, flash_end, kTagLen) != 0) {
		printf("%s: head tag & end tag are not match!\n", fn);
		return -1;
	}
	if (memcmp(flash_head, kTagPattern, 3) != 0) {
		printf("%s: tag is not match!\n", fn);
		return -1;
	}
	if (memcmp(head_tag + kRevOffset, flash_end + kRevOffset, 2) != 0) {
		printf("%s: rev tag is not match!\n", fn);
		return -1;
	}
	printf("%s: SPI flash check all pass!\n", fn);
	return 0;
}

int crv_ostrel_x50219_spi_stbc_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user)
{
	const char *fn = __func__;
	if (!valid_args(fn, hdr, handle))
		return -22;
	const uint64_t len = handle->length;
	// Both paths copy the payload into buffers of this size.
	if (len > kBufSize) {
		printf("%s image flen is over CRVFWUP_STBC_BUF_SZ!\n", fn);
		return -12;
	}
	// Tags are read only from inside the payload: a shorter one carries none.
	if (len < kEndTagOffset + kTagLen) {
		printf("%s: payload too short for tags! Do full update...\n", fn);
		return crv_ostrel_spi_stbc_update_w_retry_cb(hdr, handle, user);
	}

	uint8_t head_tag[kTagLen], end_tag[kTagLen];
	for (auto [tag, at] : {std::pair{head_tag, kHeadTagOffset}, std::pair{end_tag, kEndTagOffset}}) {
		if (!seek_stream(handle->stream, handle->offset + at)) {
			printf("%s(%d) seek source file fail !\n", fn, __LINE__);
			return -22;
		}
		if (fread(tag, 1, kTagLen, handle->stream) != kTagLen) {
			printf("%s(%d) read source file fail !\n", fn, __LINE__);
			return -22;
		}
	}

	if (memcmp(head_tag, end_tag, kTagLen) != 0) {
		printf("%s: start-tag and end-tag are not match! Do full update...\n", fn);
		return crv_ostrel_spi_stbc_update_w_retry_cb(hdr, handle, user);
	}
	if (memcmp(end_tag, kTagPattern, 5) != 0) {
		printf("%s: tag pattern is not match! Do full update...\n", fn);
		return crv_ostrel_spi_stbc_update_w_retry_cb(hdr, handle, user);
	}
	if (x50219_spi_stbc_check_pattern(hdr, head_tag) != 0) {
		printf("Incorrect Head/End Code Tag in SPI flash or REV different... Do full update ...\n");
		return crv_ostrel_spi_stbc_update_w_retry_cb(hdr, handle, user);
	}

	// Partial update: everything after the loader.
	if (!seek_stream(handle->stream, handle->offset)) {
		printf("%s(%d) seek source file fail !\n", fn, __LINE__);
		return -22;
	}
	printf("%s(%d) : Start todo skip loader update...\n", fn, __LINE__);
	std::vector<uint8_t> image(kBufSize), readback(kBufSize);
	SpiLock lock;
	lock.keep(); // the switch stays set after this writer
	Flash flash;
	if (int ret = open_flash(fn, *hdr, O_RDWR, flash); ret != 0)
		return ret;
	const uint64_t start = uint64_t{hdr->target_offset} + kLoaderSize;
	const uint64_t erase_len = round_up(kBufSize, flash.info.erasesize) - kLoaderSize;
	if (int ret = check_fits(fn, flash, len, hdr->target_offset, kBufSize); ret != 0)
		return ret;
	printf("%s: spi write count: %d\n", fn, 0);

	const size_t body = static_cast<size_t>(len) - kLoaderSize;
	if (!seek_stream(handle->stream, handle->offset + kLoaderSize)) {
		printf("%s seek source file fail !\n", fn);
		return -22;
	}
	if (fread(image.data(), 1, body, handle->stream) != body) {
		printf("%s read source file fail !\n", fn);
		return -5;
	}

	constexpr size_t kWriteLen = kBufSize - kLoaderSize; // the rest of the 128 KiB, zero padded
	for (int attempt = 1; attempt <= CRV_STBC_MAX_ATTEMPTS; attempt++) {
		std::fill(readback.begin(), readback.end(), 0);
		if (int ret = erase(fn, flash, start, erase_len); ret != 0)
			return ret;
		if (int ret = seek_flash(fn, flash, start); ret != 0)
			return ret;
		bool ok = false;
		if (!crv_write_full(flash.fd.get(), image.data(), kWriteLen)) {
			printf("%s write dst file fail !\n", fn);
		} else if (int ret = seek_flash(fn, flash, start); ret != 0) {
			return ret;
		} else if (!crv_read_full(flash.fd.get(), readback.data(), kWriteLen)) {
			printf("%s read dev file fail !\n", fn);
		} else if (memcmp(image.data(), readback.data(), body) != 0) {
			printf("%s write stbc image fail , retry again !\n", fn);
		} else {
			ok = true;
		}
		if (ok) {
			printf("%s write stbc ok !\n", fn);
			return 0;
		}
		printf("%s: spi write count: %d\n", fn, attempt);
	}
	printf("%s: retry timeout!\n", fn);
	return -22;
}

// Image writers for raw NAND partitions.

#include "crv_nand_writer.h"

#include "crv_mtd.h"
#include "crv_ostrel_ctx.h"
#include "crv_system.h"
#include "crv_ubi.h"
#include "img_call.h"
#include "unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kStageChunk = 10240;
// Fields of a standby-controller image that stay with the board.
struct KeptField {
	uint32_t offset;
	uint32_t size;
};
constexpr KeptField kKeptFields[] = {{0x8E00, 2}, {0x8E02, 2}, {0x8E80, 128}, {0x8F00, 256}};

void zero_progress(int /*total*/, int /*done*/, void * /*arg*/)
{
	crv_ostrel_report_zero_progress();
}

// A buffer of n bytes of value v; false when it cannot be had.
bool allocate(std::vector<uint8_t> *buf, size_t n, uint8_t v)
{
	try {
		buf->assign(n, v);
		return true;
	} catch (const std::bad_alloc &) {
		return false;
	} catch (const std::length_error &) {
		return false;
	}
}

// What every writer checks first: arguments, the staging name, the target.
int begin(const char *fn, const crv_per_img_hdr *hdr, crv_per_img_handle *handle, crv_mtd_dev *dev,
	  std::string *staged)
{
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	const auto target = crv_hdr_target(*hdr);
	if (int ret = crv_mtd_probe(target.c_str(), dev); ret != 0) {
		printf("%s open mtd dev %s fail !\n", fn, target.c_str());
		return ret;
	}
	// Nothing larger than the partition can be written to it, nor more
	// than the MTD and UBI layers count in an image handle's 32 bits.
	if (handle->length > dev->size || handle->length > UINT32_MAX) {
		printf("%s file size too large !\n", fn);
		return -22;
	}
	if (staged != nullptr) {
		const auto name = crv_hdr_name(*hdr);
		if (!crv_img_name_is_safe(name.c_str())) {
			printf("%s create temp pimg fail !\n", fn);
			return -22;
		}
		*staged = std::string(crv_ostrel_get_tmp_folder()) + "/" + name.c_str() + ".div";
	}
	return 0;
}

int erase_target(const char *fn, const crv_per_img_hdr *hdr)
{
	const auto target = crv_hdr_target(*hdr);
	int ret = crv_mtd_flash_erase(target.c_str(), 0, 0);
	if (ret != 0)
		printf("%s erase %s fail !\n", fn, target.c_str());
	return ret;
}

// Copies the payload into the staged file, chunk bytes at a time; patch (when
// set) edits each chunk before it is written. 0, -5, or patch's result.
template <typename Patch>
int stage(const char *fn, crv_per_img_handle *handle, const std::string &path, size_t chunk, Patch patch)
{
	FILE *out = fopen(path.c_str(), "wb+e");
	if (out == nullptr) {
		printf("%s create temp pimg fail !\n", fn);
		return -5;
	}
	std::vector<uint8_t> buf;
	if (!allocate(&buf, chunk, 0)) {
		fclose(out);
		printf("%s allocate buffer fail !\n", fn);
		return -12;
	}
	int ret = 0;
	for (uint64_t left = handle->length; left > 0 && ret == 0;) {
		const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk));
		std::fill(buf.begin(), buf.end(), 0);
		if (handle->stream == nullptr || fread(buf.data(), 1, n, handle->stream) != n) {
			printf("%s read pimg fail !\n", fn);
			ret = -5;
			break;
		}
		if (ret = patch(buf.data(), n); ret != 0)
			break;
		if (fwrite(buf.data(), 1, n, out) != n) {
			printf("%s write pimg fail !\n", fn);
			ret = -5;
		}
		left -= n;
	}
	if (fclose(out) != 0 && ret == 0) {
		printf("%s write pimg fail !\n", fn);
		ret = -5;
	}
	return ret;
}

int no_patch(uint8_t *, size_t)
{
	return 0;
}

// The OOB template, as long as the device's spare area: 0, or -22 / -12
// (printed) when the area cannot hold it or the buffer cannot be had.
int oob_template(const char *fn, const crv_mtd_dev &dev, uint8_t byte2, std::vector<uint8_t> *oob)
{
	if (dev.oob_size < 4) {
		printf("%s invalid oob size !\n", fn);
		return -22;
	}
	if (!allocate(oob, static_cast<size_t>(dev.oob_size), 0xFF)) {
		printf("%s allocate oob buffer fail !\n", fn);
		return -12;
	}
	(*oob)[2] = byte2;
	(*oob)[3] = 0x00;
	return 0;
}

// The raw write of a staged file with an optional OOB template on its first
// page and the SPI lock around it.
int write_staged(const char *fn, const crv_per_img_hdr *hdr, const crv_per_img_handle *handle,
		 const std::string &staged, const std::vector<uint8_t> *oob, bool spi_lock)
{
	crv_unique_fd src(open(staged.c_str(), O_RDONLY | O_CLOEXEC));
	if (!src.valid()) {
		printf("%s open temp file fail !\n", fn);
		return -5;
	}
	crv_mtd_img_handle image{};
	image.fd = src.get();
	image.oob = oob != nullptr ? oob->data() : nullptr;
	image.oob_size = oob != nullptr ? static_cast<uint32_t>(oob->size()) : 0;
	image.oob_page = 0;
	image.bytes = static_cast<uint32_t>(handle->length);
	const auto target = crv_hdr_target(*hdr);
	if (spi_lock)
		crv_ostrel_stbc_lock_spi(1);
	int ret = crv_mtd_nand_write_raw_img(target.c_str(), 0, &image, zero_progress, nullptr);
	if (spi_lock)
		crv_ostrel_stbc_lock_spi(0);
	if (ret < 0)
		printf("%s write to nand fail !\n", fn);
	return ret;
}

// The staged writers: probe, stage, erase, write.
int staged_update(const char *fn, const crv_per_img_hdr *hdr, crv_per_img_handle *handle, int oob_byte2,
		  bool spi_lock)
{
	crv_mtd_dev dev;
	std::string staged;
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	crv_img_call call(handle);
	if (int ret = begin(fn, hdr, handle, &dev, &staged); ret != 0)
		return ret;
	std::vector<uint8_t> oob;
	if (oob_byte2 >= 0) {
		if (int ret = oob_template(fn, dev, static_cast<uint8_t>(oob_byte2), &oob); ret != 0)
			return ret;
	}
	call.remove_on_exit(staged);
	if (int ret = stage(fn, handle, staged, kStageChunk, no_patch); ret != 0)
		return ret;
	call.close_stream();
	if (int ret = erase_target(fn, hdr); ret != 0)
		return ret;
	return write_staged(fn, hdr, handle, staged, oob_byte2 >= 0 ? &oob : nullptr, spi_lock);
}

} // namespace

int crv_ostrel_nand_raw_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	return staged_update(__func__, hdr, handle, -1, false);
}

int crv_ostrel_nand_raw_update_w_erase_flag_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle,
					       void * /*user*/)
{
	const char *fn = __func__;
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	if (strstr(crv_hdr_param(*hdr).c_str(), "eraseOnly") == nullptr)
		return staged_update(fn, hdr, handle, -1, false);

	crv_img_call call(handle);
	const auto target = crv_hdr_target(*hdr);
	printf("Erase MTD: %s\n", target.c_str());
	int ret = erase_target(fn, hdr);
	const auto name = crv_hdr_name(*hdr);
	if (crv_img_name_is_safe(name.c_str()))
		call.remove_on_exit(std::string(crv_ostrel_get_tmp_folder()) + "/" + name.c_str() + ".div");
	return ret;
}

int crv_ostrel_nand_stbc_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	return staged_update(__func__, hdr, handle, 0x00, true);
}

int crv_ostrel_nand_xboot_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	return staged_update(__func__, hdr, handle, 0x01, false);
}

int crv_ostrel_nand_stbc_with_edid_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle,
					     void * /*user*/)
{
	const char *fn = __func__;
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	crv_img_call call(handle);
	// The kept fields reach up to 0x9000, and only one image of at most
	// 128 KiB can carry them: anything else is refused before the flash is
	// touched.
	if (handle->length < CRV_STBC_EDID_MIN_SIZE) {
		printf("%s Illegal EDID offset!!! rdlen=0x%x\n", fn, static_cast<unsigned>(handle->length));
		return -22;
	}
	if (handle->length > CRV_STBC_IMG_SIZE) {
		printf("%s file size too large !\n", fn);
		return -22;
	}
	const auto target = crv_hdr_target(*hdr);
	crv_mtd_dev dev;
	std::string staged;
	std::vector<uint8_t> old;
	if (!allocate(&old, CRV_STBC_IMG_SIZE, 0)) {
		printf("%s allocate buffer fail !\n", fn);
		return -12;
	}
	{
		crv_unique_fd fd(open(target.c_str(), O_RDWR | O_CLOEXEC));
		if (!fd.valid()) {
			printf("%s open %s fail !\n", fn, target.c_str());
			return -5;
		}
		if (int ret = crv_mtd_probe(target.c_str(), &dev); ret != 0) {
			printf("%s get mtd dev %s fail !\n", fn, target.c_str());
			return ret;
		}
		int block = 0;
		for (;; block++) {
			if (block >= dev.eb_cnt) {
				printf("%s bad block to much !\n", fn);
				return -5;
			}
			int bad = crv_mtd_is_bad_blk(&dev, fd.get(), block);
			if (bad < 0) {
				printf("%s get bad block fail !\n", fn);
				return -22;
			}
			if (bad == 0)
				break;
			printf("%s skip bad block %d\n", fn, block);
		}
		if (crv_mtd_read(&dev, fd.get(), block * (dev.eb_size / dev.min_io_size), old.data(),
				 static_cast<int>(old.size())) != 0) {
			printf("%s read stbc fail !\n", fn);
			return -5;
		}
	}
	if (int ret = begin(fn, hdr, handle, &dev, &staged); ret != 0)
		return ret;
	std::vector<uint8_t> oob;
	if (int ret = oob_template(fn, dev, 0x00, &oob); ret != 0)
		return ret;
	call.remove_on_exit(staged);
	auto carry_over = [&old](uint8_t *chunk, size_t) {
		for (const auto &f : kKeptFields)
			memcpy(chunk + f.offset, old.data() + f.offset, f.size);
		return 0;
	};
	if (int ret = stage(fn, handle, staged, CRV_STBC_IMG_SIZE, carry_over); ret != 0)
		return ret;
	call.close_stream();
	if (int ret = erase_target(fn, hdr); ret != 0)
		return ret;
	return write_staged(fn, hdr, handle, staged, &oob, true);
}

namespace {

// Whether every erase block of the UBI payload starts with a sound EC
// header, all with the same VID header and data offsets, ones Linux takes
// on this flash; the image is read in place, before any block is erased.
bool ubi_headers_sound(const char *fn, const crv_mtd_dev &dev, int fd, uint64_t offset, uint64_t length)
{
	crv_ubi_ec_hdr first{};
	for (uint64_t at = 0; at < length; at += static_cast<uint64_t>(dev.eb_size)) {
		crv_ubi_ec_hdr hdr;
		if (pread(fd, &hdr, sizeof(hdr), static_cast<off_t>(offset + at)) != static_cast<ssize_t>(sizeof(hdr))) {
			printf("%s read input file fail !\n", fn);
			return false;
		}
		if (at == 0)
			first = hdr;
		if (crv_mtd_change_ech(&hdr, 0, 0) != 0 ||
		    memcmp(hdr.vid_hdr_offset, first.vid_hdr_offset, sizeof(hdr.vid_hdr_offset)) != 0 ||
		    memcmp(hdr.data_offset, first.data_offset, sizeof(hdr.data_offset)) != 0) {
			printf("%s bad ec header !\n", fn);
			return false;
		}
	}
	crv_ubi_layout layout;
	return crv_mtd_ubigen_layout_init(&layout, &dev) == 0 && crv_mtd_ubi_image_layout(&dev, &first, &layout) == 0;
}

} // namespace

int crv_ostrel_nand_ubi_img_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	crv_img_call call(handle);
	if (handle->stream == nullptr) {
		printf("%s open temp file fail !\n", fn);
		return -5;
	}
	crv_mtd_dev dev;
	if (int ret = begin(fn, hdr, handle, &dev, nullptr); ret != 0)
		return ret;
	// The UBI layer takes a byte count of 0 for "the whole file", which here
	// is the whole container.
	if (handle->length == 0) {
		printf("%s invalid input image handle !\n", fn);
		return -22;
	}
	const uint64_t peb = static_cast<uint64_t>(dev.eb_size);
	if (handle->length % peb != 0) {
		printf("%s input file size not block alignment !\n", fn);
		return -22;
	}
	const int fd = fileno(handle->stream);
	struct stat st;
	if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < handle->offset ||
	    static_cast<uint64_t>(st.st_size) - handle->offset < handle->length) {
		printf("%s read input file fail !\n", fn);
		return -5;
	}
	if (!ubi_headers_sound(fn, dev, fd, handle->offset, handle->length))
		return -22;
	// Read from the descriptor at the payload, not from wherever the
	// stream's buffer left it.
	if (lseek(fd, static_cast<off_t>(handle->offset), SEEK_SET) != static_cast<off_t>(handle->offset)) {
		printf("%s read input file fail !\n", fn);
		return -5;
	}
	// The partition is not erased as a whole first: the UBI writer reads the
	// erase counts the blocks hold and erases each block right before it
	// writes it, so the counts survive the update.
	crv_mtd_img_handle image{};
	image.fd = fd;
	image.oob_page = -1;
	image.bytes = static_cast<uint32_t>(handle->length);
	const auto target = crv_hdr_target(*hdr);
	int ret = crv_mtd_nand_write_ubi_img(target.c_str(), 0, &image, zero_progress, nullptr);
	if (ret < 0)
		printf("%s write to nand fail !\n", fn);
	return ret;
}

int crv_ostrel_is_uimage_hdr(const void *buf)
{
	static constexpr uint8_t kMagic[4] = {0x27, 0x05, 0x19, 0x56};
	return buf != nullptr && memcmp(buf, kMagic, sizeof(kMagic)) == 0 ? 1 : 0;
}

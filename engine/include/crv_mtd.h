// Raw NAND partitions through the Linux MTD character devices (/dev/mtdN):
// probing, bad blocks, erasing, page reads and writes, whole raw images
// written block by block around bad blocks, and the CRC-32 the UBI records
// and the binary partition table carry.
//
// Results: 0 or a count on success, a negative errno on failure (-5, -12,
// -19, -22). Messages go to standard output and name the operation first.
#pragma once

#include <cstdint>

// A probed MTD device (all zero before crv_mtd_probe fills it).
struct crv_mtd_dev {
	int mtd_num; // minor / 2
	int major; // 90 for MTD character devices
	int minor;
	int type; // MTD type code
	char type_name[16]; // "nand", "nor", ...; empty for unknown codes
	uint64_t size; // bytes (the kernel's sysfs figure: MEMGETINFO has 32 bits)
	int eb_cnt; // size / eb_size
	int eb_size; // erase-block size
	int min_io_size; // page size (the MTD write size)
	int subpage_size; // the kernel's sub-page size (sysfs), else the page size
	int oob_size; // spare bytes per page
	uint8_t flags; // CRV_MTD_WRITABLE, CRV_MTD_BB_ALLOWED
};

inline constexpr uint8_t CRV_MTD_WRITABLE = 0x01;
inline constexpr uint8_t CRV_MTD_BB_ALLOWED = 0x02;

// An image handed to the raw and UBI writers; owned by the caller.
struct crv_mtd_img_handle {
	int fd; // open image, read from its current position
	const uint8_t *oob; // OOB data for one page, or null
	uint32_t oob_size;
	int32_t oob_page; // the logical page that gets the OOB data
	uint32_t bytes; // 0: the whole file as fstat reports it
};

// Called after each block written: total = image blocks + 1.
using crv_mtd_progress_cb = void (*)(int total, int done, void *arg);

// The reflected CRC-32 (polynomial 0xEDB88320) with no inversion on entry or
// exit: the caller chooses the start value. len < 1 returns crc unchanged.
uint32_t crv_mtd_crc32(uint32_t crc, const void *buf, int len);

int crv_mtd_probe(const char *path, crv_mtd_dev *dev);

// Descriptor-based operations on a probed device.
int crv_mtd_is_bad_blk(const crv_mtd_dev *dev, int fd, int block); // 1 bad, 0 good
int crv_mtd_mark_bad(const crv_mtd_dev *dev, int fd, int block);
int crv_mtd_erase(const crv_mtd_dev *dev, int fd, int block);
int crv_mtd_read(const crv_mtd_dev *dev, int fd, int page, void *buf, int len);
// Writes one page; with oob, data and OOB together in one request.
int crv_mtd_write(const crv_mtd_dev *dev, int fd, int page, const void *data, const void *oob);

// Erases count blocks from first_block (0: up to the last), leaving bad
// blocks alone.
int crv_mtd_flash_erase(const char *path, int first_block, int count);

// Writes an image from first_block on, one erase block at a time, skipping
// bad blocks and retiring blocks whose pages fail to program.
int crv_mtd_nand_write_raw_img(const char *path, int first_block, crv_mtd_img_handle *image,
			       crv_mtd_progress_cb progress, void *arg);
int crv_mtd_nand_write_raw_img_from_buff(const char *path, int first_block, const void *data, uint32_t bytes,
					 const void *oob, uint32_t oob_size, crv_mtd_progress_cb progress);

// Page-aligned transfers that step over bad blocks; *done counts the bytes.
int crv_mtd_read_skip_bad(const char *path, void *buf, int first_page, uint32_t bytes, uint32_t *done);
int crv_mtd_write_skip_bad(const char *path, const void *data, int first_page, uint32_t bytes, uint32_t *done);

// Copies count good blocks from first_block on into out_path.
int crv_mtd_nand_block_dump(const char *path, int first_block, int count, const char *out_path);

int crv_mtd_get_block_cnt(const char *path);
int crv_mtd_get_block_size(const char *path);

// An integer from a sysfs file, or -1.
int crv_mtd_read_sysfs_int(const char *path);

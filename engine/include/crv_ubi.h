// UBI on raw NAND: writing a UBI image the way a UBI formatter does (wear
// counts kept, bad blocks skipped and retired, the rest formatted with fresh
// erase-counter headers), the empty layout volume, and the update of one
// volume through the kernel's volume-update interface.
//
// On-flash records are big-endian; their CRCs are crv_mtd_crc32 from
// 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crv_mtd.h"

inline constexpr uint32_t CRV_UBI_EC_HDR_MAGIC = 0x55424923; // "UBI#"
inline constexpr uint32_t CRV_UBI_VID_HDR_MAGIC = 0x55424921; // "UBI!"
inline constexpr uint32_t CRV_UBI_CRC32_INIT = 0xFFFFFFFFu;
inline constexpr int CRV_UBI_HDR_SIZE = 64;
inline constexpr int CRV_UBI_VTBL_RECORD_SIZE = 172;
inline constexpr int CRV_UBI_MAX_VOLUMES = 128;
inline constexpr uint32_t CRV_UBI_LAYOUT_VOLUME_ID = 0x7FFFEFFF;
inline constexpr int64_t CRV_UBI_MAX_ERASECOUNTER = 0x7FFFFFFF;

// Erase-counter header, at offset 0 of every block.
struct crv_ubi_ec_hdr {
	uint8_t magic[4]; // "UBI#"
	uint8_t version;
	uint8_t padding1[3];
	uint8_t ec[8]; // big-endian u64
	uint8_t vid_hdr_offset[4];
	uint8_t data_offset[4];
	uint8_t image_seq[4];
	uint8_t padding2[32];
	uint8_t hdr_crc[4]; // over bytes 0..59
};
static_assert(sizeof(crv_ubi_ec_hdr) == 64);
static_assert(offsetof(crv_ubi_ec_hdr, ec) == 8);
static_assert(offsetof(crv_ubi_ec_hdr, vid_hdr_offset) == 16);
static_assert(offsetof(crv_ubi_ec_hdr, data_offset) == 20);
static_assert(offsetof(crv_ubi_ec_hdr, image_seq) == 24);
static_assert(offsetof(crv_ubi_ec_hdr, hdr_crc) == 60);

// Volume-ID header, at the VID header offset of every mapped block.
struct crv_ubi_vid_hdr {
	uint8_t magic[4]; // "UBI!"
	uint8_t version;
	uint8_t vol_type; // 1 dynamic, 2 static
	uint8_t copy_flag;
	uint8_t compat;
	uint8_t vol_id[4];
	uint8_t lnum[4];
	uint8_t padding1[4];
	uint8_t data_size[4]; // static volumes only
	uint8_t used_ebs[4]; // static volumes only
	uint8_t data_pad[4];
	uint8_t data_crc[4]; // static volumes: over the data
	uint8_t padding2[4];
	uint8_t sqnum[8];
	uint8_t padding3[12];
	uint8_t hdr_crc[4]; // over bytes 0..59
};
static_assert(sizeof(crv_ubi_vid_hdr) == 64);
static_assert(offsetof(crv_ubi_vid_hdr, vol_id) == 8);
static_assert(offsetof(crv_ubi_vid_hdr, lnum) == 12);
static_assert(offsetof(crv_ubi_vid_hdr, data_size) == 20);
static_assert(offsetof(crv_ubi_vid_hdr, used_ebs) == 24);
static_assert(offsetof(crv_ubi_vid_hdr, data_pad) == 28);
static_assert(offsetof(crv_ubi_vid_hdr, data_crc) == 32);
static_assert(offsetof(crv_ubi_vid_hdr, hdr_crc) == 60);

// One record of the volume table; an empty record is zero but for its CRC.
struct crv_ubi_vtbl_record {
	uint8_t reserved_pebs[4];
	uint8_t alignment[4];
	uint8_t data_pad[4];
	uint8_t vol_type;
	uint8_t upd_marker;
	uint8_t name_len[2];
	uint8_t name[128];
	uint8_t flags;
	uint8_t padding[23];
	uint8_t crc[4]; // over bytes 0..167
};
static_assert(sizeof(crv_ubi_vtbl_record) == CRV_UBI_VTBL_RECORD_SIZE);
static_assert(offsetof(crv_ubi_vtbl_record, name) == 16);
static_assert(offsetof(crv_ubi_vtbl_record, crc) == 168);

// The geometry UBI puts on a device (crv_mtd_ubigen_layout_init).
struct crv_ubi_layout {
	int leb_size; // PEB size - data offset
	int peb_size; // erase-block size
	int min_io_size; // page size
	int vid_hdr_offs; // sub-page size * ceil(64 / sub-page size)
	int data_offs; // page size * ceil((VID header offset + 64) / page size)
	int ubi_ver; // 1
	int vtbl_size; // max volumes * 172
	int max_volumes; // LEB size / 172, at most 128
	uint32_t image_seq; // random, one per run
};

struct crv_ubi_vol_info {
	uint32_t id;
	uint32_t type; // 1 dynamic, 2 static
	uint32_t alignment;
	uint32_t data_pad;
	uint32_t usable_leb_size;
	const char *name;
	uint32_t name_len;
	uint32_t compat;
	uint32_t used_ebs;
	uint64_t bytes;
};

// Per-block values of a scan.
inline constexpr int32_t CRV_UBI_EC_EMPTY = -1; // the header bytes all 0xFF
inline constexpr int32_t CRV_UBI_EC_ALIEN = -2; // CRC or offsets wrong
inline constexpr int32_t CRV_UBI_EC_CORRUPT = -3; // magic wrong
inline constexpr int32_t CRV_UBI_EC_BAD = -4; // bad block

struct crv_ubi_scan_info {
	int32_t *ec; // one per block: the erase count, or one of the values above
	uint64_t mean_ec;
	uint32_t valid_cnt;
	uint32_t empty_cnt;
	uint32_t alien_cnt;
	uint32_t corrupt_cnt;
	uint32_t bad_cnt;
	uint32_t good_cnt;
	int32_t vid_hdr_offs; // -1 until the first valid header
	int32_t data_offs;
};

// Scans the erase counts the partition holds, flashes the image (from the
// handle's fd and byte count) and formats the rest with the image's own VID
// header and data offsets. Each block is erased right before it is written,
// so the partition keeps its wear counts: every block's count goes up by one
// (blocks without a count get the mean).
int crv_mtd_nand_write_ubi_img(const char *path, int ignored, crv_mtd_img_handle *image,
			       crv_mtd_progress_cb progress, void *arg);

// Scans every block's EC header into a new record (freed with
// crv_mtd_ubi_free_scan).
int crv_mtd_ubi_scan(const crv_mtd_dev *dev, int fd, crv_ubi_scan_info **scan);
void crv_mtd_ubi_free_scan(crv_ubi_scan_info *scan);

// The index of the block after the last one written, or a negative errno.
int crv_mtd_ubi_flash_img(const crv_mtd_dev *dev, const crv_ubi_layout *layout, crv_ubi_scan_info *scan, int fd,
			  int image_fd, uint32_t bytes, crv_mtd_progress_cb progress, void *arg);
int crv_mtd_ubi_format(const crv_mtd_dev *dev, const crv_ubi_layout *layout, crv_ubi_scan_info *scan, int fd,
		       int first_block, bool no_volume_table, crv_mtd_progress_cb progress, void *arg);

// A malloc'd table of layout->vtbl_size bytes (free()), or null.
uint8_t *crv_mtd_ubigen_create_empty_vtbl(const crv_ubi_layout *layout);
int crv_mtd_ubigen_write_layout_vol(const crv_ubi_layout *layout, int block1, int block2, uint64_t ec1,
				    uint64_t ec2, const uint8_t *vtbl, int fd);

int crv_mtd_change_ech(crv_ubi_ec_hdr *hdr, uint32_t image_seq, uint64_t ec);
// Takes the VID header and data offsets of an image's EC header into the
// layout (made by crv_mtd_ubigen_layout_init for the device), so that the
// blocks formatted after the image match it. 0, or -22 when Linux would not
// attach the device read-write with these offsets on this flash's page and
// sub-page sizes (version other than 1, a page size not a power of two, VID
// header offset below 64, in the EC header's sub-page, not 32-bit aligned
// within its sub-page or running past one header unit from it, data offset
// other than the first page boundary after the VID header, or no room for
// the data).
int crv_mtd_ubi_image_layout(const crv_mtd_dev *dev, const crv_ubi_ec_hdr *hdr, crv_ubi_layout *layout);
// 0, or -22 for a geometry UBI cannot use.
int crv_mtd_ubigen_layout_init(crv_ubi_layout *layout, const crv_mtd_dev *dev);
void crv_mtd_ubigen_fill_ec_hdr(const crv_ubi_layout *layout, crv_ubi_ec_hdr *hdr, uint64_t ec);
void crv_mtd_ubigen_fill_vid_hdr(const crv_ubi_layout *layout, const crv_ubi_vol_info *vi, crv_ubi_vid_hdr *hdr,
				 int lnum, const void *data, int data_size);
// Pages needed for buf[0..len) once trailing 0xFF bytes are dropped.
int crv_mtd_data_pages(const crv_mtd_dev *dev, const void *buf, int len);

// Replaces the contents of the UBI volume whose device node is path with
// image->bytes bytes read from image->fd (0 bytes: an empty update). 0, -5,
// -12 or -22; *written gets the image size on success.
int crv_mtd_nand_write_ubi_vol(const char *path, const crv_mtd_img_handle *image, int *written);

// UBI images onto raw NAND: scan the erase counters, flash the image block
// by block with its erase-counter headers renewed, format the rest.

#include "crv_ubi.h"

#include "unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint8_t kUbiVersion = 1;
constexpr uint8_t kVolDynamic = 1;
constexpr uint8_t kVolStatic = 2;
constexpr char kLayoutVolName[] = "layout volume";
constexpr uint8_t kLayoutVolCompat = 5;
constexpr int kHdrCrcLen = 60;

void put_be32(uint8_t *p, uint32_t v)
{
	p[0] = static_cast<uint8_t>(v >> 24);
	p[1] = static_cast<uint8_t>(v >> 16);
	p[2] = static_cast<uint8_t>(v >> 8);
	p[3] = static_cast<uint8_t>(v);
}

void put_be64(uint8_t *p, uint64_t v)
{
	put_be32(p, static_cast<uint32_t>(v >> 32));
	put_be32(p + 4, static_cast<uint32_t>(v));
}

uint32_t get_be32(const uint8_t *p)
{
	return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

uint64_t get_be64(const uint8_t *p)
{
	return uint64_t{get_be32(p)} << 32 | get_be32(p + 4);
}

uint32_t hdr_crc(const void *hdr)
{
	return crv_mtd_crc32(CRV_UBI_CRC32_INIT, hdr, kHdrCrcLen);
}

int ceil_div(int a, int b)
{
	return (a + b - 1) / b;
}

int align_up(int a, int b)
{
	return ceil_div(a, b) * b;
}

// The bytes of a block's header area (before the data offset) that get
// programmed: up to its last byte other than 0xFF, in whole sub-pages, and
// at least the EC header's. NAND programs each sub-page once per erase, and
// the kernel later programs the VID header's sub-page of a block that holds
// only an EC header, so nothing past what the headers need is written.
int header_bytes(const crv_mtd_dev *dev, const uint8_t *block, int data_offs)
{
	int end = data_offs;
	while (end > CRV_UBI_HDR_SIZE && block[end - 1] == 0xFF)
		end--;
	return align_up(std::max(end, static_cast<int>(CRV_UBI_HDR_SIZE)), dev->subpage_size);
}

// Writes len bytes at offset `at` of the block; 0 or -5.
int write_in_block(const crv_mtd_dev *dev, int fd, int block, int at, const uint8_t *data, int len)
{
	const off_t pos = static_cast<off_t>(static_cast<uint64_t>(block) * static_cast<uint64_t>(dev->eb_size) +
					     static_cast<uint64_t>(at));
	if (lseek(fd, pos, SEEK_SET) != pos)
		return -5;
	return write(fd, data, static_cast<size_t>(len)) == static_cast<ssize_t>(len) ? 0 : -5;
}

struct ScanFree {
	void operator()(crv_ubi_scan_info *s) const { crv_mtd_ubi_free_scan(s); }
};
using ScanPtr = std::unique_ptr<crv_ubi_scan_info, ScanFree>;

// The erase count a block gets when it is next written: one more than the
// count it carried, or the mean for blocks that carried none. Linux refuses
// to attach a flash holding a count above its maximum, so the count stays
// there once reached.
uint64_t next_ec(const crv_ubi_scan_info *scan, int block)
{
	const int32_t ec = scan->ec[block];
	if (ec < 0)
		return scan->mean_ec;
	return std::min<uint64_t>(static_cast<uint64_t>(ec) + 1, CRV_UBI_MAX_ERASECOUNTER);
}

bool ec_hdr_valid(const crv_ubi_ec_hdr &hdr)
{
	return get_be32(hdr.magic) == CRV_UBI_EC_HDR_MAGIC && get_be32(hdr.hdr_crc) == hdr_crc(&hdr);
}

// Marks a block bad in the device and in the scan; the mark's result.
int retire(const crv_mtd_dev *dev, crv_ubi_scan_info *scan, int fd, int block)
{
	scan->ec[block] = CRV_UBI_EC_BAD;
	scan->bad_cnt++;
	if (scan->good_cnt > 0)
		scan->good_cnt--;
	return crv_mtd_mark_bad(dev, fd, block);
}

} // namespace

int crv_mtd_ubigen_layout_init(crv_ubi_layout *layout, const crv_mtd_dev *dev)
{
	if (layout == nullptr || dev == nullptr)
		return -22;
	memset(layout, 0, sizeof(*layout));
	if (dev->min_io_size <= 0 || dev->subpage_size <= 0 || dev->eb_size <= 0) {
		printf("%s invalid eraseblock(%d)\n", __func__, dev->eb_size);
		return -22;
	}
	layout->peb_size = dev->eb_size;
	layout->min_io_size = dev->min_io_size;
	layout->vid_hdr_offs = dev->subpage_size * ceil_div(CRV_UBI_HDR_SIZE, dev->subpage_size);
	layout->data_offs = dev->min_io_size * ceil_div(layout->vid_hdr_offs + CRV_UBI_HDR_SIZE, dev->min_io_size);
	layout->leb_size = layout->peb_size - layout->data_offs;
	// The volume table must fit one logical block.
	if (layout->leb_size < CRV_UBI_VTBL_RECORD_SIZE) {
		printf("%s invalid eraseblock(%d)\n", __func__, dev->eb_size);
		return -22;
	}
	layout->ubi_ver = kUbiVersion;
	layout->max_volumes = std::min(layout->leb_size / CRV_UBI_VTBL_RECORD_SIZE, CRV_UBI_MAX_VOLUMES);
	layout->vtbl_size = layout->max_volumes * CRV_UBI_VTBL_RECORD_SIZE;
	srand(static_cast<unsigned>(time(nullptr)));
	layout->image_seq = static_cast<uint32_t>(rand());
	return 0;
}

int crv_mtd_ubi_image_layout(const crv_mtd_dev *dev, const crv_ubi_ec_hdr *hdr, crv_ubi_layout *layout)
{
	// What Linux takes read-write when it attaches this flash with the
	// image's VID header offset. Headers are read and written in units of
	// the sub-page: the VID header is read from the sub-page holding its
	// start and must end within one header unit from there, 32-bit aligned
	// in it, and must not share the EC header's sub-page (the kernel then
	// attaches read-only). The data starts at the first page boundary after
	// the VID header, a header's size before the end of the block at the
	// latest.
	const uint32_t vid = get_be32(hdr->vid_hdr_offset);
	const uint32_t data = get_be32(hdr->data_offset);
	const uint64_t page = static_cast<uint64_t>(dev->min_io_size);
	const uint64_t sub = static_cast<uint64_t>(dev->subpage_size);
	const uint64_t hdr_unit = (CRV_UBI_HDR_SIZE + sub - 1) / sub * sub;
	const uint64_t shift = vid % sub;
	const uint64_t leb_start = (uint64_t{vid} + CRV_UBI_HDR_SIZE + page - 1) / page * page;
	if (hdr->version != kUbiVersion || (page & (page - 1)) != 0 || vid < CRV_UBI_HDR_SIZE ||
	    shift + CRV_UBI_HDR_SIZE > hdr_unit || shift % 4 != 0 || uint64_t{vid} + CRV_UBI_HDR_SIZE <= sub ||
	    data != leb_start || leb_start + CRV_UBI_HDR_SIZE > static_cast<uint64_t>(dev->eb_size)) {
		printf("%s image vid hdr offset %u data offset %u on page %d sub-page %d fail !\n", __func__, vid,
		       data, dev->min_io_size, dev->subpage_size);
		return -22;
	}
	layout->vid_hdr_offs = static_cast<int>(vid);
	layout->data_offs = static_cast<int>(data);
	layout->leb_size = layout->peb_size - layout->data_offs;
	layout->max_volumes = std::min(layout->leb_size / CRV_UBI_VTBL_RECORD_SIZE, CRV_UBI_MAX_VOLUMES);
	layout->vtbl_size = layout->max_volumes * CRV_UBI_VTBL_RECORD_SIZE;
	return 0;
}

void crv_mtd_ubigen_fill_ec_hdr(const crv_ubi_layout *layout, crv_ubi_ec_hdr *hdr, uint64_t ec)
{
	memset(hdr, 0, sizeof(*hdr));
	put_be32(hdr->magic, CRV_UBI_EC_HDR_MAGIC);
	hdr->version = static_cast<uint8_t>(layout->ubi_ver);
	put_be64(hdr->ec, ec);
	put_be32(hdr->vid_hdr_offset, static_cast<uint32_t>(layout->vid_hdr_offs));
	put_be32(hdr->data_offset, static_cast<uint32_t>(layout->data_offs));
	put_be32(hdr->image_seq, layout->image_seq);
	put_be32(hdr->hdr_crc, hdr_crc(hdr));
}

void crv_mtd_ubigen_fill_vid_hdr(const crv_ubi_layout *layout, const crv_ubi_vol_info *vi, crv_ubi_vid_hdr *hdr,
				 int lnum, const void *data, int data_size)
{
	memset(hdr, 0, sizeof(*hdr));
	put_be32(hdr->magic, CRV_UBI_VID_HDR_MAGIC);
	hdr->version = static_cast<uint8_t>(layout->ubi_ver);
	hdr->vol_type = static_cast<uint8_t>(vi->type);
	hdr->compat = static_cast<uint8_t>(vi->compat);
	put_be32(hdr->vol_id, vi->id);
	put_be32(hdr->lnum, static_cast<uint32_t>(lnum));
	if (vi->type == kVolStatic) {
		put_be32(hdr->data_size, static_cast<uint32_t>(data_size));
		put_be32(hdr->used_ebs, vi->used_ebs);
		put_be32(hdr->data_crc, crv_mtd_crc32(CRV_UBI_CRC32_INIT, data, data_size));
	}
	put_be32(hdr->data_pad, vi->data_pad);
	put_be32(hdr->hdr_crc, hdr_crc(hdr));
}

int crv_mtd_change_ech(crv_ubi_ec_hdr *hdr, uint32_t image_seq, uint64_t ec)
{
	if (get_be32(hdr->magic) != CRV_UBI_EC_HDR_MAGIC) {
		printf("%s bad magic header !\n", __func__);
		return -22;
	}
	if (get_be32(hdr->hdr_crc) != hdr_crc(hdr)) {
		printf("%s bad crc !\n", __func__);
		return -22;
	}
	put_be32(hdr->image_seq, image_seq);
	put_be64(hdr->ec, ec);
	put_be32(hdr->hdr_crc, hdr_crc(hdr));
	return 0;
}

int crv_mtd_data_pages(const crv_mtd_dev *dev, const void *buf, int len)
{
	if (len <= 0 || dev->min_io_size <= 0)
		return 0;
	const auto *p = static_cast<const uint8_t *>(buf);
	int end = len;
	while (end > 0 && p[end - 1] == 0xFF)
		end--;
	return ceil_div(end, dev->min_io_size);
}

uint8_t *crv_mtd_ubigen_create_empty_vtbl(const crv_ubi_layout *layout)
{
	auto *vtbl = static_cast<uint8_t *>(calloc(1, static_cast<size_t>(layout->vtbl_size)));
	if (vtbl == nullptr) {
		printf("%s allocate volume table memory fail !\n", __func__);
		return nullptr;
	}
	for (int i = 0; i < layout->max_volumes; i++) {
		auto *rec = reinterpret_cast<crv_ubi_vtbl_record *>(vtbl + i * CRV_UBI_VTBL_RECORD_SIZE);
		put_be32(rec->crc, crv_mtd_crc32(CRV_UBI_CRC32_INIT, rec, offsetof(crv_ubi_vtbl_record, crc)));
	}
	return vtbl;
}

int crv_mtd_ubigen_write_layout_vol(const crv_ubi_layout *layout, int block1, int block2, uint64_t ec1,
				    uint64_t ec2, const uint8_t *vtbl, int fd)
{
	const char *fn = __func__;
	crv_ubi_vol_info vi{};
	vi.id = CRV_UBI_LAYOUT_VOLUME_ID;
	vi.type = kVolDynamic;
	vi.alignment = 1;
	vi.data_pad = 0;
	vi.usable_leb_size = static_cast<uint32_t>(layout->leb_size);
	vi.name = kLayoutVolName;
	vi.name_len = sizeof(kLayoutVolName) - 1;
	vi.compat = kLayoutVolCompat;
	vi.bytes = 2 * static_cast<uint64_t>(layout->leb_size);

	std::vector<uint8_t> peb;
	try {
		peb.assign(static_cast<size_t>(layout->peb_size), 0xFF);
	} catch (const std::bad_alloc &) {
		printf("%s allocate buffer fail !", fn);
		return -12;
	}
	memcpy(peb.data() + layout->data_offs, vtbl, static_cast<size_t>(layout->vtbl_size));

	const struct {
		int block;
		uint64_t ec;
		const char *seek_msg;
		const char *write_msg;
	} copies[2] = {{block1, ec1, "%s seek fail !\n", "%s write vol1 fail !\n"},
		       {block2, ec2, "%s seek to vol2 fail !\n", "%s write vol2 fail !\n"}};
	for (int lnum = 0; lnum < 2; lnum++) {
		const auto &c = copies[lnum];
		const off_t at = static_cast<off_t>(static_cast<uint64_t>(c.block) * static_cast<uint64_t>(layout->peb_size));
		if (lseek(fd, at, SEEK_SET) != at) {
			printf(c.seek_msg, fn);
			return -5;
		}
		crv_mtd_ubigen_fill_ec_hdr(layout, reinterpret_cast<crv_ubi_ec_hdr *>(peb.data()), c.ec);
		crv_mtd_ubigen_fill_vid_hdr(layout, &vi, reinterpret_cast<crv_ubi_vid_hdr *>(peb.data() + layout->vid_hdr_offs),
					    lnum, nullptr, 0);
		if (write(fd, peb.data(), peb.size()) != static_cast<ssize_t>(peb.size())) {
			printf(c.write_msg, fn);
			return -5;
		}
	}
	return 0;
}

void crv_mtd_ubi_free_scan(crv_ubi_scan_info *scan)
{
	if (scan == nullptr)
		return;
	free(scan->ec);
	free(scan);
}

int crv_mtd_ubi_scan(const crv_mtd_dev *dev, int fd, crv_ubi_scan_info **out)
{
	const char *fn = __func__;
	*out = nullptr;
	ScanPtr scan(static_cast<crv_ubi_scan_info *>(calloc(1, sizeof(crv_ubi_scan_info))));
	if (!scan) {
		printf("%s allocate ubi scan info mem fail !\n", fn);
		return -12;
	}
	scan->ec = static_cast<int32_t *>(calloc(static_cast<size_t>(std::max(dev->eb_cnt, 1)), sizeof(int32_t)));
	if (scan->ec == nullptr) {
		printf("%s allocate ec buffer fail !\n", fn);
		return -12;
	}
	scan->vid_hdr_offs = -1;
	scan->data_offs = -1;
	const int pages_per_block = dev->eb_size / dev->min_io_size;
	uint64_t sum = 0;
	for (int block = 0; block < dev->eb_cnt; block++) {
		int bad = crv_mtd_is_bad_blk(dev, fd, block);
		if (bad < 0) {
			printf("%s get bad block %d info fail !\n", fn, block);
			return bad;
		}
		if (bad) {
			scan->ec[block] = CRV_UBI_EC_BAD;
			scan->bad_cnt++;
			continue;
		}
		crv_ubi_ec_hdr hdr;
		if (crv_mtd_read(dev, fd, block * pages_per_block, &hdr, sizeof(hdr)) != 0) {
			printf("%s read ec header fail !\n", fn);
			return -5;
		}
		const auto *raw = reinterpret_cast<const uint8_t *>(&hdr);
		if (std::all_of(raw, raw + sizeof(hdr), [](uint8_t b) { return b == 0xFF; })) {
			scan->ec[block] = CRV_UBI_EC_EMPTY;
			scan->empty_cnt++;
			continue;
		}
		if (get_be32(hdr.magic) != CRV_UBI_EC_HDR_MAGIC) {
			scan->ec[block] = CRV_UBI_EC_CORRUPT;
			scan->corrupt_cnt++;
			continue;
		}
		const int32_t vid = static_cast<int32_t>(get_be32(hdr.vid_hdr_offset));
		const int32_t data = static_cast<int32_t>(get_be32(hdr.data_offset));
		bool alien = get_be32(hdr.hdr_crc) != hdr_crc(&hdr);
		if (!alien && scan->vid_hdr_offs == -1) {
			if (data % dev->min_io_size != 0) {
				alien = true;
			} else {
				scan->vid_hdr_offs = vid;
				scan->data_offs = data;
			}
		} else if (!alien) {
			alien = vid != scan->vid_hdr_offs || data != scan->data_offs;
		}
		if (alien) {
			scan->ec[block] = CRV_UBI_EC_ALIEN;
			scan->alien_cnt++;
			continue;
		}
		const uint64_t ec = get_be64(hdr.ec);
		if (ec > static_cast<uint64_t>(CRV_UBI_MAX_ERASECOUNTER)) {
			printf("%s erase blk %d erase count %lld bigger than max value %lld !\n", fn, block,
			       static_cast<long long>(ec), static_cast<long long>(CRV_UBI_MAX_ERASECOUNTER));
			return -22;
		}
		scan->ec[block] = static_cast<int32_t>(ec);
		scan->valid_cnt++;
		sum += ec;
	}
	scan->mean_ec = scan->valid_cnt != 0 ? sum / scan->valid_cnt : 0;
	scan->good_cnt = static_cast<uint32_t>(dev->eb_cnt) - scan->bad_cnt;
	*out = scan.release();
	return 0;
}

int crv_mtd_ubi_flash_img(const crv_mtd_dev *dev, const crv_ubi_layout *layout, crv_ubi_scan_info *scan, int fd,
			  int image_fd, uint32_t bytes, crv_mtd_progress_cb progress, void *arg)
{
	const char *fn = __func__;
	struct stat st;
	if (fstat(image_fd, &st) != 0) {
		printf("%s get file stat fail !\n", fn);
		return -5;
	}
	const uint64_t len = bytes != 0 ? bytes : static_cast<uint64_t>(st.st_size);
	const uint64_t peb = static_cast<uint64_t>(layout->peb_size);
	if (dev->subpage_size <= 0 || layout->data_offs <= 0 || layout->data_offs >= layout->peb_size)
		return -22;
	const uint64_t img_blocks = len / peb;
	if (img_blocks > scan->good_cnt) {
		printf("%s file size too large !\n", fn);
		return -22;
	}
	if (len % peb != 0) {
		printf("%s input file size not block alignment !\n", fn);
		return -22;
	}
	std::vector<uint8_t> buf;
	try {
		buf.resize(static_cast<size_t>(peb));
	} catch (const std::bad_alloc &) {
		printf("%s allocate buffer fail !\n", fn);
		return -12;
	}
	const int pages_per_block = dev->eb_size / dev->min_io_size;
	const int total = static_cast<int>(img_blocks) + 1;
	int block = 0;
	for (uint64_t i = 0; i < img_blocks; i++) {
		size_t got = 0;
		while (got < buf.size()) {
			ssize_t n = read(image_fd, buf.data() + got, buf.size() - got);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0)
				break;
			got += static_cast<size_t>(n);
		}
		if (got != buf.size()) {
			printf("%s read input file fail !\n", fn);
			return -5;
		}
		// Each try either writes the block or retires a flash block, so the
		// search ends within the device.
		for (;; block++) {
			while (block < dev->eb_cnt && scan->ec[block] == CRV_UBI_EC_BAD)
				block++;
			if (block >= dev->eb_cnt) {
				printf("%s bad block too much !\n", fn);
				return -5;
			}
			if (crv_mtd_erase(dev, fd, block) != 0) {
				// A block that will not erase holds nothing: the image
				// block goes to the next one.
				if (retire(dev, scan, fd, block) != 0) {
					printf("%s mark bad block %d fail !\n", fn, block);
					return -5;
				}
				continue;
			}
			// Every block of the image carries the layout's offsets: a
			// flash mixing them is one Linux refuses.
			auto *ech = reinterpret_cast<crv_ubi_ec_hdr *>(buf.data());
			if (crv_mtd_change_ech(ech, layout->image_seq, next_ec(scan, block)) != 0 ||
			    get_be32(ech->vid_hdr_offset) != static_cast<uint32_t>(layout->vid_hdr_offs) ||
			    get_be32(ech->data_offset) != static_cast<uint32_t>(layout->data_offs)) {
				printf("%s bad ec header !\n", fn);
				return -22;
			}
			// The headers as the kernel writes them (only their sub-pages),
			// then the data's pages up to the last one not all 0xFF.
			const int data_offs = layout->data_offs;
			bool failed = write_in_block(dev, fd, block, 0, buf.data(),
						     header_bytes(dev, buf.data(), data_offs)) != 0;
			const int first_data_page = block * pages_per_block + data_offs / dev->min_io_size;
			const int pages =
				crv_mtd_data_pages(dev, buf.data() + data_offs, static_cast<int>(buf.size()) - data_offs);
			for (int p = 0; p < pages && !failed; p++)
				failed = crv_mtd_write(dev, fd, first_data_page + p,
						       buf.data() + data_offs +
							       static_cast<size_t>(p) * static_cast<size_t>(dev->min_io_size),
						       nullptr) != 0;
			if (!failed)
				break;
			crv_mtd_erase(dev, fd, block);
			retire(dev, scan, fd, block);
		}
		block++;
		if (progress)
			progress(total, static_cast<int>(i + 1), arg);
	}
	return block;
}

int crv_mtd_ubi_format(const crv_mtd_dev *dev, const crv_ubi_layout *layout, crv_ubi_scan_info *scan, int fd,
		       int first_block, bool no_volume_table, crv_mtd_progress_cb progress, void *arg)
{
	const char *fn = __func__;
	if (first_block < 0 || dev->subpage_size <= 0)
		return -22;
	// Only the EC header's sub-pages are written, as the kernel does: it
	// programs the VID header's sub-page of the same page when it maps the
	// block.
	const int hdr_len = align_up(CRV_UBI_HDR_SIZE, dev->subpage_size);
	std::vector<uint8_t> hdr_buf;
	try {
		hdr_buf.assign(static_cast<size_t>(hdr_len), 0xFF);
	} catch (const std::bad_alloc &) {
		printf("%s allocate ec header fail !\n", fn);
		return -12;
	}
	int kept[2] = {-1, -1};
	uint64_t kept_ec[2] = {0, 0};
	int nkept = 0;
	int handled = 0;
	for (int block = first_block; block < dev->eb_cnt; block++) {
		if (scan->ec[block] == CRV_UBI_EC_BAD) {
			handled++;
			continue;
		}
		const uint64_t ec = next_ec(scan, block);
		crv_mtd_ubigen_fill_ec_hdr(layout, reinterpret_cast<crv_ubi_ec_hdr *>(hdr_buf.data()), ec);
		if (crv_mtd_erase(dev, fd, block) != 0) {
			if (retire(dev, scan, fd, block) != 0) {
				printf("%s mark bad block %d fail !\n", fn, block);
				return -5;
			}
			continue;
		}
		if (!no_volume_table && nkept < 2) {
			kept[nkept] = block;
			kept_ec[nkept] = ec;
			nkept++;
			continue;
		}
		if (write_in_block(dev, fd, block, 0, hdr_buf.data(), hdr_len) != 0) {
			crv_mtd_erase(dev, fd, block);
			if (retire(dev, scan, fd, block) != 0) {
				printf("%s mark bad block %d fail !\n", fn, block);
				return -5;
			}
			continue;
		}
		handled++;
		if (progress)
			progress(dev->eb_cnt - first_block, handled, arg);
	}
	if (no_volume_table)
		return 0;
	if (nkept < 2) {
		printf("%s no erase block for volume table !\n", fn);
		return -5;
	}
	std::unique_ptr<uint8_t, decltype(&free)> vtbl(crv_mtd_ubigen_create_empty_vtbl(layout), &free);
	if (!vtbl)
		return -12;
	if (int ret = crv_mtd_ubigen_write_layout_vol(layout, kept[0], kept[1], kept_ec[0], kept_ec[1], vtbl.get(), fd);
	    ret != 0) {
		printf("%s write vol layout fail !\n", fn);
		return ret;
	}
	return 0;
}

int crv_mtd_nand_write_ubi_img(const char *path, int /*ignored*/, crv_mtd_img_handle *image,
			       crv_mtd_progress_cb progress, void *arg)
{
	const char *fn = __func__;
	if (path == nullptr || image == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	crv_mtd_dev dev;
	if (crv_mtd_probe(path, &dev) != 0) {
		printf("%s get mtd info fail !\n", fn);
		return -22;
	}
	if (image->fd < 0) {
		printf("%s invalid input image handle !\n", fn);
		return -22;
	}
	crv_unique_fd fd(open(path, O_RDWR | O_CLOEXEC));
	if (!fd.valid()) {
		printf("%s open mtd dev %s fail !\n", fn, path);
		return -5;
	}
	crv_ubi_scan_info *raw_scan = nullptr;
	if (int ret = crv_mtd_ubi_scan(&dev, fd.get(), &raw_scan); ret != 0) {
		printf("%s scan ubi partition fail !\n", fn);
		return ret;
	}
	ScanPtr scan(raw_scan);
	if (scan->good_cnt < 2) {
		printf("%s bad block too much !\n", fn);
		return -22;
	}
	crv_ubi_layout layout;
	if (int ret = crv_mtd_ubigen_layout_init(&layout, &dev); ret != 0)
		return ret;
	// The image's own offsets, which its blocks keep, serve the blocks
	// formatted after it too. (A first block without an EC header is left
	// to the flashing, which refuses it.)
	crv_ubi_ec_hdr first;
	const off_t at = lseek(image->fd, 0, SEEK_CUR);
	if (at < 0 || pread(image->fd, &first, sizeof(first), at) != static_cast<ssize_t>(sizeof(first))) {
		printf("%s read input file fail !\n", fn);
		return -5;
	}
	if (ec_hdr_valid(first)) {
		if (int ret = crv_mtd_ubi_image_layout(&dev, &first, &layout); ret != 0)
			return ret;
	}
	int next = crv_mtd_ubi_flash_img(&dev, &layout, scan.get(), fd.get(), image->fd, image->bytes, progress, arg);
	if (next < 0) {
		printf("%s flash ubi image to nand fail !\n", fn);
		return next;
	}
	if (int ret = crv_mtd_ubi_format(&dev, &layout, scan.get(), fd.get(), next, true, progress, arg); ret != 0) {
		printf("%s format empty block fail !\n", fn);
		return ret;
	}
	return 0;
}

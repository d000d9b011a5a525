// Image writers for flattened device trees and their boot arguments.

#include "crv_fdt_writer.h"

#include "crv_fdt.h"
#include "crv_mtd.h"
#include "crv_nand_writer.h"
#include "crv_ostrel_ctx.h"
#include "crv_system.h"
#include "crvgpt.h"
#include "fd_io.h"
#include "unique_fd.h"

#include <libfdt.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *kDefaultConsole = "console=ttyS0,115200";
constexpr size_t kBootargsMax = 1024; // with the terminator
constexpr size_t kTtyMax = 64;
constexpr size_t kAndroidHdrSize = 0x260;

struct FileCloser {
	void operator()(FILE *f) const { fclose(f); }
};
using unique_file = std::unique_ptr<FILE, FileCloser>;

// The payload stream belongs to the writer; it is closed on every way out.
class StreamGuard {
public:
	explicit StreamGuard(crv_per_img_handle *handle) : handle_(handle) {}
	~StreamGuard()
	{
		if (handle_->stream != nullptr) {
			fclose(handle_->stream);
			handle_->stream = nullptr;
		}
	}
	StreamGuard(const StreamGuard &) = delete;
	StreamGuard &operator=(const StreamGuard &) = delete;

private:
	crv_per_img_handle *handle_;
};

// A zeroed heap buffer; empty when the allocation fails.
struct Buffer {
	std::unique_ptr<uint8_t[]> data;
	size_t size = 0;

	bool alloc(uint64_t n)
	{
		if (n == 0 || n > SIZE_MAX)
			return false;
		data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(n)]());
		size = data ? static_cast<size_t>(n) : 0;
		return data != nullptr;
	}
	uint8_t *at(size_t off) const { return data.get() + off; }
};

void put_be32(uint8_t *p, uint32_t v)
{
	p[0] = uint8_t(v >> 24);
	p[1] = uint8_t(v >> 16);
	p[2] = uint8_t(v >> 8);
	p[3] = uint8_t(v);
}

bool read_exact(FILE *f, void *buf, size_t n)
{
	return f != nullptr && fread(buf, 1, n, f) == n;
}

// True when the blob is whole, sound and fits in room bytes.
bool blob_fits(const void *fdt, size_t room)
{
	return crv_fdt_blob_sound(fdt, std::min<size_t>(room, INT_MAX));
}

// Sets (or with null only checks) the boot arguments of the blob, which may
// grow up to room bytes; any padding the blob carried is kept. 0 or a
// negative libfdt error.
int set_bootargs(void *fdt, size_t room, const char *bootargs)
{
	if (!blob_fits(fdt, room)) {
		printf("fdt_chosen: %s\n", fdt_strerror(-FDT_ERR_TRUNCATED));
		return -FDT_ERR_TRUNCATED;
	}
	const int orig = int(fdt_totalsize(fdt));
	int err = fdt_open_into(fdt, fdt, int(std::min<size_t>(room, INT_MAX)));
	if (err != 0) {
		printf("fdt_chosen: %s\n", fdt_strerror(err));
		return err; // only a blob libfdt opened may be packed
	}
	err = fdt_chosen(fdt, bootargs);
	if (fdt_pack(fdt) == 0 && int(fdt_totalsize(fdt)) < orig)
		fdt_open_into(fdt, fdt, orig);
	// What the moves left behind the strings is cleared, so the blob's
	// padding and the rest of its room hold zeros as before.
	const size_t used = size_t(fdt_off_dt_strings(fdt)) + fdt_size_dt_strings(fdt);
	if (used < room)
		memset(static_cast<uint8_t *>(fdt) + used, 0, room - used);
	return err;
}

// Offset of the selected blob of a pack, or -1 when a slot is broken or no
// slot carries the id.
long select_fdt(const Buffer &buf, size_t base, const char *id)
{
	for (size_t off = base; off < buf.size; off += CRV_FDT_PACK_SLOT) {
		const size_t room = std::min<size_t>(CRV_FDT_PACK_SLOT, buf.size - off);
		if (!blob_fits(buf.at(off), room))
			return -1;
		if (id == nullptr)
			return long(off);
		const char *s = fdt_get_id_str(buf.at(off));
		if (s == nullptr)
			return -1;
		if (strcmp(s, id) == 0)
			return long(off);
	}
	return -1;
}

size_t slot_room(const Buffer &buf, size_t off)
{
	return std::min<size_t>(CRV_FDT_PACK_SLOT, buf.size - off);
}

size_t legacy_base(const Buffer &buf)
{
	return buf.size > CRV_LEGACY_HDR_SIZE && crv_ostrel_is_uimage_hdr(buf.at(0)) ? CRV_LEGACY_HDR_SIZE : 0;
}

bool valid_args(const char *fn, const crv_per_img_hdr *hdr, const crv_per_img_handle *handle)
{
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return false;
	}
	return true;
}

// Opens the target for update and moves to the header's offset: 0 or -5.
int open_target(const char *fn, const crv_per_img_hdr *hdr, unique_file *out)
{
	const auto target = crv_hdr_target(*hdr);
	out->reset(fopen(target.c_str(), "rb+e"));
	if (!*out) {
		printf("%s open device %s fail !\n", fn, target.c_str());
		return -5;
	}
	if (fseeko(out->get(), off_t(hdr->target_offset), SEEK_SET) != 0) {
		printf("%s seek device fail !\n", fn);
		return -5;
	}
	return 0;
}

int write_target(const char *fn, unique_file &target, const Buffer &buf)
{
	if (!crv_write_synced_and_close(target.release(), buf.at(0), buf.size)) {
		printf("%s write fdt fail !\n", fn);
		return -5;
	}
	return 0;
}

// The demura region of the written blob into the context; both words are 0
// when the blob has none.
void read_demura(const char *fn, const void *fdt)
{
	auto &ctx = crv_ostrel_context();
	uint32_t start = 0, size = 0;
	ctx.demura_start = 0;
	ctx.demura_size = 0;
	if (fdt_get_demura(fdt, &start, &size) != 0) {
		printf("[%s] No demura memory!\n", fn);
		return;
	}
	ctx.demura_start = start;
	ctx.demura_size = size;
}

// Reads a single blob (bare or legacy) into a 512 KiB buffer and sets its
// boot arguments. 0 or a negative errno; *fdt_off is where the blob starts.
struct SingleMsgs {
	const char *alloc_fail;
	const char *read_fail;
	const char *bootarg_fail;
};
constexpr SingleMsgs kEmmcMsgs = {"%s allocate memory fail !\n", "%s read fdt fail !\n", "%s update bootarg fail !\n"};
constexpr SingleMsgs kNandMsgs = {"%s allocate memory buffer fail !\n", "%s read fail !\n",
				  "%s update boot argument fail !\n"};

int load_single(const char *fn, crv_per_img_handle *handle, const char *bootargs, Buffer *buf, size_t *fdt_off,
		const SingleMsgs &msgs)
{
	if (handle->length > CRV_FDT_BUF_SIZE) {
		printf("%s file size too large !\n", fn);
		return -22;
	}
	if (!buf->alloc(CRV_FDT_BUF_SIZE)) {
		printf(msgs.alloc_fail, fn);
		return -12;
	}
	if (!read_exact(handle->stream, buf->at(0), size_t(handle->length))) {
		printf(msgs.read_fail, fn);
		return -5;
	}
	const bool legacy = handle->length > CRV_LEGACY_HDR_SIZE && crv_ostrel_is_uimage_hdr(buf->at(0));
	*fdt_off = legacy ? CRV_LEGACY_HDR_SIZE : 0;
	if (set_bootargs(buf->at(*fdt_off), buf->size - *fdt_off, bootargs) < 0) {
		printf(msgs.bootarg_fail, fn);
		return -5;
	}
	if (legacy)
		crv_fdt_fix_legacy_hdr(buf->at(0), buf->at(*fdt_off));
	return 0;
}

int emmc_single(const char *fn, const crv_per_img_hdr *hdr, crv_per_img_handle *handle, const char *bootargs,
		bool tcon)
{
	Buffer buf;
	size_t off = 0;
	int ret = load_single(fn, handle, bootargs, &buf, &off, kEmmcMsgs);
	if (ret != 0)
		return ret;
	unique_file target;
	if ((ret = open_target(fn, hdr, &target)) != 0)
		return ret;
	if ((ret = write_target(fn, target, buf)) != 0)
		return ret;
	if (tcon)
		read_demura(fn, buf.at(off));
	return 0;
}

// Reads a whole pack into a buffer of its length and selects the blob.
int load_pack(const char *fn, crv_per_img_handle *handle, const char *id, Buffer *buf, long *sel)
{
	// The buffer is sized by the length: only once the file holds it all.
	if (!crv_handle_payload_in_file(handle)) {
		printf("%s read fdt fail !\n", fn);
		return -5;
	}
	if (!buf->alloc(handle->length)) {
		printf("%s allocate memory fail !\n", fn);
		return -12;
	}
	if (!read_exact(handle->stream, buf->at(0), buf->size)) {
		printf("%s read fdt fail !\n", fn);
		return -5;
	}
	*sel = select_fdt(*buf, legacy_base(*buf), id);
	if (*sel < 0) {
		printf("%s invalid fdt pack image format !\n", fn);
		return -22;
	}
	return 0;
}

int emmc_pack(const char *fn, const crv_per_img_hdr *hdr, crv_per_img_handle *handle, bool tcon)
{
	const char *id = crv_ostrel_call_fdt_pack_hook(hdr, handle);
	Buffer buf;
	long sel = 0;
	if (int ret = load_pack(fn, handle, id, &buf, &sel); ret != 0)
		return ret;
	const auto text = crv_hdr_param(*hdr);
	if (text.empty())
		puts("txt_param is empty, skip bootargs.");
	uint8_t *fdt = buf.at(size_t(sel));
	if (set_bootargs(fdt, slot_room(buf, size_t(sel)), text.empty() ? nullptr : text.c_str()) < 0) {
		printf("%s update bootarg fail !\n", fn);
		return -5;
	}
	if (legacy_base(buf) != 0)
		crv_fdt_fix_legacy_hdr(buf.at(0), fdt);
	unique_file target;
	if (int ret = open_target(fn, hdr, &target); ret != 0)
		return ret;
	if (int ret = write_target(fn, target, buf); ret != 0)
		return ret;
	if (tcon)
		read_demura(fn, fdt);
	return 0;
}

void zero_progress(int /*total*/, int /*done*/, void * /*arg*/)
{
	crv_ostrel_report_zero_progress();
}

} // namespace

void crv_fdt_fix_legacy_hdr(uint8_t *hdr64, const void *fdt)
{
	const uint32_t total = fdt_totalsize(fdt);
	put_be32(hdr64 + 12, total);
	put_be32(hdr64 + 24, crvgpt_crc32(0, fdt, total));
	put_be32(hdr64 + 4, 0);
	put_be32(hdr64 + 4, crvgpt_crc32(0, hdr64, CRV_LEGACY_HDR_SIZE));
}

std::string crv_fdt_console_setting(const char *bootargs)
{
	const char *p = bootargs != nullptr ? strstr(bootargs, "console=") : nullptr;
	if (p == nullptr)
		return kDefaultConsole;
	p += strlen("console=");
	// The tty name ends at its options, a blank or the end of the text.
	const size_t n = std::min(strcspn(p, ", \t"), kTtyMax);
	return "console=" + std::string(p, n) + ",115200";
}

bool crv_fdt_merge_console(const char *src, const std::string &setting, std::string *out)
{
	std::string r;
	if (strstr(src, "console=") == nullptr) {
		r = std::string(src) + " " + setting;
	} else {
		const std::string text(src);
		size_t pos = 0;
		bool first = true;
		std::string pending;
		while (pos < text.size()) {
			const size_t start = text.find_first_not_of(" \t", pos);
			if (start == std::string::npos)
				break;
			const size_t end = std::min(text.find_first_of(" \t", start), text.size());
			if (!first)
				r += (pending.find("console=") != std::string::npos ? setting : pending) + " ";
			pending = text.substr(start, end - start);
			first = false;
			pos = end;
		}
		r += pending;
	}
	if (r.size() >= kBootargsMax)
		return false;
	*out = r;
	return true;
}

int crv_ostrel_emmc_fdt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	if (!valid_args(__func__, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	return emmc_single(__func__, hdr, handle, crv_hdr_param(*hdr).c_str(), false);
}

int crv_ostrel_emmc_fdt_tcon_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	if (!valid_args(__func__, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	return emmc_single(__func__, hdr, handle, crv_hdr_param(*hdr).c_str(), true);
}

int crv_ostrel_emmc_android_fdt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (!valid_args(fn, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	const char *path = crv_ostrel_context().img_path;
	unique_file whole(path[0] != '\0' ? fopen(path, "rbe") : nullptr);
	if (!whole) {
		printf("%s open whole image fail !\n", fn);
		return -22;
	}
	const bool boot = crv_hdr_name(*hdr).view() == "fdt0";
	crv_per_img_hdr bhdr{};
	crv_per_img_handle bhandle{};
	const int found = crv_ostrel_get_per_img_by_name(whole.get(), boot ? "boot" : "recovery", &bhdr, &bhandle);
	unique_file bstream(bhandle.stream);
	if (found < 0) {
		printf(boot ? "%s get boot image fail !\n" : "%s get recovery image fail !\n", fn);
		return -5;
	}
	uint8_t ahdr[kAndroidHdrSize];
	if (bhandle.length < kAndroidHdrSize || !read_exact(bstream.get(), ahdr, sizeof(ahdr))) {
		printf("%s read boot image header fail !\n", fn);
		return -5;
	}
	if (memcmp(ahdr, "ANDROID!", 8) != 0) {
		printf("%s invalid android image header !\n", fn);
		return -22;
	}
	const std::string text = crv_hdr_param(*hdr).c_str();
	const size_t initrd = text.find("initrd=");
	if (initrd == std::string::npos) {
		printf("%s invalid ramdisk start address !\n", fn);
		return -22;
	}
	const size_t comma = text.find(',', initrd);
	uint32_t ramdisk = 0;
	memcpy(&ramdisk, ahdr + 16, sizeof(ramdisk));
	char size_text[16];
	snprintf(size_text, sizeof(size_text), "0x%x", ramdisk);
	const std::string bootargs =
		comma == std::string::npos ? std::string() : text.substr(0, comma + 1) + size_text;
	if (comma == std::string::npos || bootargs.size() >= kBootargsMax) {
		printf("%s invalid ramdisk size !\n", fn);
		return -22;
	}
	return emmc_single(fn, hdr, handle, bootargs.c_str(), false);
}

int crv_ostrel_emmc_fdt_pack_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	if (!valid_args(__func__, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	return emmc_pack(__func__, hdr, handle, false);
}

int crv_ostrel_emmc_fdt_pack_tcon_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	if (!valid_args(__func__, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	return emmc_pack(__func__, hdr, handle, true);
}

int dlx_emmc_fdt_pack_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (!valid_args(fn, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	const char *id = crv_ostrel_call_fdt_pack_hook(hdr, handle);
	Buffer buf;
	if (!crv_handle_payload_in_file(handle)) {
		printf("%s read fdt fail !\n", fn);
		return -5;
	}
	if (!buf.alloc(handle->length)) {
		printf("%s allocate memory fail !\n", fn);
		return -12;
	}
	unique_file target;
	if (int ret = open_target(fn, hdr, &target); ret != 0)
		return ret;
	if (!read_exact(target.get(), buf.at(0), buf.size)) {
		printf("%s read device fdt fail !\n", fn);
		return -5;
	}

	// The console the set boots with now.
	std::string setting = kDefaultConsole;
	if (long old = select_fdt(buf, legacy_base(buf), id); old >= 0) {
		const char *ori = fdt_get_bootargs(buf.at(size_t(old)));
		printf("ori_bootargs = %s\n", ori != nullptr ? ori : "");
		if (ori != nullptr)
			setting = crv_fdt_console_setting(ori);
	}
	printf("device tty setting = %s\n", setting.c_str());

	std::fill(buf.at(0), buf.at(0) + buf.size, 0);
	if (!read_exact(handle->stream, buf.at(0), buf.size)) {
		printf("%s read fdt fail !\n", fn);
		return -5;
	}
	const long sel = select_fdt(buf, legacy_base(buf), id);
	if (sel < 0) {
		printf("%s invalid fdt pack image format !\n", fn);
		return -22;
	}
	uint8_t *fdt = buf.at(size_t(sel));
	std::string source = crv_hdr_param(*hdr).c_str();
	if (source.empty()) {
		puts("txt_param is empty, skip bootargs.");
		const char *own = fdt_get_bootargs(fdt);
		source = own != nullptr ? own : "";
	}
	std::string bootargs;
	if (!crv_fdt_merge_console(source.c_str(), setting, &bootargs)) {
		printf("%s update bootarg fail !\n", fn);
		return -5;
	}
	printf("update bootargs = %s\n", bootargs.c_str());
	if (set_bootargs(fdt, slot_room(buf, size_t(sel)), bootargs.c_str()) < 0) {
		printf("%s update bootarg fail !\n", fn);
		return -5;
	}
	if (legacy_base(buf) != 0)
		crv_fdt_fix_legacy_hdr(buf.at(0), fdt);
	if (fseeko(target.get(), off_t(hdr->target_offset), SEEK_SET) != 0) {
		printf("%s seek device fail !\n", fn);
		return -5;
	}
	return write_target(fn, target, buf);
}

int crv_ostrel_nand_fdt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (!valid_args(fn, hdr, handle))
		return -22;
	StreamGuard guard(handle);
	const auto target = crv_hdr_target(*hdr);
	crv_mtd_dev dev;
	if (int ret = crv_mtd_probe(target.c_str(), &dev); ret != 0) {
		printf("%s open mtd dev %s fail !\n", fn, target.c_str());
		return ret;
	}
	// The new blob is read and edited before the partition is erased, so
	// that a bad image leaves the flash as it was.
	Buffer buf;
	size_t off = 0;
	int ret = load_single(fn, handle, crv_hdr_param(*hdr).c_str(), &buf, &off, kNandMsgs);
	if (ret != 0)
		return ret;
	const uint32_t bytes = fdt_totalsize(buf.at(off)) + uint32_t(off);
	if (bytes > dev.size) {
		printf("%s file size too large !\n", fn);
		return -22;
	}
	std::string staged;
	if (off == 0) {
		const auto name = crv_hdr_name(*hdr);
		if (!crv_img_name_is_safe(name.c_str())) {
			printf("%s write tmp file fail !\n", fn);
			return -22;
		}
		staged = std::string(crv_ostrel_get_tmp_folder()) + "/" + name.c_str() + ".div";
		if (crv_fdt_write_blob(staged.c_str(), buf.at(0), buf.size) != 0) {
			printf("%s write tmp file fail !\n", fn);
			unlink(staged.c_str());
			return -5;
		}
	}
	if ((ret = crv_mtd_flash_erase(target.c_str(), 0, 0)) != 0) {
		printf("%s erase %s fail !\n", fn, target.c_str());
		if (!staged.empty())
			unlink(staged.c_str());
		return ret;
	}
	if (off != 0) {
		ret = crv_mtd_nand_write_raw_img_from_buff(target.c_str(), 0, buf.at(0), bytes, nullptr, 0,
							   zero_progress);
		if (ret < 0)
			printf("%s write to nand fail !\n", fn);
		return ret < 0 ? ret : 0;
	}
	crv_unique_fd src(open(staged.c_str(), O_RDONLY | O_CLOEXEC));
	if (!src.valid()) {
		printf("%s open temp file fail !\n", fn);
		unlink(staged.c_str());
		return -5;
	}
	crv_mtd_img_handle image{};
	image.fd = src.get();
	image.bytes = bytes;
	ret = crv_mtd_nand_write_raw_img(target.c_str(), 0, &image, zero_progress, nullptr);
	if (ret < 0)
		printf("%s write to nand fail !\n", fn);
	src.reset();
	unlink(staged.c_str());
	return ret < 0 ? ret : 0;
}

// Readers of the firmware image container: the whole-image check and the
// two ways to reach a per-image header and its payload.
#include "crv_container.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>
#include <memory>

#include "crv_md5.h"
#include "crv_ostrel_ctx.h"

namespace {

// The check reads large pieces: the digest is bound by the read size far
// more than by the MD5 itself.
constexpr std::size_t VERIFY_CHUNK = 1 << 20;

struct file_closer {
	void operator()(FILE *f) const { fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

// Verification percent: both sides counted in 2 KiB units; 0 while the
// header's total is below one unit.
int verify_percent(uint64_t counted, uint64_t total)
{
	uint64_t units = total >> 11;
	if (units == 0)
		return 0;
	uint64_t percent = (counted >> 11) * 100 / units;
	return percent > INT_MAX ? INT_MAX : int(percent);
}

// Size of the file behind a stream, or -1 when it is no regular file.
off_t stream_file_size(FILE *fp)
{
	struct stat st;
	if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode))
		return -1;
	return st.st_size;
}

// pos + length when that is a position inside the file (or its end);
// -1 when the sum runs past the end or out of the off_t range.
off_t payload_end(FILE *fp, off_t pos, uint64_t length)
{
	if (pos < 0 || length > uint64_t(INT64_MAX) - uint64_t(pos))
		return -1;
	off_t end = off_t(uint64_t(pos) + length);
	off_t size = stream_file_size(fp);
	if (size >= 0 && end > size)
		return -1;
	return end;
}

FILE *open_image_again()
{
	const char *path = crv_ostrel_context().img_path;
	if (path[0] == '\0')
		return nullptr;
	return fopen(path, "rbe");
}

bool is_pimg(const crv_per_img_hdr &h)
{
	return memcmp(h.magic, "PIMG", 4) == 0;
}

} // namespace

int crv_ostrel_verify_whole_image(FILE *fp)
{
	if (fp == nullptr) {
		printf("%s : bad file descriptor !\n", __func__);
		return -9;
	}
	if (fseeko(fp, 0, SEEK_SET) != 0) {
		int err = errno;
		printf("%s : seek fail !\n", __func__);
		return -err;
	}

	crv_whole_img_hdr hdr{};
	std::size_t got = fread(&hdr, 1, sizeof(hdr), fp);
	if (memcmp(hdr.magic, "TIMG", 4) != 0) {
		printf("%s : image header error !\n", __func__);
		return -22;
	}
	if (got < sizeof(hdr)) {
		printf("%s : read whole image header error !\n", __func__);
		return -5;
	}

	posix_fadvise(fileno(fp), 0, 0, POSIX_FADV_SEQUENTIAL);
	auto buf = std::make_unique<uint8_t[]>(VERIFY_CHUNK);
	crv_md5_ctx md5;
	crv_md5_init(&md5);
	uint64_t counted = 0;
	time_t last_report = 0;
	int percent = 0;
	for (;;) {
		std::size_t n = fread(buf.get(), 1, VERIFY_CHUNK, fp);
		crv_md5_update(&md5, buf.get(), int(n));
		counted += n;
		time_t now = time(nullptr);
		if (now > last_report) {
			last_report = now;
			percent = verify_percent(counted, hdr.total);
			crv_ostrel_notify_event(CRV_EVT_VERIFY_PROGRESS, percent);
		}
		if (n == 0)
			break;
	}

	uint8_t digest[16];
	crv_md5_final(&md5, digest);
	if (memcmp(digest, hdr.md5, sizeof(digest)) == 0) {
		crv_ostrel_notify_event(CRV_EVT_VERIFY_DONE, 100);
		return 0;
	}
	crv_ostrel_notify_event(CRV_ERR_VERIFY, percent);
	return -1;
}

int crv_ostrel_get_per_img(FILE *fp, crv_per_img_hdr *hdr, crv_per_img_handle *handle)
{
	if (fp == nullptr) {
		printf("%s : bad file descriptor !\n", __func__);
		return -9;
	}
	if (hdr == nullptr) {
		printf("%s invalid header buffer !\n", __func__);
		return -22;
	}
	if (handle == nullptr) {
		printf("%s invalid handle buffer !\n", __func__);
		return -22;
	}
	handle->stream = nullptr;

	std::size_t got = fread(hdr, 1, sizeof(*hdr), fp);
	if (got < sizeof(*hdr)) {
		if (got == 0 && feof(fp))
			return -5; // clean end of the walk
		printf("%s : read per image header error !\n", __func__);
		// Part of a header is no clean end: leave no end-of-file mark
		// that would make the caller take it for one.
		clearerr(fp);
		return -5;
	}
	if (!is_pimg(*hdr)) {
		printf("%s : not a vaild per image header !\n", __func__);
		return -22;
	}

	off_t pos = ftello(fp);
	handle->length = hdr->length;
	handle->offset = pos < 0 ? UINT64_MAX : uint64_t(pos);
	if (pos < 0) {
		printf("%s : setup per image handle fail !\n", __func__);
		return -22;
	}

	file_ptr payload(open_image_again());
	if (!payload) {
		printf("%s allocate new file handle fail !\n", __func__);
		return -22;
	}
	if (fseeko(payload.get(), pos, SEEK_SET) != 0) {
		printf("%s seek new file handle fail !\n", __func__);
		return -5;
	}
	// A length that runs past the end of the file (or wraps) would move
	// the walk onto a header that is not there, or back onto this one.
	off_t next = payload_end(fp, pos, hdr->length);
	if (next < 0 || fseeko(fp, next, SEEK_SET) != 0) {
		printf("%s seek to next pimg fail !\n", __func__);
		return -5;
	}
	handle->stream = payload.release();
	return 0;
}

int crv_ostrel_get_per_img_by_name(FILE *fp, const char *name, crv_per_img_hdr *hdr,
				   crv_per_img_handle *handle)
{
	if (fp == nullptr) {
		printf("%s not a valid fd !\n", __func__);
		return -22;
	}
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid header or handle buffer !\n", __func__);
		return -22;
	}
	if (name == nullptr)
		name = "";
	if (fseeko(fp, CRV_WHOLE_IMG_HDR_SIZE, SEEK_SET) != 0) {
		printf("%s seek fail !\n", __func__);
		return -5;
	}

	crv_per_img_hdr cur;
	for (;;) {
		if (fread(&cur, 1, sizeof(cur), fp) < sizeof(cur)) {
			printf("%s can't find image %s!\n", __func__, name);
			return -22;
		}
		if (!is_pimg(cur)) {
			printf("%s : not a vaild per image header !\n", __func__);
			return -22;
		}
		// The header's name over its own length: "sys" is found for
		// "sys_run", an empty name for anything.
		if (strncmp(cur.name, name, strnlen(cur.name, sizeof(cur.name))) == 0)
			break;
		// As in the walk: a length that runs past the end of the file
		// (or wraps) leads to no header.
		off_t next = payload_end(fp, ftello(fp), cur.length);
		if (next < 0 || fseeko(fp, next, SEEK_SET) != 0) {
			printf("%s skip image seek fail !\n", __func__);
			return -5;
		}
	}

	memcpy(hdr, &cur, sizeof(cur));
	handle->stream = nullptr;
	off_t pos = ftello(fp);
	handle->length = cur.length;
	handle->offset = pos < 0 ? UINT64_MAX : uint64_t(pos);
	// Readers size their buffers by the length: it must be what the file
	// holds.
	if (pos < 0 || payload_end(fp, pos, cur.length) < 0) {
		printf("%s setup phandle fail !\n", __func__);
		return -5;
	}
	file_ptr payload(open_image_again());
	if (!payload) {
		printf("%s allocate new whole image handle fail !\n", __func__);
		return -5;
	}
	if (fseeko(payload.get(), pos, SEEK_SET) != 0) {
		printf("%s seek to per image fail !\n", __func__);
		return -5;
	}
	handle->stream = payload.release();
	return int(CRV_PER_IMG_HDR_SIZE);
}

bool crv_handle_payload_in_file(const crv_per_img_handle *handle)
{
	if (handle == nullptr || handle->stream == nullptr)
		return false;
	const off_t pos = ftello(handle->stream);
	const off_t size = stream_file_size(handle->stream);
	if (pos < 0 || size < 0)
		return true; // no regular file: its reads tell
	return pos <= size && handle->length <= uint64_t(size - pos);
}

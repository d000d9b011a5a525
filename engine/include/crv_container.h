// Firmware image container: the whole-image header "TIMG" with an MD5 over
// the rest of the file, followed by images, each a "PIMG" per-image header
// and its payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

constexpr uint32_t CRV_WHOLE_IMG_HDR_SIZE = 0x120;
constexpr uint32_t CRV_PER_IMG_HDR_SIZE = 0x488;

// Little-endian, at offset 0 of the file.
struct crv_whole_img_hdr {
	char magic[4]; // "TIMG"
	uint8_t reserved0[4];
	uint64_t total; // only the divisor of progress percentages
	uint8_t md5[16]; // digest of every byte from 0x120 to the end of file
	uint8_t reserved1[0x100];
};
static_assert(sizeof(crv_whole_img_hdr) == CRV_WHOLE_IMG_HDR_SIZE);
static_assert(offsetof(crv_whole_img_hdr, magic) == 0x000);
static_assert(offsetof(crv_whole_img_hdr, total) == 0x008);
static_assert(offsetof(crv_whole_img_hdr, md5) == 0x010);
static_assert(offsetof(crv_whole_img_hdr, reserved1) == 0x020);

// Little-endian; the first at 0x120, each next one right after the payload
// of the one before. Text fields need not be terminated: read them through
// the accessors below.
struct crv_per_img_hdr {
	char magic[4]; // "PIMG"
	uint8_t reserved0[4];
	uint64_t length; // payload bytes following this header
	uint8_t reserved1[16];
	char name[16];
	char target[64]; // device path or partition
	char compress[16]; // "none", "gzip", "bzip2", "tgz", "sparse"
	uint32_t target_offset; // byte offset inside the target
	char param[1028]; // format text of FORMAT images, or the writer's parameter
};
static_assert(sizeof(crv_per_img_hdr) == CRV_PER_IMG_HDR_SIZE);
static_assert(offsetof(crv_per_img_hdr, magic) == 0x000);
static_assert(offsetof(crv_per_img_hdr, length) == 0x008);
static_assert(offsetof(crv_per_img_hdr, name) == 0x020);
static_assert(offsetof(crv_per_img_hdr, target) == 0x030);
static_assert(offsetof(crv_per_img_hdr, compress) == 0x070);
static_assert(offsetof(crv_per_img_hdr, target_offset) == 0x080);
static_assert(offsetof(crv_per_img_hdr, param) == 0x084);

// What a reader hands on with each image. The stream is a second stream on
// the whole-image path positioned at the payload; its receiver owns it and
// whoever closes it sets the pointer to null.
struct crv_per_img_handle {
	FILE *stream;
	uint64_t length; // payload length
	uint64_t offset; // payload position in the file
};

// 0 when the digest matches, -1 on mismatch, -9 null stream, -22 no "TIMG",
// -5 short header, -errno when the seek to 0 fails. Sends events 5, then 6
// or 0x40b.
int crv_ostrel_verify_whole_image(FILE *fp);

// Reads the per-image header at the stream's position, opens the payload
// handle and moves the stream to the next header. 0, or -5 / -9 / -22.
// After a negative result feof(fp) is true only when the stream stood
// exactly at the end of the file, i.e. the walk ended cleanly.
int crv_ostrel_get_per_img(FILE *fp, crv_per_img_hdr *hdr, crv_per_img_handle *handle);

// Searches from the first per-image header for the first whose name equals
// the first strlen(header name) characters of name (so a header "sys" is
// found for "sys_run", and an empty header name matches any name). Returns
// 0x488 with the stream at the payload, else -5 / -22.
int crv_ostrel_get_per_img_by_name(FILE *fp, const char *name, crv_per_img_hdr *hdr,
				   crv_per_img_handle *handle);

// Whether the handle's stream holds the whole payload from where it stands,
// so that a buffer of the handle's length can be filled from it: what a
// writer checks before it allocates by the length. A stream on no regular
// file cannot tell and passes. False without a stream.
bool crv_handle_payload_in_file(const crv_per_img_handle *handle);

// A header text field as a terminated string: at most N characters of the
// field, cut at its first NUL.
template <std::size_t N>
struct crv_hdr_text {
	char str[N + 1];

	explicit crv_hdr_text(const char (&field)[N])
	{
		std::size_t n = strnlen(field, N);
		memcpy(str, field, n);
		str[n] = '\0';
	}
	const char *c_str() const { return str; }
	std::string_view view() const { return str; }
	bool empty() const { return str[0] == '\0'; }
};

// The only way engine code reads the header's text fields.
inline crv_hdr_text<16> crv_hdr_name(const crv_per_img_hdr &h) { return crv_hdr_text<16>(h.name); }
inline crv_hdr_text<64> crv_hdr_target(const crv_per_img_hdr &h) { return crv_hdr_text<64>(h.target); }
inline crv_hdr_text<16> crv_hdr_compress(const crv_per_img_hdr &h) { return crv_hdr_text<16>(h.compress); }
inline crv_hdr_text<1028> crv_hdr_param(const crv_per_img_hdr &h) { return crv_hdr_text<1028>(h.param); }

// md5 table loading and region verification.
#include "crv_md5tbl.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "crv_container.h"
#include "crv_md5.h"

namespace {

std::array<crv_md5tbl_entry, CRV_MD5TBL_MAX> g_table{};
// Whether the loaded table dropped lines it could not hold: a name missing
// from it may be listed all the same.
bool g_incomplete = false;

constexpr std::size_t kLineBuf = 4096;
constexpr uint64_t kChunk = 10240;

struct FileCloser {
	void operator()(FILE *f) const { fclose(f); }
};
using unique_file = std::unique_ptr<FILE, FileCloser>;

struct FreeDeleter {
	void operator()(void *p) const { free(p); }
};

// Closes the payload stream of an image handle and clears its pointer.
struct HandleStream {
	crv_per_img_handle *h;
	~HandleStream()
	{
		if (h->stream) {
			fclose(h->stream);
			h->stream = nullptr;
		}
	}
};

bool parse_dec64(std::string_view s, uint64_t *out)
{
	if (s.empty())
		return false;
	uint64_t v = 0;
	for (char c : s) {
		if (c < '0' || c > '9')
			return false;
		unsigned d = unsigned(c - '0');
		if (v > (UINT64_MAX - d) / 10)
			return false;
		v = v * 10 + d;
	}
	*out = v;
	return true;
}

int hex_value(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

bool parse_digest(std::string_view s, uint8_t out[16])
{
	if (s.size() != 32)
		return false;
	for (int i = 0; i < 16; i++) {
		int hi = hex_value(s[2 * i]), lo = hex_value(s[2 * i + 1]);
		if (hi < 0 || lo < 0)
			return false;
		out[i] = uint8_t(hi << 4 | lo);
	}
	return true;
}

bool copy_field(char *dst, std::size_t size, std::string_view s)
{
	if (s.empty() || s.size() >= size)
		return false;
	memcpy(dst, s.data(), s.size());
	dst[s.size()] = '\0';
	return true;
}

// One table line, its line end already cut off.
bool parse_entry(std::string_view line, crv_md5tbl_entry *e)
{
	std::string_view f[5];
	for (int i = 0; i < 5; i++) {
		std::size_t colon = line.find(':');
		if (i < 4 && colon == std::string_view::npos)
			return false;
		if (i == 4 && colon != std::string_view::npos)
			return false;
		f[i] = line.substr(0, colon);
		line = i < 4 ? line.substr(colon + 1) : std::string_view{};
	}
	crv_md5tbl_entry tmp{};
	if (!copy_field(tmp.name, sizeof(tmp.name), f[0]) || !copy_field(tmp.dev, sizeof(tmp.dev), f[1]) ||
	    !parse_dec64(f[2], &tmp.offset) || !parse_dec64(f[3], &tmp.size) || !parse_digest(f[4], tmp.digest))
		return false;
	*e = tmp;
	return true;
}

// A line that is no valid entry: kept under its name when that can be
// read, so that verifying the name fails rather than passes unchecked.
void keep_malformed(std::string_view line, crv_md5tbl_entry *e)
{
	crv_md5tbl_entry tmp{};
	if (!copy_field(tmp.name, sizeof(tmp.name), line.substr(0, line.find(':')))) {
		g_incomplete = true;
		return;
	}
	tmp.malformed = true;
	*e = tmp;
}

void load_lines(FILE *tmp)
{
	const char *fn = "crv_ostrel_gen_md5tbl_in_ram";
	char buf[kLineBuf];
	int count = 0, lineno = 0;
	bool overflowing = false; // the rest of a line longer than the buffer
	while (fgets(buf, sizeof(buf), tmp)) {
		std::size_t len = strlen(buf);
		bool complete = len > 0 && buf[len - 1] == '\n';
		if (overflowing) {
			overflowing = !complete;
			continue;
		}
		lineno++;
		if (!complete && !feof(tmp)) {
			printf("%s:invalid md5tbl line %d !\n", fn, lineno);
			g_incomplete = true;
			overflowing = true;
			continue;
		}
		while (len > 0 && (buf[len - 1] == '\n' || buf[len - 1] == '\r'))
			len--;
		if (len == 0)
			continue;
		if (count == CRV_MD5TBL_MAX) {
			printf("%s:md5tbl holds more than %d entries, the rest is ignored !\n", fn, CRV_MD5TBL_MAX);
			g_incomplete = true;
			return;
		}
		const std::string_view line(buf, len);
		if (!parse_entry(line, &g_table[count])) {
			printf("%s:invalid md5tbl line %d !\n", fn, lineno);
			keep_malformed(line, &g_table[count]);
		}
		if (g_table[count].name[0] != '\0')
			count++;
	}
}

} // namespace

const crv_md5tbl_entry *crv_md5tbl_entries()
{
	return g_table.data();
}

int crv_ostrel_gen_md5tbl_in_ram(FILE *fp)
{
	unique_file tmp(tmpfile());
	crv_per_img_hdr hdr;
	crv_per_img_handle handle{};
	int ret = crv_ostrel_get_per_img_by_name(fp, "md5tbl", &hdr, &handle);
	if (ret < 0)
		return ret;
	HandleStream stream_owner{&handle};

	if (!tmp) {
		printf("%s:allocate temp file fail !\n", __func__);
		return -5;
	}
	if (handle.length > SIZE_MAX) {
		printf("%s:allocate buffer fail !\n", __func__);
		return -12;
	}
	std::size_t len = std::size_t(handle.length);
	std::unique_ptr<uint8_t, FreeDeleter> buf(static_cast<uint8_t *>(malloc(len ? len : 1)));
	if (!buf) {
		printf("%s:allocate buffer fail !\n", __func__);
		return -12;
	}
	if (fread(buf.get(), 1, len, handle.stream) != len) {
		printf("%s:extract md5tbl fail !\n", __func__);
		return -5;
	}
	if (fwrite(buf.get(), 1, len, tmp.get()) != len) {
		printf("%s:write to temp file fail !\n", __func__);
		return -5;
	}
	rewind(tmp.get());

	g_table.fill(crv_md5tbl_entry{});
	g_incomplete = false;
	load_lines(tmp.get());
	return 0;
}

int crv_otsrel_md5_part_verify(const char *name)
{
	if (name == nullptr)
		return 0;
	const crv_md5tbl_entry *e = nullptr;
	for (const auto &cand : g_table) {
		if (cand.name[0] == '\0')
			break;
		if (strcmp(cand.name, name) == 0) {
			e = &cand;
			break;
		}
	}
	if (e == nullptr && g_incomplete) {
		printf("%s md5tbl incomplete, can't verify %s !\n", __func__, name);
		return -1;
	}
	if (e == nullptr)
		return 0;
	if (e->malformed) {
		printf("%s md5tbl entry %s invalid !\n", __func__, e->name);
		return -1;
	}

	unique_file dev(fopen(e->dev, "rbe"));
	if (!dev) {
		printf("%s open device %s fail !\n", __func__, e->dev);
		return -5;
	}
	if (e->offset > uint64_t(INT64_MAX) || fseeko(dev.get(), off_t(e->offset), SEEK_SET) != 0) {
		int err = e->offset > uint64_t(INT64_MAX) ? EINVAL : errno;
		printf("%s seek offset fail !\n", __func__);
		return -err;
	}

	printf("Verify %s ...\n", e->name);
	crv_md5_ctx ctx;
	crv_md5_init(&ctx);
	static_assert(sizeof(off_t) == 8);
	auto chunk = std::make_unique<uint8_t[]>(kChunk);
	for (uint64_t left = e->size; left > 0;) {
		std::size_t n = std::size_t(std::min(left, kChunk));
		if (fread(chunk.get(), 1, n, dev.get()) != n) {
			printf("%s read fail !\n", __func__);
			return -5;
		}
		crv_md5_update(&ctx, chunk.get(), int(n));
		left -= n;
	}
	uint8_t digest[16];
	crv_md5_final(&ctx, digest);
	if (memcmp(digest, e->digest, sizeof(digest)) != 0) {
		printf("Veify %s fail !!!\n", e->name);
		return -1;
	}
	return 0;
}

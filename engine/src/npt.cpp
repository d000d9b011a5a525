// Text partition-table parser and the binary table built from it.
#include "crv_npt.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "crv_mtd.h"
#include "crv_text.h"

namespace {

constexpr const char *kStart = "KQ58_PART_TABLE_START";
constexpr const char *kVolTable = "KQ58_PART_UBI_VOL_TABLE";
constexpr const char *kNext = "KQ58_PART_TABLE_NEXT";
constexpr const char *kEnd = "KQ58_PART_TABLE_END";
constexpr std::size_t kMaxNameLen = 15;
constexpr uint32_t kMaxVolIndex = 254;

bool is(const char *field, const char *token)
{
	return strcmp(field, token) == 0;
}

bool is_blank(char c)
{
	return c == ' ' || c == '\t';
}

// A decimal number of digits only (no sign), blanks around it allowed, that
// fits 64 bits.
bool parse_dec(const char *s, uint64_t *out)
{
	while (is_blank(*s))
		s++;
	if (*s < '0' || *s > '9')
		return false;
	uint64_t v = 0;
	for (; *s >= '0' && *s <= '9'; s++) {
		unsigned d = unsigned(*s - '0');
		if (v > (UINT64_MAX - d) / 10)
			return false;
		v = v * 10 + d;
	}
	while (is_blank(*s))
		s++;
	if (*s != '\0')
		return false;
	*out = v;
	return true;
}

bool parse_u32(const char *s, uint32_t *out)
{
	uint64_t v;
	if (!parse_dec(s, &v) || v > UINT32_MAX)
		return false;
	*out = uint32_t(v);
	return true;
}

// How a number field reads in a message: its leading decimal value,
// clamped to int.
int shown(const char *s)
{
	errno = 0;
	long v = strtol(s, nullptr, 10);
	return int(std::clamp<long>(v, INT_MIN, INT_MAX));
}

// count units of unit_kb KiB in bytes; false when the result would not fit
// 32 bits.
bool unit_bytes(uint64_t count, uint32_t unit_kb, uint64_t *out)
{
	uint64_t unit = uint64_t(unit_kb) * 1024;
	if (unit == 0 || count > UINT32_MAX / unit)
		return false;
	*out = count * unit;
	return true;
}

struct Fields {
	char f[CRV_NPT_FIELDS][CRV_NPT_FIELD_SIZE];
};

class Parser {
public:
	explicit Parser(crv_npt_ctx *ctx) : ctx_(ctx), line_(std::make_unique<Fields>()) {}

	int run();

private:
	void next() { crv_npt_next_line(&cur_, line_->f); }
	const char *f(int i) const { return line_->f[i - 1]; }
	void reset_table();
	int read_header();
	int read_part_row();
	int read_vol_row();

	// Each failure names what was wrong, then the fields of its line.
	int fail_line()
	{
		printf("npt_err: error partition: %s %s %s %s\n", f(1), f(2), f(3), f(6));
		return -1;
	}
	int fail(const char *msg)
	{
		puts(msg);
		return fail_line();
	}
	int failf(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
	{
		va_list ap;
		va_start(ap, fmt);
		vprintf(fmt, ap);
		va_end(ap);
		return fail_line();
	}

	crv_npt_ctx *ctx_;
	std::unique_ptr<Fields> line_;
	char *cur_ = nullptr;
};

void Parser::reset_table()
{
	// Everything after the text belongs to the table being read: rows of a
	// skipped table must not linger.
	auto *from = reinterpret_cast<char *>(ctx_) + offsetof(crv_npt_ctx, version);
	memset(from, 0, sizeof(*ctx_) - offsetof(crv_npt_ctx, version));
}

int Parser::read_header()
{
	next();
	if (!is(f(1), "VERSION"))
		return fail("npt_err: error parsing version");
	if (!parse_u32(f(2), &ctx_->version) || ctx_->version != 1)
		return fail("npt_err: un-supported version");

	next();
	if (!is(f(1), "NAME"))
		return fail("npt_err: error parsing name");
	crv_text_copy(ctx_->name, f(2)); // longer names are cut to 31 characters

	struct {
		const char *key;
		uint32_t *value;
		const char *msg;
	} const ids[] = {
		{"CHIP", &ctx_->chip_id, "npt_err: error parsing chip id"},
		{"NAND", &ctx_->nand_id, "npt_err: error parsing nand id"},
		{"SIZE", &ctx_->size, "npt_err: error parsing nand size"},
	};
	for (const auto &id : ids) {
		next();
		if (!is(f(1), id.key) || !parse_u32(f(2), id.value))
			return fail(id.msg);
	}

	next();
	if (!is(f(1), "UNIT_KB") || !parse_u32(f(2), &ctx_->unit_kb))
		return fail("npt_err: error parsing unit_kb");
	if (ctx_->unit_kb == 0 || (ctx_->unit_kb & (ctx_->unit_kb - 1)) != 0)
		return failf("unit size (KB): %u is not power of 2!!\n", ctx_->unit_kb);

	next();
	if (!is(f(1), "UNIT_VOL_KB") || !parse_u32(f(2), &ctx_->vol_unit_kb))
		return fail("npt_err: error parsing unit_vol_kb");
	if (ctx_->vol_unit_kb == 0)
		return failf("invalid unit vol size (KB): %u\n", ctx_->vol_unit_kb);

	next();
	if (!is(f(1), "ID") && !is(f(2), "NAME") && !is(f(3), "SIZE"))
		return fail("npt_err: error parsing table title");
	return 0;
}

int Parser::read_part_row()
{
	uint32_t n = ctx_->part_count;
	if (n >= CRV_NPT_MAX_PARTS)
		return failf("npt_err: too many partitions, max %d\n", CRV_NPT_MAX_PARTS);
	uint64_t id;
	if (!parse_dec(f(1), &id) || id != n)
		return fail("npt_err: error reading part id");

	std::size_t len = strlen(f(2));
	if (len == 0)
		return fail("npt_err: error reading part name");
	if (len > kMaxNameLen)
		return failf("npt_err: part name:%s is too long, max %d byte!\n", f(2), int(kMaxNameLen));

	uint64_t units, size;
	if (!parse_dec(f(3), &units) || units == 0 || !unit_bytes(units, ctx_->unit_kb, &size))
		return fail("npt_err: error reading part size");
	if (size % (uint64_t(ctx_->unit_kb) * 1024) != 0)
		return fail("npt_err: part size not aligned");

	crv_npt_part &p = ctx_->parts[n];
	crv_text_copy(p.name, f(2));
	p.size = size;
	crv_text_copy(ctx_->part_text[n], f(6)); // kept up to 31 characters
	ctx_->part_count = n + 1;
	return 0;
}

int Parser::read_vol_row()
{
	uint32_t n = ctx_->vol_count;
	if (n >= CRV_NPT_MAX_VOLS)
		return failf("npt_err: too many volumes, max %d\n", CRV_NPT_MAX_VOLS);
	uint64_t mtd_idx;
	if (!parse_dec(f(1), &mtd_idx) || mtd_idx >= ctx_->part_count)
		return failf("npt_err: invalid mtd_idx: %d, out of %d~%d\n", shown(f(1)), 0,
			     int(ctx_->part_count) - 1);

	std::size_t len = strlen(f(2));
	if (len == 0)
		return fail("npt_err: error reading vol name");
	if (len > kMaxNameLen)
		return failf("npt_err: vol name:%s is too long, max %d byte!\n", f(2), int(kMaxNameLen));

	uint64_t units, size;
	if (!parse_dec(f(3), &units) || units == 0 || !unit_bytes(units, ctx_->vol_unit_kb, &size))
		return fail("npt_err: error reading vol size");

	uint64_t vol_idx;
	if (!parse_dec(f(4), &vol_idx) || vol_idx > kMaxVolIndex)
		return failf("npt_err: invalid vol_idx: %d, out of 0~254\n", shown(f(4)));

	crv_npt_vol &v = ctx_->vols[n];
	v.part_index = uint32_t(mtd_idx);
	v.vol_index = uint32_t(vol_idx);
	crv_text_copy(v.name, f(2));
	v.size = size;
	ctx_->vol_count = n + 1;
	return 0;
}

int Parser::run()
{
	ctx_->text[CRV_NPT_MAX_TEXT] = '\0';
	cur_ = ctx_->text;

	next();
	if (!is(f(1), kStart))
		return fail("npt_err: error parsing start token");

	for (;;) {
		reset_table();
		if (read_header() != 0)
			return -1;

		// Partition rows, then optionally the table's UBI volumes. A
		// table is read to its end token whatever its row count, and
		// only then tested against this set.
		for (;;) {
			next();
			if (is(f(1), kVolTable) || is(f(1), kNext) || is(f(1), kEnd))
				break;
			if (read_part_row() != 0)
				return -1;
		}
		if (is(f(1), kVolTable)) {
			next();
			if (!is(f(1), "MTD_IDX") && !is(f(2), "NAME") && !is(f(3), "SIZE"))
				return fail("npt_err: error parsing vol table title");
			for (;;) {
				next();
				if (is(f(1), kNext) || is(f(1), kEnd))
					break;
				if (read_vol_row() != 0)
					return -1;
			}
		}

		if (crv_npt_table_matches(ctx_))
			return 0;
		if (is(f(1), kEnd))
			return fail("npt_err: no matching partition table");
	}
}

} // namespace

uint32_t crv_npt_get_chip_id()
{
	return 0x119EB;
}

uint32_t crv_npt_get_nand_id()
{
	return 0x01020304;
}

uint32_t crv_npt_get_nand_size()
{
	return 2048;
}

uint32_t crv_npt_get_block_size()
{
	return 0x20000;
}

void crv_npt_split_fields(const char *line, char (*fields)[CRV_NPT_FIELD_SIZE])
{
	for (int i = 0; i < CRV_NPT_FIELDS; i++) {
		const char *comma = line ? strchr(line, ',') : nullptr;
		std::size_t len = line ? (comma ? std::size_t(comma - line) : strlen(line)) : 0;
		len = std::min<std::size_t>(len, CRV_NPT_FIELD_SIZE - 1);
		if (len)
			memcpy(fields[i], line, len);
		fields[i][len] = '\0';
		line = comma ? comma + 1 : nullptr;
	}
}

void crv_npt_next_line(char **cursor, char (*fields)[CRV_NPT_FIELD_SIZE])
{
	char *line = *cursor;
	if (line == nullptr) {
		crv_npt_split_fields(nullptr, fields);
		return;
	}
	char *rest;
	if (char *cr = strchr(line, '\r')) {
		*cr = '\0';
		char *lf = strchr(cr + 1, '\n');
		rest = lf ? lf + 1 : cr + 1 + strlen(cr + 1);
	} else {
		rest = line + strlen(line);
	}
	crv_npt_split_fields(line, fields);
	*cursor = rest;
}

int crv_npt_parse_text_table(crv_npt_ctx *ctx)
{
	if (ctx == nullptr)
		return -1;
	return Parser(ctx).run();
}

int crv_npt_table_matches(const crv_npt_ctx *ctx)
{
	auto fits = [](uint32_t v, uint32_t mine) { return v == 0 || v == mine; };
	return fits(ctx->chip_id, crv_npt_get_chip_id()) && fits(ctx->nand_id, crv_npt_get_nand_id()) &&
	       fits(ctx->size, crv_npt_get_nand_size());
}

int crv_npt_to_binary(const crv_npt_ctx *ctx, crv_npt_bin *bin)
{
	memset(bin, 0, sizeof(*bin));
	uint32_t parts = std::min<uint32_t>(ctx->part_count, CRV_NPT_MAX_PARTS);
	uint64_t offset = 0;
	for (uint32_t i = 0; i < parts; i++) {
		crv_npt_bin_part &p = bin->parts[i];
		memcpy(p.name, ctx->parts[i].name, strnlen(ctx->parts[i].name, sizeof(p.name) - 1));
		p.size = ctx->parts[i].size;
		p.offset = offset;
		offset += p.size;
	}
	uint32_t vols = std::min<uint32_t>(ctx->vol_count, CRV_NPT_MAX_VOLS);
	for (uint32_t i = 0; i < vols; i++) {
		crv_npt_bin_vol &v = bin->vols[i];
		v.part_index = ctx->vols[i].part_index;
		v.vol_index = ctx->vols[i].vol_index;
		memcpy(v.name, ctx->vols[i].name, strnlen(ctx->vols[i].name, sizeof(v.name) - 1));
		v.size = ctx->vols[i].size;
	}
	const auto *body = reinterpret_cast<const uint8_t *>(bin) + offsetof(crv_npt_bin, parts);
	bin->crc_head = crv_mtd_crc32(0, body, 0x200);
	bin->crc_all = crv_mtd_crc32(0, body, int(CRV_NPT_BIN_SIZE - 8));
	return 0;
}

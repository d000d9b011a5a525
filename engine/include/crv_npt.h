// NAND partition tables: the text form carried in firmware images, the
// parser's working record and the 0x808-byte binary form the boot loader
// reads.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// Longest table text the parser takes (the payload limit of the NAND
// partition-table writer).
constexpr int CRV_NPT_MAX_TEXT = 4096;
constexpr int CRV_NPT_MAX_PARTS = 32;
constexpr int CRV_NPT_MAX_VOLS = 32;
// A text line holds up to six comma-separated fields; each field buffer can
// take a whole line, so the length checks always see the full text.
constexpr int CRV_NPT_FIELDS = 6;
constexpr int CRV_NPT_FIELD_SIZE = CRV_NPT_MAX_TEXT + 1;

struct crv_npt_part {
	char name[16];
	uint64_t size; // bytes
};

struct crv_npt_vol {
	uint32_t part_index;
	uint32_t vol_index;
	char name[16];
	uint64_t size; // bytes
};

struct crv_npt_ctx {
	// Table text as loaded by the caller; one byte more than the longest
	// table so that a full-length table still ends in a NUL.
	char text[CRV_NPT_MAX_TEXT + 1];
	uint32_t version;
	char name[32];
	uint32_t chip_id;
	uint32_t nand_id;
	uint32_t size;
	uint32_t unit_kb;
	uint32_t vol_unit_kb;
	uint32_t part_count;
	uint32_t vol_count;
	char part_text[CRV_NPT_MAX_PARTS][32];
	crv_npt_part parts[CRV_NPT_MAX_PARTS];
	crv_npt_vol vols[CRV_NPT_MAX_VOLS];
};

// ---- Binary form -----------------------------------------------------------

static_assert(std::endian::native == std::endian::little, "the binary table is little-endian");

struct crv_npt_bin_part {
	char name[16]; // at most 15 characters and a NUL
	uint64_t size; // bytes
	uint64_t offset; // bytes: the sum of the sizes before it
};
static_assert(sizeof(crv_npt_bin_part) == 32);
static_assert(offsetof(crv_npt_bin_part, size) == 16);
static_assert(offsetof(crv_npt_bin_part, offset) == 24);

struct crv_npt_bin_vol {
	uint32_t part_index;
	uint32_t vol_index;
	char name[16];
	uint64_t size; // bytes
};
static_assert(sizeof(crv_npt_bin_vol) == 32);
static_assert(offsetof(crv_npt_bin_vol, vol_index) == 4);
static_assert(offsetof(crv_npt_bin_vol, name) == 8);
static_assert(offsetof(crv_npt_bin_vol, size) == 24);

// Little-endian, zero where unused. Both CRC words run the reflected CRC-32
// table from 0 without inversions.
struct crv_npt_bin {
	uint32_t crc_all; // over bytes 0x008-0x807
	uint32_t crc_head; // over bytes 0x008-0x207 (the first 16 partitions)
	crv_npt_bin_part parts[CRV_NPT_MAX_PARTS];
	crv_npt_bin_vol vols[CRV_NPT_MAX_VOLS];
};
constexpr std::size_t CRV_NPT_BIN_SIZE = 0x808;
static_assert(sizeof(crv_npt_bin) == CRV_NPT_BIN_SIZE);
static_assert(offsetof(crv_npt_bin, crc_head) == 0x004);
static_assert(offsetof(crv_npt_bin, parts) == 0x008);
static_assert(offsetof(crv_npt_bin, vols) == 0x408);

// ---- This set's values -----------------------------------------------------

uint32_t crv_npt_get_chip_id(); // 0x119EB
uint32_t crv_npt_get_nand_id(); // 0x01020304
uint32_t crv_npt_get_nand_size(); // 2048
uint32_t crv_npt_get_block_size(); // 0x20000

// ---- Parser ----------------------------------------------------------------

// Parses ctx->text (loaded by the caller) and keeps the first table that
// fits this set in ctx. 0, or -1 after printing what was wrong and the
// offending line.
int crv_npt_parse_text_table(crv_npt_ctx *ctx);

// 1 when each of the table's chip id, NAND id and size is 0 or this set's
// value, else 0.
int crv_npt_table_matches(const crv_npt_ctx *ctx);

// Clears bin, copies the parsed partitions (with their offsets) and volumes
// and fills both CRC words. Returns 0.
int crv_npt_to_binary(const crv_npt_ctx *ctx, crv_npt_bin *bin);

// Cuts a line at commas into the six field buffers (missing fields are
// empty, fields past the sixth are ignored); each copy is bounded and
// terminated.
void crv_npt_split_fields(const char *line, char (*fields)[CRV_NPT_FIELD_SIZE]);

// Takes the line at *cursor: it ends at the next CR, which is replaced by a
// NUL (without a CR the rest of the text is the line). Splits it into the six
// field buffers and moves *cursor past the next LF, or to the end of the text
// when there is none. At the end of the text every field is empty.
void crv_npt_next_line(char **cursor, char (*fields)[CRV_NPT_FIELD_SIZE]);

// GUID partition table writer: protective MBR, primary header, 128 entries,
// backup entries and backup header, built from a text list of partition
// names and sizes ("name;sectors" per line, "#" comments, size 0 = the rest
// of the usable area). Also the engine's standard CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int CRVGPT_MAX_PART_ENTRIES = 128;

// One partition of the text list: an owned copy of the name (malloc'ed; the
// caller frees it, crvgpt_free_part_list does so) and the size in 512-byte
// sectors. An array of entries ends at the first entry without a name.
struct crvgpt_part_info {
	char *name;
	uint32_t size;
};

// Standard reflected CRC-32 (0xEDB88320). The running value is inverted on
// entry and the result on exit, so crc 0 starts a new sum and calls chain.
uint32_t crvgpt_crc32(uint32_t crc, const void *buf, size_t len);

// ASCII name to UTF-16LE (each byte widened). Clears the output first.
// Returns -1 when the output holds fewer than twice the name's bytes.
int crvgpt_str_to_utf16(const char *str, uint8_t *out, size_t out_size);
// UTF-16LE to ASCII: low byte of each unit up to the first zero unit or len.
int crvgpt_utf16_to_str(const uint8_t *utf16, char *out, size_t len);

// Disk size S in 512-byte sectors from "/sys/class/block/mmcblk0/size";
// 0 when it cannot be read.
uint64_t crvgpt_get_dev_max_sectors(void);

// Reads the text list into entries[0..CRVGPT_MAX_PART_ENTRIES-1]; *count is
// the number of partitions. A list longer than the table holds is refused.
int crv_parse_gpt_text_tbl(const char *path, crvgpt_part_info *entries, int *count);
void crvgpt_free_part_list(crvgpt_part_info *entries, int count);

// Gives every size-0 entry the rest of the usable area (S - 2081 sectors
// less the entries before it).
void crvgpt_gen_dram_part_tbl(crvgpt_part_info *entries, int count);

// The device the writer and the printer open.
void crvgpt_set_dev_path(const char *path);
const char *crvgpt_get_dev_path(void);

int crvgpt_write_gpt(crvgpt_part_info *entries, int count);
void crvgpt_dump_gpt(void);

// Test hook: where the disk size is read from (nullptr restores the default).
void crvgpt_set_size_path_for_test(const char *path);

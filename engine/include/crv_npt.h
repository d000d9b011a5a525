// The text partition-table parser's working record.
#pragma once

#include <cstdint>

// Longest table text the parser takes (the payload limit of the NAND
// partition-table writer).
constexpr int CRV_NPT_MAX_TEXT = 4096;
constexpr int CRV_NPT_MAX_PARTS = 32;
constexpr int CRV_NPT_MAX_VOLS = 32;

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

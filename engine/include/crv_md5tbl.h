// The md5 table: expected digests of regions of devices, loaded from the
// firmware image's "md5tbl" image, and the check of one region against it.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int CRV_MD5TBL_MAX = 30;

// One line "name:device:offset:size:md5hex" of the table. An entry with an
// empty name ends the table.
struct crv_md5tbl_entry {
	char name[16];
	char dev[64];
	uint64_t offset; // bytes
	uint64_t size; // bytes
	uint8_t digest[16];
	bool malformed; // the line names this entry but its other fields are unusable
};

// Loads the "md5tbl" image of the open firmware image into the engine's
// table (cleared first; lines after the 30th are ignored). A line that does
// not hold five valid fields is reported and, when its name can be read,
// kept as a malformed entry. 0, the image lookup's negative result, -5 or
// -12.
int crv_ostrel_gen_md5tbl_in_ram(FILE *fp);

// Hashes the region the table lists under name and compares it with the
// digest there: 0 on a match or when the table holds no such name, -1 on a
// mismatch, -5 when the device cannot be opened or read, -errno when the
// seek fails. A name whose line was malformed fails with -1, and so does
// any name not found when the table had lines it could not hold (a
// malformed line without a readable name, or lines after the 30th).
int crv_otsrel_md5_part_verify(const char *name);

// The engine's table (for tests and the engine's own units).
const crv_md5tbl_entry *crv_md5tbl_entries();

// UBI images and on-flash checks for the tests, written from the record
// layouts independently of the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ubitest {

struct Geometry {
	uint32_t peb;
	uint32_t vid_off;
	uint32_t data_off;
};

// A 64-byte EC header with a correct CRC.
std::string ec_header(uint64_t ec, uint32_t vid_off, uint32_t data_off, uint32_t seq);
// A dynamic volume's VID header.
std::string vid_header(uint32_t vol_id, uint32_t lnum, uint8_t compat = 0);
// A UBI image: one PEB per entry of `lebs`, each the EC header (count ec),
// the VID header of volume 0 and the LEB data, 0xFF elsewhere.
std::string image(const Geometry &g, const std::vector<std::string> &lebs, uint64_t ec = 0, uint32_t seq = 0x1234);

struct EcInfo {
	bool valid = false; // magic and CRC right
	uint64_t ec = 0;
	uint32_t vid_off = 0, data_off = 0, seq = 0;
	uint8_t version = 0;
};
EcInfo parse_ec(const std::string &block);

struct VidInfo {
	bool valid = false;
	uint32_t vol_id = 0, lnum = 0;
	uint8_t type = 0, compat = 0;
};
VidInfo parse_vid(const std::string &block, uint32_t vid_off);

// Linux's attach rules (drivers/mtd/ubi build.c io_init, io.c
// validate_ec_hdr and validate_vid_hdr's magic and CRC, attach.c scan_peb),
// applied to a whole flash with the given geometry attached with the given
// VID header offset (0: the kernel's default, one sub-page): "" when it
// would attach read-write, else what the kernel reports first. Blocks listed
// as bad are skipped.
std::string attach_refusal(const std::string &flash, uint32_t peb, uint32_t page, uint32_t subpage,
			   uint32_t vid_hdr_offset = 0, const std::vector<int> &bad = {});

} // namespace ubitest

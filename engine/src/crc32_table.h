// The byte table of the reflected CRC-32 (polynomial 0xEDB88320) that the
// GUID table and the MTD/UBI records share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

const std::array<uint32_t, 256> &crv_crc32_table();

// One byte at a time through the table, no inversion.
inline uint32_t crv_crc32_raw(uint32_t crc, const uint8_t *p, std::size_t len)
{
	const auto &table = crv_crc32_table();
	while (len--)
		crc = table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
	return crc;
}

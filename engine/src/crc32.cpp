#include "crv_crc32.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> make_table()
{
	std::array<uint32_t, 256> table{};
	for (uint32_t i = 0; i < 256; i++) {
		uint32_t c = i;
		for (int k = 0; k < 8; k++)
			c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
		table[i] = c;
	}
	return table;
}

constexpr std::array<uint32_t, 256> kTable = make_table();

} // namespace

uint32_t crv_crc32_raw(uint32_t crc, const void *buf, size_t len)
{
	const auto *p = static_cast<const uint8_t *>(buf);
	while (len--)
		crc = kTable[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
	return crc;
}

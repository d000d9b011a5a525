// Access-oracle decoder of the HDMA engine (khost/oracle.hpp).
#pragma once

#include <cstdint>

namespace khost::hw::hdma {

constexpr uint64_t kBase = 0xFC0C0000;

// Decodes every channel start of the engine at `base` (bit 0 of 0xA0 +
// 0x40 * channel): the copy, fill or data-address list that channel's
// registers program, the list's own entries included. `high_bits`: the chip
// takes address bits 33:32 from 0x3C (Q2, Q5).
void install(uint64_t base = kBase, bool high_bits = true);

} // namespace khost::hw::hdma

// Access-oracle decoder of the XDMA engine (khost/oracle.hpp).
#pragma once

#include <cstdint>

namespace khost::hw::xdma {

constexpr uint64_t kBase = 0xFC090000;

// Decodes every start of the engine at `base` (bit 0 of 0x20): the fill or
// copy, contiguous or as lines, that its registers program. `high_bits`:
// the chip takes address bits 33:32 from 0x2C (Q2, Q5).
void install(uint64_t base = kBase, bool high_bits = true);

} // namespace khost::hw::xdma

// Access-oracle decoder of the DispAge engine (khost/oracle.hpp).
#pragma once

#include <cstdint>

namespace khost::hw::dispage {

constexpr uint64_t kBase = 0xFC058200;		// engine registers
constexpr uint64_t kSecure = 0xFC3A0000;	// plane addresses
constexpr uint64_t kLpae = 0xFD650188;		// address bits 33:32 (Q2, Q5)

// Decodes every start of the engine (bit 0 of its control word): the fill
// it writes, or the transform it reads and writes, plane by plane. `lpae`:
// the chip's LPAE register, 0 for none.
void install(uint64_t base = kBase, uint64_t secure = kSecure, uint64_t lpae = kLpae);

} // namespace khost::hw::dispage

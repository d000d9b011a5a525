// The 2D graphics engine's reach, for the access oracle (khost/oracle.hpp).
#pragma once

#include "khost/oracle.hpp"

#include <cstdint>
#include <functional>

namespace khost::hw {

// Decodes every start of the 2D engine whose registers lie at `regs` and
// whose command processor lies at `cp`: a write of the control register
// (0x000) with a start bit (bit 0: the RGB programming model; bit 1 or 2,
// 2 being a fill: the luma/chroma model), and a command-list start (0x30101
// to the command processor's 0x1C), whose list is walked from the address
// in 0x18 through its register writes, jumps and starts.
void gpu(uint64_t regs, uint64_t cp);

// What one start reaches: `word(offset)` reads an engine register, `start`
// is the value written to 0x000.
using GpuRegs = std::function<uint32_t(uint32_t offset)>;
void gpu_decode(const GpuRegs &word, uint32_t start, khost::oracle::Accesses &out);

} // namespace khost::hw

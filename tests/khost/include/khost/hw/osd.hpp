// The display's OSD block as the hardware behaves, for tests and fuzzers:
// its update requests, its vsync, and where its planes read memory.
#pragma once

#include "khost/oracle.hpp"

#include <cstdint>

namespace khost::hw::osd {

constexpr uint64_t kRegs = 0xfc0d0000;
constexpr unsigned kVsyncIrq = 50;

// The register window (add_regs) with the block's behaviour: an update
// request (0xfc0db000) stays pending until the next vsync takes it (while
// updates wait for the analogue TV timing, which there is none of here, it
// stays); the palette trigger clears once taken.
void install();
// The access decoder: every range the shown planes read, checked by the
// oracle at every vsync.
void watch();
// The ranges the shown planes read with the registers as they are.
khost::oracle::Accesses decode();
// One vsync: the pending updates are taken, the oracle checks what the
// planes read, then the block's interrupt runs (the platform's interrupt 50,
// when the platform module is there).
void vsync();

} // namespace khost::hw::osd

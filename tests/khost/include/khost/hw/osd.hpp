// The display's OSD block as the hardware behaves, for tests and fuzzers:
// its update requests, its vsync, and where its planes read memory.
#pragma once

#include "khost/oracle.hpp"

#include <cstdint>

namespace khost::hw::osd {

constexpr uint64_t kRegs = 0xfc0d0000;
constexpr unsigned kVsyncIrq = 50;

// The register window (add_regs) with the block's behaviour: an update
// request (0xfc0db000) stays pending until a vsync takes it, which happens
// only while the plane's update is enabled (normal planes: 0x000 bit 0 and
// the plane's 0x100 bit 0; cursors: 0x210c bit 30) and not waiting for the
// analogue TV timing (there is none of here); the palette trigger clears
// once taken. The scan registers are double-buffered: a vsync that takes a
// plane's update latches them, and the planes read the latched copy.
void install();
// The access decoder: every range the shown planes read, checked by the
// oracle at every vsync; and, after every write of a scan register while
// the plane's update is pending, what a vsync could latch at that moment.
void watch();
// The ranges the shown planes read with the latched registers.
khost::oracle::Accesses decode();
// One vsync: the pending updates that are enabled are taken and latched,
// the oracle checks what the planes read, then the block's interrupt runs
// (the platform's interrupt 50, when the platform module is there).
void vsync();

} // namespace khost::hw::osd

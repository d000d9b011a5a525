// The access oracle: where the simulated hardware would reach.
//
// Each engine model (a decoder) is written from the engine's register
// descriptions alone: when the engine is started (a write that sets its start
// bit) or, for the display, at every vsync, it reads the register windows
// (khost::reg, khost::phys_ptr for lists in memory) and lists every range
// the hardware would read or write. The oracle checks each range against what
// the test declared reachable for the caller; a range outside is a kernel
// fault (khost::faults(), so KernelTest's TearDown fails) naming the range
// and the registers it came from, or, when fatal, aborts at once (fuzzers).
#pragma once

#include "khost.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace khost::oracle {

struct Access {
	uint64_t addr;		// physical, with every high bit the registers give
	uint64_t size;		// bytes; 0 touches nothing
	bool write;
	std::string what;	// the engine's words: unit, plane, registers behind it
};
using Accesses = std::vector<Access>;

// An engine that takes the address bits above 31 from a register written once
// per start counts only the low 32 bits as it runs: what runs past a 4 GiB
// boundary wraps to the start of the same 4 GiB window.
void add_in_window(Accesses &out, const Access &a);

// A decoder of one engine. `value` is what the start write put in the start
// register (the window still holds that register's previous value).
using Decoder = std::function<void(uint64_t value, Accesses &out)>;

// Runs `decode` whenever a write to `start_reg` sets a bit of `start_mask`,
// before the write hooks of that register run (the hardware latches its
// set-up at the start).
void on_start(const char *engine, uint64_t start_reg, uint64_t start_mask, Decoder decode);
// Runs `decode` on every raise of `irq`, before its handlers (the display
// scans out its planes between two vsyncs).
void on_irq(const char *engine, unsigned irq, Decoder decode);

// The checks are off until enable(true); enable(false) also forgets every
// allowance. Decoders stay registered.
void enable(bool on);
bool enabled();
// Abort with the finding instead of recording a fault (a fuzzer's mode).
void set_fatal(bool on);

// What the caller may reach.
void allow(uint64_t addr, uint64_t size, const std::string &what);
void disallow(uint64_t addr, uint64_t size);	// an allowance that ends (freed, closed)
// A caller with CAP_SYS_RAWIO: every range is reachable.
void allow_all(bool on);
// Every page the bed has handed out as memory (phys_alloc: page, coherent
// and contiguous allocations, test buffers) counts as reachable: the coarse
// model for a caller that owns everything the module allocated.
void allow_allocated(bool on);

// The CPU's view of a mapping made for it (a framebuffer's lines over its
// screen memory): reaching `reach` bytes into a mapping of `mapped` is a
// finding, as an access outside is, unless every range is reachable.
// Returns 1 for a finding.
int check_mapping(const char *what, uint64_t reach, uint64_t mapped);

// Checks ranges now (a decoder may also be run by hand); returns how many
// lay outside. Every access checked so far, in order, is kept for tests.
int check(const char *engine, const Accesses &accesses);
Accesses seen();
std::vector<std::string> findings();
void clear();	// seen() and findings()

} // namespace khost::oracle

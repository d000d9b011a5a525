// Test bed for the 2D operation layer and backends: two simulated engines
// (register and command-processor windows), a recording stand-in for the
// driver core's lock/trigger/unlock, and an in-memory command-list stand-in.
#pragma once

#include "khost/gtest.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include "ker_gpu_hw.h"
}

namespace kgpu {

constexpr phys_addr_t kEngine0 = 0xFC650000;
constexpr phys_addr_t kEngine1 = 0xFC370000;

struct Call {
	std::string what;	// "lock", "trigger", "unlock"
	int engine;
	unsigned mode;
	KER_GPU_CALLBACK cb1;
	void *arg1;
	KER_GPU_CALLBACK cb2;
	void *arg2;
};

// What the stand-in core does and records.
struct Core {
	std::vector<Call> calls;
	int lock_result = 0;
	int trigger_result = 0;
	uint32_t status_after = 0;	// AGE_STATUS once the engine ran
	uint32_t cpu_status_after = 0;	// CP_STATUS once the engine ran
	std::vector<std::vector<khost::RegAccess>> at_trigger;	// journal at each trigger
	int held = 0;
};
extern Core core;

// One command of a list, as the engine would fetch it.
struct Cmd {
	uint32_t value;
	uint32_t word;
};

struct Lists {
	int opened = 0, closed = 0, pages = 0;
	int fail_new_after = -1;	// pages that may still be had; -1 no limit
};
extern Lists lists;

// Walks a list from its first page following jumps, up to its end command.
std::vector<Cmd> decode_list(uint64_t first_page);

class Backend : public khost::KernelTest {
protected:
	void SetUp() override;
	void TearDown() override;

	// Starts the operation layer as the core would, for hardware version 2-4.
	void start(uint32_t version, uint32_t feature, uint32_t issue = 0);

	// Writes to the engine registers only (no reads), offsets from the base.
	std::vector<std::pair<uint32_t, uint32_t>> writes(phys_addr_t base = kEngine0) const;
	// The last value written to an engine register.
	uint32_t last(uint32_t off, phys_addr_t base = kEngine0) const;
	// Every value written to one register, in order.
	std::vector<uint32_t> all(uint32_t off, phys_addr_t base = kEngine0) const;
	int count(const std::string &what) const;

	ST_KER_GPU_HW_REG hw_[2] = {};
	ST_KER_GPU_INIT init_ = {};
	KGPU_CMDBUF_HANDLE last_list_ = nullptr;
};

// A plane of the given format at a physical address, clipped at (x, y).
KER_GPU_PLANE plane(uint8_t fmt, uint64_t addr, uint16_t w, uint16_t h, uint32_t stride,
		    int32_t x = 0, int32_t y = 0);

} // namespace kgpu

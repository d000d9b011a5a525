// The 2D engine's ioctls: exec records and batches down through the
// operation layer and both backends, command buffers, the memory provider.
// The caller may reach the scene's dma-buf and what it allocated through the
// device; the oracle checks every start of the engine against that.
#include "ioctl_fuzz.h"
#include "khost/hw/gpu.hpp"

#include <cinttypes>
#include <cstdio>
#include <string>

extern "C" void kgpu_mem_show_all(void);

namespace {

const char *const kNodes[] = {"crkgpu"};
constexpr size_t kDmaBufSize = 0x100000;
uint64_t dmabuf;

void boot()
{
	khost::set_time_scale(1000);
	khost::set_param("crv_platform", "chip_id", "0x51353030");
	khost::set_param("crv_platform", "vsync_hz", "0");
	auto *n0 = khost::dt_node(nullptr, "crkgpu");
	khost::dt_prop(n0, "interrupts", {0, 100, 4});
	khost::dt_prop(n0, "interrupt-affinity", {0});
	auto *n1 = khost::dt_node(nullptr, "crkgpu2");
	khost::dt_prop(n1, "interrupts", {0, 101, 4});
	for (phys_addr_t base : {0xFC050000u, 0xFC650000u, 0xFC370000u}) {
		khost::add_regs(base, 0x1000);
		khost::hw::gpu(base, base + 0x400);
		unsigned irq = base == 0xFC370000u ? 133 : 132;	/* SPI 101, 100 */
		// The start bits (and a command list's start) end in an interrupt;
		// start and reset bits clear themselves.
		khost::on_write(base, [irq](phys_addr_t, uint64_t v, uint64_t &stored) {
			if ((v & 7) && !(v & 0xF0000000))
				raise_irq_later(irq);
			stored = v & ~0xF0000407ull;
		});
		khost::on_write(base + 0x41C, [irq](phys_addr_t, uint64_t v, uint64_t &stored) {
			if (v & 1)
				raise_irq_later(irq);
			stored = 0;
		});
	}
	khost::load_module("crv_platform");
	khost::load_module("gai_test_exporter");
	khost::load_module("vyr_gfx");
	// A run past one buffer into the next is no one's memory, and freed
	// memory goes back to the arena (the oracle withdraws it).
	khost::set_alloc_gap(4096);
	dmabuf = khost::phys_alloc(kDmaBufSize);
	keep_dmabuf(dmabuf, kDmaBufSize);
}

void reach()
{
	khost::oracle::allow(dmabuf, kDmaBufSize, "the scene's dma-buf");
}

// Every allocation the caller holds through the device is its own to reach
// until its memory is freed (a dma-buf it exported may keep it longer).
void after_call()
{
	khost::clear_log();
	kgpu_mem_show_all();
	std::string log = khost::log();
	for (size_t at = log.find("Addr = 0x"); at != std::string::npos;
	     at = log.find("Addr = 0x", at + 1)) {
		unsigned long long addr;
		int type;
		long req, size;
		if (sscanf(log.c_str() + at, "Addr = 0x%llx, type = %d, requested_size = %ld, allocated_size = %ld",
			   &addr, &type, &req, &size) == 4) {
			khost::oracle::disallow(addr, (uint64_t)size);	/* allowed once */
			khost::oracle::allow(addr, (uint64_t)size, "an allocation of the caller's");
		}
	}
	khost::clear_log();
}

} // namespace

const Scene kScene = {kNodes, 1, boot, reach, after_call};

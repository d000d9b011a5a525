// The 2D engine's ioctls: exec records and batches down through the
// operation layer and both backends, command buffers, the memory provider.
#include "ioctl_fuzz.h"

namespace {

const char *const kNodes[] = {"crkgpu"};

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
		unsigned irq = base == 0xFC370000u ? 133 : 132;	/* SPI 101, 100 */
		khost::on_write(base, [irq](phys_addr_t, uint64_t v, uint64_t &stored) {
			if (v & 1)
				raise_irq_later(irq);
			stored = v & ~1ull;
		});
	}
	khost::load_module("crv_platform");
	khost::load_module("gai_test_exporter");
	khost::load_module("vyr_gfx");
	keep_dmabuf(khost::phys_alloc(0x100000), 0x100000);
}

} // namespace

const Scene kScene = {kNodes, 1, boot, nullptr, nullptr};

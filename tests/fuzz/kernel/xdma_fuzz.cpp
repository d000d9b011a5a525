// The XDMA engine's device: transfers, fills and command lists.
#include "ioctl_fuzz.h"
#include "khost/hw/xdma.hpp"

namespace {

constexpr phys_addr_t kBase = 0xFC090000;
const char *const kNodes[] = {"crkxdma"};

void boot()
{
	khost::set_time_scale(1000);
	khost::set_param("crv_platform", "chip_id", "0x51353030");
	khost::load_module("crv_platform");
	khost::add_regs(kBase, 0x100);
	auto *n = khost::dt_node(nullptr, "crkxdma");
	khost::dt_prop(n, "interrupts", {0, 60, 4});
	/* A start is done at once: status set and the interrupt raised. */
	khost::on_write(kBase + 0x20, [](phys_addr_t, uint64_t v, uint64_t &stored) {
		stored = 0;
		if (!(v & 1))
			return;
		khost::set_reg(kBase + 0x24, 1);
		raise_irq_later(92);	/* SPI 60 */
	});
	khost::hw::xdma::install();
	khost::load_module("vyr_gfx");
}

// Every transfer and command list names raw physical memory (CAP_SYS_RAWIO):
// an unprivileged caller reaches nothing through the engine.
void reach() {}

} // namespace

const Scene kScene = {kNodes, 1, boot, reach, nullptr};

// The HDMA engine's device: copies, fills, the CMA queries and self-tests.
#include "ioctl_fuzz.h"
#include "khost/hw/hdma.hpp"

namespace {

constexpr phys_addr_t kBase = 0xFC0C0000;
const char *const kNodes[] = {"crkhdma"};

void boot()
{
	khost::set_time_scale(1000);
	khost::set_param("crv_platform", "chip_id", "0x51353030");
	khost::load_module("crv_platform");
	khost::add_regs(kBase, 0x300);
	khost::add_regs(0xFC310000, 0x2000);
	khost::add_regs(0xFD110800, 0x200);
	khost::add_regs(0xFE005000, 0x2000);
	khost::add_regs(0xFE000000, 0x1000);
	khost::add_regs(0xFC0D0000, 0x1000);
	khost::add_regs(0xFC0DB000, 0x100);
	auto *n = khost::dt_node(nullptr, "crkhdma");
	khost::dt_prop(n, "interrupts", {0, 70, 4});
	/* A channel started is done at once: status set, length counted. */
	for (uint32_t ch = 0; ch < 4 * 0x40; ch += 0x40) {
		khost::on_write(kBase + 0xA0 + ch, [ch](phys_addr_t, uint64_t v, uint64_t &stored) {
			stored = 0;
			if (!(v & 1))
				return;
			khost::set_reg(kBase + 0xAC + ch, khost::reg(kBase + 0x80 + ch));
			khost::set_reg(kBase + 0xA4 + ch, 1);
			raise_irq_later(102);	/* SPI 70 */
		});
		khost::on_write(kBase + 0xA4 + ch, [](phys_addr_t, uint64_t v, uint64_t &stored) {
			stored = (v & 1) ? 0 : stored;
		});
	}
	khost::hw::hdma::install();
	khost::load_module("vyr_gfx");
}

// Transfers come only from other kernel modules and the self-test needs
// CAP_SYS_ADMIN: an unprivileged caller reaches nothing through the engine.
void reach() {}

} // namespace

const Scene kScene = {kNodes, 1, boot, reach, nullptr};

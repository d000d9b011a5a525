// The DispAge engine's device: its batch ioctl.
#include "ioctl_fuzz.h"
#include "khost/hw/dispage.hpp"

namespace {

constexpr phys_addr_t kRegs = 0xFC058200;
const char *const kNodes[] = {"crkdispage"};

void boot()
{
	khost::set_time_scale(1000);
	khost::add_regs(kRegs, 512);
	khost::add_regs(0xFC3A0000, 512);
	khost::add_regs(0xFC05F000, 512);
	khost::add_regs(0xFC058400, 512);
	khost::add_regs(0xFD650188, 512);
	khost::add_regs(0xFD650000, 0x100);
	khost::set_reg(kRegs + 0x140, 0x01020000);
	auto *n = khost::dt_node(nullptr, "crkdispage");
	khost::dt_prop(n, "interrupts", {0, 40, 4});
	/* Status bits clear by writing ones; a start ends in the done bit. */
	khost::on_write(kRegs + 0xB0, [](phys_addr_t a, uint64_t v, uint64_t &stored) {
		stored = khost::reg(a) & ~(u32)v;
	});
	khost::on_write(kRegs, [](phys_addr_t, uint64_t v, uint64_t &stored) {
		if (!(v & 1))
			return;
		stored = v & ~1ull;
		khost::set_reg(kRegs + 0xB0, khost::reg(kRegs + 0xB0) | 0x1000);
		raise_irq_later(72);	/* SPI 40 */
	});
	khost::set_param("crv_platform", "chip_id", "0x51323030");
	khost::load_module("crv_platform");
	khost::hw::dispage::install();
	khost::load_module("vyr_gfx");
}

// The self-test needs CAP_SYS_ADMIN and a run of the caller's own programming
// CAP_SYS_RAWIO: an unprivileged caller reaches nothing through the engine.
void reach() {}

} // namespace

const Scene kScene = {kNodes, 1, boot, reach, nullptr};

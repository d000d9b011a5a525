// The OSD's ioctl dispatcher behind the five plane framebuffers.
#include "ioctl_fuzz.h"

namespace {

constexpr phys_addr_t kOsd = 0xfc0d0000;
constexpr phys_addr_t kMem = 0x40000000;
const char *const kNodes[] = {"fb0", "fb1", "fb2", "fb3", "fb4"};

void boot()
{
	khost::set_time_scale(1000);
	khost::add_regs(kOsd, 0x10000);
	/* Trigger bits clear themselves once the hardware has taken them. */
	khost::on_write(kOsd + 0xb000, [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = v & ~0x17full; });
	khost::on_write(kOsd + 0x428, [](phys_addr_t, uint64_t, uint64_t &stored) { stored = 0; });
	khost::add_regs(kMem, 0x3000000);
	khost::set_param("crv_platform", "regions", "osd:0x40000000:0x3000000");
	khost::load_module("crv_platform");
	khost::set_param("crv_platform", "vsync_hz", "0");
	khost::load_module("gai_test_exporter");
	khost::load_module("vyr_gfx");
	keep_dmabuf(kMem, 0x100000);
}

} // namespace

const Scene kScene = {kNodes, 5, boot, nullptr, nullptr};

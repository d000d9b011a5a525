// The OSD's ioctl dispatcher behind the five plane framebuffers.
#include "ioctl_fuzz.h"
#include "khost/hw/osd.hpp"

namespace {

constexpr phys_addr_t kMem = 0x40000000;
constexpr size_t kMemSize = 0x3000000;
const char *const kNodes[] = {"fb0", "fb1", "fb2", "fb3", "fb4"};

void boot()
{
	khost::set_time_scale(1000);
	khost::add_regs(khost::hw::osd::kRegs, 0x10000);
	/* Updates wait for the next vsync; the palette trigger clears once taken. */
	khost::hw::osd::install();
	khost::hw::osd::watch();
	khost::add_regs(kMem, kMemSize);
	/* The region holds every plane's buffers but the second cursor's, which
	 * keeps the scan power-on left. */
	khost::set_param("crv_platform", "regions", "osd:0x40000000:0x2900000");
	khost::load_module("crv_platform");
	khost::set_param("crv_platform", "vsync_hz", "0");
	khost::load_module("gai_test_exporter");
	khost::load_module("vyr_gfx");
	keep_dmabuf(kMem, 0x100000);
}

/* Every plane node is open to all: the planes' memory, and nothing else. */
void reach()
{
	khost::oracle::allow(kMem, kMemSize, "plane buffers");
}

/* The display runs on: a vsync after every call, which the scroll task,
 * stepping on its own, waits for too. */
void after_call()
{
	khost::hw::osd::vsync();
}

} // namespace

const Scene kScene = {kNodes, 5, boot, reach, after_call};

// The GAI data device: result copies and data conversions through the
// secure world, into a dma-buf of the test exporter.
#include <cstdio>
#include <cstdlib>

#include "ioctl_fuzz.h"

namespace {

const char *const kNodes[] = {"crkgai"};

// The secure world writes size bytes into the result page it is handed.
int secure_world(u32, u32 cmd, u32, u32, u32 size)
{
	if (cmd == 0xA1C0 && size > 4096) {
		fprintf(stderr, "the secure world is asked for %u bytes into one page\n", size);
		abort();
	}
	return 0;
}

void boot()
{
	khost::add_symbol("tzdev_scm_watch", (void *)secure_world);
	khost::load_module("crv_platform");
	khost::load_module("gai_test_exporter");
	khost::load_module("vyr_gfx");
	keep_dmabuf(0x40000000, 0x10000);
}

} // namespace

const Scene kScene = {kNodes, 1, boot, nullptr, nullptr};

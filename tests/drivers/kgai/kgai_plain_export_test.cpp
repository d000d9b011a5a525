// GAI with a secure-world module that exports its call with plain
// EXPORT_SYMBOL: symbol_get() refuses such a symbol, the module loader's
// link of the weak reference reaches it (here the linker's).
#include "khost/gtest.hpp"

#include <vector>

#include "uapi/vyr_gai.h"

extern "C" {
int gx_export(u64 dev_addr, unsigned int segs, size_t len);
int tzdev_scm_watch(u32 id, u32 cmd, u32 a, u32 b, u32 c);
}

namespace {

int seen_cmd;

} // namespace

/* The secure-world module's call, as our module links it. */
int tzdev_scm_watch(u32, u32 cmd, u32, u32, u32)
{
	seen_cmd = (int)cmd;
	return 0;
}

namespace {

class GaiPlainExport : public khost::KernelTest {};

TEST_F(GaiPlainExport, TheSecureCallIsReachedThroughTheLoaderLink)
{
	khost::add_symbol("tzdev_scm_watch", (void *)tzdev_scm_watch, false);
	ASSERT_EQ(khost::load_module("crv_platform"), 0);
	ASSERT_EQ(khost::load_module("gai_test_exporter"), 0);
	ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
	struct file *f = khost::open("crkgai");
	ASSERT_NE(f, nullptr);
	int fd = gx_export(0x40000000, 1, 4096);
	ST_GAI_DATA_PROC proc{fd, 1, 2};
	EXPECT_EQ(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), 0);
	EXPECT_EQ(seen_cmd, 0xA1D0);
	EXPECT_NE(khost::log().find("failing symbol_get of non-GPLONLY symbol tzdev_scm_watch.\n"),
		  std::string::npos);
	khost::close(f);
	khost::close_fd(fd);
	EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
	EXPECT_EQ(khost::symbol_refs("tzdev_scm_watch"), 0);
	EXPECT_EQ(khost::unload_module("gai_test_exporter"), 0);
	EXPECT_EQ(khost::unload_module("crv_platform"), 0);
}

} // namespace

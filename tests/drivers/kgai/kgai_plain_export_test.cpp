// GAI with a secure-world module that exports its call with plain
// EXPORT_SYMBOL: symbol_get() refuses such a symbol, so the call counts as
// absent and the operation fails cleanly. (A weak reference the module
// loader fills in is no way round it: arm64 modules cannot take the GOT
// relocation a weak undefined function needs.)
#include "khost/gtest.hpp"

#include <vector>

#include "uapi/vyr_gai.h"

extern "C" {
int gx_export(u64 dev_addr, unsigned int segs, size_t len);
}

namespace {

int seen_cmd;

} // namespace

/* The secure-world module's call. */
int plain_scm_watch(u32, u32 cmd, u32, u32, u32)
{
	seen_cmd = (int)cmd;
	return 0;
}

namespace {

class GaiPlainExport : public khost::KernelTest {};

TEST_F(GaiPlainExport, APlainExportIsNotReached)
{
	khost::add_symbol("tzdev_scm_watch", (void *)plain_scm_watch, false);
	ASSERT_EQ(khost::load_module("crv_platform"), 0);
	ASSERT_EQ(khost::load_module("gai_test_exporter"), 0);
	ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
	struct file *f = khost::open("crkgai");
	ASSERT_NE(f, nullptr);
	int fd = gx_export(0x40000000, 1, 4096);
	ST_GAI_DATA_PROC proc{fd, 1, 2};
	EXPECT_LT(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), 0);
	EXPECT_EQ(seen_cmd, 0);
	EXPECT_NE(khost::log().find("failing symbol_get of non-GPLONLY symbol tzdev_scm_watch.\n"),
		  std::string::npos);
	EXPECT_NE(khost::log().find("symbol kteec_kobj_invoke_cmd not found !!!! \n"), std::string::npos);
	khost::close(f);
	khost::close_fd(fd);
	EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
	EXPECT_EQ(khost::symbol_refs("tzdev_scm_watch"), 0);
	EXPECT_EQ(khost::unload_module("gai_test_exporter"), 0);
	EXPECT_EQ(khost::unload_module("crv_platform"), 0);
}

} // namespace

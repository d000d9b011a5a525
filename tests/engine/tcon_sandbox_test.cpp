// The tcon partition after a tcon-aware device-tree writer, in a private
// system (the eMMC writer runs dd and writes fixed paths): the demura region
// from the tree lands in the first 8 bytes of the freshly written partition.
#include <gtest/gtest.h>
#include <libfdt.h>
#include <sys/stat.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "crv_fdt_writer.h"
#include "crv_ostrel_ctx.h"
#include "sandbox.h"

namespace {

// Header text fields need no terminator when they are full.
template <size_t N>
void put_field(char (&field)[N], const std::string &text)
{
	memcpy(field, text.data(), std::min(N, text.size()));
}

std::string demura_blob(uint32_t start, uint32_t size)
{
	std::vector<char> buf(4096);
	fdt_create_empty_tree(buf.data(), int(buf.size()));
	int tbl = fdt_add_subnode(buf.data(), 0, "memory_tbl");
	int dm = fdt_add_subnode(buf.data(), tbl, "demura");
	fdt_setprop_u32(buf.data(), dm, "region", start);
	fdt_appendprop_u32(buf.data(), dm, "region", size);
	fdt_pack(buf.data());
	return std::string(buf.data(), fdt_totalsize(buf.data()));
}

int call(crv_img_cb_fn cb, const char *name, const char *target, const std::string &path)
{
	crv_per_img_hdr h{};
	memcpy(h.magic, "PIMG", 4);
	put_field(h.name, name);
	put_field(h.target, target);
	memcpy(h.compress, "none", 4);
	struct stat st {};
	stat(path.c_str(), &st);
	h.length = uint64_t(st.st_size);
	crv_per_img_handle handle{fopen(path.c_str(), "rb"), h.length, 0};
	int ret = cb(&h, &handle, nullptr);
	if (handle.stream)
		fclose(handle.stream);
	return ret;
}

TEST(TconSandbox, DemuraRegionFromTheTreeIsStampedOverTheWrittenImage)
{
	CRV_REQUIRE_SANDBOX();
	sandbox::Sandbox box;
	std::string image(64 * 1024, '\0');
	for (size_t i = 0; i < image.size(); i++)
		image[i] = char(i * 7 + 1);
	box.write_file("/in/dtb", demura_blob(0x7E000000, 0x300000));
	box.write_file("/in/tcon", image);
	box.write_file("/out/dtb.img", std::string(CRV_FDT_BUF_SIZE, '\0'));
	box.write_file("/out/tcon.img", "");
	box.write_file("/out/plain.img", "");
	auto r = box.run([&] {
		crv_ostrel_test_reset();
		mkdir("/data", 0755);
		crv_ostrel_set_tmp_folder("/data/.fwup");
		// Without a tcon-aware tree nothing is stamped.
		printf("PLAIN %d\n", call(crv_ostrel_emmc_tcon_cb, "tcon", "/out/plain.img", "/in/tcon"));
		printf("DTB %d\n", call(crv_ostrel_emmc_fdt_tcon_cb, "dtb", "/out/dtb.img", "/in/dtb"));
		printf("TCON %d\n", call(crv_ostrel_emmc_tcon_cb, "tcon", "/out/tcon.img", "/in/tcon"));
		return 0;
	});
	ASSERT_TRUE(r.ok()) << r.setup_error << r.err << r.out;
	EXPECT_NE(r.out.find("PLAIN 0\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("DTB 0\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("TCON 0\n"), std::string::npos) << r.out;
	EXPECT_EQ(box.read_file("/out/plain.img"), image);
	const uint8_t stamp[] = {0x00, 0x00, 0x00, 0x7E, 0x00, 0x00, 0x30, 0x00};
	EXPECT_EQ(box.read_file("/out/tcon.img"), std::string(reinterpret_cast<const char *>(stamp), 8) + image.substr(8));
}

} // namespace

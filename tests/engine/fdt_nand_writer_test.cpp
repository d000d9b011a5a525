// The device-tree writer for NAND partitions on the simulated flash: bare
// blobs through the staged file, legacy images straight from memory, and a
// bad blob that must leave the flash as it was.
#include "crv_fdt.h"
#include "crv_fdt_writer.h"

#include "capture.h"
#include "crv_ostrel_ctx.h"
#include "nand_sim.h"

#include <gtest/gtest.h>
#include <libfdt.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

using nandsim::NandTest;

namespace {

// Header text fields need no terminator when they are full.
template <size_t N>
void put_field(char (&field)[N], const std::string &text)
{
	memcpy(field, text.data(), std::min(N, text.size()));
}

constexpr uint32_t kEb = 16 * 1024;

devmodels::Params small()
{
	return devmodels::Params{{"erasesize", "16K"}, {"writesize", "512"}, {"oobsize", "16"}};
}

std::string make_blob(const char *bootargs)
{
	std::vector<char> buf(8192);
	EXPECT_EQ(fdt_create_empty_tree(buf.data(), int(buf.size())), 0);
	int node = fdt_add_subnode(buf.data(), 0, "chosen");
	fdt_setprop_string(buf.data(), node, "bootargs", bootargs);
	// Enough properties that the blob spans several pages.
	for (int i = 0; i < 40; i++)
		fdt_setprop_string(buf.data(), 0, ("filler" + std::to_string(i)).c_str(),
				   std::string(40, char('a' + i % 26)).c_str());
	EXPECT_EQ(fdt_pack(buf.data()), 0);
	return std::string(buf.data(), fdt_totalsize(buf.data()));
}

class NandFdt : public NandTest {
protected:
	void SetUp() override
	{
		NandTest::SetUp();
		crv_ostrel_test_reset();
		tmp_ = dir_ + "/fwup";
		crv_ostrel_set_tmp_folder(tmp_.c_str());
	}

	int run(const std::string &payload, const std::string &param)
	{
		crv_per_img_hdr hdr{};
		memcpy(hdr.magic, "PIMG", 4);
		memcpy(hdr.name, "dtb", 3);
		put_field(hdr.target, path_.c_str());
		memcpy(hdr.param, param.data(), param.size());
		crv_per_img_handle handle{};
		handle.stream = tmpfile();
		fwrite(payload.data(), 1, payload.size(), handle.stream);
		rewind(handle.stream);
		handle.length = hdr.length = payload.size();
		testsupport::StdoutCapture cap;
		int ret = crv_ostrel_nand_fdt_update_cb(&hdr, &handle, nullptr);
		out_ = cap.finish();
		EXPECT_EQ(handle.stream, nullptr);
		if (handle.stream)
			fclose(handle.stream);
		return ret;
	}
	bool staged_left() const
	{
		struct stat st;
		return stat((tmp_ + "/dtb.div").c_str(), &st) == 0;
	}

	std::string tmp_;
	std::string out_;
};

} // namespace

TEST_F(NandFdt, BareBlobIsStagedAndWrittenWithItsBootargs)
{
	make_nand(4, small());
	nandsim::write_file(path_, std::string(4 * kEb, 'O'));
	ASSERT_EQ(run(make_blob("old"), "root=ubi0:rootfs quiet"), 0) << out_;
	const std::string f = flash();
	EXPECT_EQ(fdt_check_full(f.data(), int(kEb)), 0);
	EXPECT_STREQ(fdt_get_bootargs(f.data()), "root=ubi0:rootfs quiet");
	const uint32_t total = fdt_totalsize(f.data());
	EXPECT_EQ(f.substr(kEb), std::string(3 * kEb, '\xff')); // the whole partition was erased
	EXPECT_EQ(f.substr(total, 16), std::string(16, '\xff'));
	EXPECT_FALSE(staged_left());
}

TEST_F(NandFdt, LegacyImageIsWrittenWithItsHeaderFixed)
{
	make_nand(4, small());
	std::string payload(64, '\0');
	const uint8_t magic[] = {0x27, 0x05, 0x19, 0x56};
	memcpy(payload.data(), magic, 4);
	payload += make_blob("x");
	ASSERT_EQ(run(payload, "console=ttyS0,115200"), 0) << out_;
	std::string f = flash();
	EXPECT_STREQ(fdt_get_bootargs(f.data() + 64), "console=ttyS0,115200");
	const uint32_t total = fdt_totalsize(f.data() + 64);
	EXPECT_EQ(nandsim::be32(f, 12), total);
	EXPECT_EQ(nandsim::be32(f, 24), ~nandsim::crc32_plain(~0u, f.data() + 64, total));
	const uint32_t hcrc = nandsim::be32(f, 4);
	nandsim::put_be32(f, 4, 0);
	EXPECT_EQ(hcrc, ~nandsim::crc32_plain(~0u, f.data(), 64));
	// Nothing past the image was written.
	EXPECT_EQ(f.substr(64 + total, 64), std::string(64, '\xff'));
}

TEST_F(NandFdt, BadBlobOrOversizedPayloadLeavesTheFlashAlone)
{
	make_nand(4, small());
	nandsim::write_file(path_, std::string(4 * kEb, 'O'));
	std::string blob = make_blob("a");
	blob.resize(blob.size() / 2);
	EXPECT_EQ(run(blob, "b"), -5);
	EXPECT_NE(out_.find("crv_ostrel_nand_fdt_update_cb update boot argument fail !\n"), std::string::npos) << out_;
	EXPECT_EQ(run(std::string(CRV_FDT_BUF_SIZE + 1, '\0'), "b"), -22);
	EXPECT_EQ(flash(), std::string(4 * kEb, 'O'));
	EXPECT_FALSE(staged_left());
}

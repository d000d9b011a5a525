#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "capture.h"
#include "crv_npt_writer.h"
#include "crv_ostrel_ctx.h"

namespace {

constexpr const char *kFn = "crv_ostrel_nand_npt_update_cb";

std::string table_text(const std::string &chip = "0", int rows = 2)
{
	std::string t = "KQ58_PART_TABLE_START\r\nVERSION,1\r\nNAME,t\r\nCHIP," + chip +
			"\r\nNAND,0\r\nSIZE,0\r\nUNIT_KB,128\r\nUNIT_VOL_KB,128\r\nID,NAME,SIZE\r\n";
	for (int i = 0; i < rows; i++)
		t += std::to_string(i) + ",p" + std::to_string(i) + ",1\r\n";
	return t + "KQ58_PART_TABLE_END\r\n";
}

// Runs the writer on a payload stream holding `data`, with the header's
// length `length` (the data's size when negative).
struct Call {
	int ret;
	std::string out;
	long stream_pos;
};

Call run(const std::string &data, long long length = -1, const char *target = "/nonexistent/mtd9")
{
	crv_per_img_hdr hdr{};
	memcpy(hdr.magic, "PIMG", 4);
	memcpy(hdr.name, "npt", 3);
	strncpy(hdr.target, target, sizeof(hdr.target));
	crv_per_img_handle handle{};
	handle.stream = tmpfile();
	fwrite(data.data(), 1, data.size(), handle.stream);
	rewind(handle.stream);
	handle.length = length < 0 ? data.size() : uint64_t(length);
	hdr.length = handle.length;

	testsupport::StdoutCapture cap;
	Call c;
	c.ret = crv_ostrel_nand_npt_update_cb(&hdr, &handle, nullptr);
	c.out = cap.finish();
	c.stream_pos = handle.stream ? ftell(handle.stream) : -1;
	if (handle.stream)
		fclose(handle.stream);
	return c;
}

bool has(const std::string &out, const std::string &line)
{
	return out.find(line) != std::string::npos;
}

const std::string kBlockMismatch = std::string(kFn) + ":[Error] Load NPT block size is not match with flash block size\n";

TEST(NptWriter, PayloadsOverFourKiBAreRefusedBeforeReading)
{
	std::string text = table_text();
	text += std::string(4097 - text.size(), 'z');
	Call c = run(text);
	EXPECT_EQ(c.ret, -1);
	EXPECT_EQ(c.out, std::string(kFn) + ": image size over MAX_CSV_SIZE\n");
	EXPECT_EQ(c.stream_pos, 0);
}

TEST(NptWriter, AFullFourKiBTableIsParsedThenCheckedAgainstTheFlash)
{
	std::string text = table_text();
	text += std::string(4096 - text.size(), 'z');
	ASSERT_EQ(text.size(), 4096u);
	// Without an MTD device behind the target the flash's block size cannot
	// match, so the writer stops there: nothing is staged or erased.
	Call c = run(text);
	EXPECT_EQ(c.ret, -1);
	EXPECT_FALSE(has(c.out, "npt_err"));
	EXPECT_TRUE(has(c.out, kBlockMismatch)) << c.out;
	EXPECT_EQ(crv_ostrel_context().npt.part_count, 2u);
}

TEST(NptWriter, AShortPayloadIsAReadFailure)
{
	Call c = run("KQ58_PART_TABLE_START\r\n", 100);
	EXPECT_EQ(c.ret, -1);
	EXPECT_EQ(c.out, std::string(kFn) + " read source file fail !\n");
}

TEST(NptWriter, ARefusedTableIsReportedWithTheParsersResult)
{
	Call c = run(table_text("1234"));
	EXPECT_EQ(c.ret, -1);
	EXPECT_EQ(c.out, "npt_err: no matching partition table\n"
			 "npt_err: error partition: KQ58_PART_TABLE_END   \n"
			 "npt_err: failed to load partition\n");
}

TEST(NptWriter, AFullTableOfAnotherChipIsNotWritten)
{
	Call c = run(table_text("1234", 32));
	EXPECT_EQ(c.ret, -1);
	EXPECT_TRUE(has(c.out, "npt_err: no matching partition table\n")) << c.out;
	EXPECT_FALSE(has(c.out, kBlockMismatch));
}

TEST(NptWriter, EachCallStartsFromAClearedTable)
{
	std::string full = table_text();
	ASSERT_EQ(run(full).ret, -1); // parsed, then stopped at the flash check
	// The same text cut after its start token: nothing of the first payload
	// may fill in the rest.
	Call c = run(full.substr(0, 23));
	EXPECT_EQ(c.ret, -1);
	EXPECT_TRUE(has(c.out, "npt_err: error parsing version\n")) << c.out;
	EXPECT_EQ(crv_ostrel_context().npt.text[23], '\0');
}

} // namespace

// Size texts and the choice of payload buffer.
#include <gtest/gtest.h>

#include "capture.h"
#include "storage_buffers.h"

namespace {

std::string size_text(uint64_t n)
{
	testsupport::StdoutCapture out;
	print_size_text("x ", n);
	return out.finish();
}

TEST(SizeText, ScalesToTheLargestUnitUpToGigabytes)
{
	EXPECT_EQ(size_text(0), "x 0.00B\n");
	EXPECT_EQ(size_text(1023), "x 1023.00B\n");
	EXPECT_EQ(size_text(1024), "x 1.00K\n");
	EXPECT_EQ(size_text(1536), "x 1.50K\n");
	EXPECT_EQ(size_text(5ull << 20), "x 5.00M\n");
	EXPECT_EQ(size_text(3ull << 30), "x 3.00G\n");
	EXPECT_EQ(size_text(5ull << 40), "x 5120.00G\n");
	EXPECT_EQ(size_text(UINT64_MAX), "x 17179869184.00G\n");
}

TEST(BufferChoice, TheReserveIsNeverUsable)
{
	EXPECT_EQ(usable_space(0), 0u);
	EXPECT_EQ(usable_space(BUFFER_RESERVE), 0u);
	EXPECT_EQ(usable_space(BUFFER_RESERVE + 1), 1u);
	EXPECT_EQ(usable_space(UINT64_MAX), UINT64_MAX - BUFFER_RESERVE);
}

TEST(BufferChoice, APayloadMustBeSmallerThanTheUsableSpace)
{
	const uint64_t p = BUFFER_RESERVE + 1000, s = BUFFER_RESERVE + 5000;
	EXPECT_EQ(choose_buffer(999, p, s), buffer_choice::primary);
	EXPECT_EQ(choose_buffer(1000, p, s), buffer_choice::secondary);
	EXPECT_EQ(choose_buffer(4999, p, s), buffer_choice::secondary);
	EXPECT_EQ(choose_buffer(5000, p, s), buffer_choice::none);
	EXPECT_EQ(choose_buffer(0, BUFFER_RESERVE, 0), buffer_choice::none);
	EXPECT_EQ(choose_buffer(UINT64_MAX, UINT64_MAX, UINT64_MAX), buffer_choice::none);
}

} // namespace

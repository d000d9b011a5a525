// The gray list: switched on by the kernel command line, filled from the
// "gray_image" payload, consulted by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "capture.h"
#include "gray_list.h"

namespace {

TEST(GrayCmdline, OnlyValuesOneToThreeRightAfterTheKeyEnableTheList)
{
	EXPECT_EQ(gray_enable_from_cmdline("console=ttyS0 marlow_gray_image=2 quiet"), 2);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image=1"), 1);
	EXPECT_EQ(gray_enable_from_cmdline("a marlow_gray_image=3\n"), 3);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image=0"), 0);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image=4"), 0);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image=-1"), 0);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image=12"), 0);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image="), 0);
	EXPECT_EQ(gray_enable_from_cmdline("marlow_gray_image= 2"), 2);
	EXPECT_EQ(gray_enable_from_cmdline("console=ttyS0 quiet"), 0);
	EXPECT_EQ(gray_enable_from_cmdline(""), 0);
	// The number is taken from a bounded view: nothing past it is read.
	std::string s = "marlow_gray_image=2";
	EXPECT_EQ(gray_enable_from_cmdline(std::string_view(s.data(), s.size() - 1)), 0);
}

class GrayList : public ::testing::Test {
protected:
	void SetUp() override
	{
		release_gray_image_list();
		gray_image_list.enable = 2;
	}
	void TearDown() override
	{
		release_gray_image_list();
		gray_image_list.enable = 0;
	}

	// Loads `payload` through a stream, as the engine hands it over.
	int load(const std::string &payload, uint64_t length)
	{
		FILE *fp = tmpfile();
		fwrite(payload.data(), 1, payload.size(), fp);
		rewind(fp);
		int rc = gray_list_load(fp, length, "gray_image");
		fclose(fp);
		return rc;
	}
	int load(const std::string &payload) { return load(payload, payload.size()); }

	std::string name(int i) { return gray_image_list.pool + gray_image_list.offsets[i]; }
};

TEST_F(GrayList, NamesOnePerLineOrSpaceSeparated)
{
	ASSERT_EQ(load("boot\nrootfs\n"), 0);
	ASSERT_EQ(gray_image_list.count, 2);
	EXPECT_EQ(name(0), "boot");
	EXPECT_EQ(name(1), "rootfs");
	EXPECT_TRUE(gray_list_holds("boot"));
	EXPECT_FALSE(gray_list_holds("boot2"));
	EXPECT_FALSE(gray_list_holds("boo"));

	ASSERT_EQ(load("apdat tee"), 0);
	ASSERT_EQ(gray_image_list.count, 2);
	EXPECT_TRUE(gray_list_holds("apdat"));
	EXPECT_TRUE(gray_list_holds("tee"));
	EXPECT_FALSE(gray_list_holds("boot")); // the second list replaces the first
}

TEST_F(GrayList, CrlfLeadingBlanksAndRunsOfSpaceStillYieldThePlainNames)
{
	ASSERT_EQ(load("  \t boot\r\n\r\n rootfs \r\n\tkernel\t\tdtb\r\n"), 0);
	ASSERT_EQ(gray_image_list.count, 4);
	EXPECT_EQ(name(0), "boot");
	EXPECT_EQ(name(1), "rootfs");
	EXPECT_EQ(name(2), "kernel");
	EXPECT_EQ(name(3), "dtb");
}

TEST_F(GrayList, TheTableKeepsTheFirstHundredNames)
{
	std::string payload;
	for (int i = 0; i < 150; i++)
		payload += "img" + std::to_string(i) + "\n";
	testsupport::StdoutCapture out;
	ASSERT_EQ(load(payload), 0);
	EXPECT_EQ(gray_image_list.count, GRAY_LIST_MAX_NAMES);
	EXPECT_TRUE(gray_list_holds("img99"));
	EXPECT_FALSE(gray_list_holds("img100"));
}

TEST_F(GrayList, AVeryLongWordIsHeldWithoutHarm)
{
	std::string longword(5000, 'x');
	ASSERT_EQ(load("boot " + longword + " rootfs"), 0);
	ASSERT_EQ(gray_image_list.count, 3);
	EXPECT_EQ(name(1), longword);
	EXPECT_TRUE(gray_list_holds("rootfs"));
}

TEST_F(GrayList, EmptyAndBlankPayloads)
{
	testsupport::StdoutCapture out;
	EXPECT_EQ(load(""), 0);
	EXPECT_EQ(out.take(), "gray_image is empty!\n");
	EXPECT_EQ(gray_image_list.count, 0);
	EXPECT_EQ(load(" \n\r\n"), 0);
	EXPECT_EQ(gray_image_list.count, 0);
	EXPECT_FALSE(gray_list_holds(""));
}

TEST_F(GrayList, PayloadsThatCannotBeReadInFullAreRefused)
{
	testsupport::StdoutCapture out;
	// The header claims more than the file holds.
	EXPECT_EQ(load("boot\n", 4096), -5);
	EXPECT_EQ(out.take(), "my_gray_image_list_cb read pimg fail !\n");
	// Lengths that would wrap an allocation size or exceed any name list.
	EXPECT_EQ(load("boot\n", UINT64_MAX), -5);
	EXPECT_EQ(load("boot\n", 0xffffffffull), -5);
	EXPECT_EQ(load("boot\n", GRAY_LIST_MAX_PAYLOAD + 1), -5);
	EXPECT_EQ(gray_image_list.count, 0);
	EXPECT_EQ(gray_image_list.pool, nullptr);
}

TEST_F(GrayList, AFailedReadKeepsTheListAlreadyHeld)
{
	ASSERT_EQ(load("boot\n"), 0);
	testsupport::StdoutCapture out;
	EXPECT_EQ(load("rootfs\n", 100), -5);
	EXPECT_TRUE(gray_list_holds("boot"));
}

TEST_F(GrayList, AListThatIsOffHoldsNothing)
{
	ASSERT_EQ(load("boot\n"), 0);
	gray_image_list.enable = 0;
	EXPECT_FALSE(gray_list_holds("boot"));
	gray_image_list.enable = 3;
	EXPECT_TRUE(gray_list_holds("boot"));
	EXPECT_FALSE(gray_list_holds(nullptr));
}

TEST(TrimTrailingSpace, RemovesOnlyTrailingWhiteSpace)
{
	char a[] = " boot \t\r\n";
	EXPECT_STREQ(trim_trailing_space(a), " boot");
	char b[] = "";
	EXPECT_STREQ(trim_trailing_space(b), "");
	char c[] = " \n";
	EXPECT_STREQ(trim_trailing_space(c), "");
	EXPECT_EQ(trim_trailing_space(nullptr), nullptr);
}

} // namespace

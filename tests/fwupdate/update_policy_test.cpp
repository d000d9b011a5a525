// fwupdate's callbacks as the update thread calls them: gray-list skips, the
// choice of payload buffer and the gray list's own image.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "capture.h"
#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "gray_list.h"
#include "storage_buffers.h"
#include "update_policy.h"

namespace {

class UpdatePolicy : public ::testing::Test {
protected:
	crv_per_img_hdr hdr{};
	crv_per_img_handle handle{};
	std::string dir;
	std::string payload = std::string(4096, 'p');

	void SetUp() override
	{
		char tmpl[] = "/tmp/crv-policy-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir = tmpl;
		release_gray_image_list();
		gray_image_list.enable = 0;
		storage_buffer_cfg[PRIMARY_BUFFER].free_bytes = 0;
		storage_buffer_cfg[SECONDARY_BUFFER].free_bytes = 0;
	}
	void TearDown() override
	{
		if (handle.stream)
			fclose(handle.stream);
		release_gray_image_list();
		gray_image_list.enable = 0;
		std::string cmd = "rm -rf " + dir;
		ASSERT_EQ(system(cmd.c_str()), 0);
	}
	void image(const char *name, const std::string &data, const std::string &target = "")
	{
		memcpy(hdr.magic, "PIMG", 4);
		memcpy(hdr.name, name, std::min(strlen(name), sizeof(hdr.name)));
		memcpy(hdr.target, target.data(), std::min(target.size(), sizeof(hdr.target)));
		memcpy(hdr.compress, "none", 4);
		hdr.length = data.size();
		handle.stream = tmpfile();
		fwrite(data.data(), 1, data.size(), handle.stream);
		rewind(handle.stream);
		handle.length = data.size();
	}
	void gray(const std::string &names)
	{
		gray_image_list.enable = 1;
		FILE *fp = tmpfile();
		fputs(names.c_str(), fp);
		rewind(fp);
		ASSERT_EQ(gray_list_load(fp, names.size(), "gray_image"), 0);
		fclose(fp);
	}
};

TEST_F(UpdatePolicy, AGrayListedImageIsSkippedUnread)
{
	gray("kernel\nboot\n");
	image("boot", payload);
	testsupport::StdoutCapture out;
	EXPECT_EQ(my_default_update_cb(&hdr, &handle, crv_ostrel_get_progress()), 0);
	EXPECT_EQ(out.finish(), "boot in Gray List, ignored!\n");
	EXPECT_EQ(ftell(handle.stream), 0);
}

TEST_F(UpdatePolicy, ASixteenCharacterNameWithoutTerminatorIsMatchedWhole)
{
	gray("abcdefghijklmnop\n");
	image("abcdefghijklmnop", payload, "/dev/x"); // the name runs into the target
	testsupport::StdoutCapture out;
	EXPECT_EQ(my_default_update_cb(&hdr, &handle, crv_ostrel_get_progress()), 0);
	EXPECT_EQ(out.finish(), "abcdefghijklmnop in Gray List, ignored!\n");
}

TEST_F(UpdatePolicy, WithoutRoomAnywhereTheImageFailsForLackOfSpace)
{
	storage_buffer_cfg[PRIMARY_BUFFER].free_bytes = BUFFER_RESERVE + 4096;
	storage_buffer_cfg[SECONDARY_BUFFER].free_bytes = BUFFER_RESERVE;
	image("rootfs", payload);
	testsupport::StdoutCapture out;
	EXPECT_EQ(my_default_update_cb(&hdr, &handle, crv_ostrel_get_progress()), -5);
	EXPECT_EQ(out.finish(), "rootfs needs 4.00K\nError! Insufficient space.");
}

TEST_F(UpdatePolicy, AnImageTooBigForThePrimaryBufferIsStagedOnTheSecondary)
{
	const std::string primary = dir + "/primary", secondary = dir + "/usb", target = dir + "/target";
	crv_ostrel_set_tmp_folder(primary.c_str());
	ASSERT_LT(secondary.size(), sizeof(storage_buffer_cfg[SECONDARY_BUFFER].folder));
	memcpy(storage_buffer_cfg[SECONDARY_BUFFER].folder, secondary.c_str(), secondary.size() + 1);
	storage_buffer_cfg[PRIMARY_BUFFER].free_bytes = BUFFER_RESERVE + 100;
	storage_buffer_cfg[SECONDARY_BUFFER].free_bytes = BUFFER_RESERVE + 1000000;
	FILE *t = fopen(target.c_str(), "w");
	fclose(t);
	image("rootfs", payload, target);

	testsupport::StdoutCapture out;
	int rc = my_default_update_cb(&hdr, &handle, crv_ostrel_get_progress());
	std::string text = out.finish();
	EXPECT_EQ(rc, 0) << text;
	EXPECT_NE(text.find("rootfs needs 4.00K\nTry to use Secondary Buffer(" + secondary + ")!\n"), std::string::npos)
		<< text;
	EXPECT_NE(text.find("Swap back to primary buffer(" + primary + ").\n"), std::string::npos) << text;
	EXPECT_STREQ(crv_ostrel_get_tmp_folder(), primary.c_str());
	FILE *r = fopen(target.c_str(), "rb");
	std::string got(payload.size(), '\0');
	EXPECT_EQ(fread(got.data(), 1, got.size(), r), payload.size());
	fclose(r);
	EXPECT_EQ(got, payload);
}

TEST_F(UpdatePolicy, ACopyAnInterruptedRunStagedForTheImageGivesItsRoomBack)
{
	const std::string primary = dir + "/primary", secondary = dir + "/usb", target = dir + "/target";
	const std::string stale = secondary + "/rootfs.div";
	ASSERT_EQ(mkdir(secondary.c_str(), 0755), 0);
	FILE *fp = fopen(stale.c_str(), "w");
	fputs(std::string(65536, 's').c_str(), fp);
	fclose(fp);
	fclose(fopen(target.c_str(), "w"));
	crv_ostrel_set_tmp_folder(primary.c_str());
	memcpy(storage_buffer_cfg[SECONDARY_BUFFER].folder, secondary.c_str(), secondary.size() + 1);
	// Room for the payload only once the stale copy is gone.
	storage_buffer_cfg[PRIMARY_BUFFER].free_bytes = BUFFER_RESERVE + 100;
	storage_buffer_cfg[SECONDARY_BUFFER].free_bytes = BUFFER_RESERVE + 100;
	image("rootfs", payload, target);

	testsupport::StdoutCapture out;
	int rc = my_default_update_cb(&hdr, &handle, crv_ostrel_get_progress());
	std::string text = out.finish();
	EXPECT_EQ(rc, 0) << text;
	EXPECT_EQ(text.rfind("Remove stale " + stale + ": 64.00K\nrootfs needs 4.00K\nTry to use Secondary Buffer(", 0),
		  0u)
		<< text;
	EXPECT_NE(access(stale.c_str(), F_OK), 0);
}

TEST_F(UpdatePolicy, FormatFilterLeavesGrayListedPartitionsUnformatted)
{
	gray("cache\n");
	image("cache", "");
	memcpy(hdr.param, "FORMAT-EXT4", 11);
	testsupport::StdoutCapture out;
	my_format_filter_cb(&hdr, nullptr);
	EXPECT_EQ(out.finish(), "cache in Gray List, ignored!\n");
}

TEST_F(UpdatePolicy, TheGrayImageIsReadOnlyWhenTheListIsOn)
{
	image("gray_image", "boot\nrootfs\n");
	EXPECT_EQ(my_gray_image_list_cb(&hdr, &handle, nullptr), 0);
	EXPECT_EQ(ftell(handle.stream), 0) << "read although the list is off";
	EXPECT_EQ(gray_image_list.count, 0);

	gray_image_list.enable = 3;
	EXPECT_EQ(my_gray_image_list_cb(&hdr, &handle, nullptr), 0);
	EXPECT_TRUE(gray_list_holds("rootfs"));
	EXPECT_EQ(my_gray_image_list_cb(nullptr, &handle, nullptr), 0);
	EXPECT_EQ(my_gray_image_list_cb(&hdr, nullptr, nullptr), 0);
}

} // namespace

namespace {

TEST(TmpMountCallbacks, AnApdatThatNeverMountsGivesUpItsBufferAfterBoundedPausedRetries)
{
	tmp_mount_cfg_t cfg{"/nonexistent/crv-apdat", "/nonexistent/crv-data"};
	storage_buffer_cfg[PRIMARY_BUFFER].free_bytes = 123456789;
	testsupport::StdoutCapture out;
	const time_t t0 = time(nullptr);
	EXPECT_EQ(my_tmp_mount_cb(&cfg), 0);
	// The rounds pause between them, and the end says so.
	EXPECT_GE(time(nullptr) - t0, time_t{(TMP_MOUNT_ROUNDS - 1) * TMP_MOUNT_PAUSE_S} - 1);
	std::string text = out.finish();
	EXPECT_TRUE(text.ends_with("Give up mounting /nonexistent/crv-apdat after 3 rounds\r\n")) << text;
	auto count = [&](const std::string &what) {
		int n = 0;
		for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
			n++;
		return n;
	};
	EXPECT_EQ(count("Mount failed\r\n"), TMP_MOUNT_ROUNDS) << text;
	EXPECT_EQ(count("Format and mount again\r\n"), TMP_MOUNT_ROUNDS) << text;
	EXPECT_EQ(storage_buffer_cfg[PRIMARY_BUFFER].free_bytes, 0u);
	EXPECT_EQ(my_tmp_umount_cb(&cfg), 0);
}

} // namespace

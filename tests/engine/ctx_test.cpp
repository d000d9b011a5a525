#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "capture.h"
#include "crv_ostrel_ctx.h"
#include "crv_text.h"

namespace {

struct Event {
	int code, value;
	void *user;
};
std::vector<Event> g_events;
int g_result;

int record(int code, int value, void *user)
{
	g_events.push_back({code, value, user});
	return g_result;
}

class EngineCtx : public ::testing::Test {
protected:
	void SetUp() override
	{
		crv_ostrel_test_reset();
		g_events.clear();
		g_result = 0;
	}
};

TEST_F(EngineCtx, EventsReachTheCallbackWithItsUserWord)
{
	int word;
	EXPECT_EQ(crv_ostrel_notify_event(CRV_EVT_VERIFY_DONE, 100), 0); // no callback yet
	EXPECT_EQ(crv_ostrel_report_zero_progress(), 0);
	EXPECT_TRUE(g_events.empty());

	crv_ostrel_set_event_cb(record, &word);
	g_result = 7;
	EXPECT_EQ(crv_ostrel_notify_event(0x40a, 42), 7); // codes the engine never sends pass too
	EXPECT_EQ(crv_ostrel_report_zero_progress(), 0); // the callback's result is not handed on
	ASSERT_EQ(g_events.size(), 2u);
	EXPECT_EQ(g_events[0].code, 0x40a);
	EXPECT_EQ(g_events[0].value, 42);
	EXPECT_EQ(g_events[0].user, &word);
	EXPECT_EQ(g_events[1].code, CRV_EVT_IMG_PROGRESS);
	EXPECT_EQ(g_events[1].value, 0);

	crv_ostrel_set_event_cb(nullptr, &word);
	EXPECT_EQ(crv_ostrel_notify_event(CRV_EVT_ALL_DONE, 100), 0);
	EXPECT_EQ(g_events.size(), 2u);
}

TEST_F(EngineCtx, EventCodesKeepTheirValues)
{
	const std::pair<int, int> codes[] = {
		{CRV_EVT_IMG_PROGRESS, 0}, {CRV_EVT_ALL_DONE, 1}, {CRV_EVT_VERIFY_PROGRESS, 5},
		{CRV_EVT_VERIFY_DONE, 6}, {CRV_ERR_OPEN_IMAGE, 0x401}, {CRV_ERR_SEEK_IMAGE, 0x403},
		{CRV_ERR_READ_HEADER, 0x404}, {CRV_ERR_UPDATE_IMAGE, 0x407}, {CRV_ERR_UPDATE_VTBL, 0x408},
		{CRV_ERR_PARSE_MOUNT, 0x409}, {CRV_ERR_VERIFY, 0x40b}, {CRV_ERR_SEC_INFO, 0x40c},
	};
	for (auto [code, value] : codes)
		EXPECT_EQ(code, value);
}

TEST_F(EngineCtx, OverallPercentNeverDividesByZero)
{
	EXPECT_EQ(crv_overall_percent(0, 0), 0);
	EXPECT_EQ(crv_overall_percent(12345, 0), 0); // a "TIMG" total of 0
	EXPECT_EQ(crv_overall_percent(50, 200), 25);
	EXPECT_EQ(crv_overall_percent(1, 3), 33);
	EXPECT_EQ(crv_overall_percent(199, 200), 99);
	EXPECT_EQ(crv_overall_percent(uint64_t(1) << 40, 1), INT_MAX);

	crv_progress *p = crv_ostrel_get_progress();
	EXPECT_EQ(p, crv_ostrel_get_progress());
	EXPECT_EQ(crv_ostrel_overall_percent(), 0);
	p->total = 0x488 * 4;
	p->bytes_done = 0x488 * 3;
	EXPECT_EQ(crv_ostrel_overall_percent(), 75);
}

TEST_F(EngineCtx, PathFieldsAlwaysHoldATerminatedPath)
{
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	std::string fits63(63, 'm'), long64(64, 'n');

	EXPECT_EQ(crv_ostrel_set_mount_point(fits63.c_str()), 0);
	EXPECT_EQ(std::string(crv_ostrel_get_mount_point()), fits63);
	EXPECT_EQ(crv_ostrel_set_mount_point("/data"), 0);
	EXPECT_STREQ(crv_ostrel_get_mount_point(), "/data");
	// Too long for the field: refused, and nothing half-copied stays behind.
	EXPECT_EQ(crv_ostrel_set_mount_point(long64.c_str()), -22);
	EXPECT_STREQ(crv_ostrel_get_mount_point(), "");
	EXPECT_EQ(ctx.tmp_dev[0], '\0'); // the next field is untouched

	EXPECT_EQ(crv_ostrel_set_misc_device("/dev/crv-part-name/misc"), 0);
	EXPECT_STREQ(ctx.misc_dev, "/dev/crv-part-name/misc");
	EXPECT_EQ(crv_ostrel_set_misc_device(long64.c_str()), -22);
	EXPECT_STREQ(ctx.misc_dev, "");

	std::string path255(255, 'p'), path256(256, 'p');
	EXPECT_EQ(crv_ostrel_set_img_path(path255.c_str()), 0);
	EXPECT_EQ(std::string(ctx.img_path), path255);
	EXPECT_EQ(crv_ostrel_set_img_path(path256.c_str()), -22);
	EXPECT_STREQ(ctx.img_path, "");
	EXPECT_EQ(ctx.sec_info_cb, nullptr);

	char small[4] = {'x', 'x', 'x', 'x'};
	EXPECT_EQ(crv_text_copy(small, "abc"), 0);
	EXPECT_STREQ(small, "abc");
	EXPECT_EQ(crv_text_copy(small, "abcd"), -22);
	EXPECT_STREQ(small, "abc");
	EXPECT_EQ(crv_text_copy(small, nullptr), 0);
	EXPECT_STREQ(small, "");
}

TEST_F(EngineCtx, TmpFolderIsCreatedOnceWithItsMessage)
{
	std::string base = std::filesystem::temp_directory_path() / ("crv-ctx-" + std::to_string(getpid()));
	std::filesystem::remove_all(base);
	std::string dir = base;
	mode_t old = umask(0);

	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_set_tmp_folder(dir.c_str()), 0);
	EXPECT_EQ(out.take(), "mkdir path: " + dir + " success\n");
	struct stat st;
	ASSERT_EQ(stat(dir.c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode));
	EXPECT_EQ(st.st_mode & 07777, 0775u);
	EXPECT_EQ(std::string(crv_ostrel_get_tmp_folder()), dir);

	EXPECT_EQ(crv_ostrel_set_tmp_folder(dir.c_str()), 0); // exists: silent
	EXPECT_EQ(out.take(), "");

	std::string orphan = dir + "/no/such";
	EXPECT_EQ(crv_ostrel_set_tmp_folder(orphan.c_str()), 0);
	EXPECT_EQ(out.take(), "mkdir path: " + orphan + " failed\n");

	// A shorter folder after a longer one leaves no tail of the old one.
	EXPECT_EQ(crv_ostrel_set_tmp_folder(dir.c_str()), 0);
	const char *field = crv_ostrel_get_tmp_folder();
	for (std::size_t i = dir.size(); i < 64; i++)
		EXPECT_EQ(field[i], '\0');

	std::string too_long(64, 't');
	EXPECT_EQ(crv_ostrel_set_tmp_folder(too_long.c_str()), -22);
	EXPECT_EQ(out.finish(), "");
	EXPECT_STREQ(crv_ostrel_get_tmp_folder(), "");
	EXPECT_NE(access(too_long.c_str(), F_OK), 0);

	umask(old);
	std::filesystem::remove_all(base);
}

TEST_F(EngineCtx, TestResetClearsEverything)
{
	crv_ostrel_set_event_cb(record, nullptr);
	crv_ostrel_set_img_path("/tmp/x.img");
	crv_ostrel_get_progress()->bytes_done = 9;
	crv_ostrel_test_reset();
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	EXPECT_EQ(ctx.event_cb, nullptr);
	EXPECT_STREQ(ctx.img_path, "");
	EXPECT_EQ(ctx.progress.bytes_done, 0u);
}

} // namespace

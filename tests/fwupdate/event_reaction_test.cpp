// The console tags, flags and screen calls fwupdate shows for engine events.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "capture.h"
#include "event_reaction.h"

namespace {

struct RecordingScreen {
	std::vector<std::string> calls;
	std::vector<float> fractions;

	void SetSegmentFraction(float f)
	{
		fractions.push_back(f);
		calls.push_back("fraction");
	}
	void SetLogVisible(int visible) { calls.push_back("log " + std::to_string(visible)); }
	void ShowColoredMessage(unsigned colour, const char *fmt, ...)
	{
		char text[256];
		va_list ap;
		va_start(ap, fmt);
		vsnprintf(text, sizeof(text), fmt, ap);
		va_end(ap);
		char head[32];
		snprintf(head, sizeof(head), "message %06x ", colour);
		calls.push_back(head + std::string(text));
	}
};

class EventReaction : public ::testing::Test {
protected:
	void SetUp() override
	{
		update_done.store(UPDATE_RUNNING);
		led_mode.store(LED_BLINK);
	}
};

TEST_F(EventReaction, FailureCodesMapToTheirTagAndRedText)
{
	struct Case {
		int code;
		const char *tag;
		const char *text;
	};
	const char *verify = "mw>>upgrade-err-Verify image failed\r";
	const char *update = "mw>>upgrade-err-Update image failed\r";
	const char *system = "mw>>upgrade-err-System Error\r";
	const Case cases[] = {
		{0x40b, verify, "ERROR: Verify image failed!"},
		{0x401, update, "ERROR: Update image failed!"},
		{0x403, update, "ERROR: Update image failed!"},
		{0x404, update, "ERROR: Update image failed!"},
		{0x407, update, "ERROR: Update image failed!"},
		{0x408, update, "ERROR: Update image failed!"},
		{0x409, update, "ERROR: Update image failed!"},
		{0x40c, update, "ERROR: Update image failed!"},
		{0x400, system, "ERROR: System Error!"},
		{0x402, system, "ERROR: System Error!"},
		{0x405, system, "ERROR: System Error!"},
		{0x406, system, "ERROR: System Error!"},
		{0x40a, system, "ERROR: System Error!"},
		{0x40d, system, "ERROR: System Error!"},
		{0x1000, system, "ERROR: System Error!"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.code);
		update_done.store(UPDATE_RUNNING);
		led_mode.store(LED_BLINK);
		RecordingScreen screen;
		testsupport::StdoutCapture out;
		EXPECT_EQ(react_to_update_event(c.code, 37, &screen), 0);
		EXPECT_EQ(out.finish(), "Update fail! error state: " + std::to_string(c.code) + "\n" + c.tag + "\n");
		EXPECT_EQ(update_done.load(), UPDATE_FAILED);
		EXPECT_EQ(led_mode.load(), LED_ERROR);
		ASSERT_EQ(screen.calls.size(), 2u);
		EXPECT_EQ(screen.calls[0], "log 1");
		EXPECT_EQ(screen.calls[1], std::string("message ff0000 ") + c.text);
	}
}

TEST_F(EventReaction, OnlyAllDoneAtFullPercentReportsSuccess)
{
	RecordingScreen screen;
	testsupport::StdoutCapture out;
	react_to_update_event(1, 99, &screen);
	EXPECT_EQ(update_done.load(), UPDATE_RUNNING);
	react_to_update_event(0, 100, &screen);
	react_to_update_event(6, 100, &screen);
	EXPECT_EQ(update_done.load(), UPDATE_RUNNING);
	react_to_update_event(1, 100, &screen);
	EXPECT_EQ(update_done.load(), UPDATE_SUCCEEDED);
	EXPECT_EQ(led_mode.load(), LED_BLINK);
	EXPECT_EQ(out.finish(), "");
	ASSERT_EQ(screen.fractions.size(), 4u);
	EXPECT_FLOAT_EQ(screen.fractions[0], 0.99f);
	EXPECT_FLOAT_EQ(screen.fractions[3], 1.0f);
}

TEST_F(EventReaction, ProgressValuesPassUnclampedToTheScreen)
{
	RecordingScreen screen;
	react_to_update_event(0, 150, &screen);
	react_to_update_event(0, -5, &screen);
	react_to_update_event(5, 25, &screen);
	ASSERT_EQ(screen.fractions.size(), 3u);
	EXPECT_FLOAT_EQ(screen.fractions[0], 1.5f);
	EXPECT_FLOAT_EQ(screen.fractions[1], -0.05f);
	EXPECT_FLOAT_EQ(screen.fractions[2], 0.25f);
	EXPECT_EQ(update_done.load(), UPDATE_RUNNING);
}

TEST_F(EventReaction, WithoutAScreenFailuresStillPrintAndSetTheFlags)
{
	testsupport::StdoutCapture out;
	react_to_update_event<RecordingScreen>(0x407, 50, nullptr);
	react_to_update_event<RecordingScreen>(0, 50, nullptr);
	EXPECT_EQ(out.finish(), "Update fail! error state: 1031\nmw>>upgrade-err-Update image failed\r\n");
	EXPECT_EQ(update_done.load(), UPDATE_FAILED);
	EXPECT_EQ(led_mode.load(), LED_ERROR);
}

} // namespace

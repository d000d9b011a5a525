// Key input: press bookkeeping, long presses, trackball keys, actions and
// the key queue.
#include "recovery_ui.h"
#include "ui_testutil.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// A screen-less UI that records the hooks and the log toggle.
class FakeUI : public RecoveryUI {
public:
	FakeUI() { key_wait_ms_ = 50; }
	void SelectStatusIcon(int) override {}
	void SetProgressMode(int) override {}
	void BeginProgressSegment(float, float) override {}
	void SetSegmentFraction(float) override {}
	void SetLogVisible(bool v) override
	{
		log = v;
		++toggles;
	}
	bool IsLogVisible() override { return log; }
	bool WasLogEverVisible() override { return false; }
	void AppendLog(const char *, ...) override {}
	void ShowColoredMessage(uint32_t, const char *, ...) override {}
	void DrawPlainMessage(const char *, ...) override {}
	void OpenMenu(const char *const *, const char *const *, int) override {}
	int HighlightMenuItem(int s) override { return s; }
	void CloseMenu() override {}
	void NoteLongPressState(bool l) override { long_states.push_back(l); }
	void LongPressHook(int key) override { hooks.push_back(key); }

	std::vector<int> Drain()
	{
		std::vector<int> keys;
		for (int k; (k = AwaitKey()) != -1;)
			keys.push_back(k);
		return keys;
	}

	bool log = false;
	int toggles = 0;
	std::vector<bool> long_states;
	std::vector<int> hooks;
};

void Tap(FakeUI &ui, int key)
{
	ui.HandleKey(key, 1);
	ui.HandleKey(key, 0);
}

TEST(KeysTest, OnlyTheLastPressedKeyIsRegisteredAtRelease)
{
	FakeUI ui;
	ui.HandleKey(KEY_UP, 1);
	EXPECT_TRUE(ui.KeyIsDown(KEY_UP));
	ui.HandleKey(KEY_DOWN, 1);
	ui.HandleKey(KEY_UP, 0); // A released while B is the press in progress
	ui.HandleKey(KEY_DOWN, 0);
	EXPECT_EQ(ui.Drain(), std::vector<int>{});
	EXPECT_FALSE(ui.KeyIsDown(KEY_UP));
	EXPECT_FALSE(ui.KeyIsDown(-1));
	EXPECT_FALSE(ui.KeyIsDown(RecoveryUI::kKeyCount));
	Tap(ui, KEY_UP);
	EXPECT_EQ(ui.Drain(), std::vector<int>{KEY_UP});
	EXPECT_EQ(ui.long_states, (std::vector<bool>{false}));
}

TEST(KeysTest, AKeyHeldPastTheLimitIsALongPress)
{
	FakeUI ui;
	ui.HandleKey(KEY_DOWN, 1);
	std::this_thread::sleep_for(std::chrono::milliseconds(800));
	ui.HandleKey(KEY_DOWN, 0);
	EXPECT_EQ(ui.hooks, std::vector<int>{KEY_DOWN});
	EXPECT_EQ(ui.long_states, std::vector<bool>{true});

	// A quick press, released and pressed again, is not long.
	ui.HandleKey(KEY_UP, 1);
	ui.HandleKey(KEY_UP, 0);
	ui.HandleKey(KEY_UP, 1);
	std::this_thread::sleep_for(std::chrono::milliseconds(400));
	ui.HandleKey(KEY_UP, 0);
	std::this_thread::sleep_for(std::chrono::milliseconds(450));
	EXPECT_EQ(ui.hooks.size(), 1u);
	EXPECT_EQ(ui.long_states.back(), false);
}

TEST(KeysTest, ActionsForHomePowerAndVolumeRuns)
{
	FakeUI ui;
	Tap(ui, KEY_HOME);
	Tap(ui, KEY_HOME);
	EXPECT_EQ(ui.toggles, 2);
	EXPECT_FALSE(ui.log);
	ui.HandleKey(KEY_POWER, 1);
	Tap(ui, KEY_VOLUMEUP); // volume up with power held toggles too
	EXPECT_EQ(ui.toggles, 3);
	ui.HandleKey(KEY_POWER, 0);
	ui.Drain();

	for (int i = 0; i < 6; ++i)
		Tap(ui, KEY_POWER);
	EXPECT_EQ(ui.Drain().size(), 6u);
	Tap(ui, KEY_POWER); // the seventh in a row is an action, not a key
	EXPECT_EQ(ui.Drain().size(), 0u);
	ui.EnableRepeatKeyAction(false);
	for (int i = 0; i < 8; ++i)
		Tap(ui, KEY_POWER);
	EXPECT_EQ(ui.Drain().size(), 8u);

	FakeUI vol;
	for (int i = 0; i < 7; ++i)
		Tap(vol, i % 2 ? KEY_VOLUMEDOWN : KEY_VOLUMEUP);
	EXPECT_EQ(vol.Drain().size(), 6u);
}

TEST(KeysTest, QueueHoldsTwoHundredFiftySixKeysAndAwaitTimesOut)
{
	FakeUI ui;
	for (int i = 0; i < 300; ++i)
		ui.QueueKey(i);
	auto keys = ui.Drain();
	ASSERT_EQ(keys.size(), 256u);
	EXPECT_EQ(keys.front(), 0);
	EXPECT_EQ(keys.back(), 255);
	auto t0 = std::chrono::steady_clock::now();
	EXPECT_EQ(ui.AwaitKey(), -1);
	EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));

	ui.QueueKey(7);
	ui.DiscardQueuedKeys();
	EXPECT_EQ(ui.AwaitKey(), -1);

	std::thread late([&ui] {
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
		ui.QueueKey(9);
	});
	EXPECT_EQ(ui.AwaitKey(), 9);
	late.join();
}

void Send(int fd, int type, int code, int value)
{
	struct input_event ev = {};
	ev.type = uint16_t(type);
	ev.code = uint16_t(code);
	ev.value = value;
	ASSERT_EQ(write(fd, &ev, sizeof(ev)), ssize_t(sizeof(ev)));
	EXPECT_EQ(RecoveryUI::InputCallback(fd - 1, EPOLLIN, nullptr), 0);
}

TEST(KeysTest, InputEventsBecomeKeysAndTrackballMotionFakesArrows)
{
	FakeUI ui;
	int p[2];
	ASSERT_EQ(pipe(p), 0);
	ASSERT_EQ(p[1], p[0] + 1);
	Send(p[1], EV_REL, REL_Y, 2);
	Send(p[1], EV_REL, REL_Y, 2);
	EXPECT_EQ(ui.Drain(), std::vector<int>{KEY_DOWN});
	Send(p[1], EV_REL, REL_Y, 2);
	Send(p[1], EV_KEY, 999, 1); // any non-motion event resets the sum
	Send(p[1], EV_REL, REL_Y, 2);
	EXPECT_EQ(ui.Drain(), std::vector<int>{});
	Send(p[1], EV_REL, REL_Y, -6); // the sum was 2: now -4
	Send(p[1], EV_REL, REL_X, 9);
	Send(p[1], EV_SYN, 0, 0);
	Send(p[1], EV_KEY, KEY_UP, 1);
	Send(p[1], EV_KEY, KEY_UP, 0);
	EXPECT_EQ(ui.Drain(), (std::vector<int>{KEY_UP, KEY_UP}));
	close(p[1]);
	EXPECT_EQ(RecoveryUI::InputCallback(p[0], EPOLLIN, nullptr), -1); // nothing to read
	close(p[0]);
}

} // namespace

// The input event layer over pipes and simulated device nodes.
#include "events.h"
#include "ui_testutil.h"

#include "devsim.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

namespace {

struct Seen {
	std::vector<std::pair<int, int>> calls; // (tag, fd)
};

int record_a(int fd, uint32_t, void *data)
{
	static_cast<Seen *>(data)->calls.push_back({'a', fd});
	char c;
	return read(fd, &c, 1) == 1 ? 0 : -1;
}

int record_b(int fd, uint32_t, void *data)
{
	static_cast<Seen *>(data)->calls.push_back({'b', fd});
	char c;
	return read(fd, &c, 1) == 1 ? 0 : -1;
}

class EventsTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		dir_ = uitest::scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
		input_test_set_dir(dir_.c_str());
	}
	void TearDown() override
	{
		input_close();
		input_test_set_dir(nullptr);
		devsim::detach_all();
	}
	std::string dir_;
};

TEST_F(EventsTest, ReadyDescriptorsAreDispatchedToTheirCallbacks)
{
	ASSERT_EQ(input_open(record_a, nullptr), 0); // empty folder: no devices
	int p1[2], p2[2];
	ASSERT_EQ(pipe(p1), 0);
	ASSERT_EQ(pipe(p2), 0);
	Seen seen;
	ASSERT_EQ(input_add_fd(p1[0], record_a, &seen), 0);
	ASSERT_EQ(input_add_fd(p2[0], record_b, &seen), 0);
	EXPECT_EQ(input_add_fd(p2[0], nullptr, &seen), -1);

	ASSERT_EQ(write(p2[1], "x", 1), 1);
	ASSERT_EQ(input_wait(1000), 0);
	input_dispatch();
	ASSERT_EQ(seen.calls.size(), 1u);
	EXPECT_EQ(seen.calls[0], std::make_pair(int('b'), p2[0]));

	ASSERT_EQ(write(p1[1], "x", 1), 1);
	ASSERT_EQ(write(p2[1], "y", 1), 1);
	ASSERT_EQ(input_wait(1000), 0);
	input_dispatch();
	EXPECT_EQ(seen.calls.size(), 3u);
	close(p1[1]);
	close(p2[1]);
}

TEST_F(EventsTest, OnlySixteenCallerDescriptorsAreTaken)
{
	ASSERT_EQ(input_open(record_a, nullptr), 0);
	int fds[17][2];
	for (int i = 0; i < 17; ++i) {
		ASSERT_EQ(pipe(fds[i]), 0);
		EXPECT_EQ(input_add_fd(fds[i][0], record_a, nullptr), i < 16 ? 0 : -1) << i;
	}
	for (auto &p : fds)
		close(p[1]);
	close(fds[16][0]);
}

TEST_F(EventsTest, WholeEventsOnlyAreRead)
{
	int p[2];
	ASSERT_EQ(pipe(p), 0);
	struct input_event ev = {};
	ev.type = EV_KEY;
	ev.code = KEY_POWER;
	ev.value = 1;
	ASSERT_EQ(write(p[1], &ev, sizeof(ev)), ssize_t(sizeof(ev)));
	struct input_event got = {};
	EXPECT_EQ(input_read_event(p[0], 0, &got), -1); // no EPOLLIN
	ASSERT_EQ(input_read_event(p[0], EPOLLIN, &got), 0);
	EXPECT_EQ(got.code, KEY_POWER);
	ASSERT_EQ(write(p[1], &ev, 10), 10);
	EXPECT_EQ(input_read_event(p[0], EPOLLIN, &got), -1);
	close(p[0]);
	close(p[1]);
}

TEST_F(EventsTest, WaitTimesOutAndAnEmptySetBlocksWithoutSpinning)
{
	ASSERT_EQ(input_open(record_a, nullptr), 0);
	auto t0 = std::chrono::steady_clock::now();
	EXPECT_EQ(input_wait(100), -1);
	EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(90));

	// An input thread on a set with no descriptor stays inside the wait.
	std::atomic<int> returns{0};
	std::thread([&returns] {
		for (;;) {
			input_wait(-1);
			++returns;
		}
	}).detach();
	clock_t c0 = clock();
	std::this_thread::sleep_for(std::chrono::milliseconds(200));
	EXPECT_EQ(returns.load(), 0);
	EXPECT_LT(double(clock() - c0) / CLOCKS_PER_SEC, 0.05);
	_exit(::testing::Test::HasFailure() ? 1 : 0); // the waiting thread never ends
}

TEST_F(EventsTest, DeviceScanSkipsNodesThatAreNotKeysOrMotion)
{
	// No folder at all: no devices, and still usable.
	input_test_set_dir("/nonexistent/input");
	EXPECT_EQ(input_open(record_a, nullptr), 0);
	input_close();
	input_test_set_dir(dir_.c_str());

	// An absolute-axis node is closed again; the key node cannot join the
	// epoll set (a regular file), so with no device left the open fails.
	for (const char *name : {"event0", "event1", "mouse0"})
		std::ofstream(dir_ + "/" + name) << "";
	auto answer = [](uint8_t bits) {
		return [bits](int, unsigned long req, void *arg) {
			if (req != EVIOCGBIT(0, 4))
				return devsim::kPass;
			static_cast<uint8_t *>(arg)[0] = bits;
			return 0;
		};
	};
	devsim::attach(dir_ + "/event0", answer(1u << EV_ABS));
	EXPECT_EQ(input_open(record_a, nullptr), 0);
	input_close();
	devsim::attach(dir_ + "/event1", answer(1u << EV_KEY));
	EXPECT_EQ(input_open(record_a, nullptr), -1);
}

// A device that goes away (a keyboard unplugged) hangs up for good: it
// leaves the set instead of making every wait return at once.
TEST_F(EventsTest, ADeviceThatHangsUpLeavesTheSet)
{
	// A FIFO stands in for the node; its writer's end going is the hang-up.
	const std::string node = dir_ + "/event0";
	ASSERT_EQ(mkfifo(node.c_str(), 0600), 0);
	int writer = open(node.c_str(), O_RDWR);
	ASSERT_GE(writer, 0);
	devsim::attach(node, [](int, unsigned long req, void *arg) {
		if (req != EVIOCGBIT(0, 4))
			return devsim::kPass;
		static_cast<uint8_t *>(arg)[0] = 1u << EV_KEY;
		return 0;
	});
	Seen seen;
	ASSERT_EQ(input_open(record_a, &seen), 0);
	close(writer);
	for (int i = 0; i < 3 && input_wait(100) == 0; ++i)
		input_dispatch();
	EXPECT_EQ(input_wait(100), -1) << "the hung-up device is still in the set";
}

TEST_F(EventsTest, ASecondOpenWithoutACloseIsRefused)
{
	ASSERT_EQ(input_open(record_a, nullptr), 0);
	EXPECT_EQ(input_open(record_a, nullptr), -1);
	int p[2];
	ASSERT_EQ(pipe(p), 0);
	Seen seen;
	ASSERT_EQ(input_add_fd(p[0], record_a, &seen), 0);
	ASSERT_EQ(write(p[1], "x", 1), 1);
	ASSERT_EQ(input_wait(1000), 0);
	input_dispatch();
	EXPECT_EQ(seen.calls.size(), 1u);
	close(p[1]);
}

} // namespace

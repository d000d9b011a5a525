// The status LED's register bits and the "UPENV" record on the misc partition.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "capture.h"
#include "fwupdate_state.h"
#include "status_led.h"

namespace {

struct Window {
	alignas(4) std::array<uint8_t, LED_WINDOW_SIZE> bytes{};
	volatile uint8_t *ptr() { return bytes.data(); }
	uint32_t at(std::size_t off)
	{
		uint32_t v;
		memcpy(&v, bytes.data() + off, 4);
		return v;
	}
	void put(std::size_t off, uint32_t v) { memcpy(bytes.data() + off, &v, 4); }
	bool line() { return (at(LED_REG_LEVEL) & LED_BIT7) != 0; }
};

TEST(LedBits, TakeOverSetsOnlyItsThreeBits)
{
	Window w;
	w.put(0x220, 0x12340001);
	w.put(0x430, 0x1);
	w.put(0x43c, 0xffffff7f);
	w.put(0x424, 0x5a);
	led_take_over(w.ptr());
	EXPECT_EQ(w.at(0x220), 0x12344001u);
	EXPECT_EQ(w.at(0x430), 0x81u);
	EXPECT_EQ(w.at(0x43c), 0xffffffffu);
	EXPECT_EQ(w.at(0x424), 0x5au);
	led_release_takeover(w.ptr());
	EXPECT_EQ(w.at(0x220), 0x12340001u);
	EXPECT_EQ(w.at(0x430), 0x81u);
}

TEST(LedBits, BlinkTogglesStartingWithTheLineOn)
{
	Window w;
	w.put(0x424, 0x100);
	int phase = 0;
	std::vector<bool> seen;
	for (int i = 0; i < 5; i++) {
		led_apply(LED_BLINK, &phase, w.ptr());
		seen.push_back(w.line());
		EXPECT_EQ(w.at(0x424) & ~LED_BIT7, 0x100u);
	}
	EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false, true}));
}

TEST(LedBits, SteadyErrorAndUnknownModes)
{
	Window w;
	int phase = 0;
	led_apply(LED_STEADY, &phase, w.ptr());
	EXPECT_TRUE(w.line());
	led_apply(7, &phase, w.ptr());
	EXPECT_TRUE(w.line());
	led_apply(LED_ERROR, &phase, w.ptr());
	EXPECT_FALSE(w.line());
	led_apply(-1, &phase, w.ptr());
	EXPECT_FALSE(w.line());
	EXPECT_EQ(phase, 0);
}

// A sparse file reaching past the window stands in for physical memory.
class LedDevice : public ::testing::Test {
protected:
	std::string path;
	void SetUp() override
	{
		char name[] = "/tmp/crv-mem-XXXXXX";
		int fd = mkstemp(name);
		ASSERT_GE(fd, 0);
		ASSERT_EQ(ftruncate(fd, static_cast<off_t>(LED_WINDOW_PHYS + LED_WINDOW_SIZE)), 0);
		close(fd);
		path = name;
	}
	void TearDown() override { unlink(path.c_str()); }
	uint32_t read_reg(std::size_t off)
	{
		int fd = open(path.c_str(), O_RDONLY);
		uint32_t v = 0;
		EXPECT_EQ(pread(fd, &v, 4, static_cast<off_t>(LED_WINDOW_PHYS + off)), 4);
		close(fd);
		return v;
	}
};

TEST_F(LedDevice, InitMapsThePhysicalWindowAndTakesTheLedOver)
{
	ASSERT_EQ(led_init(path.c_str()), 0);
	ASSERT_NE(led_window(), nullptr);
	EXPECT_EQ(read_reg(0x220), LED_TAKEOVER_BIT);
	EXPECT_EQ(read_reg(0x430), LED_BIT7);
	EXPECT_EQ(read_reg(0x43c), LED_BIT7);
	EXPECT_EQ(read_reg(0x424), 0u);
	led_release();
	EXPECT_EQ(led_window(), nullptr);
}

TEST_F(LedDevice, TheThreadDrivesTheLineAndKeepsTheWindowAfterRelease)
{
	ASSERT_EQ(led_init(path.c_str()), 0);
	led_mode.store(LED_STEADY);
	ASSERT_EQ(led_start_thread(), 0);
	usleep(50000);
	EXPECT_EQ(read_reg(0x424), LED_BIT7);
	// The running thread still writes the window: release must leave it.
	led_release();
	ASSERT_NE(led_window(), nullptr);
	led_mode.store(LED_ERROR);
	usleep(2 * LED_PERIOD_US + 50000);
	EXPECT_EQ(read_reg(0x424), 0u);
}

// The tools the engine runs (mkfs, dd, tar, sh) get no descriptor to
// physical memory.
TEST_F(LedDevice, ProgramsStartedLaterDoNotInheritTheDevice)
{
	ASSERT_EQ(led_init(path.c_str()), 0);
	FILE *ls = popen("ls -l /proc/self/fd/", "r");
	ASSERT_NE(ls, nullptr);
	std::string fds;
	char line[512];
	while (fgets(line, sizeof(line), ls))
		fds += line;
	pclose(ls);
	led_release();
	EXPECT_EQ(fds.find(path), std::string::npos) << fds;
}

TEST(LedInit, AMissingDeviceFails)
{
	EXPECT_EQ(led_init("/nonexistent/mem"), -1);
	EXPECT_EQ(led_window(), nullptr);
	EXPECT_EQ(led_start_thread(), -1);
	led_release();
}

class Upenv : public ::testing::Test {
protected:
	std::string path;
	void make(off_t size, uint8_t fill)
	{
		char name[] = "/tmp/crv-misc-XXXXXX";
		int fd = mkstemp(name);
		ASSERT_GE(fd, 0);
		std::vector<uint8_t> bytes(static_cast<std::size_t>(size), fill);
		ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
		close(fd);
		path = name;
	}
	void TearDown() override
	{
		if (!path.empty())
			unlink(path.c_str());
	}
	std::vector<uint8_t> contents()
	{
		std::vector<uint8_t> out;
		FILE *fp = fopen(path.c_str(), "rb");
		int c;
		while ((c = fgetc(fp)) != EOF)
			out.push_back(static_cast<uint8_t>(c));
		fclose(fp);
		return out;
	}
};

TEST_F(Upenv, RecordIsWrittenAt0x2600AndNothingElseChanges)
{
	make(0x4000, 0xa5);
	testsupport::StdoutCapture out;
	EXPECT_EQ(write_upenv_record(path.c_str()), 0);
	EXPECT_EQ(out.finish(), "Set Env usb_up_complete_flag\n");
	std::vector<uint8_t> c = contents();
	ASSERT_EQ(c.size(), 0x4000u);
	for (std::size_t i = 0; i < c.size(); i++) {
		uint8_t want = 0xa5;
		if (i >= 0x2600 && i < 0x2800)
			want = i - 0x2600 < 5 ? static_cast<uint8_t>("UPENV"[i - 0x2600]) : 0;
		ASSERT_EQ(c[i], want) << "offset " << i;
	}
}

TEST_F(Upenv, AMissingDeviceIsReportedOnly)
{
	testsupport::StdoutCapture out;
	EXPECT_EQ(write_upenv_record("/nonexistent/misc"), -1);
	EXPECT_EQ(out.finish(), "Open /nonexistent/misc error\n");
}

TEST_F(Upenv, NothingIsWrittenWhenTheSeekFails)
{
	// A device that cannot seek: the record must not land at offset 0,
	// where the dual-boot record lives.
	path = "/tmp/crv-misc-fifo-" + std::to_string(getpid());
	ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
	int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
	ASSERT_GE(reader, 0);
	testsupport::StdoutCapture out;
	EXPECT_EQ(write_upenv_record(path.c_str()), -1);
	EXPECT_EQ(out.finish(), "Seek to 9728 error!\n");
	char byte;
	EXPECT_EQ(read(reader, &byte, 1), 0) << "something was written";
	close(reader);
}

TEST_F(Upenv, AFailedWriteIsReportedAsAnError)
{
	// /dev/full accepts the stream but fails every write that reaches it.
	if (access("/dev/full", W_OK) != 0)
		GTEST_SKIP() << "no /dev/full";
	testsupport::StdoutCapture out;
	EXPECT_EQ(write_upenv_record("/dev/full"), -1);
	EXPECT_EQ(out.finish(), "Set Env flag error\n");
}

} // namespace

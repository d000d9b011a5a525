// The ADF display backend against simulated ADF devices: start (mode,
// buffers, mappings), page flips by post, blanking, release of everything at
// stop, and the drawing layer's fallback to the framebuffer whenever no ADF
// device can be set up.
#include "adf.h"
#include "adf_model.h"
#include "graphics.h"
#include "resources.h"
#include "ui_testutil.h"

#include "capture.h"
#include "fb_model.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class AdfBackendTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		dir_ = uitest::scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
		adf_test_set_dev_dir(dir_.c_str());
		dev_.interfaces[0].current = devmodels::adf_mode(40, 30);
	}
	void TearDown() override
	{
		if (backend_)
			backend_->stop(backend_);
		dev_.detach();
		adf_test_set_dev_dir(nullptr);
	}
	gr_surface *Start()
	{
		dev_.attach(dir_);
		backend_ = adf_backend_create();
		return backend_->start(backend_);
	}
	void Stop()
	{
		backend_->stop(backend_);
		backend_ = nullptr;
	}
	std::vector<std::string> Log(const std::string &prefix) const
	{
		std::vector<std::string> out;
		for (const std::string &line : dev_.log)
			if (line.compare(0, prefix.size(), prefix) == 0)
				out.push_back(line);
		return out;
	}
	std::string dir_;
	devmodels::AdfModel dev_;
	gr_backend *backend_ = nullptr;
};

// ---- start

TEST_F(AdfBackendTest, StartAllocatesTwoBuffersInTheCurrentModeAndShowsTheFirst)
{
	dev_.pitch_pad = 32;
	dev_.buffer_offset = 8192;
	testsupport::StdoutCapture out;
	gr_surface *s = Start();
	ASSERT_NE(s, nullptr);
	EXPECT_EQ(out.take(), "");
	EXPECT_EQ(s->width, 40u);
	EXPECT_EQ(s->height, 30u);
	EXPECT_EQ(s->row_bytes, 40u * 4 + 32);
	EXPECT_EQ(s->pixel_bytes, 4u);
	EXPECT_EQ(Log("attach"), (std::vector<std::string>{"attach engine 0 interface 0"}));
	EXPECT_EQ(Log("interface 0 alloc"),
		  (std::vector<std::string>{"interface 0 alloc 40x30 BA24", "interface 0 alloc 40x30 BA24"}));
	// Buffer 0 posted once, then the display is blanked and unblanked.
	EXPECT_EQ(Log("interface 0 post"), (std::vector<std::string>{"interface 0 post engine 0 40x30 BA24 pitch 192"}));
	const std::vector<std::string> tail(dev_.log.end() - 3, dev_.log.end());
	EXPECT_EQ(tail, (std::vector<std::string>{"interface 0 post engine 0 40x30 BA24 pitch 192",
						  "interface 0 blank 3", "interface 0 blank 0"}));
	ASSERT_EQ(dev_.posts.size(), 1u);
	EXPECT_EQ(dev_.posts[0].buf.offset[0], 8192u);
	// Two buffers mapped, their descriptors open; every fence closed.
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 2);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 2);
}

TEST_F(AdfBackendTest, AnEngineAlreadyAttachedIsAccepted)
{
	dev_.attached = {{0, 0}};
	EXPECT_NE(Start(), nullptr);
	EXPECT_EQ(dev_.posts.size(), 1u);
}

TEST_F(AdfBackendTest, TheFirstDeviceThatWorksIsUsed)
{
	devmodels::AdfModel broken;
	broken.id = 0;
	broken.interfaces[0].flags = 0; // no primary interface
	broken.attach(dir_);
	dev_.id = 1;
	testsupport::StdoutCapture out;
	ASSERT_NE(Start(), nullptr);
	EXPECT_EQ(dev_.posts.size(), 1u);
	EXPECT_TRUE(broken.posts.empty());
	const std::string text = out.take();
	if (!text.empty()) { // only when the folder lists device 0 first
		EXPECT_EQ(text, "initializing adf device 0 failed: No such device\n");
	}
	Stop();
	broken.detach();
}

// ---- present and blank

TEST_F(AdfBackendTest, PresentPostsTheDrawnBufferAndFlips)
{
	gr_surface *s1 = Start();
	ASSERT_NE(s1, nullptr);
	memset(s1->data, 0x5a, size_t(s1->row_bytes) * s1->height);
	s1->data[0] = 1;
	gr_surface *s0 = backend_->present(backend_);
	ASSERT_NE(s0, s1);
	ASSERT_EQ(dev_.posts.size(), 2u);
	EXPECT_EQ(dev_.posts[1].pixels[0], 1);
	EXPECT_EQ(dev_.posts[1].pixels.back(), 0x5a);
	EXPECT_NE(dev_.posts[1].buf.fd[0], dev_.posts[0].buf.fd[0]);

	memset(s0->data, 0x11, size_t(s0->row_bytes) * s0->height);
	EXPECT_EQ(backend_->present(backend_), s1);
	EXPECT_EQ(dev_.posts[2].pixels[5], 0x11);
	EXPECT_EQ(dev_.posts[2].buf.fd[0], dev_.posts[0].buf.fd[0]);
	EXPECT_EQ(backend_->present(backend_), s0);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 2); // fences closed
}

TEST_F(AdfBackendTest, WithOneBufferEveryPresentPostsAndReturnsIt)
{
	dev_.allocs_left = 1;
	testsupport::StdoutCapture out;
	gr_surface *s = Start();
	ASSERT_NE(s, nullptr);
	EXPECT_EQ(out.take(), "allocating surface 1 failed: Cannot allocate memory\n");
	EXPECT_EQ(backend_->present(backend_), s);
	EXPECT_EQ(backend_->present(backend_), s);
	ASSERT_EQ(dev_.posts.size(), 3u);
	EXPECT_EQ(dev_.posts[2].buf.fd[0], dev_.posts[0].buf.fd[0]);
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 1);
	Stop();
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 0);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 0);
}

TEST_F(AdfBackendTest, BlankSwitchesTheInterfaceOffAndOn)
{
	ASSERT_NE(Start(), nullptr);
	backend_->blank(backend_, true);
	EXPECT_EQ(dev_.log.back(), "interface 0 blank 3");
	backend_->blank(backend_, false);
	EXPECT_EQ(dev_.log.back(), "interface 0 blank 0");
	dev_.failing = {{ADF_IOC_BLANK, EIO}, {ADF_IOC_SIMPLE_POST, EBUSY}};
	backend_->blank(backend_, true); // refused: nothing else happens
	gr_surface *next = backend_->present(backend_); // a refused post still flips
	EXPECT_NE(next, nullptr);
}

// ---- stop

TEST_F(AdfBackendTest, StopReleasesBuffersMappingsAndTheInterface)
{
	ASSERT_NE(Start(), nullptr);
	Stop();
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 0);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 0);
	for (int fd = 0; fd < 256; ++fd)
		EXPECT_EQ(devsim::fd_path(fd).find(dir_ + "/adf"), std::string::npos) << fd;
}

TEST_F(AdfBackendTest, StopAfterAFailedStartLeavesOtherDescriptorsAlone)
{
	// Standard input (descriptor 0) must survive a backend that never
	// allocated a buffer.
	int saved = dup(0);
	int null_fd = open("/dev/null", O_RDONLY);
	ASSERT_GE(null_fd, 0);
	ASSERT_EQ(dup2(null_fd, 0), 0);
	close(null_fd);
	dev_.allocs_left = 0;
	EXPECT_EQ(Start(), nullptr);
	Stop();
	EXPECT_NE(fcntl(0, F_GETFD), -1);
	gr_backend *b = adf_backend_create(); // no device at all
	dev_.detach();
	EXPECT_EQ(b->start(b), nullptr);
	b->stop(b);
	EXPECT_NE(fcntl(0, F_GETFD), -1);
	if (saved >= 0) {
		dup2(saved, 0);
		close(saved);
	}
}

// ---- failures: no ADF display, and the drawing layer's fallback

struct Failure {
	const char *name;
	void (*setup)(devmodels::AdfModel &dev, const std::string &dir);
	const char *message; // standard output of the start ("" for none)
};

const Failure kFailures[] = {
	{"NoDevice", [](devmodels::AdfModel &, const std::string &) {}, ""},
	{"DeviceNodeUnusable",
	 [](devmodels::AdfModel &, const std::string &dir) { mkdir((dir + "/adf0").c_str(), 0755); },
	 "opening adf device 0 failed: Is a directory\n"},
	{"NoInterface",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.interfaces.clear();
		 dev.attach(dir);
	 },
	 "initializing adf device 0 failed: No such device\n"},
	{"NoPrimaryInterface",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.interfaces[0].flags = 0;
		 dev.attach(dir);
	 },
	 "initializing adf device 0 failed: No such device\n"},
	{"NoEngineForTheFormat",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.engines[0].formats = {adf_fourcc('X', 'R', '2', '4'), adf_fourcc('R', 'G', '1', '6')};
		 dev.attach(dir);
	 },
	 "initializing adf device 0 failed: No such device\n"},
	{"AttachRefused",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.failing = {{ADF_IOC_ATTACH, EBUSY}};
		 dev.attach(dir);
	 },
	 "initializing adf device 0 failed: Device or resource busy\n"},
	{"InterfaceInfoRefused",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.attach(dir);
		 // The path search reads it; the set-up's own read fails.
		 dev.after = [&dev](unsigned long request) {
			 if (request == ADF_IOC_ATTACH)
				 dev.failing = {{ADF_IOC_INTERFACE_INFO, EIO}};
		 };
	 },
	 "initializing adf device 0 failed: Input/output error\n"},
	{"NoBufferMemory",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.allocs_left = 0;
		 dev.attach(dir);
	 },
	 "allocating surface 0 failed: Cannot allocate memory\n"
	 "initializing adf device 0 failed: Cannot allocate memory\n"},
	{"BuffersCannotBeMapped",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.unmappable_buffers = true;
		 dev.attach(dir);
	 },
	 "allocating surface 0 failed: Permission denied\n"
	 "initializing adf device 0 failed: Permission denied\n"},
	{"LinesShorterThanTheMode",
	 [](devmodels::AdfModel &dev, const std::string &dir) {
		 dev.pitch_delta = -4;
		 dev.attach(dir);
	 },
	 "allocating surface 0 failed: Invalid argument\n"
	 "initializing adf device 0 failed: Invalid argument\n"},
};

void PrintTo(const Failure &f, std::ostream *os)
{
	*os << f.name;
}

class AdfFailureTest : public ::testing::TestWithParam<Failure> {
protected:
	void SetUp() override
	{
		dir_ = uitest::scratch_dir(std::string("fail_") + GetParam().name);
		adf_test_set_dev_dir(dir_.c_str());
	}
	void TearDown() override
	{
		dev_.detach();
		adf_test_set_dev_dir(nullptr);
	}
	std::string dir_;
	devmodels::AdfModel dev_;
};

TEST_P(AdfFailureTest, StartFailsAndReleasesEverything)
{
	GetParam().setup(dev_, dir_);
	testsupport::StdoutCapture out;
	gr_backend *b = adf_backend_create();
	EXPECT_EQ(b->start(b), nullptr);
	EXPECT_EQ(out.take(), GetParam().message);
	EXPECT_TRUE(dev_.posts.empty());
	b->stop(b);
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 0);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 0);
	for (int fd = 0; fd < 256; ++fd)
		EXPECT_EQ(devsim::fd_path(fd).find(dir_ + "/adf"), std::string::npos) << fd;
}

TEST_P(AdfFailureTest, TheDrawingLayerFallsBackToTheFramebuffer)
{
	GetParam().setup(dev_, dir_);
	devmodels::FbOsdModel fb;
	fb.attach(dir_ + "/fb0");
	fbdev_test_set_path(fb.path.c_str());
	res_test_set_dir("/nonexistent");
	gr_test_setup("/nonexistent/tty", nullptr);
	testsupport::StdoutCapture out;
	ASSERT_EQ(gr_start(), 0);
	EXPECT_EQ(gr_screen_width(), int(fb.xres));
	EXPECT_EQ(gr_screen_height(), int(fb.yres));
	EXPECT_TRUE(dev_.posts.empty());
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 0);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 0);
	gr_stop();
	gr_test_setup(nullptr, nullptr);
	res_test_set_dir(nullptr);
	fbdev_test_set_path(nullptr);
	fb.detach();
}

INSTANTIATE_TEST_SUITE_P(Adf, AdfFailureTest, ::testing::ValuesIn(kFailures),
			 [](const ::testing::TestParamInfo<Failure> &info) { return std::string(info.param.name); });

TEST(AdfEnumerationTest, AnUnreadableDeviceFolderIsReportedOnStandardError)
{
	const std::string dir = uitest::scratch_dir("enumeration");
	adf_test_set_dev_dir((dir + "/missing").c_str());
	const std::string err_file = dir + "/stderr";
	fflush(stderr);
	int saved = dup(2);
	int file = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	ASSERT_GE(file, 0);
	dup2(file, 2);
	close(file);
	testsupport::StdoutCapture out;
	gr_backend *b = adf_backend_create();
	gr_surface *s = b->start(b);
	b->stop(b);
	fflush(stderr);
	dup2(saved, 2);
	close(saved);
	EXPECT_EQ(s, nullptr);
	EXPECT_EQ(out.take(), "");
	std::string err;
	if (FILE *f = fopen(err_file.c_str(), "r")) {
		char buf[256];
		size_t n = fread(buf, 1, sizeof(buf), f);
		err.assign(buf, n);
		fclose(f);
	}
	EXPECT_EQ(err, "enumerating adf devices failed: No such file or directory\n");
	adf_test_set_dev_dir(nullptr);
}

// ---- the drawing layer on an ADF display

TEST_F(AdfBackendTest, TheDrawingLayerDrawsOnAnAdfDisplayWhenThereIsOne)
{
	devmodels::FbOsdModel fb; // present, but ADF comes first
	fb.attach(dir_ + "/fb0");
	fbdev_test_set_path(fb.path.c_str());
	dev_.attach(dir_);
	res_test_set_dir("/nonexistent");
	gr_test_setup("/nonexistent/tty", nullptr);
	ASSERT_EQ(gr_start(), 0);
	EXPECT_EQ(gr_screen_width(), 40);
	EXPECT_EQ(gr_screen_height(), 30);
	EXPECT_TRUE(fb.calls.empty());
	gr_set_color(10, 20, 30, 255);
	gr_fill_rect(1, 1, 3, 3);
	gr_present();
	const auto &frame = dev_.posts.back();
	const size_t at = size_t(frame.buf.pitch[0]) * 2 + 2 * 4;
	EXPECT_EQ(std::vector<uint8_t>(frame.pixels.begin() + long(at), frame.pixels.begin() + long(at) + 4),
		  (std::vector<uint8_t>{30, 20, 10, 255}));
	EXPECT_EQ(frame.pixels[0], 0);
	gr_stop();
	EXPECT_EQ(devmodels::adf_buffer_mappings(), 0);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 0);
	gr_test_setup(nullptr, nullptr);
	res_test_set_dir(nullptr);
	fbdev_test_set_path(nullptr);
	fb.detach();
}

} // namespace

// The framebuffer backend against a simulated OSD framebuffer device: the
// ioctl sequences of both OSD modes, buffering choice, page flips and the
// pixels that reach the device memory.
#include "graphics.h"
#include "resources.h"
#include "ui_testutil.h"

#include "capture.h"
#include "fb_model.h"

#include <gtest/gtest.h>

namespace {

class FbBackendTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		dir_ = uitest::scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
	}
	gr_surface *Start()
	{
		dev_.attach(dir_ + "/fb0");
		fbdev_test_set_path(dev_.path.c_str());
		backend_ = open_fbdev();
		return backend_->start(backend_);
	}
	void TearDown() override
	{
		if (backend_)
			backend_->stop(backend_);
		fbdev_test_set_path(nullptr);
		dev_.detach();
	}
	std::string dir_;
	devmodels::FbOsdModel dev_;
	gr_backend *backend_ = nullptr;
};

TEST_F(FbBackendTest, BlendingModeOnlyReadsTheOsdState)
{
	dev_.separate = 0;
	dev_.disp_win.stDstWin.u32W = 1920;
	testsupport::StdoutCapture out;
	ASSERT_NE(Start(), nullptr);
	EXPECT_EQ(dev_.osd_commands(),
		  (std::vector<unsigned long>{KER_OSD_IO_GET_DISP_WIN, KER_OSD_IO_IS_TIMING_GEN}));
	const std::string text = out.take();
	EXPECT_NE(text.find("OSD mode is blending\n"), std::string::npos);
	EXPECT_NE(text.find("get dst W/H: 1920/1080\r\n"), std::string::npos);
	EXPECT_NE(text.find("framebuffer: "), std::string::npos);
	// The standard calls: info, a flip to buffer 0, blank and unblank.
	EXPECT_EQ(dev_.calls.front().cmd, unsigned(FBIOGET_FSCREENINFO));
	EXPECT_EQ(dev_.calls[1].cmd, unsigned(FBIOGET_VSCREENINFO));
	ASSERT_GE(dev_.calls.size(), 3u);
	EXPECT_EQ(dev_.calls[dev_.calls.size() - 2].cmd, unsigned(FBIOBLANK));
	EXPECT_EQ(dev_.calls[dev_.calls.size() - 2].value, unsigned(FB_BLANK_POWERDOWN));
	EXPECT_EQ(dev_.calls.back().value, unsigned(FB_BLANK_UNBLANK));
}

TEST_F(FbBackendTest, SeparateModeConfiguresThePlaneInOrder)
{
	dev_.separate = 1;
	dev_.disp_win = {{0, 0, 1280, 720}, {0, 0, 3840, 2160}};
	dev_.stride = 1280; // nonzero: kept
	ASSERT_NE(Start(), nullptr);
	EXPECT_EQ(dev_.osd_commands(),
		  (std::vector<unsigned long>{
			  KER_OSD_IO_GET_DISP_WIN, KER_OSD_IO_IS_TIMING_GEN, KER_OSD_IO_GET_STRIDE,
			  KER_OSD_IO_AUTO_MUTE_ENABLE, KER_OSD_IO_SET_VIDEO_WIN_SIZE, KER_OSD_IO_SET_DISP_WIN,
			  KER_OSD_IO_SKIPALPHA_ENABLE, KER_OSD_IO_PLANE_SHOW_ENABLE,
			  KER_OSD_IO_REGION_SHOW_ENABLE, KER_OSD_IO_SHOW_ENABLE, KER_OSD_IO_UPDATE_ENABLE}));
	EXPECT_EQ(0x8020c86cUL, KER_OSD_IO_GET_DISP_WIN);
	EXPECT_EQ(0x4008c80aUL, KER_OSD_IO_UPDATE_ENABLE);
	EXPECT_EQ(dev_.last(KER_OSD_IO_AUTO_MUTE_ENABLE)->value, 0u);
	EXPECT_EQ(dev_.last(KER_OSD_IO_SHOW_ENABLE)->value, 1u);

	ST_SIZE video;
	memcpy(&video, dev_.last(KER_OSD_IO_SET_VIDEO_WIN_SIZE)->record.data(), sizeof(video));
	EXPECT_EQ(video.u32W, 3840u); // the destination as read
	EXPECT_EQ(video.u32H, 2160u);
	ST_DRV_OSD_DISP_WIN win;
	memcpy(&win, dev_.last(KER_OSD_IO_SET_DISP_WIN)->record.data(), sizeof(win));
	EXPECT_EQ(win.stDstWin.u32W, 1920u);
	EXPECT_EQ(win.stDstWin.u32H, 1080u);
	EXPECT_EQ(win.stSrcWin.u32W, 1280u);
	EXPECT_EQ(win.stSrcWin.u32H, 720u);
	ST_DRV_OSD_UPDATE_ENABLE update;
	memcpy(&update, dev_.last(KER_OSD_IO_UPDATE_ENABLE)->record.data(), sizeof(update));
	EXPECT_EQ(update.u32UpdateMask, 14u);
	EXPECT_EQ(update.bEnable, 1);
	EXPECT_EQ(update.bWaitVsync, 0);
}

TEST_F(FbBackendTest, ZeroStrideIsSetAndTheDriversLineLengthUsed)
{
	dev_.separate = 0;
	dev_.disp_win.stDstWin.u32W = 7680; // wide blending display: configured
	dev_.stride = 0;
	dev_.xres = 300;               // 1200 bytes, the driver rounds to 1216
	dev_.line_length = 0;
	dev_.smem_len = 1216 * 240 * 2;
	gr_surface *s = Start();
	ASSERT_NE(s, nullptr);
	EXPECT_EQ(dev_.last(KER_OSD_IO_SET_STRIDE)->value, 1200u);
	EXPECT_EQ(s->row_bytes, 1216u);
	ST_DRV_OSD_DISP_WIN win;
	memcpy(&win, dev_.last(KER_OSD_IO_SET_DISP_WIN)->record.data(), sizeof(win));
	EXPECT_EQ(win.stDstWin.u32W, 7680u); // blending: the window as read
}

TEST_F(FbBackendTest, FatalAndHarmlessOsdFailures)
{
	dev_.separate = 1;
	dev_.disp_win.stDstWin.u32W = 7680; // configured even when read as blending
	dev_.failing = {KER_OSD_IO_PLANE_SHOW_ENABLE, KER_OSD_IO_UPDATE_ENABLE, KER_OSD_IO_IS_TIMING_GEN};
	testsupport::StdoutCapture out;
	EXPECT_NE(Start(), nullptr);
	const std::string text = out.take();
	EXPECT_NE(text.find("ioctl plane enable failed err: Input/output error (5)\r\n"), std::string::npos);
	EXPECT_NE(text.find("ioctl UPDATE_ENABLE enable failed err: Input/output error (5)\r\n"), std::string::npos);
	EXPECT_NE(text.find("OSD mode is blending\n"), std::string::npos); // failed query reads as 0
	backend_->stop(backend_);
	backend_ = nullptr;
	dev_.detach();

	for (unsigned long fatal : {KER_OSD_IO_GET_DISP_WIN, KER_OSD_IO_AUTO_MUTE_ENABLE, KER_OSD_IO_SET_DISP_WIN,
				    KER_OSD_IO_SHOW_ENABLE, KER_OSD_IO_SET_VIDEO_WIN_SIZE}) {
		devmodels::FbOsdModel dev;
		dev.separate = 1;
		dev.failing = {fatal};
		dev.attach(dir_ + "/fb1");
		fbdev_test_set_path(dev.path.c_str());
		gr_backend *b = open_fbdev();
		EXPECT_EQ(b->start(b), nullptr) << std::hex << fatal;
		b->stop(b);
		dev.detach();
	}
}

TEST_F(FbBackendTest, DoubleBufferedPresentFlipsBetweenBuffers)
{
	dev_.smem_len = 2 * dev_.line_length * dev_.yres; // exactly two frames
	gr_surface *s = Start();
	ASSERT_NE(s, nullptr);
	EXPECT_EQ(dev_.var.yoffset, 0u);
	EXPECT_EQ(dev_.var.yres_virtual, 480u);
	s->data[0] = 0x11; // drawn into buffer 1
	gr_surface *next = backend_->present(backend_);
	EXPECT_EQ(dev_.var.yoffset, 240u);
	EXPECT_NE(next, s);
	EXPECT_EQ(dev_.memory(size_t(dev_.line_length) * 240, 1)[0], 0x11);
	backend_->present(backend_);
	EXPECT_EQ(dev_.var.yoffset, 0u);
}

TEST_F(FbBackendTest, SingleBufferedPresentCopiesWithRedAndBlueExchanged)
{
	dev_.smem_len = 2 * dev_.line_length * dev_.yres - 1;
	gr_surface *s = Start();
	ASSERT_NE(s, nullptr);
	const size_t calls = dev_.calls.size();
	uint8_t *p = s->data + 5 * s->row_bytes + 7 * 4;
	p[0] = 1;
	p[1] = 2;
	p[2] = 3;
	p[3] = 4;
	EXPECT_EQ(backend_->present(backend_), s);
	EXPECT_EQ(dev_.calls.size(), calls); // no flip
	EXPECT_EQ(dev_.memory(5 * dev_.line_length + 7 * 4, 4), (std::vector<uint8_t>{3, 2, 1, 4}));
}

TEST_F(FbBackendTest, AFramebufferSmallerThanOneFrameIsRefused)
{
	dev_.smem_len = dev_.line_length * dev_.yres - 4;
	EXPECT_EQ(Start(), nullptr);
}

TEST_F(FbBackendTest, DrawingLayerFallsBackToTheFramebuffer)
{
	dev_.attach(dir_ + "/fb0");
	fbdev_test_set_path(dev_.path.c_str());
	res_test_set_dir("/nonexistent");
	gr_test_setup("/nonexistent/tty", nullptr);
	ASSERT_EQ(gr_start(), 0); // no ADF device on this platform
	EXPECT_EQ(gr_screen_width(), 320);
	gr_set_color(0, 0, 255, 255);
	gr_fill_rect(0, 0, 2, 2);
	gr_present();
	// Two presents at start, one now: buffer 1 is on screen with the fill.
	EXPECT_EQ(dev_.var.yoffset, 240u);
	EXPECT_EQ(dev_.memory(size_t(dev_.line_length) * 240, 4), (std::vector<uint8_t>{255, 0, 0, 255}));
	gr_stop();
	gr_test_setup(nullptr, nullptr);
	res_test_set_dir(nullptr);
}

} // namespace

// The progress screen as a person sees it: frames read back from the
// simulated OSD plane through the framebuffer backend and compared with what
// the layout rules and the art give, on the set's full-HD plane and on a
// plane narrower than the bar and its percentage.
#include "resources.h"
#include "screen_layout.h"
#include "screen_ui.h"
#include "ui_testutil.h"

#include "fb_model.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using screenlayout::Frame;

class FrameScreen : public ScreenRecoveryUI {
public:
	using ScreenRecoveryUI::StopAnimation;
};

struct Plane {
	uint32_t width, height;
};

class ScreenFrameTest : public ::testing::TestWithParam<Plane> {
protected:
	void SetUp() override
	{
		ASSERT_EQ(screenlayout::load_art(CRV_RES_IMAGES, art_), "");
		const auto [w, h] = GetParam();
		name_ = std::to_string(w) + "x" + std::to_string(h);
		dev_.xres = w;
		dev_.yres = h;
		dev_.line_length = dev_.stride = w * 4;
		dev_.smem_len = 2 * w * 4 * h;
		dev_.disp_win = {{0, 0, w, h}, {0, 0, w, h}};
		dev_.attach(uitest::scratch_dir("frames_" + name_) + "/fb0");
		fbdev_test_set_path(dev_.path.c_str());
		res_test_set_dir(CRV_RES_IMAGES);
		gr_test_setup("/nonexistent/tty", nullptr);
		ui_ = std::make_unique<FrameScreen>();
		ui_->SetBarOptions(0, 1);
		ui_->Initialize();
		// Frames are read while nothing else draws.
		ui_->StopAnimation();
		ui_->SelectStatusIcon(ScreenRecoveryUI::ICON_INSTALLING);
	}
	void TearDown() override
	{
		ui_.reset();
		gr_stop();
		gr_test_setup(nullptr, nullptr);
		fbdev_test_set_path(nullptr);
		res_test_set_dir(nullptr);
		dev_.detach();
	}
	// The page the plane scans out, saved for a person to look at.
	Frame Shown(const std::string &what)
	{
		const size_t page = size_t(dev_.line_length) * dev_.yres;
		std::vector<uint8_t> px = dev_.memory(size_t(dev_.var.yoffset) * dev_.line_length, page);
		gr_surface s = {dev_.xres, dev_.yres, dev_.line_length, 4, px.data()};
		uitest::save_surface(&s, std::string(CRV_TEST_OUTPUT) + "/frame_" + name_ + "_" + what + ".png");
		return Frame::from_bgra(px.data(), int(dev_.xres), int(dev_.yres), dev_.line_length);
	}
	screenlayout::Art art_;
	devmodels::FbOsdModel dev_;
	std::string name_;
	std::unique_ptr<FrameScreen> ui_;
};

TEST_P(ScreenFrameTest, ProgressAndMessagesAreWhereTheLayoutPutsThem)
{
	const int W = int(GetParam().width), H = int(GetParam().height);
	ui_->SetProgressMode(ScreenRecoveryUI::PROGRESS_DETERMINATE);
	ui_->BeginProgressSegment(1.0f, 0);
	for (double p : {0.0, 0.375, 0.625, 1.0}) { // 0, 37, 62 and 100 %
		if (p > 0)
			ui_->SetSegmentFraction(float(p));
		const Frame shown = Shown(std::to_string(int(p * 100)));
		const int icon = screenlayout::shown_icon_frame(shown, art_);
		ASSERT_GE(icon, 0) << "no frame of the animation at the centre, at" << screenlayout::percent_text(p);
		EXPECT_EQ(screenlayout::compare(screenlayout::progress_frame(W, H, art_, size_t(icon), p), shown), "")
			<< "at" << screenlayout::percent_text(p);
	}

	struct {
		uint32_t rgb;
		const char *text;
	} const messages[] = {{0xff0000, "ERROR: Update image failed!"}, {0xffffff, "Update finished! Reboot system!"}};
	for (const auto &m : messages) {
		ui_->SetLogVisible(true);
		ui_->ShowColoredMessage(m.rgb, "%s", m.text);
		EXPECT_EQ(screenlayout::compare(screenlayout::message_frame(W, H, art_, m.rgb, m.text),
						Shown(m.rgb == 0xffffff ? "done" : "failed")),
			  "")
			<< m.text;
	}
}

INSTANTIATE_TEST_SUITE_P(Planes, ScreenFrameTest, ::testing::Values(Plane{1920, 1080}, Plane{640, 480}),
			 [](const auto &info) {
				 return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
			 });

} // namespace

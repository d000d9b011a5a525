// The progress screen on a memory display with the shipped images: bar
// phases and percentage, right-to-left bars, messages that stay, the log and
// menu, and a whole update's worth of calls with no display at all.
#include "resources.h"
#include "screen_ui.h"
#include "ui_testutil.h"

#include "capture.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

class TestScreen : public ScreenRecoveryUI {
public:
	using ScreenRecoveryUI::AnimationStep;
};

constexpr int kW = 800, kH = 600;
constexpr int kBarW = 600, kBarH = 24;
constexpr int kGlyphW = 12;

class ScreenTest : public ::testing::Test {
protected:
	void Init(const char *images = CRV_RES_IMAGES, const char *locale = nullptr, bool percent = true)
	{
		res_test_set_dir(images);
		gr_test_setup("/nonexistent/tty", &backend_.ops);
		ui_ = std::make_unique<TestScreen>();
		ui_->ApplyLocale(locale);
		ui_->SetBarOptions(0, percent);
		ui_->Initialize();
		ui_->SelectStatusIcon(ScreenRecoveryUI::ICON_INSTALLING);
	}
	void TearDown() override
	{
		ui_.reset();
		gr_test_setup(nullptr, nullptr);
		res_test_set_dir(nullptr);
	}
	std::vector<uint8_t> Px(int x, int y)
	{
		const uint8_t *p = backend_.shown_pixel(x, y);
		return {p[0], p[1], p[2]};
	}
	int Inked(int x0, int y0, int w, int h, std::vector<uint8_t> bgr)
	{
		int n = 0;
		for (int y = y0; y < y0 + h; ++y)
			for (int x = x0; x < x0 + w; ++x)
				n += Px(x, y) == bgr;
		return n;
	}
	void Save(const std::string &name)
	{
		uitest::save_surface(backend_.shown, std::string(CRV_TEST_OUTPUT) + "/" + name + ".png");
	}
	// Length of the filled part: up to the last column in the fill colour
	// (the bar's round ends are blended with black).
	int FilledColumns(int bar_x)
	{
		int n = 0;
		for (int x = bar_x; x < bar_x + kBarW; ++x)
			if (Px(x, ScreenRecoveryUI::kBarY + 16) == kFill)
				n = x - bar_x + 1;
		return n;
	}
	std::vector<uint8_t> Region(int x0, int y0, int w, int h)
	{
		std::vector<uint8_t> out;
		for (int y = y0; y < y0 + h; ++y)
			for (int x = x0; x < x0 + w; ++x) {
				auto p = Px(x, y);
				out.insert(out.end(), p.begin(), p.end());
			}
		return out;
	}
	const std::vector<uint8_t> kFill = {240, 170, 0};
	const std::vector<uint8_t> kEmpty = {34, 28, 25};
	const std::vector<uint8_t> kWhite = {255, 255, 255};
	uitest::MemBackend backend_{kW, kH};
	std::unique_ptr<TestScreen> ui_;
};

TEST_F(ScreenTest, BarFillsSegmentBySegmentWithThePercentageBeside)
{
	Init();
	const int bar_x = (kW - kBarW - 6 * kGlyphW) / 2;
	const int text_y = ScreenRecoveryUI::kBarY + (kBarH - 20) / 2;
	ui_->BeginProgressSegment(0.37f, 0);
	Save("progress_0");
	EXPECT_EQ(FilledColumns(bar_x), 0);
	EXPECT_EQ(Px(bar_x + 300, ScreenRecoveryUI::kBarY + 16), kEmpty);
	EXPECT_GT(Inked(bar_x + kBarW, text_y, 6 * kGlyphW, 20, kWhite), 0); // " 0%"

	ui_->SetSegmentFraction(1.0f);
	Save("progress_37");
	EXPECT_EQ(FilledColumns(bar_x), 222); // int(0.37 x 600)

	// Segments add up along the bar: 0.37 then 0.63, half of the second.
	ui_->BeginProgressSegment(0.63f, 0);
	ui_->SetSegmentFraction(0.5f);
	EXPECT_EQ(FilledColumns(bar_x), int((0.37f + 0.5f * 0.63f) * kBarW));
	Save("progress_62");
	// The old percentage was cleared before the new one was drawn: the
	// text looks as it does on a freshly painted screen.
	const auto text = Region(bar_x + kBarW, text_y, 6 * kGlyphW, 20);
	ui_->Redraw();
	EXPECT_EQ(Region(bar_x + kBarW, text_y, 6 * kGlyphW, 20), text);
}

TEST_F(ScreenTest, FractionNeverMovesBackAndSameLengthsSkipTheRedraw)
{
	Init();
	ui_->BeginProgressSegment(0.5f, 0);
	ui_->SetSegmentFraction(0.5f);
	// Only this thread's presents count: the animation thread draws too.
	const int presents = backend_.caller_presents;
	ui_->SetSegmentFraction(0.4f);            // lower
	ui_->SetSegmentFraction(0.5f + 0.001f);   // same pixel length (0.5 x 300)
	EXPECT_EQ(backend_.caller_presents, presents);
	ui_->SetSegmentFraction(0.6f);
	EXPECT_EQ(backend_.caller_presents, presents + 1);
	ui_->SetProgressMode(ScreenRecoveryUI::PROGRESS_EMPTY);
	const int after = backend_.caller_presents;
	ui_->SetSegmentFraction(0.9f); // only in determinate mode
	EXPECT_EQ(backend_.caller_presents, after);
}

TEST_F(ScreenTest, OpenSegmentCreepsForwardOnItsOwn)
{
	Init(CRV_RES_IMAGES, nullptr, false);
	const int bar_x = (kW - kBarW) / 2;
	ui_->BeginProgressSegment(1.0f, 1.0f);
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	ui_->AnimationStep();
	const int filled = FilledColumns(bar_x);
	EXPECT_GE(filled, 150);
	EXPECT_LT(filled, 600);
}

TEST_F(ScreenTest, RightToLeftLocaleFillsFromTheRightWithoutPercentage)
{
	Init(CRV_RES_IMAGES, "he_IL");
	const int bar_x = (kW - kBarW - 6 * kGlyphW) / 2;
	ui_->BeginProgressSegment(0.25f, 0);
	ui_->SetSegmentFraction(1.0f);
	EXPECT_EQ(Px(bar_x + kBarW - 10, ScreenRecoveryUI::kBarY + 16), kFill);
	EXPECT_EQ(Px(bar_x + 10, ScreenRecoveryUI::kBarY + 16), kEmpty);
	EXPECT_EQ(Inked(bar_x + kBarW, ScreenRecoveryUI::kBarY, 6 * kGlyphW, kBarH, kWhite), 0);
}

TEST_F(ScreenTest, ErrorIconDrawsNoBarAndARedMessageStays)
{
	Init();
	ui_->BeginProgressSegment(0.5f, 1.0f);
	ui_->SelectStatusIcon(ScreenRecoveryUI::ICON_ERROR);
	const int bar_x = (kW - kBarW - 6 * kGlyphW) / 2;
	EXPECT_EQ(Px(bar_x + 20, ScreenRecoveryUI::kBarY + 16), std::vector<uint8_t>({0, 0, 0}));
	Save("error_icon");

	// A failed update, as the program reports it.
	ui_->SelectStatusIcon(ScreenRecoveryUI::ICON_INSTALLING);
	ui_->SetLogVisible(true);
	ui_->ShowColoredMessage(0xFF0000, "ERROR: image verify failed");
	Save("error_message");
	const std::vector<uint8_t> red = {0, 0, 255};
	const int y = kH / 2 - 20;
	const int ink = Inked(0, y, kW, 20, red);
	EXPECT_GT(ink, 100);
	const int presents = backend_.presents;
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	ui_->AnimationStep(); // the open segment moved on; the message stays
	ui_->SetSegmentFraction(0.9f);
	EXPECT_EQ(backend_.presents, presents);
	EXPECT_EQ(Inked(0, y, kW, 20, red), ink);

	// The log key shows the log and the message again, never the bar.
	for (int press = 0; press < 3; ++press) {
		ui_->HandleKey(KEY_HOME, 1);
		ui_->HandleKey(KEY_HOME, 0);
		ui_->AnimationStep();
		EXPECT_EQ(Inked(bar_x, ScreenRecoveryUI::kBarY, kBarW, kBarH, kFill), 0) << "press " << press;
		EXPECT_EQ(Inked(bar_x, ScreenRecoveryUI::kBarY, kBarW, kBarH, kEmpty), 0) << "press " << press;
		EXPECT_EQ(Inked(0, y, kW, 20, red), ui_->IsLogVisible() ? 0 : ink) << "press " << press;
	}
}

TEST_F(ScreenTest, LogShowsTheNewestRowsAtTheBottom)
{
	Init();
	for (int i = 0; i < 100; ++i)
		ui_->AppendLog("line %d\n", i);
	ui_->AppendLog("newest");
	ui_->SetLogVisible(true);
	EXPECT_TRUE(ui_->IsLogVisible());
	EXPECT_TRUE(ui_->WasLogEverVisible());
	Save("log");
	const std::vector<uint8_t> log = {0, 194, 249};
	// "newest" (6 glyphs) on the bottom row; the row above is "line 99".
	EXPECT_GT(Inked(4, kH - 20, 6 * kGlyphW, 20, log), 0);
	EXPECT_EQ(Inked(4 + 6 * kGlyphW, kH - 20, 4 * kGlyphW, 20, log), 0);
	EXPECT_GT(Inked(4 + 6 * kGlyphW, kH - 40, 2 * kGlyphW, 20, log), 0);
}

TEST_F(ScreenTest, MenuSelectionIsKeptInRange)
{
	Init();
	const char *headers[] = {"Header", nullptr};
	const char *items[] = {"one", "two", "three", nullptr};
	EXPECT_EQ(ui_->HighlightMenuItem(5), 5); // no menu yet
	ui_->SetLogVisible(true);
	ui_->OpenMenu(headers, items, 1);
	EXPECT_EQ(ui_->HighlightMenuItem(-3), 0);
	EXPECT_EQ(ui_->HighlightMenuItem(99), 2);
	Save("menu");
	ui_->CloseMenu();
	EXPECT_EQ(ui_->HighlightMenuItem(1), 1);
}

// A plain message is drawn, not presented: the next present (here a
// progress update's) shows it as a white message would show, and it stays.
TEST_F(ScreenTest, APlainMessageIsShownByTheNextPresent)
{
	Init();
	ui_->SetProgressMode(ScreenRecoveryUI::PROGRESS_DETERMINATE);
	ui_->BeginProgressSegment(1.0f, 0);
	ui_->DrawPlainMessage("working");
	ui_->SetSegmentFraction(0.5f);
	ui_->SetSegmentFraction(0.9f);
	const auto shown = Region(0, 0, kW, kH);
	ui_->ShowColoredMessage(0xFFFFFF, "working");
	EXPECT_TRUE(Region(0, 0, kW, kH) == shown);
}

TEST_F(ScreenTest, NoDisplayAndNoImagesTheUpdateRunsToTheEnd)
{
	backend_.fail_start = true;
	testsupport::StdoutCapture out;
	Init("/nonexistent");
	const std::string text = out.take();
	EXPECT_NE(text.find("missing bitmap icon_installing\n(Code -1)\n"), std::string::npos);
	EXPECT_NE(text.find("missing bitmap progress_fill\n(Code -1)\n"), std::string::npos);

	clock_t c0 = clock();
	ui_->SetProgressMode(ScreenRecoveryUI::PROGRESS_DETERMINATE);
	ui_->BeginProgressSegment(0.25f, 0);
	ui_->SetSegmentFraction(1.0f);
	ui_->BeginProgressSegment(0.75f, 600);
	for (int i = 0; i <= 100; ++i)
		ui_->SetSegmentFraction(i / 100.0f);
	ui_->SetLogVisible(true);
	ui_->AppendLog("status %d\n", 1);
	ui_->ShowColoredMessage(0xFF0000, "ERROR: %s", "write failed");
	ui_->DrawPlainMessage("done");
	ui_->OpenMenu(nullptr, nullptr, 0);
	ui_->SelectStatusIcon(ScreenRecoveryUI::ICON_ERASING);
	ui_->AnimationStep();
	ui_->Redraw();
	EXPECT_TRUE(ui_->IsLogVisible());
	EXPECT_EQ(backend_.presents, 0);
	std::this_thread::sleep_for(std::chrono::milliseconds(200));
	// The input thread has no device and waits without using the CPU.
	EXPECT_LT(double(clock() - c0) / CLOCKS_PER_SEC, 0.15);
}

TEST_F(ScreenTest, BrokenInstallingIconLeavesNoFrames)
{
	const std::string dir = uitest::scratch_dir("broken_icon");
	png_out icon = uitest::rgb_image(4, 6, 1, 2, 3);
	icon.text.push_back({"Frames", "0"});
	uitest::write_png(dir, "icon_installing", icon);
	Init(dir.c_str());
	ui_->SelectStatusIcon(ScreenRecoveryUI::ICON_ERASING);
	ui_->BeginProgressSegment(1.0f, 0);
	ui_->AnimationStep();
	EXPECT_EQ(Px(kW / 2, kH / 2), std::vector<uint8_t>({0, 0, 0}));
}

} // namespace

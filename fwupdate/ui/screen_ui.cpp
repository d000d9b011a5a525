#include "screen_ui.h"

#include "resources.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>

std::atomic<ScreenRecoveryUI *> ScreenRecoveryUI::instance_{nullptr};

namespace {

void report_missing(const char *name, int code)
{
	printf("missing bitmap %s\n(Code %d)\n", name, code);
}

} // namespace

ScreenRecoveryUI::ScreenRecoveryUI()
{
	instance_.store(this);
}

ScreenRecoveryUI::~ScreenRecoveryUI()
{
	StopAnimation();
	ScreenRecoveryUI *self = this;
	instance_.compare_exchange_strong(self, nullptr);
	for (int i = 0; i < 5; ++i) {
		res_free_surface(caption_images_[i]);
		if (i != ICON_INSTALLING && i != ICON_ERASING && i != ICON_NO_COMMAND)
			res_free_surface(icon_images_[i]);
	}
	res_free_frames(installing_frames_, installing_frames_count_);
	res_free_surface(bar_empty_);
	res_free_surface(bar_full_);
	res_free_surface(step_empty_);
	res_free_surface(step_done_);
}

void ScreenRecoveryUI::StopAnimation()
{
	animation_stop_.store(true);
	animation_wake_.notify_all();
	if (animation_thread_.joinable())
		animation_thread_.join();
}

double ScreenRecoveryUI::Now()
{
	timeval tv;
	gettimeofday(&tv, nullptr);
	return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

void ScreenRecoveryUI::UseRoleColor(int role)
{
	switch (role) {
	case ROLE_HEADER:
		gr_set_color(247, 0, 6, 255);
		break;
	case ROLE_MENU:
	case ROLE_MENU_SEL_BG:
		gr_set_color(0, 106, 157, 255);
		break;
	case ROLE_MENU_SEL_FG:
		gr_set_color(255, 255, 255, 255);
		break;
	case ROLE_LOG:
		gr_set_color(249, 194, 0, 255);
		break;
	case ROLE_TEXT_FILL:
		gr_set_color(0, 0, 0, 160);
		break;
	default:
		gr_set_color(255, 255, 255, 255);
		break;
	}
}

gr_surface *ScreenRecoveryUI::CurrentFrame() const
{
	if (!installing_frames_ || current_frame_ < 0 || current_frame_ >= installing_frames_count_)
		return nullptr;
	return installing_frames_[current_frame_];
}

void ScreenRecoveryUI::PaintBackdrop(int icon)
{
	pages_identical_ = false;
	gr_set_color(0, 0, 0, 255);
	gr_wipe();
	if (icon == ICON_NONE)
		return;
	if (icon < 0 || icon > ICON_ERROR)
		return;

	gr_surface *image = (icon == ICON_INSTALLING || icon == ICON_ERASING) ? CurrentFrame() : icon_images_[icon];
	gr_surface *caption = caption_images_[icon];
	const int W = gr_screen_width();
	const int H = gr_screen_height();
	const int iw = gr_surface_width(image);
	const int ih = gr_surface_height(image);
	const int cw = gr_surface_width(caption);
	const int ch = gr_surface_height(caption);
	const int sh = step_count_ >= 0 ? gr_surface_height(step_empty_) : 0;

	icon_x_ = (W - iw) / 2;
	icon_y_ = (H - (ih + ch + sh)) / 2;
	const int caption_x = (W - cw) / 2;
	const int caption_y = ih + (H - (ih + ch + 40 + sh)) / 2 + 40;

	if (image)
		gr_blit(image, 0, 0, iw, ih, icon_x_, icon_y_);

	if (gr_surface_height(step_empty_) > 0 && step_count_ > 0) {
		const int sw = gr_surface_width(step_empty_);
		// Signed: a row wider than the screen starts left of it and its
		// markers are dropped by clipping.
		int x = (W - sw * step_count_) / 2;
		const int y = icon_y_ + ih + 20;
		for (int i = 0; i < step_count_; ++i) {
			gr_surface *marker = i < step_ ? step_done_ : step_empty_;
			gr_blit(marker, 0, 0, gr_surface_width(marker), gr_surface_height(marker), x, y);
			x += sw;
		}
	}
	gr_set_color(255, 255, 255, 255);
	gr_texticon(caption_x, caption_y, caption);
}

void ScreenRecoveryUI::PaintBar()
{
	if (current_icon_ == ICON_ERROR)
		return;
	if (current_icon_ == ICON_INSTALLING || current_icon_ == ICON_ERASING) {
		gr_surface *frame = CurrentFrame();
		if (frame)
			gr_blit(frame, 0, 0, gr_surface_width(frame), gr_surface_height(frame), icon_x_, icon_y_);
	}
	if (progress_mode_ == PROGRESS_EMPTY)
		return;

	int gw = 0, gh = 0;
	gr_glyph_size(&gw, &gh);
	const int W = gr_screen_width();
	const int w = gr_surface_width(bar_empty_);
	const int h = gr_surface_height(bar_empty_);
	const int bar_x = show_percent_ ? (W - w - 6 * gw) / 2 : (W - w) / 2;
	const int text_y = kBarY + (h - gh) / 2;

	gr_set_color(0, 0, 0, 255);
	gr_fill_rect(bar_x, kBarY, bar_x + w, kBarY + h);
	if (show_percent_) {
		// The room beside the bar, so a new percentage never lands on the
		// previous one.
		gr_fill_rect(bar_x + w, std::min(kBarY, text_y), bar_x + w + 6 * gw, std::max(kBarY + h, text_y + gh));
	}
	if (progress_mode_ != PROGRESS_DETERMINATE)
		return;

	const float p = segment_start_ + segment_fraction_ * segment_size_;
	const int pos = std::clamp(int(p * float(w)), 0, w);
	if (!rtl_locale_) {
		if (pos > 0)
			gr_blit(bar_full_, 0, 0, pos, h, bar_x, kBarY);
		if (pos < w - 1)
			gr_blit(bar_empty_, pos, 0, w - pos, h, bar_x + pos, kBarY);
		if (show_percent_) {
			char text[10];
			snprintf(text, sizeof(text), " %d%%", int(p * 100));
			gr_set_color(255, 255, 255, 255);
			gr_draw_text(bar_x + w, text_y, text, false);
		}
	} else {
		if (pos > 0)
			gr_blit(bar_full_, w - pos, 0, pos, h, bar_x + w - pos, kBarY);
		if (pos < w - 1)
			gr_blit(bar_empty_, 0, 0, w - pos, h, bar_x, kBarY);
	}
}

void ScreenRecoveryUI::PaintScreen()
{
	message_shown_ = false;
	if (!log_shown_) {
		if (message_held_) {
			PaintHeldMessage();
			return;
		}
		PaintBackdrop(current_icon_);
		PaintBar();
		return;
	}
	int gw = 0, gh = 0;
	gr_glyph_size(&gw, &gh);
	const int W = gr_screen_width();
	const int H = gr_screen_height();
	gr_set_color(0, 0, 0, 255);
	gr_wipe();

	int y = 0;
	int limit = 2;
	if (menu_shown_) {
		UseRoleColor(ROLE_HEADER);
		for (int i = 0; i < menu_top_ + menu_items_ && i < kMaxRows; ++i) {
			if (i == menu_top_)
				UseRoleColor(ROLE_MENU);
			if (i == menu_top_ + menu_sel_) {
				UseRoleColor(ROLE_MENU_SEL_BG);
				gr_fill_rect(0, y - 2, W, y + gh + 2);
				UseRoleColor(ROLE_MENU_SEL_FG);
				if (menu_text_[i][0])
					gr_draw_text(4, y, menu_text_[i], true);
				UseRoleColor(ROLE_MENU);
			} else if (menu_text_[i][0]) {
				gr_draw_text(4, y, menu_text_[i], i < menu_top_);
			}
			y += gh + 4;
		}
		UseRoleColor(ROLE_MENU);
		gr_fill_rect(0, y + 4, W, y + 6);
		limit = y + 10;
	}

	// An empty grid (no display) has no rows to draw.
	if (log_rows_ <= 0 || log_cols_ <= 0)
		return;
	UseRoleColor(ROLE_LOG);
	int row = (log_top_ + log_rows_ - 1) % log_rows_;
	int drawn = 0;
	for (int ty = H - gh; ty > limit && drawn < log_rows_; ty -= gh, ++drawn) {
		gr_draw_text(4, ty, log_text_[row], false);
		row = row == 0 ? log_rows_ - 1 : row - 1;
	}
}

void ScreenRecoveryUI::PresentScreen()
{
	PaintScreen();
	gr_present();
}

void ScreenRecoveryUI::PresentProgress()
{
	// A message on the screen has no bar to move.
	if (message_shown_)
		return;
	if (log_shown_ || !pages_identical_) {
		PaintScreen();
		pages_identical_ = true;
	} else {
		PaintBar();
	}
	gr_present();
}

void ScreenRecoveryUI::LoadImages()
{
	int rc = res_load_frames("icon_installing", &installing_frames_count_, &installing_frames_);
	if (rc != 0) {
		report_missing("icon_installing", rc);
		// No frames to show: the icon stays empty and nothing animates.
		installing_frames_ = nullptr;
		installing_frames_count_ = 0;
	}
	gr_surface *first = installing_frames_count_ > 0 ? installing_frames_[0] : nullptr;
	icon_images_[ICON_INSTALLING] = first;
	icon_images_[ICON_ERASING] = first;

	rc = res_load_image("icon_error", &icon_images_[ICON_ERROR]);
	if (rc != 0)
		report_missing("icon_error", rc);
	icon_images_[ICON_NO_COMMAND] = icon_images_[ICON_ERROR];

	struct {
		const char *name;
		gr_surface **out;
	} const images[] = {
		{"progress_empty", &bar_empty_},
		{"progress_fill", &bar_full_},
		{"stage_empty", &step_empty_},
		{"stage_fill", &step_done_},
	};
	for (const auto &img : images) {
		rc = res_load_image(img.name, img.out);
		if (rc != 0)
			report_missing(img.name, rc);
	}

	struct {
		const char *name;
		int icon;
	} const captions[] = {
		{"installing_text", ICON_INSTALLING},
		{"erasing_text", ICON_ERASING},
		{"no_command_text", ICON_NO_COMMAND},
		{"error_text", ICON_ERROR},
	};
	for (const auto &c : captions) {
		rc = res_load_caption(c.name, locale_, &caption_images_[c.icon]);
		if (rc != 0)
			report_missing(c.name, rc);
	}
}

void ScreenRecoveryUI::Initialize()
{
	{
		std::lock_guard<std::mutex> lock(update_lock_);
		gr_start();
		int gw = 0, gh = 0;
		gr_glyph_size(&gw, &gh);
		log_col_ = 0;
		log_row_ = 0;
		log_rows_ = gh > 0 ? std::min(gr_screen_height() / gh, kMaxRows) : 0;
		log_top_ = 1;
		log_cols_ = gw > 0 ? std::min(gr_screen_width() / gw, kMaxCols - 1) : 0;
		LoadImages();
	}
	// Without a thread the screen still draws on request; it only does not
	// animate.
	try {
		animation_thread_ = std::thread([this] { AnimationLoop(); });
	} catch (const std::system_error &) {
	}
	RecoveryUI::Initialize();
}

void ScreenRecoveryUI::AnimationStep()
{
	std::lock_guard<std::mutex> lock(update_lock_);
	bool redraw = false;
	if ((current_icon_ == ICON_INSTALLING || current_icon_ == ICON_ERASING) && installing_frames_ &&
	    installing_frames_count_ > 0 && !log_shown_) {
		current_frame_ = (current_frame_ + 1) % installing_frames_count_;
		redraw = true;
	}
	const int duration = int(segment_duration_);
	if (progress_mode_ == PROGRESS_DETERMINATE && duration > 0) {
		const double p = std::min((Now() - segment_start_time_) / duration, 1.0);
		if (p > segment_fraction_) {
			segment_fraction_ = float(p);
			redraw = true;
		}
	}
	if (redraw)
		PresentProgress();
}

void ScreenRecoveryUI::AnimationLoop()
{
	const double period = 1.0 / animation_fps_;
	while (!animation_stop_.load()) {
		const double t0 = Now();
		AnimationStep();
		const double delay = std::max(period - (Now() - t0), 0.02);
		std::unique_lock<std::mutex> lock(update_lock_);
		animation_wake_.wait_for(lock, std::chrono::microseconds(int64_t(delay * 1e6)),
					 [this] { return animation_stop_.load(); });
	}
}

void ScreenRecoveryUI::SetStepIndicator(int step, int count)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	step_ = step;
	step_count_ = count;
}

void ScreenRecoveryUI::ApplyLocale(const char *locale)
{
	if (!locale)
		return;
	locale_ = locale;
	char language[64];
	snprintf(language, sizeof(language), "%s", locale);
	if (char *underscore = strchr(language, '_'))
		*underscore = '\0';
	static const char *const kRightToLeft[] = {"ar", "fa", "he", "iw", "ur"};
	for (const char *rtl : kRightToLeft)
		if (strcmp(language, rtl) == 0)
			rtl_locale_ = true;
}

void ScreenRecoveryUI::SelectStatusIcon(int icon)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	current_icon_ = icon;
	message_held_ = false;
	PresentScreen();
}

void ScreenRecoveryUI::SetProgressMode(int mode)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	progress_mode_ = mode;
	segment_start_ = 0;
	segment_size_ = 0;
	segment_fraction_ = 0;
	PresentProgress();
}

void ScreenRecoveryUI::BeginProgressSegment(float portion, float seconds)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	progress_mode_ = PROGRESS_DETERMINATE;
	segment_start_ += segment_size_;
	segment_size_ = portion;
	segment_start_time_ = Now();
	segment_duration_ = seconds;
	segment_fraction_ = 0;
	PresentProgress();
}

void ScreenRecoveryUI::SetSegmentFraction(float fraction)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	if (progress_mode_ != PROGRESS_DETERMINATE)
		return;
	fraction = std::clamp(fraction, 0.0f, 1.0f);
	if (!(fraction > segment_fraction_))
		return;
	const float s = float(gr_surface_width(bar_empty_)) * segment_size_;
	if (int(segment_fraction_ * s) == int(fraction * s))
		return;
	segment_fraction_ = fraction;
	PresentProgress();
}

void ScreenRecoveryUI::SetLogVisible(bool visible)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	log_shown_ = visible;
	if (visible)
		log_ever_shown_ = true;
	PresentScreen();
}

bool ScreenRecoveryUI::IsLogVisible()
{
	std::lock_guard<std::mutex> lock(update_lock_);
	return log_shown_;
}

bool ScreenRecoveryUI::WasLogEverVisible()
{
	std::lock_guard<std::mutex> lock(update_lock_);
	return log_ever_shown_;
}

void ScreenRecoveryUI::AppendLog(const char *fmt, ...)
{
	char buf[kTextBytes];
	va_list ap;
	va_start(ap, fmt);
	vsnprintf(buf, sizeof(buf), fmt, ap);
	va_end(ap);
	fputs(buf, stdout);

	std::lock_guard<std::mutex> lock(update_lock_);
	if (log_rows_ > 0 && log_cols_ > 0) {
		for (const char *p = buf; *p; ++p) {
			if (*p == '\n' || log_col_ >= log_cols_) {
				log_text_[log_row_][log_col_] = '\0';
				log_col_ = 0;
				log_row_ = (log_row_ + 1) % log_rows_;
				if (log_row_ == log_top_)
					log_top_ = (log_top_ + 1) % log_rows_;
			}
			if (*p != '\n')
				log_text_[log_row_][log_col_++] = *p;
		}
		log_text_[log_row_][log_col_] = '\0';
	}
	PresentScreen();
}

void ScreenRecoveryUI::DrawMessage(const char *text)
{
	int gw = 0, gh = 0;
	gr_glyph_size(&gw, &gh);
	const int W = gr_screen_width();
	const int H = gr_screen_height();
	const int x = W / 2 - (gw * int(strlen(text))) / 2;
	const int y = H / 2 - gh;
	gr_draw_text(x, y, text, true);
	// The screen no longer shows the backdrop: a later repaint paints all
	// of it.
	pages_identical_ = false;
}

void ScreenRecoveryUI::HoldMessage(int role, uint32_t rgb, const char *fmt, va_list ap)
{
	vsnprintf(message_text_, sizeof(message_text_), fmt, ap);
	message_role_ = role;
	message_rgb_ = rgb & 0xffffff;
	message_held_ = true;
	PaintHeldMessage();
}

void ScreenRecoveryUI::ShowColoredMessage(uint32_t rgb, const char *fmt, ...)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	va_list ap;
	va_start(ap, fmt);
	HoldMessage(-1, rgb, fmt, ap);
	va_end(ap);
	gr_present();
}

void ScreenRecoveryUI::PaintHeldMessage()
{
	gr_set_color(0, 0, 0, 255);
	gr_wipe();
	if (message_role_ >= 0)
		UseRoleColor(message_role_);
	else
		gr_set_color(uint8_t(message_rgb_ >> 16), uint8_t(message_rgb_ >> 8), uint8_t(message_rgb_), 255);
	DrawMessage(message_text_);
	// Every caller but DrawPlainMessage presents it: progress updates leave
	// it there.
	message_shown_ = true;
}

void ScreenRecoveryUI::DrawPlainMessage(const char *fmt, ...)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	va_list ap;
	va_start(ap, fmt);
	HoldMessage(ROLE_MENU_SEL_FG, 0, fmt, ap);
	va_end(ap);
	// Drawn, not presented: the next present, a progress update's too,
	// shows it.
	message_shown_ = false;
}

void ScreenRecoveryUI::OpenMenu(const char *const *headers, const char *const *items, int initial)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	if (log_rows_ <= 0 || log_cols_ <= 0)
		return;
	const size_t width = size_t(log_cols_ - 1);
	int i = 0;
	for (; headers && headers[i] && i < log_rows_; ++i) {
		strncpy(menu_text_[i], headers[i], width);
		menu_text_[i][width] = '\0';
	}
	menu_top_ = i;
	for (; items && items[i - menu_top_] && i < log_rows_; ++i) {
		strncpy(menu_text_[i], items[i - menu_top_], width);
		menu_text_[i][width] = '\0';
	}
	menu_items_ = i - menu_top_;
	menu_shown_ = true;
	menu_sel_ = initial;
	PresentScreen();
}

int ScreenRecoveryUI::HighlightMenuItem(int sel)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	if (!menu_shown_)
		return sel;
	const int old = menu_sel_;
	menu_sel_ = sel < 0 ? 0 : sel >= menu_items_ ? menu_items_ - 1 : sel;
	if (menu_sel_ != old)
		PresentScreen();
	return menu_sel_;
}

void ScreenRecoveryUI::CloseMenu()
{
	std::lock_guard<std::mutex> lock(update_lock_);
	if (menu_shown_ && log_rows_ > 0 && log_cols_ > 0) {
		menu_shown_ = false;
		PresentScreen();
	}
}

void ScreenRecoveryUI::SetBarOptions(uint8_t option1, uint8_t show_percent)
{
	std::lock_guard<std::mutex> lock(update_lock_);
	bar_option1_ = option1;
	show_percent_ = show_percent;
}

void ScreenRecoveryUI::Redraw()
{
	std::lock_guard<std::mutex> lock(update_lock_);
	PresentScreen();
}

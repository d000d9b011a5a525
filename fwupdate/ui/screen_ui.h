// The updater's progress screen: status icon, caption, step markers,
// progress bar, text log, menu and full-screen messages.
#pragma once

#include "graphics.h"
#include "recovery_ui.h"

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <thread>

class ScreenRecoveryUI : public RecoveryUI {
public:
	enum Icon { ICON_NONE = 0, ICON_INSTALLING = 1, ICON_ERASING = 2, ICON_NO_COMMAND = 3, ICON_ERROR = 4 };
	enum ProgressMode { PROGRESS_EMPTY = 0, PROGRESS_INDETERMINATE = 1, PROGRESS_DETERMINATE = 2 };
	enum Role {
		ROLE_HEADER = 0,
		ROLE_MENU = 1,
		ROLE_MENU_SEL_BG = 2,
		ROLE_MENU_SEL_FG = 3,
		ROLE_LOG = 4,
		ROLE_TEXT_FILL = 5,
	};
	static constexpr int kMaxRows = 96;
	static constexpr int kMaxCols = 96;
	static constexpr int kBarY = 270;
	// Formatted texts are cut to this many bytes, terminator included.
	static constexpr int kTextBytes = 256;

	ScreenRecoveryUI();
	~ScreenRecoveryUI() override;

	void Initialize() override;
	void SetStepIndicator(int step, int count) override;
	void ApplyLocale(const char *locale) override;
	void SelectStatusIcon(int icon) override;
	void SetProgressMode(int mode) override;
	void BeginProgressSegment(float portion, float seconds) override;
	void SetSegmentFraction(float fraction) override;
	void SetLogVisible(bool visible) override;
	bool IsLogVisible() override;
	bool WasLogEverVisible() override;
	void AppendLog(const char *fmt, ...) override __attribute__((format(printf, 2, 3)));
	void ShowColoredMessage(uint32_t rgb, const char *fmt, ...) override
		__attribute__((format(printf, 3, 4)));
	void DrawPlainMessage(const char *fmt, ...) override __attribute__((format(printf, 2, 3)));
	void OpenMenu(const char *const *headers, const char *const *items, int initial) override;
	int HighlightMenuItem(int sel) override;
	void CloseMenu() override;
	virtual void UseRoleColor(int role);

	void SetBarOptions(uint8_t option1, uint8_t show_percent);
	void Redraw();

protected:
	// Seconds on the wall clock.
	static double Now();
	// One round of the animation thread (frame and self-advancing bar).
	void AnimationStep();
	// Ends the animation thread (the destructor does, too).
	void StopAnimation();

private:
	void PaintBackdrop(int icon);
	void PaintBar();
	void PaintScreen();
	void PresentScreen();
	void PresentProgress();
	void DrawMessage(const char *text);
	void HoldMessage(int role, uint32_t rgb, const char *fmt, va_list ap);
	void PaintHeldMessage();
	gr_surface *CurrentFrame() const;
	void LoadImages();
	void AnimationLoop();

	int current_icon_ = ICON_NONE;
	int current_frame_ = 0;
	const char *locale_ = nullptr;
	bool rtl_locale_ = false;

	std::mutex update_lock_;
	gr_surface *icon_images_[5] = {};
	gr_surface *caption_images_[5] = {};
	gr_surface **installing_frames_ = nullptr;
	gr_surface *bar_empty_ = nullptr;
	gr_surface *bar_full_ = nullptr;
	gr_surface *step_empty_ = nullptr;
	gr_surface *step_done_ = nullptr;

	int progress_mode_ = PROGRESS_EMPTY;
	float segment_start_ = 0;
	float segment_size_ = 0;
	float segment_fraction_ = 0;
	double segment_start_time_ = 0;
	double segment_duration_ = 0;
	uint8_t bar_option1_ = 0;
	uint8_t show_percent_ = 0;
	bool pages_identical_ = false;
	// The last full-screen message holds the screen in place of the icon
	// and the bar (an update that failed or ended shows nothing else) until
	// a status icon is selected again; the log can still be shown over it.
	// It is drawn in its role's colour, or in message_rgb_ for role -1.
	bool message_held_ = false;
	char message_text_[kTextBytes] = {};
	int message_role_ = -1;
	uint32_t message_rgb_ = 0;
	// A presented full-screen message is what the screen shows now:
	// progress updates leave it there (a plain message only drawn is not
	// yet: the next present shows it).
	bool message_shown_ = false;

	char log_text_[kMaxRows][kMaxCols] = {};
	int log_cols_ = 0;
	int log_rows_ = 0;
	int log_col_ = 0;
	int log_row_ = 0;
	int log_top_ = 0;
	bool log_shown_ = false;
	bool log_ever_shown_ = false;

	char menu_text_[kMaxRows][kMaxCols] = {};
	bool menu_shown_ = false;
	int menu_top_ = 0;
	int menu_items_ = 0;
	int menu_sel_ = 0;

	int animation_fps_ = 1;
	int installing_frames_count_ = -1;
	int icon_x_ = 0;
	int icon_y_ = 0;
	int step_ = -1;
	int step_count_ = -1;

	std::thread animation_thread_;
	std::atomic<bool> animation_stop_{false};
	std::condition_variable animation_wake_;

	static std::atomic<ScreenRecoveryUI *> instance_;
};

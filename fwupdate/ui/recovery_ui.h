// Key input and the progress screen's base class: key queue, held keys,
// long presses and the input thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class RecoveryUI {
public:
	enum KeyAction {
		ENQUEUE = 0,
		TOGGLE = 1,
		REBOOT = 2,
		IGNORE = 3,
		MOUNT_SYSTEM = 4,
	};
	static constexpr int kKeyCount = 768;
	static constexpr int kQueueSize = 256;
	static constexpr int kLongPressUs = 750000;

	RecoveryUI();
	virtual ~RecoveryUI();

	virtual void Initialize();
	virtual void SetStepIndicator(int, int) {}
	virtual void ApplyLocale(const char *) {}
	virtual void SelectStatusIcon(int icon) = 0;
	virtual void SetProgressMode(int mode) = 0;
	virtual void BeginProgressSegment(float portion, float seconds) = 0;
	virtual void SetSegmentFraction(float fraction) = 0;
	virtual void SetLogVisible(bool visible) = 0;
	virtual bool IsLogVisible() = 0;
	virtual bool WasLogEverVisible() = 0;
	virtual void AppendLog(const char *fmt, ...) __attribute__((format(printf, 2, 3))) = 0;
	virtual void ShowColoredMessage(uint32_t rgb, const char *fmt, ...)
		__attribute__((format(printf, 3, 4))) = 0;
	virtual void DrawPlainMessage(const char *fmt, ...) __attribute__((format(printf, 2, 3))) = 0;
	virtual int AwaitKey();
	virtual bool KeyIsDown(int key);
	virtual void DiscardQueuedKeys();
	virtual int ClassifyKey(int key);
	virtual void NoteLongPressState(bool) {}
	virtual void LongPressHook(int) {}
	virtual void EnableRepeatKeyAction(bool enabled);
	virtual void OpenMenu(const char *const *headers, const char *const *items, int initial) = 0;
	virtual int HighlightMenuItem(int sel) = 0;
	virtual void CloseMenu() = 0;

	// One key pressed (down nonzero) or released.
	void HandleKey(int key, int down);
	void QueueKey(int key);
	// Reads one input event from fd and acts on it.
	static int InputCallback(int fd, uint32_t epevents, void *data);

protected:
	// How long AwaitKey waits for a key.
	int key_wait_ms_ = 120000;

private:
	static void InputThread();
	void LongPressTimer(int key, int count);

	std::mutex queue_lock_;
	std::condition_variable queue_signal_;
	int key_queue_[kQueueSize] = {};
	int queue_length_ = 0;
	uint8_t key_held_[kKeyCount] = {};
	int last_key_down_ = -1;
	bool long_press_ = false;
	int press_counter_ = 0;
	bool repeat_action_enabled_ = true;
	int motion_sum_ = 0;
	int power_run_ = 0;
	int volume_run_ = 0;
	int last_key_ = -1;
	// Long-press timers still running; the destructor waits for them.
	int timers_running_ = 0;
	std::condition_variable timers_done_;

	static std::atomic<RecoveryUI *> instance_;
};

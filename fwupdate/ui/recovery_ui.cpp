#include "recovery_ui.h"

#include "events.h"

#include <linux/input.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

std::atomic<RecoveryUI *> RecoveryUI::instance_{nullptr};

RecoveryUI::RecoveryUI()
{
	instance_.store(this);
}

RecoveryUI::~RecoveryUI()
{
	RecoveryUI *self = this;
	instance_.compare_exchange_strong(self, nullptr);
	std::unique_lock<std::mutex> lock(queue_lock_);
	timers_done_.wait(lock, [this] { return timers_running_ == 0; });
}

void RecoveryUI::InputThread()
{
	for (;;) {
		if (input_wait(-1) == 0)
			input_dispatch();
	}
}

void RecoveryUI::Initialize()
{
	input_open(InputCallback, nullptr);
	// A process out of threads goes on without keys.
	try {
		std::thread(InputThread).detach();
	} catch (const std::system_error &) {
	}
}

int RecoveryUI::InputCallback(int fd, uint32_t epevents, void *)
{
	struct input_event ev;
	if (input_read_event(fd, epevents, &ev) != 0)
		return -1;
	RecoveryUI *self = instance_.load();
	if (!self || ev.type == EV_SYN)
		return 0;
	if (ev.type == EV_REL) {
		if (ev.code == REL_Y) {
			// Trackball motion: enough of it in one direction makes a key.
			self->motion_sum_ += ev.value;
			if (self->motion_sum_ > 3) {
				self->HandleKey(KEY_DOWN, 1);
				self->HandleKey(KEY_DOWN, 0);
				self->motion_sum_ = 0;
			} else if (self->motion_sum_ < -3) {
				self->HandleKey(KEY_UP, 1);
				self->HandleKey(KEY_UP, 0);
				self->motion_sum_ = 0;
			}
		}
		return 0;
	}
	self->motion_sum_ = 0;
	if (ev.type == EV_KEY && ev.code < kKeyCount)
		self->HandleKey(ev.code, ev.value);
	return 0;
}

void RecoveryUI::HandleKey(int key, int down)
{
	if (key < 0 || key >= kKeyCount)
		return;
	bool registered = false;
	bool long_press = false;
	{
		std::lock_guard<std::mutex> lock(queue_lock_);
		key_held_[key] = down != 0;
		if (down) {
			++press_counter_;
			last_key_down_ = key;
			long_press_ = false;
			const int count = press_counter_;
			// Without a timer thread the press just never becomes long.
			++timers_running_;
			try {
				std::thread([this, key, count] { LongPressTimer(key, count); }).detach();
			} catch (const std::system_error &) {
				--timers_running_;
			}
		} else {
			if (key == last_key_down_) {
				long_press = long_press_;
				registered = true;
			}
			last_key_down_ = -1;
		}
	}
	if (!registered)
		return;
	NoteLongPressState(long_press);
	switch (ClassifyKey(key)) {
	case ENQUEUE:
		QueueKey(key);
		break;
	case TOGGLE:
		SetLogVisible(!IsLogVisible());
		break;
	default:
		break;
	}
}

void RecoveryUI::LongPressTimer(int key, int count)
{
	usleep(kLongPressUs);
	bool long_press = false;
	{
		std::lock_guard<std::mutex> lock(queue_lock_);
		if (last_key_down_ == key && press_counter_ == count) {
			long_press_ = true;
			long_press = true;
		}
	}
	if (long_press)
		LongPressHook(key);
	std::lock_guard<std::mutex> lock(queue_lock_);
	if (--timers_running_ == 0)
		timers_done_.notify_all();
}

void RecoveryUI::QueueKey(int key)
{
	std::lock_guard<std::mutex> lock(queue_lock_);
	if (queue_length_ < kQueueSize) {
		key_queue_[queue_length_++] = key;
		queue_signal_.notify_one();
	}
}

int RecoveryUI::AwaitKey()
{
	std::unique_lock<std::mutex> lock(queue_lock_);
	const auto deadline = std::chrono::system_clock::now() + std::chrono::milliseconds(key_wait_ms_);
	queue_signal_.wait_until(lock, deadline, [this] { return queue_length_ > 0; });
	if (queue_length_ == 0)
		return -1;
	const int key = key_queue_[0];
	memmove(&key_queue_[0], &key_queue_[1], sizeof(int) * size_t(queue_length_ - 1));
	--queue_length_;
	return key;
}

bool RecoveryUI::KeyIsDown(int key)
{
	if (key < 0 || key >= kKeyCount)
		return false;
	std::lock_guard<std::mutex> lock(queue_lock_);
	return key_held_[key] != 0;
}

void RecoveryUI::DiscardQueuedKeys()
{
	std::lock_guard<std::mutex> lock(queue_lock_);
	queue_length_ = 0;
}

void RecoveryUI::EnableRepeatKeyAction(bool enabled)
{
	std::lock_guard<std::mutex> lock(queue_lock_);
	repeat_action_enabled_ = enabled;
}

int RecoveryUI::ClassifyKey(int key)
{
	if ((key == KEY_VOLUMEUP && KeyIsDown(KEY_POWER)) || key == KEY_HOME)
		return TOGGLE;
	if (key == KEY_POWER) {
		bool enabled;
		{
			std::lock_guard<std::mutex> lock(queue_lock_);
			enabled = repeat_action_enabled_;
		}
		if (enabled && ++power_run_ >= 7)
			return REBOOT;
	} else {
		power_run_ = 0;
		if ((key == KEY_VOLUMEUP && (last_key_ == KEY_VOLUMEDOWN || last_key_ == -1)) ||
		    (key == KEY_VOLUMEDOWN && (last_key_ == KEY_VOLUMEUP || last_key_ == -1))) {
			if (++volume_run_ >= 7) {
				volume_run_ = 0;
				return MOUNT_SYSTEM;
			}
			last_key_ = key;
			return ENQUEUE;
		}
	}
	volume_run_ = 0;
	last_key_ = key;
	return ENQUEUE;
}

// fwupdate's reaction to the update engine's events: the progress bar, the
// done flag main polls, the LED's error state and the console status tags.
#pragma once

#include <cstdio>

#include "fwupdate_state.h"

inline constexpr int EVT_FIRST_ERROR = 0x400;
inline constexpr unsigned SCREEN_RED = 0xff0000;
inline constexpr unsigned SCREEN_WHITE = 0xffffff;

struct event_error_text {
	const char *tag; // console tag, printed with puts
	const char *screen; // red text on the progress screen
};

// The tag and screen text for a failure code (0x400 and above).
inline event_error_text event_error_for(int code)
{
	switch (code) {
	case 0x40b:
		return {"mw>>upgrade-err-Verify image failed\r", "ERROR: Verify image failed!"};
	case 0x401:
	case 0x403:
	case 0x404:
	case 0x407:
	case 0x408:
	case 0x409:
	case 0x40c:
		return {"mw>>upgrade-err-Update image failed\r", "ERROR: Update image failed!"};
	default:
		return {"mw>>upgrade-err-System Error\r", "ERROR: System Error!"};
	}
}

// The reaction itself, for any screen type offering the three operations it
// uses (the progress screen in the program, a recorder in tests). The screen
// may be null: the console lines and the flags do not depend on it.
template <class Screen>
int react_to_update_event(int code, int value, Screen *screen)
{
	if (code < EVT_FIRST_ERROR) {
		if (screen)
			screen->SetSegmentFraction(static_cast<float>(value / 100.0));
		if (code == 1 && value > 99)
			update_done.store(UPDATE_SUCCEEDED);
		return 0;
	}
	printf("Update fail! error state: %d\n", code);
	led_mode.store(LED_ERROR);
	const event_error_text t = event_error_for(code);
	puts(t.tag);
	if (screen) {
		screen->SetLogVisible(1);
		screen->ShowColoredMessage(SCREEN_RED, "%s", t.screen);
	}
	// Last, so that main's "upgrade-failed" line always follows the tag.
	update_done.store(UPDATE_FAILED);
	return 0;
}

// The engine's event callback; the user word is the progress screen.
int my_update_event_cb(int code, int value, void *user);

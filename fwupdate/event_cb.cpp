#include "event_reaction.h"
#include "screen_ui.h"

int my_update_event_cb(int code, int value, void *user)
{
	return react_to_update_event(code, value, static_cast<ScreenRecoveryUI *>(user));
}

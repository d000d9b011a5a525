#include "fwupdate_state.h"

std::atomic<int> update_done{UPDATE_RUNNING};
std::atomic<int> led_mode{LED_STEADY};

// State that fwupdate's main shares with its callbacks and threads, and the
// fixed paths of the set it runs on.
#pragma once

#include <atomic>

// 0 while the update runs, 1 after success, -1 after a failure. Written by
// the event reaction, polled by main.
inline constexpr int UPDATE_RUNNING = 0;
inline constexpr int UPDATE_SUCCEEDED = 1;
inline constexpr int UPDATE_FAILED = -1;
extern std::atomic<int> update_done;

// Status LED mode, applied by the LED thread every 200 ms.
inline constexpr int LED_STEADY = 0;
inline constexpr int LED_ERROR = 1;
inline constexpr int LED_BLINK = 2;
extern std::atomic<int> led_mode;

inline constexpr const char *FWUP_MISC_DEVICE = "/dev/crv-part-name/misc";
inline constexpr const char *FWUP_APDAT_DEVICE = "/dev/crv-part-name/apdat";
inline constexpr const char *FWUP_DATA_MOUNT = "/data";
inline constexpr const char *FWUP_TMP_FOLDER = "/data/.fwup";
inline constexpr const char *FWUP_MEM_DEVICE = "/dev/mem";
inline constexpr const char *FWUP_CMDLINE = "/proc/cmdline";
inline constexpr const char *FWUP_BOOT_EMMC = "/dev/mmcblk0";

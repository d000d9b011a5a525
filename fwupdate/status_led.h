// The status LED, driven through the chip's register window at physical
// 0xfc040000, and the "UPENV" record of the misc partition.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint64_t LED_WINDOW_PHYS = 0xfc040000;
inline constexpr std::size_t LED_WINDOW_SIZE = 0x1000;

// Register offsets in the window and their bits.
inline constexpr std::size_t LED_REG_TAKEOVER = 0x220; // bit 14
inline constexpr uint32_t LED_TAKEOVER_BIT = 0x4000;
inline constexpr std::size_t LED_REG_TAKEOVER2 = 0x430; // bit 7
inline constexpr std::size_t LED_REG_TAKEOVER3 = 0x43c; // bit 7
inline constexpr std::size_t LED_REG_LEVEL = 0x424; // bit 7, the LED line
inline constexpr uint32_t LED_BIT7 = 0x80;

inline constexpr long LED_PERIOD_US = 200000;

// Sets the three take-over bits.
void led_take_over(volatile uint8_t *window);
// Clears the take-over bit 14 of 0x220 (after a successful update).
void led_release_takeover(volatile uint8_t *window);
// One step of the LED thread: applies `mode` to the LED line; `phase` is the
// blink phase it keeps between steps.
void led_apply(int mode, int *phase, volatile uint8_t *window);

// Opens `mem_path` (main passes "/dev/mem"), maps the window and takes the
// LED over. 0, or -1 when the device cannot be opened or mapped.
int led_init(const char *mem_path);
// Starts led_blink_thread. 0, or -1 when the thread cannot be created.
int led_start_thread();
// The mapped window (null before led_init succeeded).
volatile uint8_t *led_window();
// Closes the device; unmaps the window only when the LED thread never ran
// (a running thread keeps writing to it until the process ends).
void led_release();

void *led_blink_thread(void *);

// "UPENV" record: 512 bytes at 0x2600 of the misc partition.
inline constexpr long UPENV_OFFSET = 0x2600;
inline constexpr std::size_t UPENV_SIZE = 512;

struct upenv_rec {
	char tag[6]; // "UPENV" and its NUL
	uint8_t zero[506];
};
static_assert(sizeof(upenv_rec) == UPENV_SIZE);

// Writes the record to `misc_path` and reports it. 0 when it reached the
// device, -1 otherwise.
int write_upenv_record(const char *misc_path);
// The record on the misc partition.
void set_upenv_flag();

// The gray list: names of images this set must leave alone, carried by the
// image "gray_image" and switched on by the kernel command line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

inline constexpr int GRAY_LIST_MAX_NAMES = 100;
// A name list is a few kilobytes at most; a longer payload is refused.
inline constexpr uint64_t GRAY_LIST_MAX_PAYLOAD = 1u << 20;
inline constexpr const char *GRAY_CMDLINE_KEY = "marlow_gray_image=";

struct gray_image_list_t {
	int enable; // 0 off, else 1, 2 or 3 from the kernel command line
	int count; // names held
	uint32_t offsets[GRAY_LIST_MAX_NAMES]; // each name's offset in the pool
	char *pool; // the payload copy, names NUL-terminated in place
};
extern gray_image_list_t gray_image_list;

// The enable value the command line asks for: the number right after the
// key when it is 1, 2 or 3, else 0.
int gray_enable_from_cmdline(std::string_view cmdline);

// Reads /proc/cmdline, prints "gray_image_enable=%d" and clears the list.
int init_gray_image_list();

// Removes trailing white space in place; null and empty texts pass as they are.
char *trim_trailing_space(char *text);

// Reads a name-list payload of `length` bytes from `stream` and makes it the
// list. 0 (also for an empty payload), or -5 when the payload cannot be read
// in full or is too long for a name list.
int gray_list_load(FILE *stream, uint64_t length, const char *image_name);

// True when the list is on and holds `name` exactly.
bool gray_list_holds(const char *name);

// Frees the pool; the enable value stays.
void release_gray_image_list();

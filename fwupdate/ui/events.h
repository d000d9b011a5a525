// Input event layer: evdev devices and caller descriptors on one epoll set.
// Process-global; used by one thread after input_open.
#pragma once

#include <cstdint>
#include <linux/input.h>

typedef int (*ev_callback)(int fd, uint32_t epevents, void *data);
typedef int (*ev_set_key_callback)(int code, int value, void *data);

int input_open(ev_callback cb, void *data);
int input_add_fd(int fd, ev_callback cb, void *data);
void input_close();
int input_wait(int timeout_ms);
void input_dispatch();
int input_read_event(int fd, uint32_t epevents, struct input_event *ev);
int input_replay_held_keys(ev_set_key_callback cb, void *data);

// Test hook: the folder scanned for event devices (null restores "/dev/input").
void input_test_set_dir(const char *dir);

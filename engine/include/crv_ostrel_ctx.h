// The update engine's state, its event callback and its progress record.
// All engine state lives in one static record; programs set paths and
// callbacks before they start the update thread, which then reads them.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <string>

#include "crv_container.h"
#include "crv_npt.h"

// Codes sent to the event callback. Below 0x400: progress; from 0x400 up:
// failure (receivers must accept codes the engine never sends).
enum crv_event_code : int {
	CRV_EVT_IMG_PROGRESS = 0, // overall percent
	CRV_EVT_ALL_DONE = 1, // 100, after a successful update
	CRV_EVT_VERIFY_PROGRESS = 5, // percent of the whole-image check
	CRV_EVT_VERIFY_DONE = 6, // 100, digest matches
	CRV_ERR_OPEN_IMAGE = 0x401,
	CRV_ERR_SEEK_IMAGE = 0x403,
	CRV_ERR_READ_HEADER = 0x404,
	CRV_ERR_UPDATE_IMAGE = 0x407,
	CRV_ERR_UPDATE_VTBL = 0x408,
	CRV_ERR_PARSE_MOUNT = 0x409,
	CRV_ERR_VERIFY = 0x40b, // last verification percent
	CRV_ERR_SEC_INFO = 0x40c,
};

// (code, value, user word); the result only matters to callers of
// crv_ostrel_notify_event.
using crv_event_cb_fn = int (*)(int code, int value, void *user);
// An image writer: 0 when the image was dealt with, anything else stops the
// update.
using crv_img_cb_fn = int (*)(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// The FORMAT filter: 0 when the image was dealt with (formatted as asked,
// or deliberately left alone); anything else fails the image as a writer's
// failure does.
using crv_format_cb_fn = int (*)(const crv_per_img_hdr *hdr, void *user);
using crv_sec_info_cb_fn = int (*)(void *user);

struct crv_img_cb_entry {
	char name[16]; // NUL-padded; empty marks a free entry
	crv_img_cb_fn cb;
	void *user;
};

constexpr int CRV_IMG_CB_MAX = 30;

struct crv_progress {
	uint64_t bytes_done; // payload plus header bytes dealt with so far
	uint64_t total; // the "TIMG" header's total length
	int32_t last_percent; // last overall percent a writer reported
};

struct crv_ostrel_ctx {
	crv_event_cb_fn event_cb;
	void *event_user;
	char mount_point[64];
	std::string tmp_dev; // as long as /proc/mounts gives it
	std::string tmp_fs_type;
	char tmp_folder[64];
	char misc_dev[64];
	char img_path[256];
	crv_sec_info_cb_fn sec_info_cb;
	void *sec_info_user;
	pthread_t update_thread;
	crv_format_cb_fn format_cb;
	void *format_user;
	crv_img_cb_entry img_cb[CRV_IMG_CB_MAX];
	crv_img_cb_entry default_cb;
	crv_progress progress;
	uint32_t demura_start;
	uint32_t demura_size;
	crv_npt_ctx npt;
};

// The engine's one context (for the engine's own units).
crv_ostrel_ctx &crv_ostrel_context();

void crv_ostrel_set_event_cb(crv_event_cb_fn cb, void *user);
// Calls the event callback and returns its result; 0 when none is set.
int crv_ostrel_notify_event(int code, int value);
// Sends (0, 0) when a callback is set; returns 0.
int crv_ostrel_report_zero_progress();
crv_progress *crv_ostrel_get_progress();

// The path setters copy into the context's fixed fields. A path that does
// not fit its field (with its terminator) is refused: the field is left
// empty and the setter returns -22; otherwise 0.
int crv_ostrel_set_mount_point(const char *dir);
char *crv_ostrel_get_mount_point();
// Also creates the folder (mode 0775) when it does not exist.
int crv_ostrel_set_tmp_folder(const char *dir);
char *crv_ostrel_get_tmp_folder();
int crv_ostrel_set_misc_device(const char *dev);
int crv_ostrel_set_img_path(const char *path);

void crv_ostrel_set_format_cb(crv_format_cb_fn cb, void *user);
void crv_ostrel_set_sec_info_cb(crv_sec_info_cb_fn cb, void *user);

// done * 100 / total, truncated; 0 when total is 0, capped at INT32_MAX.
int crv_overall_percent(uint64_t done, uint64_t total);
// The overall percent of the engine's progress record.
int crv_ostrel_overall_percent();

// Test builds only: zero the whole context as at program start.
void crv_ostrel_test_reset();

// The engine context, its accessors and event delivery.
#include "crv_ostrel_ctx.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "crv_text.h"

namespace {

crv_ostrel_ctx g_ctx; // zero at program start

// Copies a path into a context field; a path that does not fit leaves the
// field empty, so nothing later opens a cut-off path.
int set_path_field(char *field, std::size_t size, const char *src)
{
	if (crv_text_copy(field, size, src) != 0) {
		memset(field, 0, size);
		return -22;
	}
	return 0;
}

} // namespace

crv_ostrel_ctx &crv_ostrel_context()
{
	return g_ctx;
}

void crv_ostrel_set_event_cb(crv_event_cb_fn cb, void *user)
{
	g_ctx.event_cb = cb;
	g_ctx.event_user = user;
}

int crv_ostrel_notify_event(int code, int value)
{
	if (g_ctx.event_cb == nullptr)
		return 0;
	return g_ctx.event_cb(code, value, g_ctx.event_user);
}

int crv_ostrel_report_zero_progress()
{
	if (g_ctx.event_cb != nullptr)
		g_ctx.event_cb(CRV_EVT_IMG_PROGRESS, 0, g_ctx.event_user);
	return 0;
}

crv_progress *crv_ostrel_get_progress()
{
	return &g_ctx.progress;
}

int crv_ostrel_set_mount_point(const char *dir)
{
	return set_path_field(g_ctx.mount_point, sizeof(g_ctx.mount_point), dir);
}

char *crv_ostrel_get_mount_point()
{
	return g_ctx.mount_point;
}

int crv_ostrel_set_tmp_folder(const char *dir)
{
	memset(g_ctx.tmp_folder, 0, sizeof(g_ctx.tmp_folder));
	if (set_path_field(g_ctx.tmp_folder, sizeof(g_ctx.tmp_folder), dir) != 0)
		return -22;
	if (access(g_ctx.tmp_folder, F_OK) != 0) {
		if (mkdir(g_ctx.tmp_folder, 0775) == 0)
			printf("mkdir path: %s success\n", g_ctx.tmp_folder);
		else
			printf("mkdir path: %s failed\n", g_ctx.tmp_folder);
	}
	return 0;
}

char *crv_ostrel_get_tmp_folder()
{
	return g_ctx.tmp_folder;
}

int crv_ostrel_set_misc_device(const char *dev)
{
	memset(g_ctx.misc_dev, 0, sizeof(g_ctx.misc_dev));
	return set_path_field(g_ctx.misc_dev, sizeof(g_ctx.misc_dev), dev);
}

int crv_ostrel_set_img_path(const char *path)
{
	return set_path_field(g_ctx.img_path, sizeof(g_ctx.img_path), path);
}

void crv_ostrel_set_format_cb(crv_format_cb_fn cb, void *user)
{
	g_ctx.format_cb = cb;
	g_ctx.format_user = user;
}

void crv_ostrel_set_sec_info_cb(crv_sec_info_cb_fn cb, void *user)
{
	g_ctx.sec_info_cb = cb;
	g_ctx.sec_info_user = user;
}

int crv_overall_percent(uint64_t done, uint64_t total)
{
	if (total == 0)
		return 0;
	uint64_t percent = done * 100 / total;
	return percent > INT_MAX ? INT_MAX : int(percent);
}

int crv_ostrel_overall_percent()
{
	return crv_overall_percent(g_ctx.progress.bytes_done, g_ctx.progress.total);
}

void crv_ostrel_test_reset()
{
	g_ctx = crv_ostrel_ctx{};
}

// The update thread: walks the firmware image's per-image headers in file
// order, hands each image to its writer and reports through the event
// callback.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "crv_system.h"
#include "crv_update.h"

namespace {

constexpr int kUpdateDone = 1;

struct file_closer {
	void operator()(FILE *fp) const { fclose(fp); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

struct free_deleter {
	void operator()(char *p) const { free(p); }
};

void close_handle(crv_per_img_handle &h)
{
	if (h.stream != nullptr) {
		fclose(h.stream);
		h.stream = nullptr;
	}
}

// Empties the temporary folder as "rm -f <folder>/*" would: every entry
// whose name does not start with a dot, folders left alone.
void empty_tmp_folder(const char *folder)
{
	if (folder[0] == '\0')
		return;
	DIR *dir = opendir(folder);
	if (dir == nullptr)
		return;
	int dfd = dirfd(dir);
	while (struct dirent *de = readdir(dir)) {
		if (de->d_name[0] == '.')
			continue;
		unlinkat(dfd, de->d_name, 0);
	}
	closedir(dir);
}

// Everything up to the final report; returns the code to report:
// kUpdateDone on success, else an error code.
int run_update(const char *path)
{
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	crv_progress &prog = ctx.progress;

	if (crv_ostrel_parse_tmp_folder_info() != 0) {
		puts("fatal error ! parse mount path fail !");
		return CRV_ERR_PARSE_MOUNT;
	}

	// A path that does not fit the context's field is refused rather than
	// cut, since the per-image readers reopen the file by that field.
	file_ptr fp;
	if (crv_ostrel_set_img_path(path) == 0)
		fp.reset(fopen(ctx.img_path, "rbe"));
	if (!fp) {
		printf("open update image %s error !\n", path);
		return CRV_ERR_OPEN_IMAGE;
	}

	crv_whole_img_hdr whdr;
	if (crv_ostrel_read_whole_img_hdr(fp.get(), &whdr) != 0) {
		puts("read while image header fail !");
		return CRV_ERR_READ_HEADER;
	}
	prog.total = whdr.total;
	if (fseeko(fp.get(), CRV_WHOLE_IMG_HDR_SIZE, SEEK_SET) != 0) {
		printf("%s seek fail !\n", "crv_ostrel_update_thread");
		return CRV_ERR_SEEK_IMAGE;
	}

	for (;;) {
		crv_per_img_hdr hdr;
		crv_per_img_handle handle{};
		if (crv_ostrel_get_per_img(fp.get(), &hdr, &handle) < 0)
			break;
		const auto name = crv_hdr_name(hdr);
		printf("updating %s to %s ...\n", name.c_str(), crv_hdr_target(hdr).c_str());

		// A FORMAT image goes to the filter, unread, and sends no
		// progress event; a format that did not happen fails it.
		const bool format = strstr(crv_hdr_param(hdr).c_str(), "FORMAT-") != nullptr;
		int ret = 0;
		if (format)
			ret = ctx.format_cb != nullptr ? ctx.format_cb(&hdr, ctx.format_user) : 0;
		else
			ret = crv_ostrel_write_img_to_partition(&hdr, &handle);
		close_handle(handle);
		if (ret == 0 && format) {
			prog.bytes_done += hdr.length + CRV_PER_IMG_HDR_SIZE;
			continue;
		}
		if (ret != 0) {
			if (strcmp(name.c_str(), "vertbl") == 0) {
				printf("%s: update vtbl fail\n", "crv_ostrel_update_thread");
				return CRV_ERR_UPDATE_VTBL;
			}
			return CRV_ERR_UPDATE_IMAGE;
		}

		prog.bytes_done += hdr.length + CRV_PER_IMG_HDR_SIZE;
		int percent = crv_ostrel_overall_percent();
		if (int64_t(percent) > int64_t(prog.last_percent))
			crv_ostrel_notify_event(CRV_EVT_IMG_PROGRESS, percent);
	}

	// The reader leaves the stream at end of file only when the last
	// payload ended exactly there.
	int code = feof(fp.get()) ? kUpdateDone : CRV_ERR_UPDATE_IMAGE;
	if (ctx.sec_info_cb != nullptr && ctx.sec_info_cb(ctx.sec_info_user) != 0) {
		puts("sec info update fail !");
		return CRV_ERR_SEC_INFO;
	}
	crv_ostrel_notify_event(CRV_EVT_IMG_PROGRESS, 100);
	if (code != kUpdateDone)
		return code;

	fp.reset();
	empty_tmp_folder(ctx.tmp_folder);
	sync();
	return kUpdateDone;
}

} // namespace

int crv_ostrel_read_whole_img_hdr(FILE *fp, crv_whole_img_hdr *hdr)
{
	if (fseeko(fp, 0, SEEK_SET) != 0) {
		printf("%s seek fail !\n", __func__);
		return -1;
	}
	memset(hdr, 0, sizeof(*hdr));
	if (fread(hdr, 1, sizeof(*hdr), fp) != sizeof(*hdr)) {
		printf("%s read header fail !\n", __func__);
		return -1;
	}
	if (memcmp(hdr->magic, "TIMG", 4) != 0) {
		printf("%s invalid header sign !\n", __func__);
		return -1;
	}
	return 0;
}

int crv_ostrel_write_img_to_partition(const crv_per_img_hdr *hdr, crv_per_img_handle *handle)
{
	const auto name = crv_hdr_name(*hdr);
	crv_img_cb_entry *entry = crv_ostrel_find_img_cb(name.c_str());
	if (entry == nullptr) {
		printf("%s unknown image name : %s\n", __func__, name.c_str());
		return -22;
	}
	return entry->cb(hdr, handle, entry->user);
}

void *crv_ostrel_update_thread(void *path_copy)
{
	std::unique_ptr<char, free_deleter> path(static_cast<char *>(path_copy));
	int code = run_update(path ? path.get() : "");
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	if (code == kUpdateDone) {
		if (ctx.event_cb != nullptr) {
			crv_ostrel_notify_event(CRV_EVT_ALL_DONE, 100);
			ctx.event_cb = nullptr;
		}
	} else {
		crv_ostrel_notify_event(code, crv_ostrel_overall_percent());
	}
	return nullptr;
}

int crv_ostrel_start_update_thread(const char *img_path)
{
	char *copy = img_path != nullptr ? strdup(img_path) : nullptr;
	if (copy == nullptr) {
		printf("Can't malloc file name");
		return -1;
	}
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	if (ctx.tmp_folder[0] == '\0')
		crv_ostrel_set_tmp_folder("/data/.fwup/");
	if (ctx.misc_dev[0] == '\0')
		crv_ostrel_set_misc_device("/dev/mmcblk0p6");

	// Nothing joins the thread: it is started detached and frees the copy.
	pthread_attr_t attr;
	pthread_attr_init(&attr);
	pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
	int ret = pthread_create(&ctx.update_thread, &attr, crv_ostrel_update_thread, copy);
	pthread_attr_destroy(&attr);
	if (ret != 0)
		free(copy);
	return ret;
}

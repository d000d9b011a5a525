// The re-partition writer.

#include "crv_repartition.h"

#include "crv_system.h"
#include "crvgpt.h"
#include "unique_fd.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <new>
#include <string>
#include <sys/ioctl.h>
#include <vector>

namespace {

struct Registration {
	crv_ostrel_tmp_dir_mount mount = nullptr;
	crv_ostrel_tmp_dir_umount umount = nullptr;
	void *arg = nullptr;
	crv_ostrel_gpt_hook before = nullptr;
	crv_ostrel_gpt_hook after = nullptr;
	unsigned long before_word = 0;
	unsigned long after_word = 0;
};

Registration g_reg;

static_assert(BLKRRPART == 0x125F);

// Closes a stdio stream when its owner goes out of scope.
struct FileCloser {
	void operator()(FILE *fp) const { fclose(fp); }
};
using unique_file = std::unique_ptr<FILE, FileCloser>;

// The partition list as the parser fills it; the names are freed on every
// return.
struct PartList {
	std::array<crvgpt_part_info, CRVGPT_MAX_PART_ENTRIES> entries{};
	int count = 0;
	~PartList() { crvgpt_free_part_list(entries.data(), count); }
};

// Copies the payload to path. 0, or the writer's result.
int stage_list(const char *fn, const std::string &path, crv_per_img_handle &handle)
{
	unique_file fp(fopen(path.c_str(), "wb+e"));
	if (!fp) {
		printf("%s extract new partition table to ram fail !\n", fn);
		return -5;
	}
	if (!crv_handle_payload_in_file(&handle)) {
		printf("%s read partition table from firmware fail !\n", fn);
		return -5;
	}
	std::vector<char> buf;
	try {
		if (handle.length > SIZE_MAX)
			throw std::bad_alloc();
		buf.resize(static_cast<size_t>(handle.length));
	} catch (const std::bad_alloc &) {
		printf("%s allocate tmp buffer fail !\n", fn);
		return -12;
	}
	if (fread(buf.data(), 1, buf.size(), handle.stream) != buf.size()) {
		printf("%s read partition table from firmware fail !\n", fn);
		return -5;
	}
	if (fwrite(buf.data(), 1, buf.size(), fp.get()) != buf.size() || fflush(fp.get()) != 0) {
		printf("%s write parititon table to ram buffer fail !\n", fn);
		return -5;
	}
	return 0;
}

} // namespace

void crv_ostrel_set_gpt_remount_cb(crv_ostrel_tmp_dir_mount mount_cb, crv_ostrel_tmp_dir_umount umount_cb, void *arg)
{
	g_reg.mount = mount_cb;
	g_reg.umount = umount_cb;
	g_reg.arg = arg;
}

void crv_ostrel_set_gpt_hooks(crv_ostrel_gpt_hook before, crv_ostrel_gpt_hook after, unsigned long before_word,
			      unsigned long after_word)
{
	g_reg.before = before;
	g_reg.after = after;
	g_reg.before_word = before_word;
	g_reg.after_word = after_word;
}

int crv_ostrel_update_gpt_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void * /*user*/)
{
	const char *fn = __func__;
	if (!g_reg.mount || !g_reg.umount) {
		printf("You should mount crv_ostrel_tmp_dir_mount and crv_ostrel_tmp_dir_umount before do "
		       "re-partition !\n");
		return -22;
	}
	if (!hdr || !handle || !handle->stream) {
		printf("%s invalid parameters !\n", fn);
		return -22;
	}
	// The name becomes a file name under /tmp.
	const auto name = crv_hdr_name(*hdr);
	if (!crv_img_name_is_safe(name.c_str())) {
		printf("%s invalid image name %s !\n", fn, name.c_str());
		return -22;
	}
	const std::string staged = "/tmp/" + std::string(name.view()) + ".div";
	if (int ret = stage_list(fn, staged, *handle); ret != 0)
		return ret;

	if (g_reg.before)
		g_reg.before(g_reg.before_word);
	if (g_reg.umount(g_reg.arg) != 0) {
		printf("%s call umount tmp dir fail !\n", fn);
		return -22;
	}

	// Until the kernel rereads the partitions it still knows the old ones:
	// when the new table cannot be made, the file system goes back up.
	auto remount_old = [&] {
		if (g_reg.mount(g_reg.arg) != 0)
			printf("%s call mount tmp dir fail !\n", fn);
	};
	const auto target = crv_hdr_target(*hdr);
	crvgpt_set_dev_path(target.c_str());
	PartList list;
	if (crv_parse_gpt_text_tbl(staged.c_str(), list.entries.data(), &list.count) != 0) {
		printf("parse text partition table fail !\n");
		remount_old();
		return -1;
	}
	crvgpt_gen_dram_part_tbl(list.entries.data(), list.count);
	if (crvgpt_write_gpt(list.entries.data(), list.count) != 0) {
		printf("write partition table fail !\n");
		remount_old();
		return -1;
	}

	crv_unique_fd dev(open(target.c_str(), O_RDWR | O_CLOEXEC));
	if (!dev.valid()) {
		printf("open device %s fail !\n", target.c_str());
		return -1;
	}
	if (ioctl(dev.get(), BLKRRPART) == -1) {
		printf("reload partition fail !\n");
		return -1;
	}
	crv_ostrel_system("mdev -s");
	if (g_reg.mount(g_reg.arg) != 0) {
		printf("%s call mount tmp dir fail !\n", fn);
		return -22;
	}
	if (crv_ostrel_parse_tmp_folder_info() != 0)
		printf("fatal error ! parse mount path fail !\n");
	if (g_reg.after)
		g_reg.after(g_reg.after_word);
	return 0;
}

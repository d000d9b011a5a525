// NAND partition-table writer.
#include "crv_npt_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "crv_mtd.h"
#include "crv_npt.h"
#include "crv_ostrel_ctx.h"
#include "unique_fd.h"
#include "fd_io.h"

namespace {

// The staged table is closed and removed on every way out after its
// creation.
class StagedTable {
public:
	explicit StagedTable(const char *path) : path_(path), fd_(open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {}
	~StagedTable()
	{
		if (fd_.valid()) {
			fd_.reset();
			unlink(path_);
		}
	}
	StagedTable(const StagedTable &) = delete;
	StagedTable &operator=(const StagedTable &) = delete;

	bool valid() const { return fd_.valid(); }
	int fd() const { return fd_.get(); }

private:
	const char *path_;
	crv_unique_fd fd_;
};

} // namespace

int crv_ostrel_nand_npt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *)
{
	const char *fn = __func__;
	if (hdr == nullptr || handle == nullptr) {
		printf("%s invalid args !\n", fn);
		return -22;
	}
	if (handle->length > uint64_t(CRV_NPT_MAX_TEXT)) {
		printf("%s: image size over MAX_CSV_SIZE\n", fn);
		return -1;
	}

	crv_npt_ctx &ctx = crv_ostrel_context().npt;
	memset(&ctx, 0, sizeof(ctx));
	const size_t len = size_t(handle->length);
	if (handle->stream == nullptr || fread(ctx.text, 1, len, handle->stream) != len) {
		printf("%s read source file fail !\n", fn);
		return -1;
	}

	if (int ret = crv_npt_parse_text_table(&ctx); ret != 0) {
		puts("npt_err: failed to load partition");
		return ret;
	}

	const auto target = crv_hdr_target(*hdr);
	const int block_size = crv_mtd_get_block_size(target.c_str());
	if (block_size <= 0 || uint64_t(ctx.unit_kb) * 1024 != uint64_t(block_size)) {
		printf("%s:[Error] Load NPT block size is not match with flash block size\n", fn);
		return -1;
	}

	crv_npt_bin bin;
	crv_npt_to_binary(&ctx, &bin);

	StagedTable staged(CRV_NPT_BIN_PATH);
	if (!staged.valid()) {
		printf("%s create tmp file fail !\n", fn);
		return -5;
	}
	if (!crv_write_full(staged.fd(), &bin, sizeof(bin))) {
		printf("%s write tmp file fail !\n", fn);
		return -5;
	}
	if (lseek(staged.fd(), 0, SEEK_SET) != 0) {
		printf("%s seek tmp file fail !\n", fn);
		return -5;
	}

	if (int ret = crv_mtd_flash_erase(target.c_str(), 0, 0); ret != 0) {
		printf("%s erase %s fail !\n", fn, target.c_str());
		return ret;
	}
	crv_mtd_img_handle image{};
	image.fd = staged.fd();
	image.oob_page = -1;
	return crv_mtd_nand_write_raw_img(target.c_str(), 0, &image, nullptr, nullptr);
}

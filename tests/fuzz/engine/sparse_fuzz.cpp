// Sparse images as the eMMC writer takes them: checked and imported from
// the staged file, then written out expanded with progress.
#include <fcntl.h>
#include <unistd.h>

#include "crv_ostrel_ctx.h"
#include "crv_sparse.h"
#include "fuzz_file.h"

namespace {
MemFile *staged;
int devnull;
crv_progress progress;
int on_event(int, int, void *) { return 0; }
// Expanded images beyond this are skipped: writing them only costs time.
constexpr int64_t kMaxExpanded = 64 << 20;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	staged = new MemFile("staged");
	devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
	crv_ostrel_set_event_cb(on_event, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	staged->set(data, size);
	int fd = open(staged->path(), O_RDONLY | O_CLOEXEC);
	crv_sparse_file *s = crv_sparse_file_import(fd, true, false);
	if (s != nullptr) {
		// A whole image larger than this one, as the update's would be.
		progress = {0, 4 * uint64_t(size) + 1, 0};
		crv_ostrel_sparse_set_progress(s, &progress);
		if (crv_sparse_file_len(s, false, false) <= kMaxExpanded) {
			lseek(devnull, 0, SEEK_SET);
			crv_sparse_file_write(s, devnull, false, false, false);
		}
		crv_sparse_file_destroy(s);
	}
	close(fd);
	return 0;
}

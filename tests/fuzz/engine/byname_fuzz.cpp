// The search of a per-image header by name, for every name the programs
// look up; each payload found is read whole as its consumer does.
#include <memory>

#include "image_input.h"

namespace {
const char *const kNames[] = {"install_icon", "sys_run", "md5tbl", "boot", "recovery"};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FILE *fp = open_image(data, size);
	for (const char *name : kNames) {
		crv_per_img_hdr hdr;
		crv_per_img_handle handle{};
		if (crv_ostrel_get_per_img_by_name(fp, name, &hdr, &handle) < 0)
			continue;
		check_payload(handle);
		std::unique_ptr<uint8_t[]> payload(new uint8_t[handle.length]);
		if (fread(payload.get(), 1, handle.length, handle.stream) != handle.length)
			abort();
		fclose(handle.stream);
	}
	fclose(fp);
	return 0;
}

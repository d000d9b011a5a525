// The search of a per-image header by name, for every name the programs
// look up; each payload found is read whole as its consumer does.
#include <memory>

#include "payload_check.h"
#include "crv_ostrel_ctx.h"

namespace {
MemFile *image;
const char *const kNames[] = {"install_icon", "sys_run", "md5tbl", "boot", "recovery"};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	image = new MemFile("image");
	crv_ostrel_set_img_path(image->path());
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	image->set(data, size);
	FILE *fp = image->open("rb");
	for (const char *name : kNames) {
		crv_per_img_hdr hdr;
		crv_per_img_handle handle{};
		if (crv_ostrel_get_per_img_by_name(fp, name, &hdr, &handle) < 0)
			continue;
		check_payload(*image, handle);
		std::unique_ptr<uint8_t[]> payload(new uint8_t[handle.length]);
		if (fread(payload.get(), 1, handle.length, handle.stream) != handle.length)
			abort();
		fclose(handle.stream);
	}
	fclose(fp);
	return 0;
}

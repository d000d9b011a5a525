// The whole-image check: header, digest over the rest, progress events.
#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "fuzz_file.h"

namespace {
MemFile *image;
int on_event(int, int, void *) { return 0; }
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	image = new MemFile("image");
	crv_ostrel_set_event_cb(on_event, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	image->set(data, size);
	FILE *fp = image->open("rb");
	crv_ostrel_verify_whole_image(fp);
	fclose(fp);
	return 0;
}

// The whole-image check: header, digest over the rest, progress events.
#include "image_input.h"

namespace {
int on_event(int, int, void *) { return 0; }
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	crv_ostrel_set_event_cb(on_event, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FILE *fp = open_image(data, size);
	crv_ostrel_verify_whole_image(fp);
	fclose(fp);
	return 0;
}

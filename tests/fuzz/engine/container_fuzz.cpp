// The update thread's walk over a firmware image: the whole-image header,
// then every per-image header, its text fields through the accessors, and
// its payload handed to a writer that reads it whole.
#include <cstring>

#include "crv_update.h"
#include "image_input.h"

namespace {

volatile size_t sink;

int read_payload(const crv_per_img_hdr *hdr, crv_per_img_handle *h, void *)
{
	check_payload(*h);
	sink = strlen(crv_hdr_name(*hdr).c_str()) + strlen(crv_hdr_target(*hdr).c_str()) +
	       strlen(crv_hdr_compress(*hdr).c_str()) + strlen(crv_hdr_param(*hdr).c_str());
	char buf[4096];
	for (uint64_t left = h->length; left > 0;) {
		size_t got = fread(buf, 1, left < sizeof(buf) ? size_t(left) : sizeof(buf), h->stream);
		if (got == 0)
			break;
		left -= got;
	}
	return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	crv_ostrel_set_default_img_cb(read_payload, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FILE *fp = open_image(data, size);
	crv_whole_img_hdr whdr;
	if (crv_ostrel_read_whole_img_hdr(fp, &whdr) == 0 && fseeko(fp, CRV_WHOLE_IMG_HDR_SIZE, SEEK_SET) == 0) {
		for (;;) {
			crv_per_img_hdr hdr;
			crv_per_img_handle handle{};
			if (crv_ostrel_get_per_img(fp, &hdr, &handle) < 0)
				break;
			int ret = crv_ostrel_write_img_to_partition(&hdr, &handle);
			fclose(handle.stream);
			if (ret != 0)
				break;
		}
	}
	fclose(fp);
	return 0;
}

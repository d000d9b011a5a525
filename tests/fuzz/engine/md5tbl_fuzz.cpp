// The md5 table: the "md5tbl" image found in a firmware image and its lines
// loaded into the engine's table.
#include <cstring>

#include "crv_md5tbl.h"
#include "image_input.h"

namespace {
volatile size_t sink;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FILE *fp = open_image(data, size);
	if (crv_ostrel_gen_md5tbl_in_ram(fp) == 0) {
		const crv_md5tbl_entry *e = crv_md5tbl_entries();
		for (int i = 0; i < CRV_MD5TBL_MAX && e[i].name[0]; i++)
			sink = strlen(e[i].name) + strlen(e[i].dev);
	}
	fclose(fp);
	return 0;
}

// The text partition table: parsed, and the table taken turned into its
// binary form.
#include <algorithm>
#include <cstring>

#include "crv_npt.h"

namespace {
crv_npt_ctx ctx;
crv_npt_bin bin;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	memset(&ctx, 0, sizeof(ctx));
	memcpy(ctx.text, data, std::min<size_t>(size, CRV_NPT_MAX_TEXT));
	if (crv_npt_parse_text_table(&ctx) == 0)
		crv_npt_to_binary(&ctx, &bin);
	return 0;
}

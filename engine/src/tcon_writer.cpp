// The panel timing-controller data partition: written like any eMMC image,
// then stamped with the demura region the device tree gave.

#include "crv_emmc_writer.h"
#include "crv_fdt_writer.h"
#include "crv_ostrel_ctx.h"
#include "fd_io.h"

#include <cstdio>
#include <cstring>

int crv_update_tcon_paras(const char *target, uint32_t start, uint32_t size)
{
	const char *fn = "crv_update_tcon_paras";
	FILE *f = fopen(target, "rb+e");
	if (f == nullptr) {
		printf("%s open device %s fail !\n", fn, target);
		return -1;
	}
	if (fseek(f, 0, SEEK_SET) != 0) {
		printf("%s seek device fail !\n", fn);
		fclose(f);
		return -1;
	}
	// Two words in the machine's own byte order.
	uint32_t rec[2] = {start, size};
	if (!crv_write_synced_and_close(f, rec, sizeof(rec))) {
		printf("%s write tcon param fail !\n", fn);
		return -1;
	}
	return 0;
}

int crv_ostrel_emmc_tcon_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user)
{
	const int ret = crv_ostrel_emmc_common_update_cb(hdr, handle, user);
	const auto &ctx = crv_ostrel_context();
	if (hdr == nullptr || ctx.demura_start == 0 || ctx.demura_size == 0)
		return ret;
	if (crv_update_tcon_paras(crv_hdr_target(*hdr).c_str(), ctx.demura_start, ctx.demura_size) != 0) {
		printf("[%s] update tcon demura paras FAILED!\n", __func__);
		return -1;
	}
	return ret;
}

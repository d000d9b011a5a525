// The device-tree writers over blobs in memory files. An input is a writer
// selector byte, the set's id string and the boot-argument text (each ended
// by a NUL), then the payload: a bare blob, a legacy image or a pack. The
// target holds the payload itself beforehand, which is what the console-
// keeping writer reads back as the pack in the flash.
#include <string>

#include "crv_fdt.h"
#include "crv_fdt_writer.h"
#include "crv_ostrel_ctx.h"
#include "crv_text.h"
#include "fuzz_file.h"

namespace {

MemFile *payload;
MemFile *target;
std::string id;

const char *pack_id(void *, crv_per_img_handle *) { return id.empty() ? nullptr : id.c_str(); }

constexpr crv_img_cb_fn kWriters[] = {
	crv_ostrel_emmc_fdt_update_cb,
	crv_ostrel_emmc_fdt_tcon_cb,
	crv_ostrel_emmc_fdt_pack_update_cb,
	crv_ostrel_emmc_fdt_pack_tcon_cb,
	dlx_emmc_fdt_pack_update_cb,
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	payload = new MemFile("fdt");
	target = new MemFile("target");
	crv_ostrel_set_fdt_pack_hook(pack_id, nullptr);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1)
		return 0;
	crv_img_cb_fn writer = kWriters[data[0] % (sizeof(kWriters) / sizeof(kWriters[0]))];
	data++;
	size--;
	id = take_text(data, size, 255);
	crv_per_img_hdr hdr{};
	crv_text_copy(hdr.param, take_text(data, size, sizeof(hdr.param) - 1).c_str());
	crv_text_copy(hdr.name, "fdt");
	crv_text_copy(hdr.target, target->path());
	hdr.length = size;

	payload->set(data, size);
	target->set(data, size);
	crv_per_img_handle handle{payload->open("rb"), size, 0};
	writer(&hdr, &handle, nullptr);
	if (handle.stream)
		fclose(handle.stream);
	return 0;
}

// The gray list's image callback and the FORMAT filter.
#include "crv_container.h"
#include "crv_emmc_format.h"
#include "gray_list.h"
#include "update_policy.h"

int parse_gray_image_list(const crv_per_img_hdr *hdr, crv_per_img_handle *handle)
{
	return gray_list_load(handle->stream, handle->length, crv_hdr_name(*hdr).c_str());
}

int my_gray_image_list_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *)
{
	if (!gray_image_list.enable || !hdr || !handle)
		return 0;
	return parse_gray_image_list(hdr, handle);
}

int my_format_filter_cb(const crv_per_img_hdr *hdr, void *user)
{
	if (hdr) {
		auto name = crv_hdr_name(*hdr);
		if (gray_list_holds(name.c_str())) {
			printf("%s in Gray List, ignored!\n", name.c_str());
			return 0;
		}
	}
	return crv_ostrel_emmc_common_format_cb(hdr, user);
}

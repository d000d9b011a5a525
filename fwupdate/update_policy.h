// fwupdate's callbacks bound into the update engine.
#pragma once

struct crv_per_img_hdr;
struct crv_per_img_handle;

int parse_gray_image_list(const crv_per_img_hdr *hdr, crv_per_img_handle *handle);
int my_gray_image_list_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
int my_format_filter_cb(const crv_per_img_hdr *hdr, void *user);

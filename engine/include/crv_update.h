// The image-callback registry and the update thread that walks a firmware
// image and hands each image to its writer.
#pragma once

#include "crv_container.h"
#include "crv_ostrel_ctx.h"

// Binds a name (compared over its first 16 characters) to a writer. A name
// already bound gets the new pair in its entry; otherwise the first free
// entry takes it. 0, or -22 when all 30 entries hold other names, or for an
// empty name or a null writer.
int crv_ostrel_register_img_cb(const char *name, crv_img_cb_fn cb, void *user);
// Clears the entry holding the name: 0, or -1 when no entry holds it.
int crv_ostrel_unregister_img_cb(const char *name);
// The writer for names that no entry holds. Always 0.
int crv_ostrel_set_default_img_cb(crv_img_cb_fn cb, void *user);
// The entry for a name: the bound one, else the default entry when a default
// is set, else null.
crv_img_cb_entry *crv_ostrel_find_img_cb(const char *name);

// Starts the update thread on a copy of the image path. 0, -1 when the copy
// cannot be made, or the thread library's error number. Empty temporary
// folder and misc device settings get "/data/.fwup/" and "/dev/mmcblk0p6".
int crv_ostrel_start_update_thread(const char *img_path);
// The thread body; takes ownership of the malloc'd path copy. Reports every
// outcome as events and returns null.
void *crv_ostrel_update_thread(void *path_copy);

// Steps of the thread, kept as functions of their own for their messages.
// 0, or -1 when the header cannot be read or is not "TIMG".
int crv_ostrel_read_whole_img_hdr(FILE *fp, crv_whole_img_hdr *hdr);
// Dispatches one image to its writer: the writer's result, or -22 when no
// writer takes the name.
int crv_ostrel_write_img_to_partition(const crv_per_img_hdr *hdr, crv_per_img_handle *handle);

// A writer that prints "Bypass %s updating\n" and leaves the payload unread.
int crv_ostrel_bypass_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

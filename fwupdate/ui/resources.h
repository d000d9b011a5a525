// Progress-screen images from "/res/images/<name>.png" as drawing surfaces.
#pragma once

#include "graphics.h"

// Error codes of the loaders (negative results).
enum {
	RES_ERR_OPEN = -1,      // file cannot be opened
	RES_ERR_SHORT = -2,     // fewer than 8 header bytes
	RES_ERR_SIGNATURE = -3, // not a PNG signature
	RES_ERR_READ_STRUCT = -4,
	RES_ERR_INFO_STRUCT = -5,
	RES_ERR_DECODE = -6,    // libpng error while reading
	RES_ERR_FORMAT = -7,    // unsupported format
	RES_ERR_MEMORY = -8,
	RES_ERR_FRAMES = -9,    // height not a multiple of the frame count
};

int res_load_image(const char *name, gr_surface **out);
int res_load_frames(const char *name, int *frames, gr_surface ***out);
int res_load_alpha_map(const char *name, gr_surface **out);
int res_load_caption(const char *name, const char *locale, gr_surface **out);

// Surfaces and frame arrays made by the loaders.
void res_free_surface(gr_surface *s);
void res_free_frames(gr_surface **frames, int count);

// Whether a caption entry's locale serves the requested locale.
bool res_locale_matches(const char *entry, const char *locale);

// Test hook: the folder images are read from (null restores "/res/images").
void res_test_set_dir(const char *dir);

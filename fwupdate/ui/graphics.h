// Drawing layer: a small software renderer over one display backend.
// All state is global (one display per process); callers serialise it.
#pragma once

#include <cstdint>

// A drawing surface. Draw surfaces and images have 4 pixel bytes (blue,
// green, red, alpha in memory); alpha maps (fonts, captions) have 1.
struct gr_surface {
	uint32_t width;
	uint32_t height;
	uint32_t row_bytes;
	uint32_t pixel_bytes;
	uint8_t *data;
};

// A display backend: four operations, in this order.
struct gr_backend {
	gr_surface *(*start)(gr_backend *backend);
	gr_surface *(*present)(gr_backend *backend);
	void (*blank)(gr_backend *backend, bool blank);
	void (*stop)(gr_backend *backend);
};

struct gr_font {
	gr_surface *texture;
	int glyph_width;
	int glyph_height;
};

int gr_start();
void gr_stop();
void gr_present();

int gr_screen_width();
int gr_screen_height();
int gr_surface_width(const gr_surface *s);
int gr_surface_height(const gr_surface *s);
void gr_glyph_size(int *w, int *h);
int gr_text_width(const char *s);

void gr_set_color(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
void gr_wipe();
void gr_fill_rect(int x1, int y1, int x2, int y2);
void gr_blit(const gr_surface *source, int sx, int sy, int w, int h, int dx, int dy);
void gr_draw_text(int x, int y, const char *text, bool bold);
void gr_texticon(int x, int y, const gr_surface *alpha_map);
void gr_blend_alpha_map(const gr_surface *map, int sx, int sy, int w, int h, int dx, int dy);

// Display backends. The ADF backend finds no device on this platform yet.
gr_backend *adf_backend_create();
gr_backend *open_fbdev();

// Built-in font, run-length coded (see graphics.cpp).
struct gr_builtin_font {
	uint32_t width;
	uint32_t height;
	uint32_t glyph_width;
	uint32_t glyph_height;
	const uint8_t *runs;
	uint32_t run_count;
};
extern const gr_builtin_font gr_builtin_font_data;

// Test hooks. console: path opened instead of "/dev/tty0" (null restores it).
// backend: used instead of the ADF and framebuffer backends (null restores
// the normal choice).
void gr_test_setup(const char *console, gr_backend *backend);
// The framebuffer backend's device path (null restores "/dev/fb0").
void fbdev_test_set_path(const char *path);

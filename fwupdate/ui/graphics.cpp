#include "graphics.h"

#include "resources.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "builtin_font.inc"

const gr_builtin_font gr_builtin_font_data = {
	kBuiltinFontWidth, kBuiltinFontHeight, kBuiltinFontGlyphWidth, kBuiltinFontGlyphHeight,
	kBuiltinFontRuns, sizeof(kBuiltinFontRuns),
};

namespace {

int g_console_fd = -1;
gr_font *g_font = nullptr;
gr_backend *g_backend = nullptr;
gr_surface *g_draw = nullptr;
int g_overscan_x = 0;
int g_overscan_y = 0;
uint8_t g_color[4] = {255, 255, 255, 255}; // red, green, blue, alpha

const char *g_console_path = nullptr;
gr_backend *g_test_backend = nullptr;

// The surface drawing goes to: none before a backend started, and none for
// a backend whose pixels are not the 4 bytes the layer writes.
gr_surface *target()
{
	if (!g_draw || !g_draw->data || g_draw->pixel_bytes != 4)
		return nullptr;
	return g_draw;
}

// A block of w x h pixels: its place on the surface and, for copies, where
// it comes from in the source.
struct block {
	int64_t x, y, w, h;
	int64_t sx, sy;
};

// Cuts the block down to the part whose pixels lie inside a surface of
// width x height, at the block's own position (x, y) when `as_source`, else
// at (sx, sy); the other origin moves along. False when nothing is left.
bool cut(block &b, uint32_t width, uint32_t height, bool as_source)
{
	int64_t &x = as_source ? b.sx : b.x;
	int64_t &y = as_source ? b.sy : b.y;
	int64_t &ox = as_source ? b.x : b.sx;
	int64_t &oy = as_source ? b.y : b.sy;
	if (x < 0) {
		b.w += x;
		ox -= x;
		x = 0;
	}
	if (y < 0) {
		b.h += y;
		oy -= y;
		y = 0;
	}
	b.w = std::min<int64_t>(b.w, int64_t(width) - x);
	b.h = std::min<int64_t>(b.h, int64_t(height) - y);
	return b.w > 0 && b.h > 0;
}

// Clips a copy of w x h pixels from (sx, sy) of `source` (null for a fill)
// to (dx, dy) of the draw surface, margins already added: what lies outside
// either surface is left out, the rest is drawn.
bool clip(block &b, const gr_surface *draw, const gr_surface *source)
{
	if (source && !cut(b, source->width, source->height, true))
		return false;
	return cut(b, draw->width, draw->height, false);
}

uint8_t *pixel(gr_surface *s, int x, int y)
{
	return s->data + size_t(y) * s->row_bytes + size_t(x) * s->pixel_bytes;
}

gr_surface *expand_builtin_font()
{
	const gr_builtin_font &f = gr_builtin_font_data;
	size_t total = size_t(f.width) * f.height;
	auto *s = static_cast<gr_surface *>(calloc(1, sizeof(gr_surface) + total));
	if (!s)
		return nullptr;
	s->width = f.width;
	s->height = f.height;
	s->row_bytes = f.width;
	s->pixel_bytes = 1;
	s->data = reinterpret_cast<uint8_t *>(s + 1);
	size_t pos = 0;
	for (uint32_t i = 0; i < f.run_count && f.runs[i] && pos < total; ++i) {
		size_t run = f.runs[i] & 0x7f;
		if (run > total - pos)
			run = total - pos;
		memset(s->data + pos, (f.runs[i] & 0x80) ? 255 : 0, run);
		pos += run;
	}
	return s;
}

void init_font()
{
	g_font = static_cast<gr_font *>(calloc(1, sizeof(gr_font)));
	if (!g_font)
		return;
	gr_surface *texture = nullptr;
	int res = res_load_alpha_map("font", &texture);
	if (res == 0) {
		g_font->texture = texture;
		g_font->glyph_width = int(texture->width / 96);
		g_font->glyph_height = int(texture->height / 2);
		// A texture too small to hold one glyph row would give glyphs of
		// no size; callers divide the screen by the glyph size.
		if (g_font->glyph_width > 0 && g_font->glyph_height > 0)
			return;
		res_free_surface(texture);
		res = RES_ERR_FORMAT;
	}
	printf("failed to read font: res=%d\n", res);
	g_font->texture = expand_builtin_font();
	g_font->glyph_width = int(gr_builtin_font_data.glyph_width);
	g_font->glyph_height = int(gr_builtin_font_data.glyph_height);
}

void free_font()
{
	if (g_font)
		free(g_font->texture);
	free(g_font);
	g_font = nullptr;
}

} // namespace

void gr_test_setup(const char *console, gr_backend *backend)
{
	g_console_path = console;
	g_test_backend = backend;
}

int gr_start()
{
	free_font();
	init_font();

	g_console_fd = open(g_console_path ? g_console_path : "/dev/tty0", O_RDWR | O_SYNC | O_CLOEXEC);
	if (g_console_fd < 0) {
		perror("can't open /dev/tty0");
	} else if (ioctl(g_console_fd, KDSETMODE, KD_GRAPHICS) < 0) {
		perror("failed KDSETMODE to KD_GRAPHICS on tty0");
		gr_stop();
		return -1;
	}

	g_backend = nullptr;
	g_draw = nullptr;
	if (g_test_backend) {
		g_backend = g_test_backend;
		g_draw = g_backend->start(g_backend);
	} else {
		g_backend = adf_backend_create();
		if (g_backend) {
			g_draw = g_backend->start(g_backend);
			if (!g_draw) {
				g_backend->stop(g_backend);
				g_backend = nullptr;
			}
		}
		if (!g_draw) {
			g_backend = open_fbdev();
			g_draw = g_backend->start(g_backend);
		}
	}
	if (!g_draw)
		return -1;

	g_overscan_x = 0;
	g_overscan_y = 0;
	gr_present();
	gr_present();
	return 0;
}

void gr_stop()
{
	if (g_backend)
		g_backend->stop(g_backend);
	g_backend = nullptr;
	g_draw = nullptr;
	if (g_console_fd >= 0) {
		ioctl(g_console_fd, KDSETMODE, KD_TEXT);
		close(g_console_fd);
	}
	g_console_fd = -1;
}

void gr_present()
{
	// A backend that never produced a surface has nothing to show.
	if (g_backend && g_draw)
		g_draw = g_backend->present(g_backend);
}

int gr_screen_width()
{
	return g_draw ? int(g_draw->width) - 2 * g_overscan_x : 0;
}

int gr_screen_height()
{
	return g_draw ? int(g_draw->height) - 2 * g_overscan_y : 0;
}

int gr_surface_width(const gr_surface *s)
{
	return s ? int(s->width) : 0;
}

int gr_surface_height(const gr_surface *s)
{
	return s ? int(s->height) : 0;
}

void gr_glyph_size(int *w, int *h)
{
	*w = g_font ? g_font->glyph_width : 0;
	*h = g_font ? g_font->glyph_height : 0;
}

int gr_text_width(const char *s)
{
	return g_font ? int(strlen(s)) * g_font->glyph_width : 0;
}

void gr_set_color(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
	g_color[0] = r;
	g_color[1] = g;
	g_color[2] = b;
	g_color[3] = a;
}

void gr_wipe()
{
	gr_surface *s = target();
	if (!s)
		return;
	if (g_color[0] == g_color[1] && g_color[1] == g_color[2]) {
		memset(s->data, g_color[0], size_t(s->row_bytes) * s->height);
		return;
	}
	for (uint32_t y = 0; y < s->height; ++y) {
		uint8_t *p = s->data + size_t(y) * s->row_bytes;
		for (uint32_t x = 0; x < s->width; ++x, p += 4) {
			p[0] = g_color[2];
			p[1] = g_color[1];
			p[2] = g_color[0];
			p[3] = g_color[3];
		}
	}
}

void gr_fill_rect(int x1, int y1, int x2, int y2)
{
	gr_surface *s = target();
	if (!s)
		return;
	block r{int64_t(x1) + g_overscan_x, int64_t(y1) + g_overscan_y, int64_t(x2) - x1, int64_t(y2) - y1, 0, 0};
	if (!clip(r, s, nullptr))
		return;
	const unsigned a = g_color[3];
	if (a == 0)
		return;
	const uint8_t bgr[3] = {g_color[2], g_color[1], g_color[0]};
	for (int64_t y = r.y; y < r.y + r.h; ++y) {
		uint8_t *p = pixel(s, int(r.x), int(y));
		for (int64_t x = 0; x < r.w; ++x, p += 4) {
			if (a == 255) {
				p[0] = bgr[0];
				p[1] = bgr[1];
				p[2] = bgr[2];
				p[3] = 255;
			} else {
				for (int c = 0; c < 3; ++c)
					p[c] = uint8_t((bgr[c] * a + p[c] * (255 - a)) / 255);
				p[3] = uint8_t((a * a + p[3] * (255 - a)) / 255);
			}
		}
	}
}

void gr_blit(const gr_surface *source, int sx, int sy, int w, int h, int dx, int dy)
{
	gr_surface *s = target();
	if (!source || !s)
		return;
	if (source->pixel_bytes != s->pixel_bytes) {
		printf("gr_blit: source has wrong format\n");
		return;
	}
	block r{int64_t(dx) + g_overscan_x, int64_t(dy) + g_overscan_y, w, h, sx, sy};
	if (!clip(r, s, source))
		return;
	for (int64_t y = 0; y < r.h; ++y) {
		const uint8_t *in = source->data + size_t(r.sy + y) * source->row_bytes + size_t(r.sx) * 4;
		uint8_t *out = pixel(s, int(r.x), int(r.y + y));
		for (int64_t x = 0; x < r.w; ++x, in += 4, out += 4) {
			out[0] = in[2];
			out[1] = in[1];
			out[2] = in[0];
			out[3] = in[3];
		}
	}
}

void gr_blend_alpha_map(const gr_surface *map, int sx, int sy, int w, int h, int dx, int dy)
{
	gr_surface *s = target();
	if (!s || !map)
		return;
	block r{dx, dy, w, h, sx, sy};
	if (!clip(r, s, map))
		return;
	const unsigned alpha = g_color[3];
	const uint8_t bgr[3] = {g_color[2], g_color[1], g_color[0]};
	for (int64_t y = 0; y < r.h; ++y) {
		const uint8_t *m = map->data + size_t(r.sy + y) * map->row_bytes + size_t(r.sx);
		uint8_t *p = pixel(s, int(r.x), int(r.y + y));
		for (int64_t x = 0; x < r.w; ++x, p += 4) {
			const unsigned v = m[x];
			if (alpha == 255 && v == 255) {
				p[0] = bgr[0];
				p[1] = bgr[1];
				p[2] = bgr[2];
				p[3] = 255;
				continue;
			}
			const unsigned c = alpha == 255 ? v : v * alpha / 255;
			if (c == 0)
				continue;
			for (int k = 0; k < 3; ++k)
				p[k] = uint8_t((bgr[k] * c + p[k] * (255 - c)) / 255);
			p[3] = uint8_t(c);
		}
	}
}

void gr_draw_text(int x, int y, const char *text, bool bold)
{
	gr_surface *s = target();
	if (!s || !g_font || !g_font->texture || g_color[3] == 0)
		return;
	const int gw = g_font->glyph_width;
	const int gh = g_font->glyph_height;
	bold = bold && int(g_font->texture->height) > gh;
	int64_t gx = int64_t(x) + g_overscan_x;
	const int64_t gy = int64_t(y) + g_overscan_y;
	// Each glyph is clipped like any copy; past the right edge nothing more
	// can show.
	for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p && gx < int64_t(s->width);
	     ++p, gx += gw) {
		const int index = int(*p) - 32;
		if (index >= 0 && index < 96)
			gr_blend_alpha_map(g_font->texture, index * gw, bold ? gh : 0, gw, gh, int(gx), int(gy));
	}
}
void gr_texticon(int x, int y, const gr_surface *alpha_map)
{
	if (!alpha_map)
		return;
	if (alpha_map->pixel_bytes != 1) {
		printf("gr_texticon: source has wrong format\n");
		return;
	}
	gr_blend_alpha_map(alpha_map, 0, 0, int(alpha_map->width), int(alpha_map->height),
			   x + g_overscan_x, y + g_overscan_y);
}

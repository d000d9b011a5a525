#include "resources.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *g_image_dir = nullptr;

// Largest pixel buffer a resource may need (a 4K screen of 4-byte pixels is
// 32 MiB), for an image or a frame set as a whole; bigger headers are refused
// before anything is allocated.
constexpr uint64_t kMaxPixelBytes = 64u << 20;

struct png_reader {
	FILE *fp = nullptr;
	png_structp png = nullptr;
	png_infop info = nullptr;
	png_uint_32 width = 0;
	png_uint_32 height = 0;
	int bit_depth = 0;
	int color_type = 0;
	int channels = 0;
};

// libpng allocates the length a chunk declares before it reads the chunk
// (a text chunk of a 49-byte file can ask for 2 GiB), and its chunk-size
// limits do not stop that. So every chunk up to IEND must lie inside the
// file before libpng gets the stream; the stream is left after the
// signature. A file cut short within a chunk header is left to libpng.
bool chunks_inside_file(FILE *fp)
{
	struct stat st;
	if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode))
		return false;
	const uint64_t size = uint64_t(st.st_size);
	uint64_t at = 8;
	unsigned char h[8];
	while (fseeko(fp, off_t(at), SEEK_SET) == 0 && fread(h, 1, sizeof(h), fp) == sizeof(h)) {
		const uint64_t length = uint64_t(h[0]) << 24 | uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | h[3];
		// Header, data and CRC.
		if (length + 12 > size - at)
			return false;
		at += length + 12;
		if (memcmp(h + 4, "IEND", 4) == 0)
			break;
	}
	return fseeko(fp, 8, SEEK_SET) == 0;
}

void close_reader(png_reader *r)
{
	if (r->png)
		png_destroy_read_struct(&r->png, r->info ? &r->info : nullptr, nullptr);
	r->png = nullptr;
	r->info = nullptr;
	if (r->fp)
		fclose(r->fp);
	r->fp = nullptr;
}

// Opens the image and reads its header; on failure everything is released.
int open_png(const char *name, png_reader *r)
{
	char path[256];
	snprintf(path, sizeof(path), "%s/%s.png", g_image_dir ? g_image_dir : "/res/images", name);

	r->fp = fopen(path, "rb");
	if (!r->fp)
		return RES_ERR_OPEN;

	unsigned char header[8];
	if (fread(header, 1, sizeof(header), r->fp) != sizeof(header)) {
		close_reader(r);
		return RES_ERR_SHORT;
	}
	if (png_sig_cmp(header, 0, sizeof(header))) {
		close_reader(r);
		return RES_ERR_SIGNATURE;
	}
	if (!chunks_inside_file(r->fp)) {
		close_reader(r);
		return RES_ERR_DECODE;
	}
	r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
	if (!r->png) {
		close_reader(r);
		return RES_ERR_READ_STRUCT;
	}
	r->info = png_create_info_struct(r->png);
	if (!r->info) {
		close_reader(r);
		return RES_ERR_INFO_STRUCT;
	}
	if (setjmp(png_jmpbuf(r->png))) {
		close_reader(r);
		return RES_ERR_DECODE;
	}
	png_init_io(r->png, r->fp);
	png_set_sig_bytes(r->png, sizeof(header));
	png_read_info(r->png, r->info);

	int interlace = 0;
	png_get_IHDR(r->png, r->info, &r->width, &r->height, &r->bit_depth, &r->color_type,
		     &interlace, nullptr, nullptr);
	r->channels = png_get_channels(r->png, r->info);

	bool ok = false;
	if (r->bit_depth <= 8 && interlace == PNG_INTERLACE_NONE) {
		if (r->channels == 3 && r->color_type == PNG_COLOR_TYPE_RGB && r->bit_depth == 8) {
			ok = true;
		} else if (r->channels == 1 && r->color_type == PNG_COLOR_TYPE_GRAY) {
			png_set_expand_gray_1_2_4_to_8(r->png);
			ok = true;
		} else if (r->color_type == PNG_COLOR_TYPE_PALETTE) {
			png_set_palette_to_rgb(r->png);
			ok = true;
		}
	}
	if (!ok) {
		fprintf(stderr, "ui doesn't support PNG depth %d channels %d color_type %d\n",
			r->bit_depth, r->channels, r->color_type);
		close_reader(r);
		return RES_ERR_FORMAT;
	}
	// The expansions decide the row layout: a palette with a transparency
	// chunk comes out with 4 channels, every other palette with 3.
	png_read_update_info(r->png, r->info);
	r->channels = png_get_channels(r->png, r->info);
	if (png_get_rowbytes(r->png, r->info) != size_t(r->width) * r->channels) {
		close_reader(r);
		return RES_ERR_FORMAT;
	}
	return 0;
}

// Whether pixels of this size fit the cap (a frame set's frames together).
bool fits_cap(uint32_t width, uint32_t height, uint32_t pixel_bytes)
{
	return uint64_t(width) * height * pixel_bytes <= kMaxPixelBytes;
}

gr_surface *alloc_surface(uint32_t width, uint32_t height, uint32_t pixel_bytes)
{
	uint64_t bytes = uint64_t(width) * height * pixel_bytes;
	if (!fits_cap(width, height, pixel_bytes))
		return nullptr;
	auto *s = static_cast<gr_surface *>(calloc(1, sizeof(gr_surface) + size_t(bytes)));
	if (!s)
		return nullptr;
	s->width = width;
	s->height = height;
	s->row_bytes = width * pixel_bytes;
	s->pixel_bytes = pixel_bytes;
	s->data = reinterpret_cast<uint8_t *>(s + 1);
	return s;
}

void convert_row(const uint8_t *in, int channels, uint32_t width, uint8_t *out)
{
	for (uint32_t x = 0; x < width; ++x, out += 4) {
		if (channels == 3) {
			out[0] = in[3 * x];
			out[1] = in[3 * x + 1];
			out[2] = in[3 * x + 2];
			out[3] = 255;
		} else if (channels == 1) {
			out[0] = out[1] = out[2] = in[x];
			out[3] = 255;
		} else {
			memcpy(out, in + 4 * x, 4);
		}
	}
}

// The frame count from the "Frames" text chunk (1 without one); *valid
// is false when the value is not a number.
__attribute__((noinline)) long frame_count(png_reader *r, bool *valid)
{
	png_textp text = nullptr;
	int num_text = 0;
	long count = 1;
	*valid = true;
	if (png_get_text(r->png, r->info, &text, &num_text)) {
		for (int i = 0; i < num_text; ++i) {
			if (text[i].key && strcmp(text[i].key, "Frames") == 0 && text[i].text) {
				char *end = nullptr;
				errno = 0;
				count = strtol(text[i].text, &end, 10);
				*valid = end != text[i].text && *end == '\0' && errno == 0;
				break;
			}
		}
		printf("  found frames = %d\n", int(count));
	}
	return count;
}

} // namespace

void res_test_set_dir(const char *dir)
{
	g_image_dir = dir;
}

void res_free_surface(gr_surface *s)
{
	free(s);
}

void res_free_frames(gr_surface **frames, int count)
{
	if (!frames)
		return;
	for (int i = 0; i < count; ++i)
		free(frames[i]);
	free(frames);
}

int res_load_image(const char *name, gr_surface **out)
{
	*out = nullptr;
	png_reader r;
	int rc = open_png(name, &r);
	if (rc)
		return rc;

	gr_surface *volatile surface = nullptr;
	uint8_t *volatile row = nullptr;
	if (setjmp(png_jmpbuf(r.png))) {
		free(row);
		free(surface);
		close_reader(&r);
		return RES_ERR_DECODE;
	}
	surface = alloc_surface(r.width, r.height, 4);
	row = static_cast<uint8_t *>(malloc(size_t(r.width) * r.channels));
	if (!surface || !row) {
		free(row);
		free(surface);
		close_reader(&r);
		return RES_ERR_MEMORY;
	}
	for (uint32_t y = 0; y < r.height; ++y) {
		png_read_row(r.png, row, nullptr);
		convert_row(row, r.channels, r.width, surface->data + size_t(y) * surface->row_bytes);
	}
	free(row);
	close_reader(&r);
	*out = surface;
	return 0;
}

int res_load_frames(const char *name, int *frames, gr_surface ***out)
{
	*out = nullptr;
	*frames = -1;
	png_reader r;
	int rc = open_png(name, &r);
	if (rc)
		return rc;
	*frames = 1;

	bool parsed = true;
	const long count = frame_count(&r, &parsed);
	*frames = int(count);
	// A count below one (or no number at all) can split no image.
	if (!parsed || count < 1 || count > long(r.height) || r.height % count != 0) {
		printf("bad height (%d) for frame count (%d)\n", int(r.height), int(count));
		close_reader(&r);
		return RES_ERR_FRAMES;
	}
	// The cap covers the whole set: a small file may declare many large
	// frames.
	if (!fits_cap(r.width, r.height, 4)) {
		close_reader(&r);
		return RES_ERR_MEMORY;
	}
	const int n = int(count);
	gr_surface **volatile set = static_cast<gr_surface **>(calloc(n, sizeof(gr_surface *)));
	uint8_t *volatile row = nullptr;
	if (setjmp(png_jmpbuf(r.png))) {
		free(row);
		res_free_frames(set, n);
		close_reader(&r);
		return RES_ERR_DECODE;
	}
	row = static_cast<uint8_t *>(malloc(size_t(r.width) * r.channels));
	bool ok = set && row;
	for (int i = 0; ok && i < n; ++i) {
		set[i] = alloc_surface(r.width, r.height / n, 4);
		ok = set[i] != nullptr;
	}
	if (!ok) {
		free(row);
		res_free_frames(set, n);
		close_reader(&r);
		return RES_ERR_MEMORY;
	}
	for (uint32_t y = 0; y < r.height; ++y) {
		png_read_row(r.png, row, nullptr);
		gr_surface *f = set[y % n];
		convert_row(row, r.channels, r.width, f->data + size_t(y / n) * f->row_bytes);
	}
	free(row);
	close_reader(&r);
	*out = set;
	return 0;
}

int res_load_alpha_map(const char *name, gr_surface **out)
{
	*out = nullptr;
	png_reader r;
	int rc = open_png(name, &r);
	if (rc)
		return rc;
	if (r.channels != 1) {
		close_reader(&r);
		return RES_ERR_FORMAT;
	}
	gr_surface *volatile surface = nullptr;
	if (setjmp(png_jmpbuf(r.png))) {
		free(surface);
		close_reader(&r);
		return RES_ERR_DECODE;
	}
	surface = alloc_surface(r.width, r.height, 1);
	if (!surface) {
		close_reader(&r);
		return RES_ERR_MEMORY;
	}
	for (uint32_t y = 0; y < r.height; ++y)
		png_read_row(r.png, surface->data + size_t(y) * surface->row_bytes, nullptr);
	close_reader(&r);
	*out = surface;
	return 0;
}

bool res_locale_matches(const char *entry, const char *locale)
{
	if (strcmp(entry, locale) == 0)
		return true;
	if (strchr(entry, '_'))
		return false;
	size_t n = strlen(entry);
	return strncmp(entry, locale, n) == 0 && locale[n] == '_';
}

int res_load_caption(const char *name, const char *locale, gr_surface **out)
{
	*out = nullptr;
	if (!locale)
		return 0;
	png_reader r;
	int rc = open_png(name, &r);
	if (rc)
		return rc;
	// A header row holds width, height, one spare byte and a terminated
	// locale string.
	if (r.channels != 1 || r.width < 6) {
		close_reader(&r);
		return RES_ERR_FORMAT;
	}
	uint8_t *volatile row = nullptr;
	gr_surface *volatile surface = nullptr;
	if (setjmp(png_jmpbuf(r.png))) {
		free(row);
		free(surface);
		close_reader(&r);
		return RES_ERR_DECODE;
	}
	row = static_cast<uint8_t *>(calloc(r.width + 1, 1));
	if (!row) {
		close_reader(&r);
		return RES_ERR_MEMORY;
	}
	rc = RES_ERR_FORMAT;
	for (uint32_t y = 0; y < r.height;) {
		png_read_row(r.png, row, nullptr);
		row[r.width] = 0;
		const uint32_t w = row[0] | (row[1] << 8);
		const uint32_t h = row[2] | (row[3] << 8);
		const char *entry = reinterpret_cast<const char *>(row + 5);
		if (w > r.width || uint64_t(y) + 1 + h > r.height)
			break; // an entry running past the image or wider than it
		if (y + 1 + h >= r.height || res_locale_matches(entry, locale)) {
			printf("  %20s: %s (%d x %d @ %d)\n", name, entry, int(w), int(h), int(y));
			surface = alloc_surface(w, h, 1);
			if (!surface) {
				rc = RES_ERR_MEMORY;
				break;
			}
			for (uint32_t i = 0; i < h; ++i) {
				png_read_row(r.png, row, nullptr);
				memcpy(surface->data + size_t(i) * surface->row_bytes, row, w);
			}
			*out = surface;
			rc = 0;
			break;
		}
		for (uint32_t i = 0; i < h; ++i)
			png_read_row(r.png, row, nullptr);
		y += h + 1;
	}
	free(row);
	close_reader(&r);
	return rc;
}

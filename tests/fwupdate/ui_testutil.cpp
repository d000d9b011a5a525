#include "ui_testutil.h"

#include <png.h>

#include <filesystem>

namespace uitest {

std::string scratch_dir(const std::string &name)
{
	std::string dir = std::string(CRV_TEST_OUTPUT) + "/scratch/" + name;
	std::filesystem::remove_all(dir);
	std::filesystem::create_directories(dir);
	return dir;
}

void write_png(const std::string &dir, const std::string &name, const png_out &img)
{
	png_write_file(dir + "/" + name + ".png", img);
}

png_out rgb_image(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b)
{
	png_out img;
	img.width = w;
	img.height = h;
	img.color_type = PNG_COLOR_TYPE_RGB;
	for (uint32_t i = 0; i < w * h; ++i) {
		img.rows.push_back(r);
		img.rows.push_back(g);
		img.rows.push_back(b);
	}
	return img;
}

png_out gray_image(uint32_t w, uint32_t h, uint8_t v)
{
	png_out img;
	img.width = w;
	img.height = h;
	img.color_type = PNG_COLOR_TYPE_GRAY;
	img.rows.assign(size_t(w) * h, v);
	return img;
}

namespace {

MemBackend *self(gr_backend *b)
{
	return reinterpret_cast<MemBackend *>(b);
}

gr_surface *mem_start(gr_backend *b)
{
	MemBackend *m = self(b);
	++m->starts;
	if (m->fail_start)
		return nullptr;
	return &m->surfaces[m->current];
}

gr_surface *mem_present(gr_backend *b)
{
	MemBackend *m = self(b);
	++m->presents;
	if (std::this_thread::get_id() == m->caller)
		++m->caller_presents;
	m->shown = &m->surfaces[m->current];
	// The next frame starts from what is on screen, like a single buffer.
	m->pixels[1 - m->current] = m->pixels[m->current];
	m->current = 1 - m->current;
	return &m->surfaces[m->current];
}

void mem_blank(gr_backend *, bool)
{
}

void mem_stop(gr_backend *)
{
}

} // namespace

MemBackend::MemBackend(uint32_t w, uint32_t h)
{
	ops = {mem_start, mem_present, mem_blank, mem_stop};
	for (int i = 0; i < 2; ++i) {
		pixels[i].assign(size_t(w) * h * 4, 0);
		surfaces[i] = {w, h, w * 4, 4, pixels[i].data()};
	}
}

const uint8_t *MemBackend::shown_pixel(int x, int y) const
{
	return shown->data + size_t(y) * shown->row_bytes + size_t(x) * 4;
}

bool save_surface(const gr_surface *s, const std::string &path)
{
	png_out img;
	img.width = s->width;
	img.height = s->height;
	img.color_type = PNG_COLOR_TYPE_RGB;
	for (uint32_t y = 0; y < s->height; ++y)
		for (uint32_t x = 0; x < s->width; ++x) {
			const uint8_t *p = s->data + size_t(y) * s->row_bytes + size_t(x) * 4;
			img.rows.push_back(p[2]);
			img.rows.push_back(p[1]);
			img.rows.push_back(p[0]);
		}
	return png_write_file(path, img);
}

} // namespace uitest

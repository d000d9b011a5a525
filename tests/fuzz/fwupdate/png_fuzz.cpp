// The progress screen's PNG loaders: an image, a frame set, an alpha map and
// a caption, each read from the same input file.
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_file.h"
#include "resources.h"

namespace {
MemFile *png;
// The loaders read "<folder>/<name>.png": a folder of its own holds a link
// to the input, gone when the run ends.
char dir[] = "/tmp/crv_png_fuzz.XXXXXX";
std::string input_link;

void remove_dir()
{
	unlink(input_link.c_str());
	rmdir(dir);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	png = new MemFile("png");
	if (!mkdtemp(dir))
		abort();
	input_link = std::string(dir) + "/f.png";
	if (symlink(png->path(), input_link.c_str()) != 0)
		abort();
	atexit(remove_dir);
	res_test_set_dir(dir);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	png->set(data, size);
	gr_surface *s = nullptr;
	if (res_load_image("f", &s) == 0)
		res_free_surface(s);
	int frames = 0;
	gr_surface **set = nullptr;
	if (res_load_frames("f", &frames, &set) == 0)
		res_free_frames(set, frames);
	if (res_load_alpha_map("f", &s) == 0)
		res_free_surface(s);
	if (res_load_caption("f", "en_US", &s) == 0)
		res_free_surface(s);
	return 0;
}

#ifdef CRV_LIBFUZZER
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t max_size);

// libpng refuses a critical chunk whose CRC is wrong before it looks at the
// chunk: most mutations are made whole again so that they reach the decoder.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t max_size, unsigned seed)
{
	size = LLVMFuzzerMutate(data, size, max_size);
	if (seed % 8 == 0)
		return size;
	for (size_t at = 8; at + 12 <= size;) {
		uint32_t len = uint32_t(data[at]) << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
		if (len > size - at - 12)
			break;
		uint32_t crc = uint32_t(crc32(0, data + at + 4, len + 4));
		for (int i = 0; i < 4; i++)
			data[at + 8 + len + i] = uint8_t(crc >> (24 - 8 * i));
		at += 12 + size_t(len);
	}
	return size;
}
#endif

// Inputs that are firmware images: a memory file that is also the engine's
// whole-image path, so the payload handles the readers open reach it too.
#pragma once

#include <sys/stat.h>

#include <cstdlib>

#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "fuzz_file.h"

inline MemFile &image_file()
{
	static MemFile *image = [] {
		auto *f = new MemFile("image");
		crv_ostrel_set_img_path(f->path());
		return f;
	}();
	return *image;
}

// The input becomes the image; a new stream on it, for reading.
inline FILE *open_image(const uint8_t *data, size_t size)
{
	image_file().set(data, size);
	return image_file().open("rb");
}

// What every consumer of a payload handle relies on: the payload lies
// inside the image file. A handle reaching past its end aborts the run.
inline void check_payload(const crv_per_img_handle &h)
{
	struct stat st;
	if (fstat(image_file().fd(), &st) != 0 || h.offset > uint64_t(st.st_size) ||
	    h.length > uint64_t(st.st_size) - h.offset) {
		fprintf(stderr, "payload of %llu bytes at %llu runs past the end of a %lld-byte image\n",
			(unsigned long long)h.length, (unsigned long long)h.offset, (long long)st.st_size);
		abort();
	}
}

// What every consumer of a payload handle relies on: the payload lies
// inside the image file. A handle reaching past its end aborts the run.
#pragma once

#include <sys/stat.h>

#include <cstdlib>

#include "crv_container.h"
#include "fuzz_file.h"

inline void check_payload(const MemFile &image, const crv_per_img_handle &h)
{
	struct stat st;
	if (fstat(image.fd(), &st) != 0 || h.offset > uint64_t(st.st_size) ||
	    h.length > uint64_t(st.st_size) - h.offset) {
		fprintf(stderr, "payload of %llu bytes at %llu runs past the end of a %lld-byte image\n",
			(unsigned long long)h.length, (unsigned long long)h.offset, (long long)st.st_size);
		abort();
	}
}

#include "fuzz_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

MemFile::MemFile(const char *name) : fd_(memfd_create(name, 0))
{
	if (fd_ < 0) {
		perror("memfd_create");
		abort();
	}
	path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemFile::~MemFile() { close(fd_); }

void MemFile::set(const uint8_t *data, size_t size)
{
	if (ftruncate(fd_, 0) != 0 || (size && pwrite(fd_, data, size, 0) != ssize_t(size)))
		abort();
}

std::string take_text(const uint8_t *&data, size_t &size, size_t max)
{
	const void *nul = memchr(data, 0, size);
	size_t len = nul ? size_t(static_cast<const uint8_t *>(nul) - data) : size;
	std::string text(reinterpret_cast<const char *>(data), len < max ? len : max);
	size_t used = nul ? len + 1 : len;
	data += used;
	size -= used;
	return text;
}

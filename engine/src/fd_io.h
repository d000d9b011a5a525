// Whole-buffer reads and writes on a descriptor, retried after signals.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

// Reads exactly len bytes; false on an error or the end of the data.
inline bool crv_read_full(int fd, void *buf, size_t len)
{
	auto *p = static_cast<uint8_t *>(buf);
	while (len > 0) {
		ssize_t n = read(fd, p, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		p += n;
		len -= static_cast<size_t>(n);
	}
	return true;
}

// Writes all len bytes; false on an error or a write that moves nothing.
inline bool crv_write_full(int fd, const void *buf, size_t len)
{
	const auto *p = static_cast<const uint8_t *>(buf);
	while (len > 0) {
		ssize_t n = write(fd, p, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		p += n;
		len -= static_cast<size_t>(n);
	}
	return true;
}

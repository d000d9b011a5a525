// Fuzz inputs as files: the engine opens images, lists and devices by path,
// so an input goes into a memory file that such a path reaches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class MemFile {
public:
	explicit MemFile(const char *name);
	~MemFile();
	MemFile(const MemFile &) = delete;
	MemFile &operator=(const MemFile &) = delete;

	// "/proc/self/fd/<n>": every open of it is a new stream on the same bytes.
	const char *path() const { return path_.c_str(); }
	int fd() const { return fd_; }
	// The file becomes exactly these bytes.
	void set(const uint8_t *data, size_t size);
	FILE *open(const char *mode) const { return fopen(path(), mode); }

private:
	int fd_;
	std::string path_;
};

// Splits an input at its first NUL: the text before it (at most max bytes
// kept) and the rest after it. Without a NUL the whole input is the text.
std::string take_text(const uint8_t *&data, size_t &size, size_t max);

// Writes firmware image containers for tests and scripts: a "TIMG" header
// with total length and MD5, then any list of "PIMG" images, optionally
// broken on purpose.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imgbuilder {

struct Image {
	std::string name{};
	std::string target{};
	std::string compress = "none";
	uint32_t target_offset = 0;
	std::string param{};

	// The payload: the bytes of `data`, or the contents of `file` when set,
	// or `hole` zero bytes left as a hole in a sparse file when set.
	std::string data{};
	std::string file{};
	uint64_t hole = 0;

	// Written as the header's length instead of the true payload size
	// (lengths that run past the end or wrap the next-header position).
	std::optional<uint64_t> length{};
};

struct Faults {
	bool bad_magic = false; // "TIMX" in place of "TIMG"
	std::optional<std::size_t> header_bytes{}; // the file is only this much of the whole-image header
	bool wrong_digest = false; // first digest byte flipped
	uint64_t truncate = 0; // bytes cut off the end (before the digest is taken)
	std::string trailing{}; // bytes after the last payload (covered by the digest)
	std::optional<uint64_t> total{}; // total length field in place of the true one
	bool no_digest = false; // leave the digest zero (no read-back of huge files)
};

// Writes the container to `path` and returns its size. The total length is
// the number of bytes after the whole-image header; the digest covers those
// bytes as written. Throws std::runtime_error when the file cannot be
// written or a payload file read.
uint64_t write_container(const std::string &path, const std::vector<Image> &images,
			 const Faults &faults = {});

// The RFC 1321 digest of the bytes from `offset` to the end of a file, as 32
// lower-case hex digits.
std::string md5_file_hex(const std::string &path, uint64_t offset = 0);

} // namespace imgbuilder

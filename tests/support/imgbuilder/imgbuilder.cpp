#include "imgbuilder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "crv_container.h"
#include "crv_md5.h"

namespace imgbuilder {
namespace {

class Fd {
public:
	Fd(const std::string &path, int flags, mode_t mode = 0644) : fd_(open(path.c_str(), flags | O_CLOEXEC, mode))
	{
		if (fd_ < 0)
			throw std::runtime_error("imgbuilder: cannot open " + path + ": " + strerror(errno));
	}
	~Fd() { close(fd_); }
	Fd(const Fd &) = delete;
	Fd &operator=(const Fd &) = delete;
	int get() const { return fd_; }

private:
	int fd_;
};

constexpr std::size_t CHUNK = 1 << 20;

void put(int fd, const void *data, std::size_t len, uint64_t pos)
{
	const char *p = static_cast<const char *>(data);
	while (len > 0) {
		ssize_t n = pwrite(fd, p, len, off_t(pos));
		if (n <= 0)
			throw std::runtime_error(std::string("imgbuilder: write failed: ") + strerror(errno));
		p += n;
		len -= std::size_t(n);
		pos += uint64_t(n);
	}
}

void set_text(char *field, std::size_t size, const std::string &text)
{
	memset(field, 0, size);
	memcpy(field, text.data(), std::min(size, text.size()));
}

// Copies a payload file to pos; returns its size.
uint64_t put_file(int fd, const std::string &path, uint64_t pos)
{
	Fd in(path, O_RDONLY);
	auto buf = std::make_unique<char[]>(CHUNK);
	uint64_t total = 0;
	for (;;) {
		ssize_t n = read(in.get(), buf.get(), CHUNK);
		if (n < 0)
			throw std::runtime_error("imgbuilder: cannot read " + path);
		if (n == 0)
			return total;
		put(fd, buf.get(), std::size_t(n), pos + total);
		total += uint64_t(n);
	}
}

void md5_of(int fd, uint64_t offset, uint8_t digest[16])
{
	auto buf = std::make_unique<char[]>(CHUNK);
	crv_md5_ctx ctx;
	crv_md5_init(&ctx);
	for (uint64_t pos = offset;;) {
		ssize_t n = pread(fd, buf.get(), CHUNK, off_t(pos));
		if (n < 0)
			throw std::runtime_error("imgbuilder: read back failed");
		if (n == 0)
			break;
		crv_md5_update(&ctx, buf.get(), int(n));
		pos += uint64_t(n);
	}
	crv_md5_final(&ctx, digest);
}

} // namespace

uint64_t write_container(const std::string &path, const std::vector<Image> &images, const Faults &faults)
{
	Fd out(path, O_RDWR | O_CREAT | O_TRUNC);
	uint64_t pos = CRV_WHOLE_IMG_HDR_SIZE;

	for (const Image &img : images) {
		uint64_t payload_at = pos + CRV_PER_IMG_HDR_SIZE;
		uint64_t size;
		if (!img.file.empty())
			size = put_file(out.get(), img.file, payload_at);
		else if (img.hole != 0)
			size = img.hole;
		else {
			put(out.get(), img.data.data(), img.data.size(), payload_at);
			size = img.data.size();
		}

		crv_per_img_hdr hdr{};
		memcpy(hdr.magic, "PIMG", 4);
		hdr.length = img.length.value_or(size);
		set_text(hdr.name, sizeof(hdr.name), img.name);
		set_text(hdr.target, sizeof(hdr.target), img.target);
		set_text(hdr.compress, sizeof(hdr.compress), img.compress);
		hdr.target_offset = img.target_offset;
		set_text(hdr.param, sizeof(hdr.param), img.param);
		put(out.get(), &hdr, sizeof(hdr), pos);
		pos = payload_at + size;
	}
	put(out.get(), faults.trailing.data(), faults.trailing.size(), pos);
	pos += faults.trailing.size();
	pos -= std::min(faults.truncate, pos - CRV_WHOLE_IMG_HDR_SIZE);
	if (ftruncate(out.get(), off_t(pos)) != 0)
		throw std::runtime_error("imgbuilder: cannot size " + path);

	crv_whole_img_hdr whole{};
	memcpy(whole.magic, faults.bad_magic ? "TIMX" : "TIMG", 4);
	whole.total = faults.total.value_or(pos - CRV_WHOLE_IMG_HDR_SIZE);
	if (!faults.no_digest)
		md5_of(out.get(), CRV_WHOLE_IMG_HDR_SIZE, whole.md5);
	if (faults.wrong_digest)
		whole.md5[0] ^= 0xff;
	put(out.get(), &whole, sizeof(whole), 0);

	if (faults.header_bytes) {
		pos = std::min<uint64_t>(*faults.header_bytes, sizeof(whole));
		if (ftruncate(out.get(), off_t(pos)) != 0)
			throw std::runtime_error("imgbuilder: cannot size " + path);
	}
	return pos;
}

std::string md5_file_hex(const std::string &path, uint64_t offset)
{
	Fd in(path, O_RDONLY);
	uint8_t digest[16];
	md5_of(in.get(), offset, digest);
	std::string hex;
	static const char digits[] = "0123456789abcdef";
	for (uint8_t b : digest) {
		hex += digits[b >> 4];
		hex += digits[b & 15];
	}
	return hex;
}

} // namespace imgbuilder

// The engine's sparse-file object: libsparse keeps the block list and reads
// and writes the format; the engine adds the raw-byte count of an imported
// image and block-by-block progress while it writes the image expanded.
#include "crv_sparse.h"

#include <sparse/sparse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crv_ostrel_ctx.h"

namespace {

// The on-disk records of the format, little-endian.
struct sparse_file_hdr {
	uint32_t magic;
	uint16_t major_version;
	uint16_t minor_version;
	uint16_t file_hdr_sz;
	uint16_t chunk_hdr_sz;
	uint32_t blk_sz;
	uint32_t total_blks;
	uint32_t total_chunks;
	uint32_t image_checksum;
};
static_assert(sizeof(sparse_file_hdr) == 28);

struct sparse_chunk_hdr {
	uint16_t chunk_type;
	uint16_t reserved1;
	uint32_t chunk_sz; // in blocks of the output
	uint32_t total_sz; // bytes of this chunk in the input, header included
};
static_assert(sizeof(sparse_chunk_hdr) == 12);

constexpr uint32_t kSparseMagic = 0xed26ff3a;

// The largest block size taken. libsparse holds the block size in an int
// and allocates a block-sized buffer or two for every output, so the
// header's word alone would size those; the format itself asks only for a
// multiple of 4. Images come from file-system images whose block sizes are
// powers of two from 1 KiB (4 KiB in the tools' defaults) to ext4's largest,
// 64 KiB: 64 KiB takes every one of them.
constexpr uint32_t kMaxBlockSize = 64 * 1024;

bool block_size_ok(uint64_t blk_sz)
{
	return blk_sz != 0 && blk_sz % 4 == 0 && blk_sz <= kMaxBlockSize;
}
constexpr uint16_t kChunkRaw = 0xcac1;
constexpr uint16_t kChunkFill = 0xcac2;
constexpr uint16_t kChunkDontCare = 0xcac3;
constexpr uint16_t kChunkCrc32 = 0xcac4;

// The texts libsparse prints for the same faults.
void report_invalid(bool verbose, const char *what)
{
	if (verbose)
		sparse_print_verbose("Invalid sparse file format at %s\n", what);
}

void report_eof(bool verbose, const char *what)
{
	if (verbose)
		sparse_print_verbose("EOF while reading file at %s\n", what);
}

bool read_exact(int fd, void *buf, size_t len, int64_t off)
{
	auto *p = static_cast<char *>(buf);
	while (len > 0) {
		ssize_t n = pread(fd, p, len, off);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		p += n;
		len -= static_cast<size_t>(n);
		off += n;
	}
	return true;
}

// Walks a sparse image that starts at fd's position without moving it and
// checks everything libsparse takes on trust: header sizes, block size,
// chunk sizes against their types, chunks that stay inside the image's
// block count, raw data that lies inside the file. On success *raw_bytes
// holds the data bytes of all raw chunks and *len the expanded length.
int check_sparse_image(int fd, bool verbose, uint64_t *raw_bytes, int64_t *len)
{
	off_t start = lseek(fd, 0, SEEK_CUR);
	if (start < 0)
		return -errno;
	struct stat st {};
	if (fstat(fd, &st) != 0)
		return -errno;
	const bool sized = S_ISREG(st.st_mode);
	const uint64_t file_end = sized ? static_cast<uint64_t>(st.st_size) : UINT64_MAX;

	sparse_file_hdr hdr {};
	if (!read_exact(fd, &hdr, sizeof(hdr), start)) {
		report_eof(verbose, "header");
		return -EOVERFLOW;
	}
	if (hdr.magic != kSparseMagic) {
		report_invalid(verbose, "header magic");
		return -EINVAL;
	}
	if (hdr.major_version != 1) {
		report_invalid(verbose, "header major version");
		return -EINVAL;
	}
	if (hdr.file_hdr_sz < sizeof(sparse_file_hdr)) {
		report_invalid(verbose, "header size");
		return -EINVAL;
	}
	if (hdr.chunk_hdr_sz < sizeof(sparse_chunk_hdr)) {
		report_invalid(verbose, "chunk header size");
		return -EINVAL;
	}
	if (!block_size_ok(hdr.blk_sz)) {
		report_invalid(verbose, "header block size");
		return -EINVAL;
	}
	const uint64_t length = static_cast<uint64_t>(hdr.total_blks) * hdr.blk_sz;
	if (length > static_cast<uint64_t>(INT64_MAX)) {
		report_invalid(verbose, "header block count");
		return -EINVAL;
	}

	uint64_t off = static_cast<uint64_t>(start) + hdr.file_hdr_sz;
	uint64_t block = 0;
	uint64_t raw = 0;
	for (uint32_t i = 0; i < hdr.total_chunks; i++) {
		sparse_chunk_hdr ch {};
		if (off + hdr.chunk_hdr_sz > file_end ||
		    !read_exact(fd, &ch, sizeof(ch), static_cast<int64_t>(off))) {
			report_eof(verbose, "chunk header");
			return -EOVERFLOW;
		}
		if (ch.total_sz < hdr.chunk_hdr_sz) {
			report_invalid(verbose, "chunk size");
			return -EINVAL;
		}
		const uint64_t data_sz = ch.total_sz - hdr.chunk_hdr_sz;
		const uint64_t out_sz = static_cast<uint64_t>(ch.chunk_sz) * hdr.blk_sz;
		bool size_ok = false;
		switch (ch.chunk_type) {
		case kChunkRaw:
			size_ok = data_sz == out_sz;
			break;
		case kChunkFill:
			// The block list takes a fill's length in 32 bits: a
			// longer one would silently come out short.
			size_ok = data_sz == 4 && out_sz <= UINT32_MAX;
			break;
		case kChunkCrc32:
			size_ok = data_sz == 4;
			break;
		case kChunkDontCare:
			size_ok = data_sz == 0;
			break;
		default:
			report_invalid(verbose, "chunk type");
			return -EINVAL;
		}
		if (!size_ok) {
			report_invalid(verbose, "chunk size");
			return -EINVAL;
		}
		if (ch.chunk_type != kChunkCrc32) {
			if (block + ch.chunk_sz > hdr.total_blks) {
				report_invalid(verbose, "chunk beyond the image length");
				return -EINVAL;
			}
			block += ch.chunk_sz;
		}
		if (off + ch.total_sz > file_end) {
			report_eof(verbose, "chunk data");
			return -EOVERFLOW;
		}
		if (ch.chunk_type == kChunkRaw)
			raw += data_sz;
		off += ch.total_sz;
	}
	*raw_bytes = raw;
	*len = static_cast<int64_t>(length);
	return 0;
}

// Builds the block list of a checked image that starts at start, chunk by
// chunk as libsparse's own import does without a crc check.
struct sparse_file *import_at(int fd, off_t start)
{
	sparse_file_hdr hdr {};
	if (!read_exact(fd, &hdr, sizeof(hdr), start))
		return nullptr;
	struct sparse_file *s =
		sparse_file_new(hdr.blk_sz, static_cast<int64_t>(hdr.total_blks) * hdr.blk_sz);
	if (s == nullptr)
		return nullptr;
	int64_t off = static_cast<int64_t>(start) + hdr.file_hdr_sz;
	unsigned int block = 0;
	for (uint32_t i = 0; i < hdr.total_chunks; i++) {
		sparse_chunk_hdr ch {};
		uint32_t fill = 0;
		int ret = 0;
		if (!read_exact(fd, &ch, sizeof(ch), off))
			ret = -EIO;
		const int64_t data = off + hdr.chunk_hdr_sz;
		const uint64_t bytes = static_cast<uint64_t>(ch.chunk_sz) * hdr.blk_sz;
		if (ret == 0 && ch.chunk_type == kChunkRaw && ch.chunk_sz != 0)
			ret = sparse_file_add_fd(s, fd, data, static_cast<unsigned int>(bytes), block);
		if (ret == 0 && ch.chunk_type == kChunkFill && ch.chunk_sz != 0) {
			ret = read_exact(fd, &fill, sizeof(fill), data) ? 0 : -EIO;
			if (ret == 0)
				ret = sparse_file_add_fill(s, fill, static_cast<unsigned int>(bytes), block);
		}
		if (ret != 0) {
			sparse_file_destroy(s);
			return nullptr;
		}
		if (ch.chunk_type != kChunkCrc32)
			block += ch.chunk_sz;
		off += ch.total_sz;
	}
	return s;
}

crv_sparse_file *wrap(struct sparse_file *blocks, unsigned int block_size, int64_t len)
{
	auto *s = static_cast<crv_sparse_file *>(calloc(1, sizeof(crv_sparse_file)));
	if (s == nullptr)
		return nullptr;
	s->block_size = block_size;
	s->len = len;
	s->blocks = blocks;
	s->out_fd = -1;
	return s;
}

// Output of the expanded image: to a descriptor (small pieces gathered into
// one write per block) or to a caller's callback.
class expanded_sink {
public:
	expanded_sink(int fd) : fd_(fd) {}
	expanded_sink(int (*write)(void *, const void *, size_t), void *priv)
		: write_(write), priv_(priv) {}

	int put(const void *data, size_t len)
	{
		pos_ += len;
		if (write_ != nullptr)
			return write_(priv_, data, len);
		if (len >= kGather) {
			int ret = flush();
			return ret != 0 ? ret : write_all(static_cast<const char *>(data), len);
		}
		if (buf_.size() + len > kGather) {
			int ret = flush();
			if (ret != 0)
				return ret;
		}
		auto *p = static_cast<const char *>(data);
		buf_.insert(buf_.end(), p, p + len);
		return 0;
	}

	int skip(uint64_t len)
	{
		pos_ += len;
		if (write_ != nullptr) {
			while (len > 0) {
				size_t n = static_cast<size_t>(std::min<uint64_t>(len, INT_MAX));
				int ret = write_(priv_, nullptr, n);
				if (ret < 0)
					return ret;
				len -= n;
			}
			return 0;
		}
		int ret = flush();
		if (ret != 0)
			return ret;
		if (lseek(fd_, static_cast<off_t>(len), SEEK_CUR) < 0)
			return -errno;
		return 0;
	}

	int flush()
	{
		if (buf_.empty())
			return 0;
		int ret = write_all(buf_.data(), buf_.size());
		buf_.clear();
		return ret;
	}

	uint64_t pos() const { return pos_; }

private:
	static constexpr size_t kGather = 1 << 20;

	int write_all(const char *p, size_t len)
	{
		while (len > 0) {
			ssize_t n = ::write(fd_, p, len);
			if (n < 0 && errno == EINTR)
				continue;
			if (n < 0)
				return -errno;
			if (n == 0)
				return -EIO;
			p += n;
			len -= static_cast<size_t>(n);
		}
		return 0;
	}

	int fd_ = -1;
	int (*write_)(void *, const void *, size_t) = nullptr;
	void *priv_ = nullptr;
	uint64_t pos_ = 0;
	std::vector<char> buf_;
};

// One run of the expanded write: libsparse hands over the backed blocks in
// block order; gaps become skips and each finished block one progress event.
struct expand_run {
	crv_sparse_file *s;
	expanded_sink *sink;
	bool report;
	uint64_t base;
	uint64_t span;
	uint64_t written;
	bool in_block;
	unsigned int block;
	uint64_t block_bytes;
	int err;

	void block_done()
	{
		written += block_bytes;
		in_block = false;
		if (!report)
			return;
		int value = static_cast<int>(std::min<uint64_t>(base, INT_MAX));
		if (s->raw_bytes != 0) {
			float v = static_cast<float>(base) +
				  static_cast<float>(span) *
					  (static_cast<float>(written) / static_cast<float>(s->raw_bytes));
			value = v >= static_cast<float>(INT_MAX) ? INT_MAX : static_cast<int>(v);
		}
		crv_ostrel_notify_event(CRV_EVT_IMG_PROGRESS, value);
	}

	static int chunk(void *priv, const void *data, size_t len, unsigned int block,
			 unsigned int /*nr_blocks*/)
	{
		auto *r = static_cast<expand_run *>(priv);
		if (!r->in_block || block != r->block) {
			if (r->in_block) {
				if (int ret = r->sink->flush(); ret != 0)
					return r->fail(ret);
				r->block_done();
			}
			uint64_t at = static_cast<uint64_t>(block) * r->s->block_size;
			if (at > r->sink->pos()) {
				if (int ret = r->sink->skip(at - r->sink->pos()); ret != 0)
					return r->fail(ret);
			}
			r->in_block = true;
			r->block = block;
			r->block_bytes = 0;
		}
		int ret = data != nullptr ? r->sink->put(data, len) : r->sink->skip(len);
		if (ret != 0)
			return r->fail(ret);
		if (data != nullptr)
			r->block_bytes += len;
		return 0;
	}

	int fail(int ret)
	{
		err = ret < 0 ? ret : -EIO;
		return err;
	}
};

int write_expanded(crv_sparse_file *s, expanded_sink &sink)
{
	expand_run run {};
	run.s = s;
	run.sink = &sink;
	run.report = s->progress != nullptr;
	if (run.report) {
		run.base = static_cast<uint64_t>(crv_overall_percent(s->progress->bytes_done, s->progress->total));
		run.span = static_cast<uint64_t>(crv_overall_percent(s->raw_bytes, s->progress->total));
	}
	int ret = sparse_file_foreach_chunk(s->blocks, false, false, expand_run::chunk, &run);
	if (run.err != 0)
		return run.err;
	if (ret < 0)
		return ret;
	if (run.in_block) {
		if (int r = sink.flush(); r != 0)
			return r;
		run.block_done();
	}
	if (static_cast<uint64_t>(s->len) > sink.pos()) {
		if (int r = sink.skip(static_cast<uint64_t>(s->len) - sink.pos()); r != 0)
			return r;
	}
	return sink.flush();
}

} // namespace

crv_sparse_file *crv_sparse_file_new(unsigned int block_size, int64_t len)
{
	if (!block_size_ok(block_size) || len < 0)
		return nullptr;
	struct sparse_file *blocks = sparse_file_new(block_size, len);
	if (blocks == nullptr)
		return nullptr;
	crv_sparse_file *s = wrap(blocks, block_size, len);
	if (s == nullptr)
		sparse_file_destroy(blocks);
	return s;
}

void crv_sparse_file_destroy(crv_sparse_file *s)
{
	if (s == nullptr)
		return;
	sparse_file_destroy(s->blocks);
	free(s);
}

int crv_sparse_file_add_data(crv_sparse_file *s, void *data, unsigned int len, unsigned int block)
{
	return sparse_file_add_data(s->blocks, data, len, block);
}

int crv_sparse_file_add_fill(crv_sparse_file *s, uint32_t fill_val, unsigned int len, unsigned int block)
{
	return sparse_file_add_fill(s->blocks, fill_val, len, block);
}

int crv_sparse_file_add_file(crv_sparse_file *s, const char *filename, int64_t file_offset,
			     unsigned int len, unsigned int block)
{
	return sparse_file_add_file(s->blocks, filename, file_offset, len, block);
}

int crv_sparse_file_add_fd(crv_sparse_file *s, int fd, int64_t file_offset, unsigned int len,
			   unsigned int block)
{
	return sparse_file_add_fd(s->blocks, fd, file_offset, len, block);
}

int crv_sparse_count_chunks(crv_sparse_file *s)
{
	struct counter {
		uint64_t end = 0;
		bool any = false;
		unsigned int block = 0;
		int chunks = 0;
		unsigned int block_size;
	} c;
	c.block_size = s->block_size;
	auto each = [](void *priv, const void *, size_t, unsigned int block, unsigned int nr) -> int {
		auto *c = static_cast<counter *>(priv);
		if (c->any && block == c->block)
			return 0;
		if (block > c->end)
			c->chunks++; // the skip before it
		c->chunks++;
		c->any = true;
		c->block = block;
		c->end = static_cast<uint64_t>(block) + nr;
		return 0;
	};
	int ret = sparse_file_foreach_chunk(s->blocks, false, false, each, &c);
	if (ret < 0)
		return ret;
	uint64_t blocks = (static_cast<uint64_t>(s->len) + s->block_size - 1) / s->block_size;
	if (c.end < blocks)
		c.chunks++;
	return c.chunks;
}

int crv_sparse_file_write(crv_sparse_file *s, int fd, bool gz, bool sparse, bool crc)
{
	if (gz || sparse)
		return sparse_file_write(s->blocks, fd, gz, sparse, crc);
	off_t start = lseek(fd, 0, SEEK_CUR);
	if (start < 0)
		return -errno;
	s->out_fd = fd;
	expanded_sink sink(fd);
	int ret = write_expanded(s, sink);
	s->out_fd = -1;
	if (ret != 0)
		return ret;
	// A skip does not make a regular file longer: give it its full length,
	// as libsparse does at the end of its own expanded output.
	struct stat st {};
	const int64_t end = static_cast<int64_t>(start) + s->len;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < end) {
		if (ftruncate(fd, end) != 0)
			return -errno;
	}
	return 0;
}

int crv_sparse_file_callback(crv_sparse_file *s, bool sparse, bool crc,
			     int (*write)(void *priv, const void *data, size_t len), void *priv)
{
	if (sparse)
		return sparse_file_callback(s->blocks, sparse, crc, write, priv);
	expanded_sink sink(write, priv);
	return write_expanded(s, sink);
}

int64_t crv_sparse_file_len(crv_sparse_file *s, bool sparse, bool crc)
{
	return sparse_file_len(s->blocks, sparse, crc);
}

int crv_sparse_file_resparse(crv_sparse_file *in_s, unsigned int max_len, crv_sparse_file **out_s,
			     int out_count)
{
	if (out_count < 0 || (out_count > 0 && out_s == nullptr))
		return -EINVAL;
	std::vector<struct sparse_file *> parts(static_cast<size_t>(out_count));
	int ret = sparse_file_resparse(in_s->blocks, max_len, parts.data(), out_count);
	if (ret < 0)
		return ret;
	int made = std::min(ret, out_count);
	for (int i = 0; i < made; i++) {
		out_s[i] = wrap(parts[i], in_s->block_size, in_s->len);
		if (out_s[i] == nullptr) {
			for (int j = 0; j < i; j++) {
				crv_sparse_file_destroy(out_s[j]);
				out_s[j] = nullptr;
			}
			for (int j = i; j < made; j++)
				sparse_file_destroy(parts[j]);
			return -ENOMEM;
		}
		out_s[i]->verbose = in_s->verbose;
	}
	return ret;
}

crv_sparse_file *crv_sparse_file_import(int fd, bool verbose, bool crc)
{
	uint64_t raw = 0;
	int64_t len = 0;
	if (check_sparse_image(fd, verbose, &raw, &len) != 0)
		return nullptr;
	// libsparse reads an image from the start of its file; one that starts
	// further in is put together here from the same (checked) chunks.
	off_t start = lseek(fd, 0, SEEK_CUR);
	struct sparse_file *blocks = nullptr;
	if (start == 0) {
		blocks = sparse_file_import(fd, verbose, crc);
	} else if (crc) {
		report_invalid(verbose, "crc check of an image inside a file");
	} else {
		blocks = import_at(fd, start);
	}
	if (blocks == nullptr)
		return nullptr;
	crv_sparse_file *s = wrap(blocks, sparse_file_block_size(blocks), len);
	if (s == nullptr) {
		sparse_file_destroy(blocks);
		return nullptr;
	}
	s->verbose = verbose;
	s->raw_bytes = raw;
	return s;
}

int crv_sparse_file_read(crv_sparse_file *s, int fd, bool sparse, bool crc)
{
	if (sparse) {
		uint64_t raw = 0;
		int64_t len = 0;
		if (int ret = check_sparse_image(fd, s->verbose, &raw, &len); ret != 0)
			return ret;
	}
	return sparse_file_read(s->blocks, fd, sparse, crc);
}

void crv_ostrel_sparse_set_progress(crv_sparse_file *s, crv_progress *progress)
{
	s->progress = progress;
}

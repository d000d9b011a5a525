// The engine's sparse-file object: a block list in the Android sparse image
// format (held by libsparse) plus what the engine adds to it, the number of
// raw data bytes an imported image carries and the progress record that its
// expanded write reports against. Results are 0 or a negative errno, as
// libsparse gives them.
#pragma once

#include <cstddef>
#include <cstdint>

struct crv_progress;
struct sparse_file;

struct crv_sparse_file {
	unsigned int block_size;
	int64_t len; // bytes of the expanded image
	bool verbose; // messages on errors while reading
	struct sparse_file *blocks; // the backed-block list (libsparse)
	int out_fd; // the output while writing, else -1
	uint64_t raw_bytes; // data bytes of the raw chunks met on import
	crv_progress *progress; // null: no progress events
};

// A new empty object of len bytes in blocks of block_size; null when out of
// memory or when the geometry is unusable (block size 0, not a multiple of
// 4 or above 64 KiB, negative length).
crv_sparse_file *crv_sparse_file_new(unsigned int block_size, int64_t len);
void crv_sparse_file_destroy(crv_sparse_file *s);

// Blocks taken from memory (kept by reference), a repeated 32-bit value, a
// named file or a descriptor, placed at block number block.
int crv_sparse_file_add_data(crv_sparse_file *s, void *data, unsigned int len, unsigned int block);
int crv_sparse_file_add_fill(crv_sparse_file *s, uint32_t fill_val, unsigned int len, unsigned int block);
int crv_sparse_file_add_file(crv_sparse_file *s, const char *filename, int64_t file_offset,
			     unsigned int len, unsigned int block);
int crv_sparse_file_add_fd(crv_sparse_file *s, int fd, int64_t file_offset, unsigned int len,
			   unsigned int block);

// Chunks the object makes in the sparse format (skips between blocks, the
// blocks, a trailing skip).
int crv_sparse_count_chunks(crv_sparse_file *s);

// Writes the object to fd from its current position. Expanded output (no
// gzip, no sparse format) goes block by block and, when a progress record is
// attached, sends one CRV_EVT_IMG_PROGRESS per backed block. A crc request
// adds nothing to expanded output. Gzip or sparse-format output is left to
// libsparse and sends no event.
int crv_sparse_file_write(crv_sparse_file *s, int fd, bool gz, bool sparse, bool crc);

// As the write, through write(priv, data, len); data is null for a run to
// skip over (expanded output only).
int crv_sparse_file_callback(crv_sparse_file *s, bool sparse, bool crc,
			     int (*write)(void *priv, const void *data, size_t len), void *priv);

// Bytes the write would produce.
int64_t crv_sparse_file_len(crv_sparse_file *s, bool sparse, bool crc);

// Splits the object into objects of at most max_len bytes in the sparse
// format each; returns how many out_s would need (entries beyond out_count
// are not made). Every object placed in out_s belongs to the caller.
int crv_sparse_file_resparse(crv_sparse_file *in_s, unsigned int max_len, crv_sparse_file **out_s,
			     int out_count);

// Imports a sparse image that starts at fd's position. The image is checked
// as a whole before libsparse reads it; a malformed one gives null with a
// message when verbose is set. The raw chunks' data bytes are counted.
crv_sparse_file *crv_sparse_file_import(int fd, bool verbose, bool crc);

// Reads fd into the object: a sparse image when sparse is set, else a plain
// file whose zero and repeated-word blocks become fills.
int crv_sparse_file_read(crv_sparse_file *s, int fd, bool sparse, bool crc);

// Attaches the record the expanded write reports against (null detaches).
void crv_ostrel_sparse_set_progress(crv_sparse_file *s, crv_progress *progress);

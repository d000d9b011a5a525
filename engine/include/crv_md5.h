// MD5 digest (RFC 1321), computed incrementally.
#pragma once

#include <cstddef>
#include <cstdint>

struct crv_md5_ctx {
	uint32_t count[2]; // message length in bits: low word, high word
	uint32_t state[4]; // A, B, C, D
	uint8_t buffer[64]; // bytes of an unfinished block
};
static_assert(sizeof(crv_md5_ctx) == 88);
static_assert(offsetof(crv_md5_ctx, count) == 0);
static_assert(offsetof(crv_md5_ctx, state) == 8);
static_assert(offsetof(crv_md5_ctx, buffer) == 24);

void crv_md5_init(crv_md5_ctx *ctx);
// Appends count bytes; a count of 0 or less leaves the context unchanged.
void crv_md5_update(crv_md5_ctx *ctx, const void *input, int count);
// Pads, appends the bit count and writes the digest; the context is spent.
void crv_md5_final(crv_md5_ctx *ctx, uint8_t digest[16]);
// One 64-byte block of the compression; the block may sit at any address.
void crv_md5_transform(crv_md5_ctx *ctx, const uint8_t block[64]);

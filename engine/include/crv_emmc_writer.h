// The engine's general writer of one image to an eMMC partition, a block
// device or a file: the payload is staged in the temporary folder as
// "%s/%s.div" and put on the target by dd ("none"), by gunzip or bunzip2
// into dd ("gzip", "bzip2"), by tar into the freshly formatted target
// ("tgz"), or expanded from a sparse image ("sparse").
#pragma once

#include <cstdint>

#include "crv_container.h"

struct crv_progress;

// A crv_img_cb_fn. user is the crv_progress record to report against; null
// means the engine's own record. 0 on success; -22 for missing arguments, an
// image name, target or temporary folder that cannot stand in a command
// line, an unknown compression text or a failed "tgz"/"sparse" step; -errno
// when the target does not exist (nothing is staged then) and for failed
// opens in the "sparse" branch; -5 for staging and device I/O failures (and
// a failed unpack); -1 when "/extract_dir" cannot be made; the format's own
// result in "tgz"; for "none", "gzip" and "bzip2" the nonzero wait status of
// the failed command (the shell's form: 256 for exit code 1).
int crv_ostrel_emmc_common_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

// The common writer's two branches that carry names of their own, on the
// payload already staged at the given path. Both refuse (-22) a target or
// path that cannot stand in a command line, and set the record's last
// percent to 0 on every return (a null record: no progress is reported).
// "tgz": refuses (-22) a target that carries the temporary folder (the
// staged archive would be formatted away), formats the target, mounts it on
// "/extract_dir" and unpacks the archive there. 0, -22, -1, -5 or the
// format's result.
int crv_ostrel_emmc_tgz_help_func(const crv_per_img_hdr *hdr, const char *staged, crv_progress *progress);
// "sparse": expands the sparse image onto the existing target with progress
// events, then grows the ext4 file system when the format text holds
// "SPARSE-EXTEND". 0, -errno for a failed open, -22 for a bad image, -5.
int crv_ostrel_emmc_sparse_update_cb(const crv_per_img_hdr *hdr, const char *staged, crv_progress *progress);

// The "gzip"/"bzip2" progress arithmetic: this image's share of the bar
// (payload length L against total T, in KiB) scaled by the bytes dd copied
// (B) against the device size (S), on top of the share already done (D).
// A zero divisor counts as no progress for its term.
int crv_emmc_dd_percent(uint64_t L, uint64_t D, uint64_t T, uint64_t S, uint64_t B);

// The byte count in a dd report: the leading number of the first line that
// holds "bytes" (NUL bytes are skipped); -1 when there is none.
int64_t crv_emmc_dd_report_bytes(const char *text, std::size_t len);

// The engine's routines over libfdt for the device-tree writers: /chosen and
// its boot arguments, the set's identification string, the demura region,
// writing a blob out, and the fdt-pack hook.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crv_container.h"

// The oldest blob version the routines take: before 16, node names are
// whole paths.
inline constexpr uint32_t CRV_FDT_MIN_VERSION = 16;

// Whether the blob is one the engine may hand to libfdt for editing: a
// supported version, whole within room bytes, its blocks in libfdt's order
// (reservation map, structure, strings) without overlap, the reservation
// map ended before the structure block, and libfdt's full check passed.
bool crv_fdt_blob_sound(const void *fdt, std::size_t room);

// Offset of the root's subnode "chosen", added when it does not exist; a
// negative libfdt error otherwise (printed).
int fdt_find_or_add_subnode(void *fdt);

// The routines below check the header (libfdt's check, versions from
// CRV_FDT_MIN_VERSION on).

// Checks the header, makes sure /chosen exists and, when bootargs is not
// null, sets its "bootargs" property to the text including its NUL. 0 or a
// negative libfdt error. The blob grows only inside its total size.
int fdt_chosen(void *fdt, const char *bootargs);

// The /chosen "bootargs" or "crv_id_str" text inside the blob, or null when
// the header is bad, the node or property is missing, or the value is not a
// NUL-terminated string.
const char *fdt_get_bootargs(const void *fdt);
const char *fdt_get_id_str(const void *fdt);

// The two big-endian cells of /memory_tbl/demura "region" in host order: 0,
// or -1 when the header is bad, a node is missing or the property holds
// fewer than two cells.
int fdt_get_demura(const void *fdt, uint32_t *first, uint32_t *second);

// Writes the blob's total size (from its header) to path, "-" meaning
// standard output (left open); a file is created or truncated, mode 0666.
// buf_size is how many bytes the caller's buffer holds: a blob whose header
// claims more is refused. 0, or the positive system error number.
int crv_fdt_write_blob(const char *path, const void *blob, std::size_t buf_size = SIZE_MAX);

// The fdt-pack hook supplies the id string of this set, which selects the
// blob of a pack whose "crv_id_str" equals it; null selects the first.
using crv_fdt_pack_hook_fn = const char *(*)(void *user, crv_per_img_handle *handle);
void crv_ostrel_set_fdt_pack_hook(crv_fdt_pack_hook_fn hook, void *user);
// The hook's result for this image, or null when no hook is set.
const char *crv_ostrel_call_fdt_pack_hook(const crv_per_img_hdr *hdr, crv_per_img_handle *handle);

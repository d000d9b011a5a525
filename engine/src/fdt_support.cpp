// Device-tree routines over libfdt.
#include "crv_fdt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libfdt.h>
#include <unistd.h>

#include "unique_fd.h"

namespace {

crv_fdt_pack_hook_fn g_pack_hook = nullptr;
void *g_pack_user = nullptr;

// A property value usable as a C string: present, non-empty and ending in
// its NUL inside the property.
const char *string_prop(const void *fdt, int node, const char *name)
{
	int len = 0;
	const auto *val = static_cast<const char *>(fdt_getprop(fdt, node, name, &len));
	if (val == nullptr || len < 1 || val[len - 1] != '\0')
		return nullptr;
	return val;
}

const char *chosen_string(const void *fdt, const char *prop)
{
	int node = fdt_subnode_offset(fdt, 0, "chosen");
	if (node < 0)
		return nullptr;
	return string_prop(fdt, node, prop);
}

int demura_node(const void *fdt, int parent, const char *name)
{
	int node = fdt_subnode_offset(fdt, parent, name);
	if (node < 0)
		printf("%s: %s: %s\n", "fdt_get_demura", name, fdt_strerror(node));
	return node;
}

// libfdt's header check, limited to the versions the engine edits.
int check_header(const void *fdt)
{
	int err = fdt_check_header(fdt);
	if (err == 0 && fdt_version(fdt) < CRV_FDT_MIN_VERSION)
		err = -FDT_ERR_BADVERSION;
	return err;
}

uint32_t be32_at(const void *fdt, size_t off)
{
	fdt32_t v;
	memcpy(&v, static_cast<const uint8_t *>(fdt) + off, sizeof(v));
	return fdt32_to_cpu(v);
}

} // namespace

bool crv_fdt_blob_sound(const void *fdt, size_t room)
{
	if (room < sizeof(fdt_header) || fdt_magic(fdt) != FDT_MAGIC)
		return false;
	// Before version 16 a node's name is its whole path, which libfdt's
	// full check does not survive when a root name holds no '/'.
	if (fdt_version(fdt) < CRV_FDT_MIN_VERSION || fdt_last_comp_version(fdt) > FDT_LAST_SUPPORTED_VERSION)
		return false;
	const uint64_t total = fdt_totalsize(fdt);
	if (total < sizeof(fdt_header) || total > room)
		return false;
	// The blocks in the order libfdt writes them, none running into the
	// next: libfdt moves and packs blocks trusting that the reservation
	// map ends before the structure block.
	const uint64_t rsv = fdt_off_mem_rsvmap(fdt);
	const uint64_t strct = fdt_off_dt_struct(fdt);
	const uint64_t strings = fdt_off_dt_strings(fdt);
	if (rsv < sizeof(fdt_header) || rsv % 8 != 0 || strct % 4 != 0 || strct < rsv || strings < strct ||
	    strings + fdt_size_dt_strings(fdt) > total)
		return false;
	if (fdt_version(fdt) >= 17 && strct + fdt_size_dt_struct(fdt) > strings)
		return false;
	for (uint64_t at = rsv;; at += sizeof(fdt_reserve_entry)) {
		if (at + sizeof(fdt_reserve_entry) > strct)
			return false;
		bool end = true;
		for (size_t w = 0; w < sizeof(fdt_reserve_entry); w += 4)
			end = end && be32_at(fdt, size_t(at + w)) == 0;
		if (end)
			break;
	}
	return fdt_check_full(fdt, size_t(total)) == 0;
}

int fdt_find_or_add_subnode(void *fdt)
{
	int node = fdt_subnode_offset(fdt, 0, "chosen");
	if (node == -FDT_ERR_NOTFOUND)
		node = fdt_add_subnode(fdt, 0, "chosen");
	if (node < 0)
		printf("%s: %s: %s\n", "fdt_find_or_add_subnode", "chosen", fdt_strerror(node));
	return node;
}

int fdt_chosen(void *fdt, const char *bootargs)
{
	int err = check_header(fdt);
	if (err < 0) {
		printf("fdt_chosen: %s\n", fdt_strerror(err));
		return err;
	}
	int node = fdt_find_or_add_subnode(fdt);
	if (node < 0)
		return node;
	if (bootargs != nullptr) {
		err = fdt_setprop(fdt, node, "bootargs", bootargs, int(strlen(bootargs) + 1));
		if (err < 0) {
			printf("WARNING: could not set bootargs %s.\n", fdt_strerror(err));
			return err;
		}
	}
	return 0;
}

const char *fdt_get_bootargs(const void *fdt)
{
	int err = check_header(fdt);
	if (err < 0) {
		printf("fdt_get_bootargs: %s\n", fdt_strerror(err));
		return nullptr;
	}
	const char *args = chosen_string(fdt, "bootargs");
	if (args != nullptr)
		printf("bootargs : %s\n", args);
	return args;
}

const char *fdt_get_id_str(const void *fdt)
{
	int err = check_header(fdt);
	if (err < 0) {
		printf("fdt_chosen: %s\n", fdt_strerror(err));
		return nullptr;
	}
	return chosen_string(fdt, "crv_id_str");
}

int fdt_get_demura(const void *fdt, uint32_t *first, uint32_t *second)
{
	int err = check_header(fdt);
	if (err < 0) {
		printf("check header: %s\n", fdt_strerror(err));
		return -1;
	}
	int tbl = demura_node(fdt, 0, "memory_tbl");
	if (tbl < 0)
		return -1;
	int node = demura_node(fdt, tbl, "demura");
	if (node < 0)
		return -1;
	int len = 0;
	const void *region = fdt_getprop(fdt, node, "region", &len);
	if (region == nullptr || len < int(2 * sizeof(fdt32_t)))
		return -1;
	fdt32_t cells[2];
	memcpy(cells, region, sizeof(cells));
	*first = fdt32_to_cpu(cells[0]);
	*second = fdt32_to_cpu(cells[1]);
	printf("[%s]demura:0x%08x,0x%08x\n", "fdt_get_demura", *first, *second);
	return 0;
}

int crv_fdt_write_blob(const char *path, const void *blob, std::size_t buf_size)
{
	bool to_stdout = strcmp(path, "-") == 0;
	crv_unique_fd owned;
	int fd = STDOUT_FILENO;
	if (!to_stdout) {
		owned.reset(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
		if (!owned.valid())
			return errno;
		fd = owned.get();
	}

	std::size_t total = fdt_totalsize(blob);
	int err = 0;
	if (total > buf_size) {
		err = EINVAL; // the header claims more than the buffer holds
	} else {
		const auto *p = static_cast<const uint8_t *>(blob);
		while (total > 0) {
			ssize_t n = write(fd, p, total);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0) {
				err = n < 0 ? errno : EIO;
				break;
			}
			p += n;
			total -= std::size_t(n);
		}
	}
	if (err != 0)
		printf("Couldn't write blob to \"%s\": %s", path, strerror(err));
	return err;
}

void crv_ostrel_set_fdt_pack_hook(crv_fdt_pack_hook_fn hook, void *user)
{
	g_pack_hook = hook;
	g_pack_user = user;
}

const char *crv_ostrel_call_fdt_pack_hook(const crv_per_img_hdr *, crv_per_img_handle *handle)
{
	if (g_pack_hook == nullptr)
		return nullptr;
	return g_pack_hook(g_pack_user, handle);
}

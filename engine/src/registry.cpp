// Image-callback registry: image names bound to writers, and the default.
#include <cstdio>
#include <cstring>

#include "crv_update.h"

namespace {

constexpr std::size_t kNameLen = sizeof(crv_img_cb_entry::name);

bool entry_free(const crv_img_cb_entry &e)
{
	return e.name[0] == '\0';
}

bool entry_holds(const crv_img_cb_entry &e, const char *name)
{
	return !entry_free(e) && strncmp(e.name, name, kNameLen) == 0;
}

} // namespace

int crv_ostrel_register_img_cb(const char *name, crv_img_cb_fn cb, void *user)
{
	if (name == nullptr || name[0] == '\0' || cb == nullptr)
		return -22;
	crv_ostrel_ctx &ctx = crv_ostrel_context();

	// A name already bound keeps its entry, even when a free entry comes
	// before it (one left by an unregister): a second entry for the same
	// name would outlive its unregister.
	for (auto &e : ctx.img_cb) {
		if (entry_holds(e, name)) {
			e.cb = cb;
			e.user = user;
			return 0;
		}
	}
	for (auto &e : ctx.img_cb) {
		if (entry_free(e)) {
			// At most 16 characters, NUL-padded, no terminator when full.
			memset(e.name, 0, kNameLen);
			memcpy(e.name, name, strnlen(name, kNameLen));
			e.cb = cb;
			e.user = user;
			return 0;
		}
	}
	return -22;
}

int crv_ostrel_unregister_img_cb(const char *name)
{
	if (name == nullptr || name[0] == '\0')
		return -1;
	for (auto &e : crv_ostrel_context().img_cb) {
		if (entry_holds(e, name)) {
			memset(&e, 0, sizeof(e));
			return 0;
		}
	}
	return -1;
}

int crv_ostrel_set_default_img_cb(crv_img_cb_fn cb, void *user)
{
	crv_img_cb_entry &d = crv_ostrel_context().default_cb;
	memset(d.name, 0, kNameLen);
	d.cb = cb;
	d.user = user;
	return 0;
}

crv_img_cb_entry *crv_ostrel_find_img_cb(const char *name)
{
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	if (name != nullptr && name[0] != '\0') {
		for (auto &e : ctx.img_cb)
			if (entry_holds(e, name))
				return &e;
	}
	if (ctx.default_cb.cb != nullptr)
		return &ctx.default_cb;
	return nullptr;
}

int crv_ostrel_bypass_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *, void *)
{
	if (hdr != nullptr)
		printf("Bypass %s updating\n", crv_hdr_name(*hdr).c_str());
	return 0;
}

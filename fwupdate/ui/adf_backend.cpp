// ADF display backend. This platform exposes no ADF devices yet, so start
// finds none and the drawing layer falls back to the framebuffer backend.
#include "graphics.h"

#include <cstdio>
#include <new>

namespace {

struct adf_backend {
	gr_backend base;
};

gr_surface *adf_start(gr_backend *)
{
	return nullptr; // no /dev/adf* device
}

gr_surface *adf_present(gr_backend *)
{
	return nullptr;
}

void adf_blank(gr_backend *, bool)
{
}

void adf_stop(gr_backend *backend)
{
	delete reinterpret_cast<adf_backend *>(backend);
}

} // namespace

gr_backend *adf_backend_create()
{
	auto *backend = new (std::nothrow) adf_backend{{adf_start, adf_present, adf_blank, adf_stop}};
	if (!backend) {
		perror("allocating adf backend failed");
		return nullptr;
	}
	return &backend->base;
}

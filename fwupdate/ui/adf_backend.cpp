// ADF display backend: one or two scan-out buffers in the display's current
// mode, allocated from the first ADF device that offers a primary interface
// with an overlay engine for our pixel format, one buffer posted per frame.
#include "graphics.h"

#include "adf/adf.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kFormatBA24 = adf_fourcc('B', 'A', '2', '4');
constexpr uint32_t kFormatRG16 = adf_fourcc('R', 'G', '1', '6');

struct adf_surface {
	gr_surface base = {};
	int fd = -1; // buffer descriptor; -1 when not allocated
	uint32_t offset = 0;
	uint32_t pitch = 0;
};

struct adf_backend {
	gr_backend base;
	int intf_fd = -1;
	uint32_t eng_id = 0;
	uint32_t format = 0;
	uint32_t current_surface = 0;
	uint32_t n_surfaces = 0;
	adf_surface surfaces[2];
};

adf_backend *self(gr_backend *backend)
{
	return reinterpret_cast<adf_backend *>(backend);
}

void surface_release(adf_surface *surf)
{
	if (surf->base.data)
		munmap(surf->base.data, size_t(surf->pitch) * surf->base.height);
	if (surf->fd >= 0)
		close(surf->fd);
	*surf = adf_surface{};
}

// Allocates one buffer in the mode and maps it for drawing.
int surface_init(const AdfMode &mode, adf_surface *surf, int intf_fd, uint32_t format)
{
	*surf = adf_surface{};
	int fd = adf_alloc_simple_buffer(intf_fd, mode.hdisplay, mode.vdisplay, format, &surf->offset, &surf->pitch);
	if (fd < 0)
		return fd;
	surf->fd = fd;
	surf->base.width = mode.hdisplay;
	surf->base.height = mode.vdisplay;
	surf->base.row_bytes = surf->pitch;
	surf->base.pixel_bytes = format == kFormatRG16 ? 2 : 4;

	// A line shorter than the mode's width would have drawing run past the
	// end of the mapping on the last line.
	const uint64_t len = uint64_t(surf->pitch) * surf->base.height;
	if (surf->pitch < uint64_t(surf->base.width) * surf->base.pixel_bytes || len > SIZE_MAX) {
		close(fd);
		*surf = adf_surface{};
		return -EINVAL;
	}
	void *bits = mmap(nullptr, size_t(len), PROT_WRITE, MAP_SHARED, fd, off_t(surf->offset));
	if (bits == MAP_FAILED) {
		int rc = -errno;
		close(fd);
		*surf = adf_surface{};
		return rc;
	}
	surf->base.data = static_cast<uint8_t *>(bits);
	return 0;
}

int device_init(adf_backend *b, adf_device *dev)
{
	uint32_t intf_id = 0;
	int rc = adf_pick_simple_post_path(dev, &b->format, 1, &intf_id, &b->eng_id);
	if (rc < 0)
		return rc;
	rc = adf_attach(dev, b->eng_id, intf_id);
	if (rc < 0 && rc != -EALREADY)
		return rc;
	rc = adf_open_interface(dev, intf_id, O_RDWR);
	if (rc < 0)
		return rc;
	b->intf_fd = rc;

	AdfInterfaceInfo info;
	rc = adf_read_interface_info(b->intf_fd, &info);
	if (rc < 0) {
		close(b->intf_fd);
		b->intf_fd = -1;
		return rc;
	}
	rc = surface_init(info.current_mode, &b->surfaces[0], b->intf_fd, b->format);
	if (rc < 0) {
		printf("allocating surface 0 failed: %s\n", strerror(-rc));
		close(b->intf_fd);
		b->intf_fd = -1;
		adf_release_interface_info(&info);
		return rc;
	}
	rc = surface_init(info.current_mode, &b->surfaces[1], b->intf_fd, b->format);
	if (rc < 0) {
		printf("allocating surface 1 failed: %s\n", strerror(-rc));
		b->surfaces[1] = adf_surface{};
		b->n_surfaces = 1;
	} else {
		b->n_surfaces = 2;
	}
	adf_release_interface_info(&info);
	return 0;
}

gr_surface *adf_present(gr_backend *backend)
{
	adf_backend *b = self(backend);
	if (b->n_surfaces == 0)
		return nullptr; // not started
	const adf_surface &surf = b->surfaces[b->current_surface];
	int fence = adf_post_simple(b->intf_fd, b->eng_id, surf.base.width, surf.base.height, b->format, surf.fd,
				    surf.offset, surf.pitch, -1);
	if (fence >= 0)
		close(fence);
	b->current_surface = (b->current_surface + 1) % b->n_surfaces;
	return &b->surfaces[b->current_surface].base;
}

void adf_blank(gr_backend *backend, bool blank)
{
	adf_blank_interface(self(backend)->intf_fd, blank ? ADF_BLANK_OFF : ADF_BLANK_ON);
}

gr_surface *adf_start(gr_backend *backend)
{
	adf_backend *b = self(backend);
	b->format = kFormatBA24;

	uint32_t *dev_ids = nullptr;
	ssize_t n_devs = adf_list_devices(&dev_ids);
	if (n_devs < 0) {
		fprintf(stderr, "enumerating adf devices failed: %s\n", strerror(int(-n_devs)));
		return nullptr;
	}
	for (ssize_t i = 0; i < n_devs && b->intf_fd < 0; ++i) {
		adf_device dev;
		int rc = adf_open_device(dev_ids[i], O_RDWR, &dev);
		if (rc < 0) {
			printf("opening adf device %u failed: %s\n", unsigned(dev_ids[i]), strerror(-rc));
			continue;
		}
		rc = device_init(b, &dev);
		if (rc < 0)
			printf("initializing adf device %u failed: %s\n", unsigned(dev_ids[i]), strerror(-rc));
		adf_close_device(&dev);
	}
	free(dev_ids);
	if (b->intf_fd < 0)
		return nullptr;

	gr_surface *ret = adf_present(backend);
	adf_blank(backend, true);
	adf_blank(backend, false);
	return ret;
}

void adf_stop(gr_backend *backend)
{
	adf_backend *b = self(backend);
	for (adf_surface &surf : b->surfaces)
		surface_release(&surf);
	if (b->intf_fd >= 0)
		close(b->intf_fd);
	delete b;
}

} // namespace

gr_backend *adf_backend_create()
{
	auto *backend = new (std::nothrow) adf_backend{};
	if (!backend) {
		perror("allocating adf backend failed");
		return nullptr;
	}
	backend->base = {adf_start, adf_present, adf_blank, adf_stop};
	return &backend->base;
}

// ADF device library: finds ADF devices, interfaces and overlay engines by
// their node names, reads their descriptions, attaches engines, allocates and
// posts simple single-plane buffers, blanks interfaces and reads events.
//
// Results are counts or 0 on success and -errno on failure unless stated; id
// lists are allocated with malloc and freed by the caller with free().
#pragma once

#include "adf_ioctl.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

struct adf_device {
	uint32_t id;
	int fd;
};

ssize_t adf_scan_nodes(const char *pattern, uint32_t **ids);
ssize_t adf_list_devices(uint32_t **ids);
ssize_t adf_list_interfaces(const adf_device *dev, uint32_t **ids);

int adf_open_device(uint32_t id, int flags, adf_device *dev);
void adf_close_device(adf_device *dev);
int adf_open_interface(const adf_device *dev, uint32_t id, int flags);
int adf_open_engine(const adf_device *dev, uint32_t id, int flags);

int adf_attach(const adf_device *dev, uint32_t engine, uint32_t interface);
int adf_detach(const adf_device *dev, uint32_t engine, uint32_t interface);

int adf_read_device_info(const adf_device *dev, AdfDeviceInfo *info);
void adf_release_device_info(AdfDeviceInfo *info);
int adf_read_interface_info(int fd, AdfInterfaceInfo *info);
void adf_release_interface_info(AdfInterfaceInfo *info);
int adf_read_engine_info(int fd, AdfEngineInfo *info);
void adf_release_engine_info(AdfEngineInfo *info);

ssize_t adf_interfaces_for_engine(const adf_device *dev, uint32_t engine, uint32_t **ids);
ssize_t adf_engines_for_interface(const adf_device *dev, uint32_t interface, uint32_t **ids);

ssize_t adf_filter_interfaces_by_type(const adf_device *dev, uint32_t type, const uint32_t *in, size_t n_in,
				      uint32_t **out);
ssize_t adf_filter_interfaces_by_flag(const adf_device *dev, uint32_t flag, const uint32_t *in, size_t n_in,
				      uint32_t **out);
ssize_t adf_filter_engines_by_format(const adf_device *dev, const uint32_t *formats, size_t n_formats,
				     const uint32_t *in, size_t n_in, uint32_t **out);
bool adf_engine_supports_format(int fd, uint32_t format);

int adf_post(const adf_device *dev, const uint32_t *interfaces, size_t n_interfaces, const AdfBufferConfig *bufs,
	     size_t n_bufs, void *custom_data, size_t custom_data_size);
int adf_set_mode(int fd, const AdfMode *mode);
int adf_blank_interface(int fd, uint8_t mode);
int adf_alloc_simple_buffer(int fd, uint16_t w, uint16_t h, uint32_t format, uint32_t *offset, uint32_t *pitch);
int adf_post_simple(int fd, uint32_t engine, uint32_t w, uint32_t h, uint32_t format, int buf_fd, uint32_t offset,
		    uint32_t pitch, int acquire_fence);

int adf_watch_event(int fd, uint8_t type, bool enabled);
// On success *event is a malloc'd event of its announced length.
int adf_fetch_event(int fd, AdfEvent **event);

// An interface and overlay engine pair for simple posts of one of the
// formats (the common RGB and palette formats when formats is null).
int adf_pick_simple_post_path(const adf_device *dev, const uint32_t *formats, size_t n_formats, uint32_t *interface,
			      uint32_t *engine);

// Test hook: the folder holding the nodes instead of "/dev" (null restores it).
void adf_test_set_dev_dir(const char *dir);

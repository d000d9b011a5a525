// Records and ioctl commands of the kernel's Atomic Display Framework (ADF)
// character devices: the device node, its interfaces and overlay engines.
//
// All records are little-endian. Records that carry user pointers have native
// pointer members, so their size (and with it the ioctl number) follows the
// ABI; on the 32-bit target they have the sizes and numbers the display driver
// expects, which the asserts below pin.
#pragma once

#include <linux/ioctl.h>

#include <cstddef>
#include <cstdint>

// Blank modes of an interface.
inline constexpr uint8_t ADF_BLANK_ON = 0;
inline constexpr uint8_t ADF_BLANK_OFF = 3;

// Interface flags.
inline constexpr uint32_t ADF_INTF_FLAG_PRIMARY = 1u << 0;

// Planes a buffer description can carry.
inline constexpr int ADF_MAX_PLANES = 4;

// A four-character pixel format code, first character in the low byte.
constexpr uint32_t adf_fourcc(char a, char b, char c, char d)
{
	return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
	       uint32_t(uint8_t(d)) << 24;
}

struct AdfEventSwitch {
	uint8_t type;
	uint8_t enabled;
};

struct AdfAttachment {
	uint32_t overlay_engine;
	uint32_t interface;
};

// A display mode in the layout of the DRM mode record.
struct AdfMode {
	uint32_t clock;
	uint16_t hdisplay;
	uint16_t hsync_start;
	uint16_t hsync_end;
	uint16_t htotal;
	uint16_t hskew;
	uint16_t vdisplay;
	uint16_t vsync_start;
	uint16_t vsync_end;
	uint16_t vtotal;
	uint16_t vscan;
	uint32_t vrefresh;
	uint32_t flags;
	uint32_t type;
	char name[32];
};

struct AdfBufferConfig {
	uint32_t overlay_engine;
	uint32_t width;
	uint32_t height;
	uint32_t format;
	int32_t fd[ADF_MAX_PLANES];
	uint32_t offset[ADF_MAX_PLANES];
	uint32_t pitch[ADF_MAX_PLANES];
	uint8_t n_planes;
	int32_t acquire_fence;
};

struct AdfSimplePost {
	AdfBufferConfig buf;
	int32_t complete_fence; // out
};

struct AdfSimpleAlloc {
	uint16_t w;
	uint16_t h;
	uint32_t format;
	int32_t fd;      // out
	uint32_t offset; // out
	uint32_t pitch;  // out
};

struct AdfPostConfig {
	uint32_t n_interfaces;
	uint32_t *interfaces;
	uint32_t n_bufs;
	AdfBufferConfig *bufs;
	uint32_t custom_data_size;
	void *custom_data;
	int32_t complete_fence; // out, 0 before the call
};

struct AdfDeviceInfo {
	char name[32];
	uint32_t n_attachments;
	AdfAttachment *attachments;
	uint32_t n_allowed_attachments;
	AdfAttachment *allowed_attachments;
	uint32_t custom_data_size;
	void *custom_data;
};

struct AdfInterfaceInfo {
	char name[32];
	uint32_t type;
	uint32_t id;
	uint32_t flags;
	uint8_t dpms_state;
	uint8_t hotplug_detect;
	uint16_t width_mm;
	uint16_t height_mm;
	AdfMode current_mode;
	uint32_t n_available_modes;
	AdfMode *available_modes;
	uint32_t custom_data_size;
	void *custom_data;
};

struct AdfEngineInfo {
	char name[32];
	uint32_t n_supported_formats;
	uint32_t *supported_formats;
	uint32_t custom_data_size;
	void *custom_data;
};

// Header of an event read from an interface or device node; length counts
// the whole event, header included.
struct AdfEvent {
	uint8_t type;
	uint8_t reserved[3];
	uint32_t length;
};

#define ADF_IOCTL_TYPE 'D'
inline constexpr unsigned long ADF_IOC_EVENT_SWITCH = _IOW(ADF_IOCTL_TYPE, 0, AdfEventSwitch);
inline constexpr unsigned long ADF_IOC_BLANK = _IOW(ADF_IOCTL_TYPE, 1, uint8_t);
inline constexpr unsigned long ADF_IOC_POST = _IOW(ADF_IOCTL_TYPE, 2, AdfPostConfig);
inline constexpr unsigned long ADF_IOC_SET_MODE = _IOW(ADF_IOCTL_TYPE, 3, AdfMode);
inline constexpr unsigned long ADF_IOC_DEVICE_INFO = _IOR(ADF_IOCTL_TYPE, 4, AdfDeviceInfo);
inline constexpr unsigned long ADF_IOC_INTERFACE_INFO = _IOR(ADF_IOCTL_TYPE, 5, AdfInterfaceInfo);
inline constexpr unsigned long ADF_IOC_ENGINE_INFO = _IOR(ADF_IOCTL_TYPE, 6, AdfEngineInfo);
inline constexpr unsigned long ADF_IOC_SIMPLE_POST = _IOW(ADF_IOCTL_TYPE, 7, AdfSimplePost);
inline constexpr unsigned long ADF_IOC_SIMPLE_ALLOC = _IOW(ADF_IOCTL_TYPE, 8, AdfSimpleAlloc);
inline constexpr unsigned long ADF_IOC_ATTACH = _IOW(ADF_IOCTL_TYPE, 9, AdfAttachment);
inline constexpr unsigned long ADF_IOC_DETACH = _IOW(ADF_IOCTL_TYPE, 10, AdfAttachment);

// Records without pointers: the same everywhere.
static_assert(sizeof(AdfEventSwitch) == 2);
static_assert(sizeof(AdfAttachment) == 8);
static_assert(sizeof(AdfMode) == 68);
static_assert(offsetof(AdfMode, vrefresh) == 24 && offsetof(AdfMode, name) == 36);
static_assert(sizeof(AdfBufferConfig) == 72);
static_assert(offsetof(AdfBufferConfig, n_planes) == 64 && offsetof(AdfBufferConfig, acquire_fence) == 68);
static_assert(sizeof(AdfSimplePost) == 76);
static_assert(sizeof(AdfSimpleAlloc) == 20);
static_assert(offsetof(AdfSimpleAlloc, fd) == 8 && offsetof(AdfSimpleAlloc, pitch) == 16);
static_assert(sizeof(AdfEvent) == 8);
static_assert(offsetof(AdfInterfaceInfo, current_mode) == 52);
static_assert(ADF_IOC_EVENT_SWITCH == 0x40024400UL);
static_assert(ADF_IOC_BLANK == 0x40014401UL);
static_assert(ADF_IOC_SET_MODE == 0x40444403UL);
static_assert(ADF_IOC_SIMPLE_POST == 0x404c4407UL);
static_assert(ADF_IOC_SIMPLE_ALLOC == 0x40144408UL);
static_assert(ADF_IOC_ATTACH == 0x40084409UL);
static_assert(ADF_IOC_DETACH == 0x4008440aUL);

// Records with pointers, in the 32-bit layout of the target.
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(AdfPostConfig) == 28);
static_assert(sizeof(AdfDeviceInfo) == 56);
static_assert(sizeof(AdfInterfaceInfo) == 136);
static_assert(offsetof(AdfInterfaceInfo, n_available_modes) == 120);
static_assert(sizeof(AdfEngineInfo) == 48);
static_assert(ADF_IOC_POST == 0x401c4402UL);
static_assert(ADF_IOC_DEVICE_INFO == 0x80384404UL);
static_assert(ADF_IOC_INTERFACE_INFO == 0x80884405UL);
static_assert(ADF_IOC_ENGINE_INFO == 0x80304406UL);
#endif

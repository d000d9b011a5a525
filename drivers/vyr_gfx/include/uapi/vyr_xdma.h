/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * XDMA memory-to-memory engine: the ioctl commands of the "crkxdma" device
 * and the records they carry. Shared by the vyr_gfx kernel module and user
 * space.
 *
 * The driver dispatches on the command's number byte only. Every record has
 * explicit padding so that 32-bit and 64-bit callers share one layout (the
 * compatibility entry only converts the argument pointer).
 *
 * Addresses are physical. The engine reaches 34 address bits on the chips
 * that have the high-address register and 32 bits elsewhere; the driver
 * refuses (-EINVAL) what the engine cannot reach instead of truncating it.
 */
#ifndef VYR_XDMA_UAPI_H
#define VYR_XDMA_UAPI_H

#include <linux/types.h>
#include <linux/ioctl.h>

#define KXDMA_IO_TYPE 0x64

/* Extracts the number byte the driver dispatches on. */
#define KXDMA_IO_NR(cmd) ((cmd) & 0xFF)

/* One fill or copy (numbers 2, 3, 7, 8, 11). */
struct vyr_xdma_transfer {
	__u64 src_addr;		/* 0: physical source (copy) */
	__u64 dst_addr;		/* 8: physical destination */
	__u32 byte_count;	/* 16 */
	__u16 src_stride;	/* 20: copy with separate lines */
	__u16 dst_stride;	/* 22 */
	__u16 line_width;	/* 24: bytes per line */
	__u16 reserved0;	/* 26 */
	__u32 fill_value;	/* 28 */
	__u32 reserved1[8];	/* 32 */
	__u32 mode;		/* 64: KXDMA_MODE_* */
	__u32 reserved2;	/* 68 */
};

#define KXDMA_MODE_FILL 0
#define KXDMA_MODE_COPY 1

/* Command mode (numbers 5 and 9): a list of copies run one after the other. */
struct vyr_xdma_cmd {
	__u64 src_addr;
	__u64 dst_addr;
	__u64 length;
};

#define KXDMA_CMD_MAX 127

struct vyr_xdma_cmd_header {
	__u64 commands;		/* user pointer to count struct vyr_xdma_cmd */
	__u32 count;		/* 1 .. KXDMA_CMD_MAX */
	__u32 reserved;
};

/* Progress of a command list (numbers 6 and 10). */
struct vyr_xdma_cmd_status {
	__u32 index;		/* 0: command in progress */
	__u32 reserved0;
	__u64 dst_addr;		/* 8: its destination */
	__u32 length;		/* 16 */
	__u32 fail_count;	/* 20: interrupts that came without the done bit */
	__u32 irq_flag;		/* 24: 1 once the command's interrupt came */
	__u32 reserved1;
};

#ifdef __cplusplus
#define VYR_XDMA_ASSERT static_assert
#else
#define VYR_XDMA_ASSERT _Static_assert
#endif
VYR_XDMA_ASSERT(sizeof(struct vyr_xdma_transfer) == 72, "transfer record is 72 bytes");
VYR_XDMA_ASSERT(__builtin_offsetof(struct vyr_xdma_transfer, fill_value) == 28, "fill value at 28");
VYR_XDMA_ASSERT(__builtin_offsetof(struct vyr_xdma_transfer, mode) == 64, "mode at 64");
VYR_XDMA_ASSERT(sizeof(struct vyr_xdma_cmd) == 24, "command is 24 bytes");
VYR_XDMA_ASSERT(sizeof(struct vyr_xdma_cmd_header) == 16, "command header is 16 bytes");
VYR_XDMA_ASSERT(sizeof(struct vyr_xdma_cmd_status) == 32, "command status is 32 bytes");

/* Not supported: -1. */
#define AXIDMA_USER_IO_COPY_VIRT_TO_PHYS _IO(KXDMA_IO_TYPE, 1)
/* Run one transfer between physical addresses. */
#define AXIDMA_USER_IO_PHYS _IOW(KXDMA_IO_TYPE, 2, struct vyr_xdma_transfer)
#define AXIDMA_USER_IO_PHYS2 _IOW(KXDMA_IO_TYPE, 3, struct vyr_xdma_transfer)
/* Not supported: -1. */
#define AXIDMA_USER_IO_FILL_VIRT _IO(KXDMA_IO_TYPE, 4)
/* Start a command list; returns while it runs, the engine held until it ends. */
#define KXDMA_IO_COMMAND_MODE _IOW(KXDMA_IO_TYPE, 5, struct vyr_xdma_cmd_header)
#define KXDMA_IO_GET_COMMAND_STATUS _IOR(KXDMA_IO_TYPE, 6, struct vyr_xdma_cmd_status)
#define KXDMA_IO_COMMAND_MODE2 _IOW(KXDMA_IO_TYPE, 9, struct vyr_xdma_cmd_header)
#define KXDMA_IO_GET_COMMAND_STATUS2 _IOR(KXDMA_IO_TYPE, 10, struct vyr_xdma_cmd_status)
/*
 * Self-test: the driver allocates its own buffers for the record's geometry
 * (addresses are ignored), runs the transfer and compares. 0 passed, 1 the
 * data differ, -12 no memory, -16 the transfer failed.
 */
#define KXDMA_IO_SELF_TEST _IOW(KXDMA_IO_TYPE, 11, struct vyr_xdma_transfer)

#endif /* VYR_XDMA_UAPI_H */

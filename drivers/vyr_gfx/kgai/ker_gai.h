/* SPDX-License-Identifier: GPL-2.0 */
/* GAI data device: what the debug side and the tests reach directly. */
#ifndef KER_GAI_H
#define KER_GAI_H

#include <linux/types.h>

struct file;

/* Secure-world commands. */
#define GAI_SCM_ID		0x1008
#define GAI_SCM_COPY_RESULT	0xA1C0
#define GAI_SCM_COPY_CAPTURE	0xA1C1
#define GAI_SCM_U8_TO_F32	0xA1D0

typedef int (*PF_GAI_SCM)(u32 u32Id, u32 u32Cmd, u32 u32A, u32 u32B, u32 u32C);

/* Has the secure world copy a capture buffer out and writes it to a file. */
int _gai_dump_sec_capture_buf(struct file *file, u32 u32CaptureAddr, u32 u32Size, const char *pszName);
/* Reads one line (newline kept) of at most size - 1 bytes; NULL at the end. */
char *_gai_dbg_FileGetLine(char *pszBuf, int s32Size, struct file *file);

#endif /* KER_GAI_H */

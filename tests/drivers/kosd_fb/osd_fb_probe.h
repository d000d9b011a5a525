/* Test-side view of the OSD framebuffer layer: plain C types only. */
#ifndef OSD_FB_PROBE_H
#define OSD_FB_PROBE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Fills the operation slots that are empty with fakes that log their calls
 * and keep what they are given, so getters return it. */
void osd_fb_probe_install_fakes(void);
void osd_fb_probe_drop_gain_offset(void);
const char *osd_fb_probe_calls(void);
void osd_fb_probe_clear_calls(void);

int osd_fb_probe_registered(int plane);
unsigned int osd_fb_probe_buf_start(int plane);
unsigned int osd_fb_probe_buf_len(int plane);
unsigned int osd_fb_probe_stride(int plane);
unsigned int osd_fb_probe_order(int plane);
int osd_fb_probe_initialized(int plane);
void osd_fb_probe_set_initialized(int plane, int on);
void osd_fb_probe_set_timing_gen(int plane, int on);
unsigned int osd_fb_probe_trace(void);
void osd_fb_probe_set_trace(unsigned int value);
/* The plane semaphore, as another holder would take it. */
void osd_fb_probe_sem_down(int plane);
void osd_fb_probe_sem_up(int plane);
int osd_fb_probe_sem_count(int plane);
/* The exported kernel entry of the ioctl. */
int osd_fb_probe_kernel_ioctl(int plane, unsigned int cmd, unsigned long arg);
/* Physical address of the first entry of a dma-buf, as an importer sees it. */
int osd_fb_probe_dmabuf_phys(int fd, unsigned long long *addr, unsigned long long *size);
int osd_fb_probe_fence_signaled(int fd);
int osd_fb_probe_bwerror(void);
void osd_fb_probe_set_lbm_status(int plane, unsigned char status);
int osd_fb_probe_raise_vsync(void);
/* A dma-buf of the plane exporter over any range. */
int osd_fb_probe_export(unsigned long long start, unsigned long long len);
/* The platform's power manager running every suspend or resume hook. */
int osd_fb_probe_pmi_suspend(void);
int osd_fb_probe_pmi_resume(void);
void osd_fb_probe_engine(int on);
int osd_fb_probe_visible(void);
/* What the console does on a plane: a filled box of colour 15 at (0, 0),
 * 4x2, copied to (8, 4), and the 8x1 glyph row 0xf0 in colours 15 on 0 at
 * (0, 10). -1 when the plane has no drawing operation. */
int osd_fb_probe_console_draw(int plane);
/* An importer (the OSD device) attaching and mapping a dma-buf: the bus
 * address of its first entry; then unmapping and detaching it. */
int osd_fb_probe_import_map(int fd, unsigned long long *bus);
void osd_fb_probe_import_unmap(void);
/* Another owner's dma-buf of one or two runs of bus addresses (l1 0: one),
 * with how many mappings of it are live and how many were released. */
int osd_fb_probe_foreign(unsigned long long a0, unsigned long long l0, unsigned long long a1,
			 unsigned long long l1);
int osd_fb_probe_foreign_mapped(void);
int osd_fb_probe_foreign_released(void);
/* Told of each run of such a buffer when its owner frees it. */
extern void (*osd_fb_probe_foreign_freed)(unsigned long long addr, unsigned long long len);
/* The plane's framebuffer lock, as the framebuffer core takes it. */
void osd_fb_probe_fb_lock(int plane, int on);
/* Waits until the platform's debug console has run what was typed. */
void osd_fb_probe_menu_idle(void);

#ifdef __cplusplus
}
#endif
#endif

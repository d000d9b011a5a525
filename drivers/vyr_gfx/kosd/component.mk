# OSD driver: the hardware layer and the plane framebuffers above it.
vyr_gfx-y += kosd/hal_osd_reg.o kosd/hal_osd_prop.o kosd/hal_osd_vsync.o kosd/hal_osd_power.o
vyr_gfx-y += kosd/ker_osd_fb.o kosd/ker_osd_ioctl.o kosd/ker_osd_dmabuf.o kosd/ker_osd_dbg.o
ccflags-y += -DVYR_HAVE_OSD

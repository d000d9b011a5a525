# OSD driver: the hardware layer, the plane framebuffers above it and the
# debug menu; VYR_HAVE_OSD makes the module frame start the OSD.
vyr_gfx-y += kosd/hal_osd_reg.o kosd/hal_osd_prop.o kosd/hal_osd_prop_plane.o kosd/hal_osd_prop_win.o
vyr_gfx-y += kosd/hal_osd_vsync.o kosd/hal_osd_power.o
vyr_gfx-y += kosd/ker_osd_fb.o kosd/ker_osd_ioctl.o kosd/ker_osd_dmabuf.o kosd/ker_osd_dbg.o kosd/ker_osd_menu.o
ccflags-y += -DVYR_HAVE_OSD

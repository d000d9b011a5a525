# OSD driver. The hardware layer builds on its own; the framebuffer layer
# adds its objects and VYR_HAVE_OSD (which makes the frame start the OSD).
vyr_gfx-y += kosd/hal_osd_reg.o kosd/hal_osd_prop.o kosd/hal_osd_prop_plane.o kosd/hal_osd_prop_win.o kosd/hal_osd_vsync.o kosd/hal_osd_power.o

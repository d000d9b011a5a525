# XDMA engine: register layer, driver layer and debug menu.
vyr_gfx-y += kxdma/hw_xdma.o kxdma/ker_xdma.o kxdma/ker_xdma_dbg.o
ccflags-y += -DVYR_HAVE_XDMA

# HDMA engine: register layer, driver layer, self-tests and debug menu.
vyr_gfx-y += khdma/hw_hdma.o khdma/ker_hdma.o khdma/ker_hdma_bat.o
ccflags-y += -DVYR_HAVE_HDMA

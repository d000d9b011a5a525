vyr_gfx-y += kgai/ker_gai.o
ccflags-y += -DVYR_HAVE_GAI

vyr_gfx-y += kdispage/ker_dispage.o kdispage/ker_dispage_op.o kdispage/ker_dispage_dbg.o
ccflags-y += -DVYR_HAVE_DISPAGE

# 2D graphics engine: driver core, exec command, command buffers, memory
# provider, debug menu, and the operation layer with its two backends.
# The engine is built once its operation layer is present.
ifneq ($(wildcard $(src)/kgpu/ker_gpu_op.c),)
vyr_gfx-y += kgpu/ker_gpu.o kgpu/ker_gpu_exec.o kgpu/ker_gpu_cmdbuf.o \
	kgpu/ker_gpu_mem.o kgpu/ker_gpu_dbg.o kgpu/ker_gpu_op.o
vyr_gfx-y += $(patsubst $(src)/%.c,%.o,$(filter-out $(src)/kgpu/ker_gpu.c \
	$(src)/kgpu/ker_gpu_exec.c $(src)/kgpu/ker_gpu_cmdbuf.c $(src)/kgpu/ker_gpu_mem.c \
	$(src)/kgpu/ker_gpu_dbg.c $(src)/kgpu/ker_gpu_op.c,$(wildcard $(src)/kgpu/ker_gpu_*.c)))
ccflags-y += -DVYR_HAVE_GPU -I$(src)/kgpu
endif

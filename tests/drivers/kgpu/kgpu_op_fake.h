/*
 * Test-only operation layer: records what the core and the exec layer hand
 * to the KGPU_OP_* functions and drives the engine the way a backend does
 * (lock, start bit, trigger, unlock).
 */
#ifndef KGPU_OP_FAKE_H
#define KGPU_OP_FAKE_H

#include "ker_gpu_if.h"

#define KGPU_FAKE_MAX_CALLS 16

enum kgpu_fake_op { FAKE_FILL = 1, FAKE_COPY, FAKE_SCALE, FAKE_BLEND, FAKE_ROTATE, FAKE_CMD };

struct kgpu_fake_call {
	int op;
	KER_GPU_PLANE src1, src2, dst;
	_ST_KER_GPU_FILL_SETTING fill;
	_ST_KER_GPU_SCLP_SETTING scale;
	_ST_KER_GPU_BLEND_SETTING blend;
	_ST_KER_GPU_BLEND_PARAM param;
	int has_scale, has_blend;
	u32 mode;
	/* Copies of the batch entries the destination points at. */
	u16 batch[8][4];
};

struct kgpu_fake {
	ST_KER_GPU_INIT init;
	int initial_calls;
	int initial_result;
	int op_result;		/* returned after a successful trigger */
	int run_result;		/* last trigger's result */
	int lock_result;	/* last lock's result */
	int status_result;	/* KGPU_OP_status: 1 done, -16 busy */
	int status_calls;
	int irq_result;		/* KGPU_OP_irq_handle */
	int dump_calls;
	int reset_calls;	/* KGPU_OP_Reset */
	int triggers[2];
	int unlock_after_nonblock;	/* unlock right after a non-blocking trigger too */
	u32 rl_size;		/* run-length size a copy reports */
	int ncalls;
	struct kgpu_fake_call calls[KGPU_FAKE_MAX_CALLS];
	u32 speed_num, speed_den;
	int toggles[4];
};

extern struct kgpu_fake kgpu_fake;

#endif

// Fuzzing a device's ioctls through the host kernel. Each target boots the
// module with one component (its scene) and names the device nodes; an
// input then runs as a short program of ioctl calls on one of them.
#pragma once

#include <cstdint>

#include "ioctl_input.h"
#include "khost/khost.hpp"
#include "khost/oracle.hpp"

struct Scene {
	// Device nodes; the input's first byte picks one.
	const char *const *nodes;
	unsigned node_count;
	// Sets up registers, device tree and parameters, and loads the modules.
	void (*boot)();
	// Declares to the access oracle what the unprivileged caller may reach
	// (khost/oracle.hpp) once booted; none: whatever the bed handed out.
	void (*reach)();
	// Runs after every call of an input: the scene's own hardware events
	// (a vsync, a task's tick); none: nothing.
	void (*after_call)();
};
extern const Scene kScene;

// The engine model: an interrupt raised soon, from a thread of its own, as
// a device raises it after the register write that started it.
void raise_irq_later(unsigned irq);
// A dma-buf of len bytes at device address dev_addr (the test exporter
// module must be loaded), open for the whole run.
int keep_dmabuf(uint64_t dev_addr, size_t len);

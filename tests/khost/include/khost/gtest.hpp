// GoogleTest fixture for driver tests: after each test nothing may be left
// held (allocations, mappings, registrations, references, threads, timers,
// locks) and nothing may have gone wrong (sleeping in atomic context,
// unbalanced unlocks, WARN_ON, bad frees).
#pragma once

#include <gtest/gtest.h>

#include "khost/khost.hpp"

namespace khost {

int locks_held_count();

// Checks the state after a test; a test may call it earlier itself.
inline void expect_clean()
{
	for (auto &f : faults())
		ADD_FAILURE() << "kernel fault: " << f;
	for (auto &l : leaks())
		ADD_FAILURE() << "left behind: " << l;
	EXPECT_EQ(locks_held_count(), 0) << "locks still held";
	clear_faults();
}

class KernelTest : public ::testing::Test {
protected:
	void TearDown() override { expect_clean(); }
};

} // namespace khost

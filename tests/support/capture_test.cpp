#include "capture.h"

#include <cstdio>
#include <gtest/gtest.h>

TEST(StdoutCapture, SeesPrintfAndPutsInOrder)
{
	testsupport::StdoutCapture cap;
	printf("one %d\n", 1);
	puts("two\r");
	EXPECT_EQ(cap.take(), "one 1\ntwo\r\n");
	printf("three");
	EXPECT_EQ(cap.finish(), "three");
}

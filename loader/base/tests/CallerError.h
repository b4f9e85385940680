// A null text stops a debug build and yields the failure value in a release build.
#pragma once

#include <gtest/gtest.h>

#ifdef NDEBUG
#define EXPECT_CALLER_ERROR(expression, failure) EXPECT_EQ(failure, expression)
#else
#define EXPECT_CALLER_ERROR(expression, failure) EXPECT_DEATH((void)(expression), "null text")
#endif

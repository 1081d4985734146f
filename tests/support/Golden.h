#pragma once

// Exact texts compared whole with files under tests/data/: see expectGolden.
#include <gtest/gtest.h>

#include "TestCases.h"

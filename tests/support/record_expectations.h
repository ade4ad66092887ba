// Whole-record comparisons for the host's records: every field, texts by their bytes, each
// difference named in the failure message. An expectation reads as "a new item with these
// fields", built from x9::NewItem or x9::NewSetHeader.
#pragma once

#include <gtest/gtest.h>

#include "host/records.h"

namespace x9test {

::testing::AssertionResult SameItem(const tagGPSDBITEM& actual, const tagGPSDBITEM& expected);
::testing::AssertionResult SameSetHeader(const tagGPSDBHEADER& actual,
                                         const tagGPSDBHEADER& expected);

}  // namespace x9test

#pragma once
// The fixture of in-process searches: small tables, every flag down.
#include "base/options.h"
#include "eval/pawns.h"
#include "search/search.h"
#include "search/tt.h"

#include <gtest/gtest.h>

namespace orbelin {

class SearchFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        option_hash = 4;
        tt_alloc();
        pawn_hash_alloc();
        stop_flag.store(0);
        pondering.store(0);
        abort_flag.store(0);
    }
    void TearDown() override {
        pawn_hash_free();
        tt_free();
    }
};

} // namespace orbelin

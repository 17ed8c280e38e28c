#pragma once
// Bitbase tests: a fixture that restores the bitbase options and closes the library after each
// test (its paths count as given, so the default is not looked for beside the test program),
// one that also loads the real plug-in from a folder through the engine's loader, and a probe
// helper.
#include "base/options.h"
#include "egbb/egbb.h"

#include <cstring>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>

namespace orbelin {

class BitbaseOptions : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memcpy(saved_path, option_bitbases_path, sizeof saved_path);
        std::memcpy(saved_syzygy, option_syzygy_path, sizeof saved_syzygy);
        saved_cache                = option_bitbases_cache;
        option_bitbases_path_given = 1;
    }
    void TearDown() override {
        bitbases_unload();
        std::memcpy(option_bitbases_path, saved_path, sizeof saved_path);
        std::memcpy(option_syzygy_path, saved_syzygy, sizeof saved_syzygy);
        option_bitbases_cache      = saved_cache;
        option_bitbases_path_given = 0;
    }
    char saved_path[sizeof option_bitbases_path];
    char saved_syzygy[sizeof option_syzygy_path];
    int saved_cache = 0;
};

class RealBitbases : public BitbaseOptions {
  protected:
    // Loads the plug-in of the folder; answers what it wrote on standard error. The engine's
    // own report must be the one line of a successful load.
    std::string load(const std::string& dir) {
        g_strlcpy(option_bitbases_path, dir.c_str(), sizeof option_bitbases_path);
        ::testing::internal::CaptureStderr();
        ::testing::internal::CaptureStdout();
        bitbases_load();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  "info string endgame bitbases loaded (" + dir + "/egbbso.so)\n");
        return ::testing::internal::GetCapturedStderr();
    }
};

// The plug-in's score of the position, or EGBB_UNKNOWN when the probe does not find it.
inline int probe_score(const Position& pos) {
    int score = 0;
    return bitbase_probe(pos, score) ? score : EGBB_UNKNOWN;
}

} // namespace orbelin

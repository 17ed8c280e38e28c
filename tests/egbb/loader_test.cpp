// The bitbase loader and probe wrapper against stand-in plug-ins that record their calls: the
// loader's messages, what the load entry receives, the probe's argument list and hit counting.
#include "egbb/egbb.h"
#include "fake/fake_egbbso.h"
#include "real_bitbases.h"
#include "test_util.h"
#include "uci/options.h"
#include "uci/uci.h"

#include <cstring>
#include <glib.h>
#include <glib/gstdio.h>
#include <gmodule.h>
#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

// Restores the bitbase options and closes the library after each test.
class BitbaseLoader : public BitbaseOptions {};

// Runs bitbases_load and answers what it printed on standard output.
std::string load_output() {
    ::testing::internal::CaptureStdout();
    bitbases_load();
    return ::testing::internal::GetCapturedStdout();
}

// The test's own handle on a stand-in plug-in: the same loaded copy the engine opens, so its
// record outlives the engine closing it.
struct FakeModule {
    explicit FakeModule(const char* dir) {
        std::string path = std::string(dir) + "/egbbso.so";
        module           = g_module_open(path.c_str(), G_MODULE_BIND_LAZY);
        gpointer entry   = nullptr;
        if (module != nullptr && g_module_symbol(module, "fake_egbb_record", &entry))
            record = reinterpret_cast<FakeEgbbRecordFn>(entry)();
    }
    ~FakeModule() {
        if (module != nullptr) g_module_close(module);
    }
    GModule* module        = nullptr;
    FakeEgbbRecord* record = nullptr;
};

void set_path(const char* dir) {
    g_strlcpy(option_bitbases_path, dir, sizeof option_bitbases_path);
}

TEST_F(BitbaseLoader, MissingLibraryIsReportedAndLeavesNoBitbases) {
    // The default directory, relative to a fresh working folder that has no egbb/ in it.
    gchar* folder = g_dir_make_tmp("orbelin-egbb-XXXXXX", nullptr);
    ASSERT_NE(folder, nullptr);
    gchar* previous = g_get_current_dir();
    ASSERT_EQ(g_chdir(folder), 0);
    set_path("./egbb/");
    std::string output = load_output();
    EXPECT_EQ(g_chdir(previous), 0);
    g_rmdir(folder);
    g_free(folder);
    g_free(previous);

    const std::string tail = " (./egbb//egbbso.so)\n";
    ASSERT_GT(output.size(), tail.size() + 12) << output;
    EXPECT_EQ(output.rfind("info string ./egbb//egbbso.so: ", 0), 0u) << output;
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "one line only: " << output;
    EXPECT_FALSE(bitbases_available());

    PositionPtr pos = make_position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    int score       = 12345;
    bbhits.store(0);
    EXPECT_FALSE(bitbase_probe(*pos, score));
    EXPECT_EQ(bbhits.load(), 0);
}

TEST_F(BitbaseLoader, LibraryWithoutAnEntryPointIsTreatedAsMissing) {
    const struct {
        const char* dir;
        const char* missing;
    } cases[] = {
        {EGBB_FAKE_NO_LOAD_DIR, "load_egbb_5men"},
        {EGBB_FAKE_NO_PROBE_DIR, "probe_egbb_5men"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir);
        FakeModule fake(c.dir);
        ASSERT_NE(fake.record, nullptr);
        set_path(c.dir);
        std::string output = load_output();
        std::string tail   = std::string(" (") + c.dir + "/egbbso.so)\n";
        EXPECT_EQ(output.rfind("info string ", 0), 0u) << output;
        EXPECT_NE(output.find(c.missing), std::string::npos) << output;
        ASSERT_GT(output.size(), tail.size());
        EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << output;
        EXPECT_EQ(output.find("loaded"), std::string::npos) << output;
        EXPECT_FALSE(bitbases_available());
        EXPECT_EQ(fake.record->load_calls, 0); // nothing is called in a half library
    }
}

TEST_F(BitbaseLoader, LoadEntryGetsThePathTheCacheInBytesAndModeTwo) {
    FakeModule fake(EGBB_FAKE_DIR);
    ASSERT_NE(fake.record, nullptr);
    set_path(EGBB_FAKE_DIR);
    const struct {
        int cache_mb;
        int bytes;
    } cases[] = {{16, 16777216}, {32, 33554432}, {1, 1048576}, {256, 268435456}};
    int calls = fake.record->load_calls;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cache_mb);
        option_bitbases_cache = c.cache_mb;
        EXPECT_EQ(load_output(),
                  "info string endgame bitbases loaded (" EGBB_FAKE_DIR "/egbbso.so)\n");
        EXPECT_TRUE(bitbases_available());
        EXPECT_EQ(fake.record->load_calls, ++calls); // every load calls the entry again
        EXPECT_STREQ(fake.record->load_path, EGBB_FAKE_DIR);
        EXPECT_EQ(fake.record->load_cache, c.bytes);
        EXPECT_EQ(fake.record->load_mode, 2);
    }
    bitbases_unload();
    EXPECT_FALSE(bitbases_available());
    PositionPtr pos = make_position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    int score       = 0;
    int probes      = fake.record->probe_calls;
    EXPECT_FALSE(bitbase_probe(*pos, score));
    EXPECT_EQ(fake.record->probe_calls, probes);
}

TEST_F(BitbaseLoader, OverlongPathIsRefusedAndTheOldOneStays) {
    set_path(EGBB_FAKE_DIR);
    const std::string longest  = "/" + std::string(BITBASES_PATH_MAX - 1, 'x');
    const std::string too_long = longest + "y";

    options_init(); // "setoption" works on the option list
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    uci_setoption((" name Bitbases Path value " + too_long).c_str());
    // The kept path is loaded again, as after an accepted value.
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "info string endgame bitbases loaded (" EGBB_FAKE_DIR "/egbbso.so)\n");
    std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("Bitbases Path"), std::string::npos) << message;
    EXPECT_STREQ(option_bitbases_path, EGBB_FAKE_DIR);

    // The longest accepted path still gives a whole module path in the loader's message.
    ::testing::internal::CaptureStdout();
    uci_setoption((" name Bitbases Path value " + longest).c_str());
    std::string reload = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(option_bitbases_path, longest);
    EXPECT_NE(reload.find(longest + "/egbbso.so"), std::string::npos) << reload;
    options_free();
    std::string output = load_output();
    std::string tail   = " (" + longest + "/egbbso.so)\n";
    ASSERT_GT(output.size(), tail.size()) << output;
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
    EXPECT_FALSE(bitbases_available());
}

TEST_F(BitbaseLoader, ProbePassesMenInAscendingSquareOrderWithLibraryNumbers) {
    FakeModule fake(EGBB_FAKE_DIR);
    ASSERT_NE(fake.record, nullptr);
    set_path(EGBB_FAKE_DIR);
    ASSERT_EQ(load_output(), "info string endgame bitbases loaded (" EGBB_FAKE_DIR "/egbbso.so)\n");
    fake.record->probe_answer = 1;
    const struct {
        const char* fen;
        int args[9]; // side, white king, black king, then three (piece, square) slots
    } cases[] = {
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", {0, 4, 60, 3, 0, 0, 0, 0, 0}},
        {"4k3/3p4/8/8/8/8/4P3/4K3 w - - 0 1", {0, 4, 60, 6, 12, 12, 51, 0, 0}},
        {"1n2k3/8/8/8/8/8/8/Q1B1K3 b - - 0 1", {1, 4, 60, 2, 0, 4, 2, 11, 57}},
        {"7K/8/8/2q5/8/8/N7/r6k w - - 0 1", {0, 63, 7, 9, 0, 5, 8, 8, 34}},
        {"K7/8/2k5/8/4b3/8/6p1/3R4 b - - 0 1", {1, 56, 42, 3, 3, 12, 14, 10, 28}},
        {"8/8/8/8/8/8/8/K1k5 w - - 0 1", {0, 0, 2, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        PositionPtr pos = make_position(c.fen);
        int score       = 0;
        EXPECT_TRUE(bitbase_probe(*pos, score));
        for (int i = 0; i < 9; i++)
            EXPECT_EQ(fake.record->probe_args[i], c.args[i]) << "argument " << i;
    }
}

TEST_F(BitbaseLoader, HitsCountEveryKnownAnswerDrawsIncluded) {
    FakeModule fake(EGBB_FAKE_DIR);
    ASSERT_NE(fake.record, nullptr);
    set_path(EGBB_FAKE_DIR);
    ASSERT_EQ(load_output(), "info string endgame bitbases loaded (" EGBB_FAKE_DIR "/egbbso.so)\n");
    PositionPtr pos = make_position("4k3/3p4/8/8/8/8/4P3/4K3 b - - 0 1");
    const struct {
        int answer;
        bool found;
        int hits_after;
    } cases[] = {
        {EGBB_UNKNOWN, false, 0}, {0, true, 1},    {-9975, true, 2},
        {EGBB_UNKNOWN, false, 2}, {9999, true, 3}, {1, true, 4},
    };
    bbhits.store(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        fake.record->probe_answer = c.answer;
        int score                 = -1;
        EXPECT_EQ(bitbase_probe(*pos, score), c.found);
        if (c.found) {
            EXPECT_EQ(score, c.answer);
        }
        EXPECT_EQ(bbhits.load(), c.hits_after);
    }
}

// Five men besides the kings cannot come from the evaluation, but must not overrun the slots.
TEST_F(BitbaseLoader, MoreThanThreeMenBesidesTheKingsAreNotProbed) {
    FakeModule fake(EGBB_FAKE_DIR);
    ASSERT_NE(fake.record, nullptr);
    set_path(EGBB_FAKE_DIR);
    ASSERT_EQ(load_output(), "info string endgame bitbases loaded (" EGBB_FAKE_DIR "/egbbso.so)\n");
    PositionPtr pos = make_position("4k3/3pp3/8/8/8/8/4PP2/4K3 w - - 0 1");
    int probes      = fake.record->probe_calls;
    int score       = 0;
    EXPECT_FALSE(bitbase_probe(*pos, score));
    EXPECT_EQ(fake.record->probe_calls, probes);
}

} // namespace
} // namespace orbelin

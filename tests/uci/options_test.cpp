// "setoption" in-process: refused values keep what they would have replaced, and numbers are
// named as they were sent.
#include "book/book.h"
#include "egbb/egbb.h"
#include "search/search.h"
#include "search/tt.h"
#include "uci/options.h"
#include "uci/uci.h"

#include <gtest/gtest.h>
#include <string>

namespace orbelin {
namespace {

class SetOption : public ::testing::Test {
  protected:
    void SetUp() override {
        option_hash = 1;
        tt_alloc();
        options_init();
        stop_flag.store(0);
    }
    void TearDown() override {
        bitbases_unload();
        bookClose();
        options_free();
        tt_free();
        option_hash = 64;
    }
    // Runs the command; answers what it wrote on standard error.
    static std::string setoption(const std::string& args) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        uci_setoption(args.c_str());
        ::testing::internal::GetCapturedStdout();
        return ::testing::internal::GetCapturedStderr();
    }
};

TEST_F(SetOption, RefusedHashKeepsTheTableAndItsEntries) {
    TTEntry* slot;
    std::uint64_t data;
    tt_probe(12345, slot, data);
    tt_store(slot, 12345, 6, 77, TT_EXACT, 0);
    TTEntry* table = tt_table;
    for (const char* value : {"0", "4097", "-1", "abc", ""}) {
        SCOPED_TRACE(value);
        setoption(std::string(" name Hash value ") + value);
        EXPECT_EQ(option_hash, 1);
        EXPECT_EQ(tt_table, table);
        ASSERT_EQ(tt_probe(12345, slot, data), 1);
        EXPECT_EQ(tt_score(data), 77);
    }
    setoption(" name Hash value 2"); // an accepted value gives a new, empty table
    EXPECT_EQ(option_hash, 2);
    EXPECT_EQ(tt_entries, 2u << 16);
    EXPECT_EQ(tt_probe(12345, slot, data), 0);
}

TEST_F(SetOption, RefusedNumbersAreNamedAsSent) {
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {" name Bitbases Cache Size value 99999999999",
         "Wrong uci option value (Bitbases Cache Size:99999999999)"},
        {" name Threads value -4294967297", "Wrong uci option value (Threads:-4294967297)"},
        {" name MultiPV value 21", "Wrong uci option value (MultiPV:21)"},
        {" name MultiPV value 0x10", "Wrong uci option value (MultiPV:0x10)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string message = setoption(c.args);
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
}

// The options GUIs and tools send by convention take their values; SyzygyPath without a value
// means no folders, and a path set by "setoption" counts as given (no look elsewhere).
TEST_F(SetOption, ConventionalOptionsTakeTheirValues) {
    char kept_path[sizeof option_bitbases_path];
    g_strlcpy(kept_path, option_bitbases_path, sizeof kept_path);
    option_bitbases_path_given = 1; // the reloads below find no plug-in
    g_strlcpy(option_bitbases_path, "/nonexistent", sizeof option_bitbases_path);
    setoption(" name Move Overhead value 100");
    EXPECT_EQ(option_move_overhead, 100);
    for (const char* refused : {"5001", "-1", "x"}) {
        SCOPED_TRACE(refused);
        setoption(std::string(" name Move Overhead value ") + refused);
        EXPECT_EQ(option_move_overhead, 100);
    }
    setoption(" name SyzygyPath value /a/syzygy:/b/syzygy");
    EXPECT_STREQ(option_syzygy_path, "/a/syzygy:/b/syzygy");
    setoption(" name SyzygyPath value");
    EXPECT_STREQ(option_syzygy_path, "<empty>");
    setoption(" name syzygypath value /c");
    EXPECT_STREQ(option_syzygy_path, "/c");
    setoption(" name SyzygyPath value <empty>");
    EXPECT_STREQ(option_syzygy_path, "<empty>");
    setoption(" name UCI_AnalyseMode value true");
    EXPECT_EQ(option_analyse_mode, 1);
    setoption(" name UCI_Opponent value GM 2800 human Magnus Carlsen");
    EXPECT_STREQ(option_opponent, "GM");

    option_book_file_given = 0;
    setoption(" name Book File value ./performance.bin");
    EXPECT_EQ(option_book_file_given, 1);
    option_book_file_given     = 0;
    option_move_overhead       = 0;
    option_analyse_mode        = 0;
    option_bitbases_path_given = 0;
    g_strlcpy(option_bitbases_path, kept_path, sizeof option_bitbases_path);
    g_strlcpy(option_opponent, "<empty>", sizeof option_opponent);
}

const Option* declared(const char* name) {
    for (GList* cell = option_list; cell != nullptr; cell = cell->next) {
        const auto* option = static_cast<const Option*>(cell->data);
        if (std::string(option->name) == name) return option;
    }
    return nullptr;
}

TEST_F(SetOption, StrengthOptionsAndTheirRanges) {
    const Option* limit = declared("UCI_LimitStrength");
    const Option* elo   = declared("UCI_Elo");
    ASSERT_NE(limit, nullptr);
    ASSERT_NE(elo, nullptr);
    EXPECT_EQ(limit->type, OPTION_CHECK);
    EXPECT_EQ(limit->default_value, 0);
    EXPECT_EQ(elo->type, OPTION_SPIN);
    EXPECT_EQ(elo->min, 1350);
    EXPECT_EQ(elo->max, OPTION_ELO_MAX);
    EXPECT_EQ(elo->default_value, OPTION_ELO_MAX);

    const struct {
        const char* args;
        int limit, elo;      // the variables afterwards
        const char* message; // on standard error; empty when the value is taken
    } cases[] = {
        {" name uci_limitstrength value TRUE", 1, OPTION_ELO_MAX, ""},
        {" name UCI_Elo value 1350", 1, 1350, ""},
        {" name UCI_Elo value 1349", 1, 1350, "Wrong uci option value (UCI_Elo:1349)"},
        {" name UCI_Elo value 1700", 1, 1700, ""},
        {" name UCI_Elo value 99999", 1, 1700, "Wrong uci option value (UCI_Elo:99999)"},
        {" name UCI_Elo value 1800.5", 1, 1700, "Wrong uci option value (UCI_Elo:1800.5)"},
        {" name UCI_Elo value", 1, 1700, "Wrong uci option value (UCI_Elo:)"},
        {" name UCI_LimitStrength value yes", 1, 1700, "Wrong value yes!"},
        {" name UCI_LimitStrength value false", 0, 1700, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string message = setoption(c.args);
        EXPECT_EQ(option_limit_strength, c.limit);
        EXPECT_EQ(option_elo, c.elo);
        if (*c.message == '\0')
            EXPECT_EQ(message, "");
        else
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    option_elo = OPTION_ELO_MAX;
}

} // namespace
} // namespace orbelin

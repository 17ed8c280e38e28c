// orbelin-tool eval end to end: the real binary's term lines, phase and final score.
#include <cstdio>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orbelin {
namespace {

// orbelin-tool sits in the build folder, one above this test program's folder.
std::string tool_path() {
    gchar* self      = g_file_read_link("/proc/self/exe", nullptr);
    gchar* tests_dir = g_path_get_dirname(self);
    gchar* build_dir = g_path_get_dirname(tests_dir);
    std::string path = std::string(build_dir) + "/orbelin-tool";
    g_free(build_dir);
    g_free(tests_dir);
    g_free(self);
    return path;
}

struct ToolRun {
    int status = -1;
    std::vector<std::string> lines;
};

ToolRun run_tool(std::vector<std::string> args) {
    ToolRun run;
    std::string path = tool_path();
    EXPECT_TRUE(g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE)) << path << " not built";
    std::vector<char*> argv = {path.data()};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    gchar* out    = nullptr;
    gint wait     = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr,
                      &out, nullptr, &wait, &error)) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return run;
    }
    run.status    = g_spawn_check_wait_status(wait, nullptr) ? 0 : 1;
    gchar** lines = g_strsplit(out, "\n", -1);
    for (gchar** l = lines; *l; l++)
        if (**l) run.lines.emplace_back(*l);
    g_strfreev(lines);
    g_free(out);
    return run;
}

TEST(EvalTool, PrintsTermsInOrderPhaseAndScore) {
    ToolRun run = run_tool({"eval"});
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> names = {"material", "pst",    "pawns",       "tempo",
                                            "patterns", "pieces", "king safety", "passers"};
    ASSERT_EQ(run.lines.size(), names.size() + 4);
    for (std::size_t i = 0; i < names.size(); i++)
        EXPECT_EQ(run.lines[i + 1].rfind(names[i], 0), 0u) << run.lines[i + 1];
    EXPECT_EQ(run.lines[4], "tempo              20       10");
    EXPECT_EQ(run.lines[run.lines.size() - 2], "phase 0");
    EXPECT_EQ(run.lines.back(), "eval 20");
}

TEST(EvalTool, ScoreFromTheSideToMoveWithTheFenInOneOrManyArguments) {
    struct {
        std::vector<std::string> args;
        const char* last;
    } const cases[] = {
        {{"eval", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"}, "eval 20"},
        {{"eval", "8/8/8/8/8/8/8/k1K4R", "b", "-", "-", "0", "1"}, "eval -1057"},
        {{"eval", "8/8/8/8/8/8/8/k1K4R w - - 0 1"}, "eval 1057"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        ToolRun run = run_tool(c.args);
        ASSERT_EQ(run.status, 0);
        ASSERT_FALSE(run.lines.empty());
        EXPECT_EQ(run.lines.back(), c.last);
    }
}

// Knight in the corner against a bare king, pawns on the h-file: material 325, the knight's
// piece-square values -50 / -40, tempo 20 / 10, mobility -8 / -8; pawns and kings cancel.
TEST(EvalTool, WorkedExample) {
    ToolRun run = run_tool({"eval", "7k/7p/8/8/8/8/7P/N6K w - - 0 1"});
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> expected = {
        "term          opening  endgame",
        "material          325      325",
        "pst               -50      -40",
        "pawns               0        0",
        "tempo              20       10",
        "patterns            0        0",
        "pieces             -8       -8",
        "king safety         0        0",
        "passers             0        0",
        "total             287      287",
        "phase 245",
        "eval 287",
    };
    EXPECT_EQ(run.lines, expected);
}

TEST(EvalTool, RecognizedEndgameSaysSo) {
    ToolRun run = run_tool({"eval", "8/8/8/8/8/8/8/k1K4R w - - 0 1"});
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> expected = {
        "term          opening  endgame",
        "material          500      500",
        "recognized endgame: 1057",
        "phase 235",
        "eval 1057",
    };
    EXPECT_EQ(run.lines, expected);
}

TEST(EvalTool, RefusesABadFen) {
    ToolRun run = run_tool({"eval", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1"});
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.lines.empty());
}

} // namespace
} // namespace orbelin

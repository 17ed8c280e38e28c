// The engine away from the repository root: a build-tree engine and an installed one find their
// book and bitbases from wherever they are started, a path given by "setoption" is used as
// given, the program's own arguments, and no folder of table links is left behind whatever
// ends the process.
#include "engine_process.h"

#include <csignal>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orbelin {
namespace {

bool has_line(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const auto& line : lines)
        if (line == wanted) return true;
    return false;
}

std::string read_file(const std::string& path) {
    gchar* contents = nullptr;
    std::string text;
    if (g_file_get_contents(path.c_str(), &contents, nullptr, nullptr)) text = contents;
    g_free(contents);
    return text;
}

// The names in the folder that start with the prefix.
std::vector<std::string> entries(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> found;
    if (GDir* d = g_dir_open(dir.c_str(), 0, nullptr)) {
        while (const gchar* name = g_dir_read_name(d))
            if (g_str_has_prefix(name, prefix.c_str())) found.push_back(name);
        g_dir_close(d);
    }
    return found;
}

// Removes a folder and everything in it (links are removed, not followed).
void remove_tree(const std::string& path) {
    const gchar* argv[] = {"rm", "-rf", path.c_str(), nullptr};
    g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr);
}

std::string temporary_folder(const char* pattern) {
    gchar* dir       = g_dir_make_tmp(pattern, nullptr);
    std::string path = dir != nullptr ? dir : "";
    g_free(dir);
    return path;
}

// The score line of a search in a small ending: the bitbases answer it.
void expect_bitbase_hits(EngineProcess& engine) {
    engine_send(engine, "position fen 8/1r6/8/3k4/8/8/8/Q3K3 w - - 0 1"); // KQvKR
    engine_send(engine, "go depth 8");
    auto lines = until_bestmove(engine, 60000);
    std::string score;
    for (const auto& line : lines)
        if (line.find(" score ") != std::string::npos) score = line;
    EXPECT_NE(score.find(" bbhits "), std::string::npos) << score;
}

TEST(InstallE2E, BuildTreeEngineFindsItsDataFromAnyFolder) {
    const std::string root = ORBELIN_SOURCE_DIR;
    if (!g_file_test((root + "/performance.bin").c_str(), G_FILE_TEST_EXISTS))
        GTEST_SKIP() << "no ./performance.bin: make test provides it";
    const std::string elsewhere = temporary_folder("orbelin-elsewhere-XXXXXX");
    EngineProcess engine        = engine_start(EngineLaunch{elsewhere, ORBELIN_BIN, {}, ""});
    EXPECT_TRUE(
        has_line(engine.startup_lines, "info string book (" + root + "/performance.bin) loaded"))
        << engine.startup_lines.back();
    // The repository's ./egbb/ when make run filled it, else the build's own folder.
    const bool filled = g_file_test((root + "/egbb/egbbso.so").c_str(), G_FILE_TEST_EXISTS);
    const std::string plug_in =
        (filled ? root + "/egbb" : std::string(ORBELIN_EGBB_DIR)) + "/egbbso.so";
    EXPECT_TRUE(
        has_line(engine.startup_lines, "info string endgame bitbases loaded (" + plug_in + ")"))
        << engine.startup_lines.front();
    expect_bitbase_hits(engine);
    // A path given by "setoption" is used as given, even the default text.
    engine_send(engine, "setoption name Book File value ./performance.bin");
    EXPECT_EQ(engine_read_line(engine), "info string book (./performance.bin) not loaded");
    engine_send(engine, "setoption name Bitbases Path value ./egbb/");
    auto report = engine_read_line(engine);
    EXPECT_NE(report.value_or("").find("(./egbb//egbbso.so)"), std::string::npos)
        << report.value_or("");
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
    g_rmdir(elsewhere.c_str());
}

// make install into a DESTDIR and a prefix; the installed engine, started from an unrelated
// folder, loads its book and all its tables.
TEST(InstallE2E, InstalledEngineFindsItsDataFromAnyFolder) {
    const std::string destdir = temporary_folder("orbelin-destdir-XXXXXX");
    const std::string prefix  = "/opt/orbelin-test";
    gchar** env               = g_environ_setenv(g_get_environ(), "DESTDIR", destdir.c_str(), TRUE);
    const gchar* argv[]       = {ORBELIN_CMAKE, "--install",    ORBELIN_BUILD_DIR,
                                 "--prefix",    prefix.c_str(), nullptr};
    gchar* output             = nullptr;
    gint status               = -1;
    ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<gchar**>(argv), env, G_SPAWN_DEFAULT, nullptr,
                             nullptr, &output, nullptr, &status, nullptr));
    g_strfreev(env);
    const std::string installed = output != nullptr ? output : "";
    g_free(output);
    ASSERT_TRUE(g_spawn_check_wait_status(status, nullptr)) << installed;
    const std::string home = destdir + prefix;
    for (const char* file : {"/bin/orbelin", "/bin/orbelin-tool", "/lib/orbelin/egbbso.so",
                             "/share/orbelin/egbb/KQvKR.rtbw", "/share/orbelin/egbb/kqk.gtb.cp4"})
        EXPECT_TRUE(g_file_test((home + file).c_str(), G_FILE_TEST_EXISTS)) << file;

    const std::string elsewhere = temporary_folder("orbelin-elsewhere-XXXXXX");
    const std::string errors    = elsewhere + "/stderr.txt";
    EngineProcess engine = engine_start(EngineLaunch{elsewhere, home + "/bin/orbelin", {}, errors});
    EXPECT_TRUE(has_line(engine.startup_lines, "info string endgame bitbases loaded (" + home +
                                                   "/lib/orbelin/egbbso.so, tables in " + home +
                                                   "/share/orbelin/egbb)"))
        << engine.startup_lines.front();
    const bool debian_book = g_file_test("/usr/share/games/gnuchess/book.bin", G_FILE_TEST_EXISTS);
    if (debian_book) {
        EXPECT_TRUE(has_line(engine.startup_lines, "info string book (" + home +
                                                       "/share/orbelin/performance.bin) loaded"))
            << engine.startup_lines.back();
    }
    expect_bitbase_hits(engine);
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine), 0);
    const std::string report = read_file(errors);
    EXPECT_NE(
        report.find("egbbso: 5 Gaviota and 35 Syzygy tables in " + home + "/share/orbelin/egbb"),
        std::string::npos)
        << report;
    g_unlink(errors.c_str());
    g_rmdir(elsewhere.c_str());
    remove_tree(destdir);
}

// The plug-in's private folder of links is gone once the tables are open, so a killed engine
// leaves nothing behind; a folder that a killed engine of an older kind left is swept at the
// next load.
TEST(InstallE2E, NoFolderOfTableLinksIsLeftBehind) {
    const std::string tmp = temporary_folder("orbelin-tmpdir-XXXXXX");
    // A folder left by a process that no longer runs, with a link in it.
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = tmp + "/orbelin-egbb-" + std::to_string(gone) + "-abcdef";
    ASSERT_EQ(g_mkdir(stale.c_str(), 0700), 0);
    ASSERT_EQ(symlink("/nonexistent", (stale + "/KQvKR.rtbw").c_str()), 0);
    // And one of a process that still runs (this one): kept.
    const std::string alive = tmp + "/orbelin-egbb-" + std::to_string(getpid()) + "-abcdef";
    ASSERT_EQ(g_mkdir(alive.c_str(), 0700), 0);

    for (bool kill_it : {false, true}) {
        SCOPED_TRACE(kill_it ? "killed" : "quit");
        EngineProcess engine = engine_start(EngineLaunch{"", "", {"TMPDIR=" + tmp}, ""});
        engine_send(engine, std::string("setoption name Bitbases Path value ") + ORBELIN_EGBB_DIR);
        EXPECT_EQ(engine_read_line(engine, 20000),
                  "info string endgame bitbases loaded (" ORBELIN_EGBB_DIR "/egbbso.so)");
        expect_bitbase_hits(engine);
        const std::string own = "orbelin-egbb-" + std::to_string(engine.pid) + "-";
        EXPECT_TRUE(entries(tmp, own).empty());
        if (kill_it) {
            kill(engine.pid, SIGKILL);
            EXPECT_EQ(engine_wait(engine), -1);
        } else {
            engine_send(engine, "quit");
            EXPECT_EQ(engine_wait(engine), 0);
        }
        EXPECT_TRUE(entries(tmp, own).empty());
    }
    EXPECT_FALSE(g_file_test(stale.c_str(), G_FILE_TEST_EXISTS));
    EXPECT_TRUE(g_file_test(alive.c_str(), G_FILE_TEST_IS_DIR));
    g_rmdir(alive.c_str());
    g_rmdir(tmp.c_str());
}

} // namespace
} // namespace orbelin

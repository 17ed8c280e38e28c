// Broken tablebase files in the bitbase folder: the real plug-in leaves each one out before its
// library reads it (Debian's Gaviota library crashes on an empty kpk.gtb.cp4, Fathom on a
// truncated table, and opening a FIFO blocks), says so on standard error, and answers from the
// other files.
#include "real_bitbases.h"
#include "test_util.h"

#include <fstream>
#include <functional>
#include <glib.h>
#include <glib/gstdio.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orbelin {
namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The plug-in's line about a file it left out, up to the reason.
std::string left_out(const char* name) {
    std::string text = "/";
    text += name;
    text += " left out: ";
    return text;
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string random_bytes(std::size_t count, std::uint32_t seed) {
    GRand* rand = g_rand_new_with_seed(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = char(g_rand_int_range(rand, 0, 256));
    g_rand_free(rand);
    return bytes;
}

// A folder with the plug-in, one good file of each format (krk.gtb.cp4, KQvKR.rtbw) and one
// broken file made by the case; removed with everything in it.
struct BrokenFolder {
    explicit BrokenFolder(const std::function<void(const std::string&)>& make_broken,
                          const std::string& name) {
        gchar* made = g_dir_make_tmp("orbelin-broken-XXXXXX", nullptr);
        dir         = made != nullptr ? made : "";
        g_free(made);
        for (const char* file : {"egbbso.so", "krk.gtb.cp4", "KQvKR.rtbw"})
            EXPECT_EQ(symlink((std::string(EGBB_REAL_DIR) + "/" + file).c_str(),
                              (dir + "/" + file).c_str()),
                      0);
        broken = dir + "/" + name;
        make_broken(broken);
    }
    ~BrokenFolder() {
        for (const char* file : {"egbbso.so", "krk.gtb.cp4", "KQvKR.rtbw"})
            g_unlink((dir + "/" + file).c_str());
        chmod(broken.c_str(), 0600);
        if (g_rmdir(broken.c_str()) != 0) g_unlink(broken.c_str());
        g_rmdir(dir.c_str());
    }
    std::string dir, broken;
};

using BrokenFiles = RealBitbases;

TEST_F(BrokenFiles, AreLeftOutAndTheOtherFilesAnswer) {
    const struct {
        const char* name;
        const char* lost_fen; // of the ending whose file is broken: unknown
    } tables[] = {
        {"kpk.gtb.cp4", "3k4/8/3K4/8/3P4/8/8/8 w - - 0 1"},
        {"KBNvK.rtbw", "8/8/8/4k3/8/8/8/KBN5 w - - 0 1"},
    };
    for (const auto& table : tables) {
        // The real file the broken copies are made from.
        const std::string real = read_file(std::string(EGBB_REAL_DIR) + "/" + table.name);
        ASSERT_GT(real.size(), 1000u);
        const std::size_t size = real.size();
        const struct {
            const char* what;
            std::function<void(const std::string&)> make;
        } kinds[] = {
            {"empty", [](const std::string& path) { write_file(path, ""); }},
            {"random bytes",
             [](const std::string& path) { write_file(path, random_bytes(3000, 1)); }},
            {"random bytes of the real size",
             [&](const std::string& path) { write_file(path, random_bytes(size, 2)); }},
            {"the real header, then random bytes",
             [&](const std::string& path) {
                 write_file(path, real.substr(0, 40) + random_bytes(size - 40, 3));
             }},
            {"truncated to half",
             [&](const std::string& path) { write_file(path, real.substr(0, size / 2)); }},
            {"one byte short",
             [&](const std::string& path) { write_file(path, real.substr(0, size - 1)); }},
            {"64 bytes short, the length of a whole file",
             [&](const std::string& path) { write_file(path, real.substr(0, size - 64)); }},
            {"a byte too long", [&](const std::string& path) { write_file(path, real + "x"); }},
            {"a directory", [](const std::string& path) { g_mkdir(path.c_str(), 0700); }},
            {"a FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0600); }},
            {"a link to nothing",
             [](const std::string& path) {
                 EXPECT_EQ(symlink("/nonexistent/x", path.c_str()), 0);
             }},
            {"unreadable",
             [&](const std::string& path) {
                 write_file(path, real);
                 chmod(path.c_str(), 0);
             }},
        };
        for (const auto& kind : kinds) {
            if (std::string(kind.what) == "unreadable" && geteuid() == 0)
                continue; // root reads any file
            SCOPED_TRACE(std::string(table.name) + ": " + kind.what);
            BrokenFolder folder(kind.make, table.name);
            std::string report = load(folder.dir);
            EXPECT_NE(report.find(left_out(table.name)), std::string::npos) << report;
            EXPECT_NE(report.find("1 Gaviota and 1 Syzygy tables"), std::string::npos) << report;
            PositionPtr lost = make_position(table.lost_fen);
            EXPECT_EQ(probe_score(*lost), EGBB_UNKNOWN);
            PositionPtr rook = make_position("8/8/8/4k3/8/8/8/R3K3 w - - 0 1");
            EXPECT_GT(probe_score(*rook), 9000); // Gaviota
            PositionPtr queen = make_position("7r/8/8/4k3/8/8/8/KQ6 w - - 0 1");
            EXPECT_GT(probe_score(*queen), 7000); // Syzygy
            bitbases_unload();
        }
    }
}

TEST_F(BrokenFiles, NamesThatAreNoEndingAreLeftOut) {
    const struct {
        const char* name;
        bool reported; // false: not a bitbase file name at all
    } cases[] = {{"kzk.gtb.cp4", true},
                 {"KQvQ.rtbw", true},
                 {"KQRBNPvKQ.rtbw", true}, // nine men
                 {"kqkr.gtb.cp4x", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BrokenFolder folder(
            [](const std::string& path) {
                write_file(path, read_file(std::string(EGBB_REAL_DIR) + "/KQvKR.rtbw"));
            },
            c.name);
        std::string report = load(folder.dir);
        EXPECT_EQ(report.find(left_out(c.name)) != std::string::npos, c.reported) << report;
        EXPECT_NE(report.find("1 Gaviota and 1 Syzygy tables"), std::string::npos) << report;
        bitbases_unload();
    }
}

} // namespace
} // namespace orbelin

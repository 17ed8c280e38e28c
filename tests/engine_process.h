#pragma once
// Drives the real engine binary over pipes: every read has a deadline, so a hang fails the test
// instead of blocking it.
#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orbelin {

struct EngineProcess {
    pid_t pid   = -1;
    int to_fd   = -1; // engine's standard input
    int from_fd = -1; // engine's standard output
    std::string pending;
    std::string workdir;
    bool temporary_dir = false;             // made by engine_start, removed by engine_wait
    std::string binary;                     // the program started
    std::vector<std::string> startup_lines; // what the engine printed before its first "readyok"
};

// How to start the engine: in workdir (a fresh temporary folder when empty), the program binary
// (ORBELIN_BIN when empty), with NAME=value settings added to its environment, and its standard
// error sent to stderr_file (inherited when empty).
struct EngineLaunch {
    std::string workdir;
    std::string binary;
    std::vector<std::string> env;
    std::string stderr_file;
};

// Starts the engine and waits until it has answered "isready", keeping what it printed at
// start-up (book and bitbase reports). Without a workdir and a binary it runs in a fresh
// temporary folder from a link to ORBELIN_BIN placed there, so that it finds no data of the
// build tree beside itself either: an engine on its own, without book or bitbases.
EngineProcess engine_start(const EngineLaunch& launch);
inline EngineProcess engine_start(const std::string& workdir = "") {
    return engine_start(EngineLaunch{workdir, "", {}, ""});
}
// Starts the engine on its own (as engine_start() does) with OwnBook off, for tests of searches
// rather than book moves.
EngineProcess engine_start_without_book();
// Sends "quit"; the engine must end with status 0 within the time.
void engine_quit(EngineProcess& engine, int timeout_ms = 20000);
// Writes the text and a newline.
void engine_send(EngineProcess& engine, const std::string& text);
// Writes raw bytes.
void engine_write(EngineProcess& engine, const std::string& bytes);
// The next output line without its newline, or nothing when the deadline passes or output ends.
std::optional<std::string> engine_read_line(EngineProcess& engine, int timeout_ms = 5000);
// Reads lines until one starts with prefix; answers it, or nothing at the deadline.
std::optional<std::string> engine_expect(EngineProcess& engine, const std::string& prefix,
                                         int timeout_ms = 5000);
// Every line up to and including the next "bestmove" line (fewer when the deadline passes).
std::vector<std::string> until_bestmove(EngineProcess& engine, int timeout_ms = 20000);
// Closes the engine's standard input.
void engine_close_input(EngineProcess& engine);
// Writes a one-entry Polyglot book into the folder, the start position answered by e2e4 with
// weight 1; answers its path.
std::string write_start_book(const std::string& dir);
// Waits for the engine to end: its exit status, or -1 when it did not end in time (it is
// killed then) or died by a signal.
int engine_wait(EngineProcess& engine, int timeout_ms = 5000);

// Milliseconds of the steady clock since start.
long long ms_since(std::chrono::steady_clock::time_point start);

} // namespace orbelin

// Spawning and talking to the engine binary for the end-to-end tests.
#include "engine_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orbelin {

// Places the engine binary in the folder as "orbelin": a hard link, or a copy where the folder
// is on another file system. Answers its path.
static std::string place_binary(const std::string& dir) {
    std::string path = dir + "/orbelin";
    if (link(ORBELIN_BIN, path.c_str()) == 0) return path;
    gchar* contents = nullptr;
    gsize length    = 0;
    if (g_file_get_contents(ORBELIN_BIN, &contents, &length, nullptr) &&
        g_file_set_contents(path.c_str(), contents, gssize(length), nullptr))
        g_chmod(path.c_str(), 0755);
    g_free(contents);
    return path;
}

EngineProcess engine_start(const EngineLaunch& launch) {
    const std::string& workdir = launch.workdir;
    const std::string& binary  = launch.binary;
    std::signal(SIGPIPE, SIG_IGN);
    EngineProcess engine;
    engine.binary = binary.empty() ? ORBELIN_BIN : binary;
    if (workdir.empty()) {
        gchar* dir           = g_dir_make_tmp("orbelin-e2e-XXXXXX", nullptr);
        engine.workdir       = dir ? dir : "/tmp";
        engine.temporary_dir = dir != nullptr;
        g_free(dir);
        if (engine.temporary_dir && binary.empty()) engine.binary = place_binary(engine.workdir);
    } else {
        engine.workdir = workdir;
    }
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return engine;
    engine.pid = fork();
    if (engine.pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]), close(in[1]), close(out[0]), close(out[1]);
        if (chdir(engine.workdir.c_str()) != 0) _exit(126);
        for (const std::string& setting : launch.env)
            putenv(const_cast<char*>(setting.c_str()));
        if (!launch.stderr_file.empty()) {
            int fd = open(launch.stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) dup2(fd, 2), close(fd);
        }
        execl(engine.binary.c_str(), engine.binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    engine.to_fd   = in[1];
    engine.from_fd = out[0];
    engine_send(engine, "isready");
    while (auto line = engine_read_line(engine, 10000)) {
        if (*line == "readyok") break;
        engine.startup_lines.push_back(*line);
    }
    return engine;
}

EngineProcess engine_start_without_book() {
    EngineProcess engine = engine_start();
    engine_send(engine, "setoption name OwnBook value false");
    EXPECT_EQ(engine_read_line(engine), "info string OwnBook set to false");
    return engine;
}

void engine_quit(EngineProcess& engine, int timeout_ms) {
    engine_send(engine, "quit");
    EXPECT_EQ(engine_wait(engine, timeout_ms), 0);
}

void engine_write(EngineProcess& engine, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(engine.to_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += std::size_t(n);
    }
}

void engine_send(EngineProcess& engine, const std::string& text) {
    engine_write(engine, text + "\n");
}

std::optional<std::string> engine_read_line(EngineProcess& engine, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        std::size_t newline = engine.pending.find('\n');
        if (newline != std::string::npos) {
            std::string line = engine.pending.substr(0, newline);
            engine.pending.erase(0, newline + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return std::nullopt;
        pollfd pfd{engine.from_fd, POLLIN, 0};
        int ready = poll(&pfd, 1, int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char buffer[4096];
        ssize_t n = read(engine.from_fd, buffer, sizeof buffer);
        if (n <= 0) return std::nullopt;
        engine.pending.append(buffer, std::size_t(n));
    }
}

std::optional<std::string> engine_expect(EngineProcess& engine, const std::string& prefix,
                                         int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        auto line = engine_read_line(engine, int(left > 0 ? left : 0));
        if (!line) return std::nullopt;
        if (line->rfind(prefix, 0) == 0) return line;
    }
}

std::vector<std::string> until_bestmove(EngineProcess& engine, int timeout_ms) {
    std::vector<std::string> lines;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        auto line = engine_read_line(engine, int(left));
        if (!line) break;
        lines.push_back(*line);
        if (line->rfind("bestmove", 0) == 0) break;
    }
    return lines;
}

void engine_close_input(EngineProcess& engine) {
    if (engine.to_fd >= 0) close(engine.to_fd);
    engine.to_fd = -1;
}

std::string write_start_book(const std::string& dir) {
    const char entry[16] = {0x46, 0x3B, char(0x96), 0x18, 0x16, char(0x91), char(0xFC), char(0x9C),
                            0x03, 0x1C, 0x00,       0x01, 0,    0,          0,          0};
    std::string path     = dir + "/start.bin";
    g_file_set_contents(path.c_str(), entry, sizeof entry, nullptr);
    return path;
}

int engine_wait(EngineProcess& engine, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int status    = 0;
    for (;;) {
        pid_t done = waitpid(engine.pid, &status, WNOHANG);
        if (done == engine.pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(engine.pid, SIGKILL);
            waitpid(engine.pid, &status, 0);
            status = -1;
            break;
        }
        g_usleep(5000);
    }
    engine_close_input(engine);
    if (engine.from_fd >= 0) close(engine.from_fd);
    engine.from_fd = -1;
    if (engine.temporary_dir) {
        if (engine.binary == engine.workdir + "/orbelin") g_unlink(engine.binary.c_str());
        g_rmdir(engine.workdir.c_str());
    }
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

long long ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

} // namespace orbelin

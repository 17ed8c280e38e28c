// Start-up, the standard-input watch, the command table and teardown; main thread only.
#include "uci/uci.h"

#include "base/output.h"
#include "board/fen.h"
#include "board/tables.h"
#include "book/book.h"
#include "egbb/egbb.h"
#include "eval/pawns.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/strength.h"
#include "search/tt.h"
#include "uci/bench.h"
#include "uci/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orbelin {

void uci_print_id() {
    GString* text = g_string_new(nullptr);
    g_string_append_printf(text, "id name %s\nid author %s\n", ENGINE_NAME, ENGINE_AUTHOR);
    options_print(text);
    g_string_append(text, "uciok\n");
    output_text(text->str, text->len);
    g_string_free(text, TRUE);
}

static void command_isready(const char*) { output_printf("readyok\n"); }
// A new game: a limited strength draws its choices from a new seed.
static void command_ucinewgame(const char*) {
    strength_game_started.store(true, std::memory_order_relaxed);
}
static void command_stop(const char*) {
    pondering.store(0, std::memory_order_relaxed);
    infinite_search.store(0, std::memory_order_relaxed);
    stop_search();
}
static void command_ponderhit(const char*) { pondering.store(0, std::memory_order_relaxed); }
static void command_quit(const char*) { uci_quit(); }
static void command_uci(const char*) { uci_print_id(); }
// "debug on" and "debug off" are the protocol's switches, which change nothing here; any other
// "debug" prints the board dump.
static void command_debug(const char* args) {
    char word[8] = "";
    std::sscanf(args, " %7s", word);
    if (g_ascii_strcasecmp(word, "on") == 0 || g_ascii_strcasecmp(word, "off") == 0) return;
    position_print(*current_position);
}

// Commands in the order they are tried; the first name equal to the line's first word,
// ignoring ASCII case, runs with the rest of the line.
static constexpr struct {
    const char* name;
    void (*run)(const char* args);
} COMMANDS[] = {
    {"stop", command_stop},
    {"ponderhit", command_ponderhit},
    {"go", uci_go},
    {"position", uci_position},
    {"setoption", uci_setoption},
    {"ucinewgame", command_ucinewgame},
    {"isready", command_isready},
    {"quit", command_quit},
    {"uci", command_uci},
    {"debug", command_debug},
};

// True when the word is one of the commands, ignoring ASCII case.
static bool command_known(const char* word) {
    for (const auto& command : COMMANDS)
        if (g_ascii_strcasecmp(word, command.name) == 0) return true;
    return false;
}

void uci_dispatch(const char* line) {
    const char* word = line;
    while (g_ascii_isspace(*word))
        word++;
    const char* end = word;
    while (*end != '\0' && !g_ascii_isspace(*end))
        end++;
    std::size_t length = std::size_t(end - word);
    if (length == 0) return; // a blank line carries no command
    for (const auto& command : COMMANDS)
        if (std::strlen(command.name) == length &&
            g_ascii_strncasecmp(word, command.name, length) == 0) {
            command.run(end);
            return;
        }
    output_printf("Unknown uci command:%.*s\n", int(length), word);
}

gboolean uci_on_input(GIOChannel* channel, GIOCondition, gpointer) {
    gchar* line      = nullptr;
    gsize length     = 0;
    GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
    if (line == nullptr) {
        if (status == G_IO_STATUS_AGAIN) return TRUE;
        // The interface closed our input (or reading failed): nothing more can come, so leave
        // as "quit" would instead of waking up on a dead channel forever.
        uci_quit();
        return FALSE;
    }
    // The line without its "\n" and a "\r" before it; every other byte belongs to the line.
    if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
    if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
    uci_dispatch(line);
    g_free(line);
    return TRUE;
}

void uci_quit() {
    if (main_loop == nullptr) return;
    // A running search ends before anything it reads is released.
    search_finish();
    if (uci_channel != nullptr) {
        g_io_channel_shutdown(uci_channel, TRUE, nullptr);
        g_io_channel_unref(uci_channel);
        uci_channel = nullptr;
    }
    g_main_loop_quit(main_loop);
    g_main_loop_unref(main_loop);
    main_loop = nullptr;
    position_free(current_position);
    current_position = nullptr;
    g_rand_free(key_rng);
    key_rng = nullptr;
    g_timer_destroy(elapsed_timer);
    elapsed_timer = nullptr;
    options_free();
    bookClose();
    bitbases_unload();
    workers_stop();
    tt_free();
    pawn_hash_free();
    strength_free();
}

// Standard input, read line by line by the main loop.
static void watch_standard_input() {
    uci_channel = g_io_channel_unix_new(0);
    if (uci_channel == nullptr)
        g_log(nullptr, G_LOG_LEVEL_ERROR,
              "Cannot create new uci GIOChannel!\n"); // message text kept as is
    // Lines are taken as bytes: a stray non-UTF-8 byte must not make the channel fail.
    g_io_channel_set_encoding(uci_channel, nullptr, nullptr);
    // Only "\n" ends a line: left to itself the channel would also end lines at "\r" alone,
    // NUL and U+2029.
    g_io_channel_set_line_term(uci_channel, "\n", 1);
    // Hang-up is watched too: a closed pipe reports only that, and must end the engine.
    if (g_io_add_watch(uci_channel, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), uci_on_input,
                       nullptr) == 0)
        g_log(nullptr, G_LOG_LEVEL_ERROR,
              "Cannot add watch on GIOChannel!\n"); // message text kept as is
}

// While a command line given to the program runs: ends the engine once its search (if any) has
// answered; an infinite or ponder search would wait for a "stop" that cannot come.
static gboolean end_of_command_line(gpointer) {
    if (search_active.load(std::memory_order_relaxed) &&
        !infinite_search.load(std::memory_order_relaxed) &&
        !pondering.load(std::memory_order_relaxed))
        return TRUE;
    uci_quit();
    return FALSE;
}

void engine_startup(const char* command) {
    key_rng       = g_rand_new_with_seed(0);
    elapsed_timer = g_timer_new();
    main_loop     = g_main_loop_new(nullptr, FALSE);
    init_tables(key_rng);
    current_position = position_new();
    if (command == nullptr) watch_standard_input();
    options_init();
    tt_alloc();
    pawn_hash_alloc();
    workers_start();
    bitbases_load();
    bookOpen();
    if (command != nullptr) {
        uci_dispatch(command);
        g_timeout_add(5, end_of_command_line, nullptr);
    }

    GMainLoop* loop = g_main_loop_ref(main_loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
}

static void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: orbelin                     the engine, speaking UCI on standard input\n"
                 "       orbelin bench [<depth>]     the bench (depth %d by default), then exit\n"
                 "       orbelin <uci command line>  one command, such as \"go perft 5\", "
                 "then exit\n",
                 BENCH_DEPTH);
}

int engine_main(int argc, char** argv) {
    if (argc <= 1) {
        engine_startup();
        return 0;
    }
    const std::string first = argv[1];
    if (first == "bench") {
        char* end   = nullptr;
        long depth  = argc == 3 ? std::strtol(argv[2], &end, 10) : BENCH_DEPTH;
        bool number = argc == 2 || (argc == 3 && end != argv[2] && *end == '\0');
        if (!number || depth < 1 || depth > long(MAX_DEPTH)) {
            usage(stderr);
            return 2;
        }
        key_rng = g_rand_new_with_seed(0);
        init_tables(key_rng);
        BenchResult result = bench_run(int(depth), 1, 16);
        g_rand_free(key_rng);
        key_rng = nullptr;
        // The last line, as distributed testing reads it: the node count, then the speed.
        std::printf("bench time %llu ms\n%llu nodes %llu nps\n",
                    static_cast<unsigned long long>(result.seconds * 1000),
                    static_cast<unsigned long long>(result.nodes),
                    static_cast<unsigned long long>(
                        result.seconds > 0 ? double(result.nodes) / result.seconds : 0));
        return 0;
    }
    if (first == "-h" || first == "--help" || first == "help") {
        usage(stdout);
        return 0;
    }
    std::string line = first;
    for (int i = 2; i < argc; i++)
        line += std::string(" ") + argv[i];
    if (!command_known(first.c_str())) {
        usage(stderr);
        return 2;
    }
    engine_startup(line.c_str());
    return 0;
}

} // namespace orbelin

#pragma once
// The engine's settings: the variables the UCI options point at, and the option list.
// Written by the main thread ("setoption", start-up) only while no search runs; read by the
// search and worker threads, which are started after the write.
#include <cstdint>
#include <glib.h>

namespace orbelin {

inline int option_ponder          = 0;  // print a ponder move with bestmove
inline int option_multipv         = 1;  // principal variations followed (the search may lower it)
inline int option_threads         = 1;  // 1 searches serially; more starts worker threads
inline int option_hash            = 64; // transposition table, MB
inline int option_own_book        = 1;  // answer from the opening book
inline char option_book_file[256] = "./performance.bin";
inline char option_bitbases_path[256] = "./egbb/";
inline int option_bitbases_cache      = 16; // MB

constexpr int OPTION_SPIN   = 0;
constexpr int OPTION_STRING = 1;
constexpr int OPTION_BUTTON = 2;
constexpr int OPTION_CHECK  = 3;

// One declared option. value points at the live variable: an int for spin and check, a text
// buffer for string (max is then its longest accepted value), nothing for a button.
struct Option {
    int default_value;
    char default_text[256];
    int min;
    int max;
    char name[256];
    void* value;
    int type;
};

// The options in declaration order; built by options_init, released by options_free.
inline GList* option_list = nullptr;

void options_init();
void options_free();
// Appends the "option name ..." declaration lines, defaults as recorded when the list was built.
void options_print(GString* text);
// "setoption name <name words> [value <word>]": stores, reports and applies the change.
void uci_setoption(const char* args);

} // namespace orbelin

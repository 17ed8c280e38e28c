#pragma once
// The command loop and its engine-wide objects. All of them belong to the main thread, which
// creates them at start-up and releases them in uci_quit.
#include "board/position.h"

#include <glib.h>

namespace orbelin {

inline constexpr char ENGINE_NAME[]   = "Orbelin 1.3 Lin32";
inline constexpr char ENGINE_AUTHOR[] = "Ravelle";

inline GRand* key_rng;             // seed 0; draws the hash keys at start-up
inline GMainLoop* main_loop;       // runs the standard-input watch and the search timer
inline GIOChannel* uci_channel;    // standard input
inline Position* current_position; // the position "position" sets and "go" searches

// Creates everything in its fixed order and runs the main loop until "quit" or end of input.
void engine_startup();
// Watch callback on standard input: reads one line and runs its command. End of input (or a
// failed read) is taken as "quit".
gboolean uci_on_input(GIOChannel* channel, GIOCondition condition, gpointer data);
// Runs one command line (with or without its line terminator).
void uci_dispatch(const char* line);
// Releases everything in its fixed order and stops the main loop.
void uci_quit();
// The answer to "uci": identification, options, "uciok".
void uci_print_id();
// "position startpos|fen <fen> [moves ...]": sets the current position. A refused FEN or an
// unplayable move is reported on standard error; the engine goes on.
void uci_position(const char* args);
// "go [depth N] [movetime N] [nodes N] [infinite] [wtime N] ... [ponder]": starts a search.
void uci_go(const char* args);

} // namespace orbelin

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
// With a command line, standard input is not read: the line is run once start-up is done, and
// the engine ends as "quit" would once a search it started has answered (an infinite or ponder
// search at once).
void engine_startup(const char* command = nullptr);
// The program: without arguments the engine on standard input; "bench [<depth>]" the bench at
// that depth (its last line "<N> nodes <X> nps"); any other arguments that start with a command
// one command line as above; anything else a usage line. Answers the exit status.
int engine_main(int argc, char** argv);
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

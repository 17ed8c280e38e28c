#pragma once
// Play at a chosen strength ("UCI_LimitStrength", "UCI_Elo"): the node budget of a level, the
// choice among the best few root moves and the generator behind that choice. The generator is
// seeded and drawn from by the search thread at the root only ("ucinewgame" only asks for a new
// seed); nothing here is touched by a search node.
#include "moves/picker.h"

#include <atomic>
#include <cstdint>
#include <glib.h>

namespace orbelin {

// The root moves a limited search keeps as principal variations to choose from, at a level
// with a temperature.
constexpr int STRENGTH_CANDIDATES = 4;

// What a level allows: the nodes of its search (once its first iteration is done) and how
// readily it plays a move the search found worse than the best. A candidate that scores d
// centipawns below the best is chosen with a weight of exp(-d / temperature) and never when d
// exceeds max_loss; a temperature of 0 always plays the best move.
struct StrengthLevel {
    std::uint64_t nodes;
    int temperature;
    int max_loss;
};

// The level for an Elo in OPTION_ELO_MIN to OPTION_ELO_MAX (values outside are taken as the
// nearest end); the budget and the temperature change smoothly with the Elo.
StrengthLevel strength_level(int elo);

// A fixed seed for the choices (0: a new seed from the system at each new game), so that a test
// can repeat a game. Written while no search runs.
inline std::uint32_t strength_seed = 0;
// Raised by "ucinewgame" (main thread) and at start; the next limited search seeds the generator
// anew before it draws. Relaxed is enough: the search thread starts after the write.
inline std::atomic<bool> strength_game_started{true};
// The generator of the choices: made and seeded by strength_prepare, freed by strength_free.
// Search thread (one at a time) and "quit" after the last search has ended.
inline GRand* strength_rand = nullptr;
// Seeds the generator when a new game has started since the last limited search: from
// strength_seed, or from the system when it is 0. Search thread.
void strength_prepare();
// Frees the generator ("quit", no search running).
void strength_free();

// Index of the move to play among the first count entries of a searched root list (sorted by
// score, best first), drawn with the level's weights from rand. The best move is kept when it
// mates, when count is 1, or when the temperature is 0; an entry never searched (depth 0) is
// never chosen.
int strength_pick(const RootMoveList& list, int count, const StrengthLevel& level, GRand* rand);

// Prints the level in force as an "info string" line when it differs from the one the last
// search announced: playing at an Elo, analysing at full strength while an Elo is set, or back
// at full strength. Nothing is printed while the limit has never been on. Search thread.
void strength_announce(bool limited, bool analysis);

} // namespace orbelin

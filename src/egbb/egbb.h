#pragma once
// Endgame bitbases: the plug-in library loaded at run time and the probe wrapper.
// Loaded and unloaded by the main thread while no search runs; probed by every searching thread.
#include "board/position.h"

#include <array>
#include <atomic>

namespace orbelin {

// Successful probes in the current search; reset by the search driver. Relaxed: informational,
// a lost increment only makes the figure slightly low.
inline std::atomic<int> bbhits{0};

// The library's answer for a position it does not know.
constexpr int EGBB_UNKNOWN = 99999;
// The longest "Bitbases Path" text: the module path "<dir>/egbbso.so" fits 256 bytes.
constexpr int BITBASES_PATH_MAX = 245;

// Piece numbers the library takes, by engine piece code (kings go by their squares only).
// clang-format off
//                                                 -  -  P  p   N  n   B  b   R  r  Q  q  K  k
inline constexpr std::array<int, 14> egbb_piece = {0, 0, 6, 12, 5, 11, 4, 10, 3, 9, 2, 8, 0, 0};
// clang-format on

// (Re)loads the library from option_bitbases_path with option_bitbases_cache: closes the old
// one, opens "<path>/egbbso.so" and calls its load entry with the table folders (the path, then
// those of option_syzygy_path, separated by ':'), the cache in bytes and load mode 2. For the
// default path that the working directory lacks, the plug-in and tables of the build tree or
// the installed engine are taken instead. Prints "info string endgame bitbases loaded (...)"
// naming the plug-in (and the table folders when they are not its own) on success, else an
// "info string" line with the loader's error and the module path, and leaves no bitbases. Main
// thread only, while no search runs.
void bitbases_load();
// Closes the library if it is loaded; no bitbases afterwards. Same calling rules.
void bitbases_unload();
// True when the probe entry point is bound.
bool bitbases_available();
// Asks the library about the position (at most five men, bitbases_available()). Answers false
// when the position has an en-passant square or castling rights (the library cannot be told
// them) or the library does not know it; otherwise stores the score (side to move's view, 0 draw)
// in score, counts a hit in bbhits and answers true. No allocation, no lock.
bool bitbase_probe(const Position& pos, int& score);

} // namespace orbelin

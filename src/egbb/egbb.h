#pragma once
// Endgame bitbases: the plug-in library loaded at run time and the probe wrapper.
// Loaded and unloaded by the main thread while no search runs; probed by every searching thread.
#include "board/position.h"

#include <atomic>

namespace orbelin {

// Successful probes in the current search; reset by the search driver. Relaxed: informational,
// a lost increment only makes the figure slightly low.
inline std::atomic<int> bbhits{0};

// (Re)loads the library from option_bitbases_path with option_bitbases_cache.
void bitbases_load();
// Closes the library if it is loaded.
void bitbases_unload();
// True when the probe entry point is bound.
bool bitbases_available();
// Asks the library about the position (at most five men, bitbases_available()). Answers false
// when the library does not know it; otherwise stores the score (side to move's view, 0 draw)
// in score, counts a hit and answers true.
bool bitbase_probe(const Position& pos, int& score);

} // namespace orbelin

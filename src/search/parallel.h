#pragma once
// Parallel search: worker threads fed through a work queue and answering on a result queue.
// Only the search thread posts work; the workers run the serial search on their own copies.
#include "board/position.h"

#include <cstdint>
#include <glib.h>

namespace orbelin {

// Starts option_threads workers and their two queues; nothing when the option is 1.
// Main thread, while no search runs.
void workers_start();
// Raises stop_flag, ends the workers and releases the queues. Main thread, no search running.
void workers_stop();
// The principal variation search with the moves after the first handed to the workers; same
// contract as pv_search. Runs on the search thread only.
int parallel_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed);

} // namespace orbelin

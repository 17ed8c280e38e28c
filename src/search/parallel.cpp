// Parallel search. Until the worker pool lands the serial search does all the work.
#include "search/parallel.h"

#include "search/search.h"

namespace orbelin {

void workers_start() {}
void workers_stop() { stop_flag.store(1, std::memory_order_relaxed); }
int parallel_search(Position& pos, int alpha, int beta, int depth, int ply, int null_allowed) {
    return pv_search(pos, alpha, beta, depth, ply, null_allowed);
}

} // namespace orbelin

// The "go" command: limits from the argument text, then a new search.
#include "search/search.h"
#include "uci/uci.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orbelin {

// Reads the number after the first occurrence of the keyword, if any. A negative clock (some
// interfaces send one when the time is overdrawn) counts as 0, not as a huge unsigned value.
static void read_u32(const char* args, const char* keyword, std::uint32_t& field) {
    const char* at  = std::strstr(args, keyword);
    long long value = 0;
    if (at && std::sscanf(at + std::strlen(keyword), " %lld", &value) == 1)
        field = std::uint32_t(std::clamp<long long>(value, 0, 0xFFFFFFFFLL));
}

void uci_go(const char* args) {
    SearchLimits limits{};
    read_u32(args, "depth", limits.depth);
    read_u32(args, "movetime", limits.movetime);
    if (const char* at = std::strstr(args, "nodes")) {
        unsigned long long value = 0;
        if (std::sscanf(at + 5, " %llu", &value) == 1) limits.nodes = value;
    }
    limits.infinite = std::strstr(args, "infinite") != nullptr;
    limits.mate     = std::strstr(args, "mate") != nullptr;
    read_u32(args, "wtime", limits.wtime);
    read_u32(args, "btime", limits.btime);
    read_u32(args, "winc", limits.winc);
    read_u32(args, "binc", limits.binc);
    read_u32(args, "movestogo", limits.movestogo);

    // Any earlier search ends (and its thread is reclaimed) before the new one starts, even a
    // ponder search the interface did not stop.
    search_finish();
    pondering.store(std::strstr(args, "ponder") != nullptr, std::memory_order_relaxed);
    g_timer_start(elapsed_timer);
    start_search(*current_position, limits);
}

} // namespace orbelin

// Play at a chosen strength: the levels, the weighted choice among the best root moves and the
// generator behind it.
#include "search/strength.h"

#include "base/options.h"
#include "base/output.h"
#include "search/search.h"

#include <algorithm>
#include <cmath>

namespace orbelin {

namespace {

// The levels as measured against Stockfish's: the budget (log2 of the nodes) and temperature
// that score about half against its level of the same Elo at 10+0.1, one thread each. Between
// two anchors the budget grows geometrically and the temperature falls linearly with the Elo.
struct Anchor {
    int elo;
    double log2_nodes;
    int temperature;
};
// clang-format off
constexpr Anchor ANCHORS[] = {
    {1350, 12.76, 52}, // about 7,000 nodes
    {1400, 13.13, 49}, // 9,000
    {1700, 15.33, 33}, // 41,000
    {2000, 20.30,  4}, // 1.3 million
    {2100, 22.00,  0}, // 4 million: in a fast game the clock ends the search first
};
// clang-format on
static_assert(ANCHORS[0].elo == OPTION_ELO_MIN);
static_assert(ANCHORS[std::size(ANCHORS) - 1].elo == OPTION_ELO_MAX);

// The lowest root score that announces a mate for the side to move.
constexpr int MATE_FOUND = MATE - 39;

// The level the last search announced: 0 full strength, the Elo while playing at it, the Elo
// negated while analysing with it set. Search thread (one at a time).
int announced = 0;

} // namespace

StrengthLevel strength_level(int elo) {
    elo             = std::clamp(elo, OPTION_ELO_MIN, OPTION_ELO_MAX);
    std::size_t low = 0;
    while (ANCHORS[low + 1].elo < elo)
        low++;
    const Anchor& a         = ANCHORS[low];
    const Anchor& b         = ANCHORS[low + 1];
    const double part       = double(elo - a.elo) / double(b.elo - a.elo);
    const double log2_nodes = a.log2_nodes + part * (b.log2_nodes - a.log2_nodes);
    const int temperature =
        int(std::lround(a.temperature + part * double(b.temperature - a.temperature)));
    return {std::uint64_t(std::exp2(log2_nodes)), temperature, std::min(4 * temperature, 300)};
}

void strength_prepare() {
    if (!strength_game_started.exchange(false, std::memory_order_relaxed) &&
        strength_rand != nullptr)
        return;
    if (strength_rand != nullptr) g_rand_free(strength_rand);
    strength_rand = strength_seed != 0 ? g_rand_new_with_seed(strength_seed) : g_rand_new();
}

void strength_free() {
    if (strength_rand != nullptr) g_rand_free(strength_rand);
    strength_rand = nullptr;
}

int strength_pick(const RootMoveList& list, int count, const StrengthLevel& level, GRand* rand) {
    count          = std::min(count, STRENGTH_CANDIDATES);
    const int best = list.moves[0].score;
    if (count <= 1 || level.temperature <= 0 || best >= MATE_FOUND) return 0;
    double weights[STRENGTH_CANDIDATES];
    double total = 0;
    for (int i = 0; i < count; i++) {
        const RootMove& entry = list.moves[i];
        const int loss        = best - entry.score;
        weights[i]            = entry.depth == 0 || loss > level.max_loss
                                    ? 0
                                    : std::exp(-double(loss) / double(level.temperature));
        total += weights[i];
    }
    double draw = g_rand_double(rand) * total;
    for (int i = 0; i < count; i++) {
        if (draw < weights[i]) return i;
        draw -= weights[i];
    }
    return 0;
}

void strength_announce(bool limited, bool analysis) {
    const int state = limited ? (analysis ? -option_elo : option_elo) : 0;
    if (state == announced) return;
    announced = state;
    if (!output_enabled) return;
    if (state == 0)
        output_printf("info string playing at full strength\n");
    else if (analysis)
        output_printf("info string analysis at full strength (UCI_Elo %d is for play)\n",
                      option_elo);
    else
        output_printf("info string playing at UCI_Elo %d\n", option_elo);
}

} // namespace orbelin

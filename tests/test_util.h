#pragma once
// Helpers shared by the tests: positions from FEN and square names.
#include "board/fen.h"
#include "board/position.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace orbelin {

// The lines of the Chess960 perft reference: the start positions, then positions of play.
constexpr std::size_t CHESS960_REFERENCE_STARTS = 960;
constexpr std::size_t CHESS960_REFERENCE_GAMES  = 320;

struct PositionDeleter {
    void operator()(Position* pos) const { position_free(pos); }
};
using PositionPtr = std::unique_ptr<Position, PositionDeleter>;

// A heap position set from the FEN (castling by the Chess960 rules with chess960); the test
// fails when the FEN is refused.
inline PositionPtr make_position(const char* fen, bool chess960 = false) {
    PositionPtr pos(position_new());
    EXPECT_TRUE(position_set_fen(*pos, fen, chess960)) << fen;
    return pos;
}

// One line of the Chess960 perft reference: the FEN and its leaf counts, counts[d - 1] for
// depth d.
struct PerftReference {
    std::string fen;
    std::vector<std::uint64_t> counts;
};

// The Chess960 perft reference of tests/data/chess960_perft.epd: the 960 start positions in
// their standard order, then positions of random play that hold castling rights.
inline std::vector<PerftReference> chess960_reference() {
    std::vector<PerftReference> lines;
    std::ifstream file(ORBELIN_SOURCE_DIR "/tests/data/chess960_perft.epd");
    for (std::string line; std::getline(file, line);) {
        std::size_t at = line.find(';');
        if (at == std::string::npos) continue;
        PerftReference ref{line.substr(0, at), {}};
        for (; at != std::string::npos; at = line.find(';', at + 1))
            ref.counts.push_back(std::stoull(line.substr(line.find(' ', at) + 1)));
        lines.push_back(ref);
    }
    EXPECT_EQ(lines.size(), CHESS960_REFERENCE_STARTS + CHESS960_REFERENCE_GAMES);
    return lines;
}

// Square from its name, "e4" -> 28.
constexpr int sq(const char* name) { return 8 * (name[1] - '1') + (name[0] - 'a'); }

} // namespace orbelin

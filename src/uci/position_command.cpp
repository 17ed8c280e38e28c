// The "position" command: start position or FEN, then the game's moves.
#include "base/options.h"
#include "board/fen.h"
#include "moves/picker.h"
#include "uci/uci.h"

#include <cstring>

namespace orbelin {

// The first whitespace-delimited word at or after p: its start, with its length in length.
static const char* next_word(const char* p, std::size_t& length) {
    while (g_ascii_isspace(*p))
        p++;
    const char* end = p;
    while (*end != '\0' && !g_ascii_isspace(*end))
        end++;
    length = std::size_t(end - p);
    return p;
}

static bool word_is(const char* word, std::size_t length, const char* name) {
    return std::strlen(name) == length && g_ascii_strncasecmp(word, name, length) == 0;
}

void uci_position(const char* args) {
    std::size_t length = 0;
    const char* word   = next_word(args, length);
    if (word_is(word, length, "startpos")) {
        std::size_t next_length = 0;
        const char* next        = next_word(word + length, next_length);
        position_set_start(*current_position, option_chess960 != 0);
        if (word_is(next, next_length, "moves"))
            apply_move_text(*current_position, next + next_length);
    } else if (word_is(word, length, "fen")) {
        const char* fen = word + length;
        // A refused FEN keeps the current position, and its moves are not played.
        if (!position_set_fen(*current_position, fen, option_chess960 != 0)) return;
        if (const char* moves = std::strstr(fen, "moves"))
            apply_move_text(*current_position, moves + 5);
    }
}

} // namespace orbelin

// The bubble-pass picker shared by both walks, legal_moves and apply_move_text.
#include "moves/picker.h"

#include "base/output.h"
#include "base/table_slot.h"
#include "board/fen.h"
#include "board/keys.h"
#include "moves/generate.h"
#include "moves/make.h"

#include <cstdio>
#include <cstring>
#include <glib.h>

namespace orbelin {

// One bubble pass (from the end down to the cursor) brings the largest remaining key to the
// cursor; entries below `sorted` are known to be in order and need no pass.
static void bubble(MoveList& list) {
    list.sorted = list.count;
    for (std::uint32_t i = list.count - 1; i > list.cursor; i--)
        if (list.keys[i - 1] < list.keys[i]) {
            std::swap(list.keys[i - 1], list.keys[i]);
            std::swap(list.moves[i - 1], list.moves[i]);
            list.sorted = i;
        }
}

// The key of the position after a plain move or capture (the key it will have unless the move
// also changes castling rights or sets an en-passant square); false for the other moves. The
// caller prefetches with it: a function that only prefetched would be dropped by the optimiser,
// which counts a prefetch as no effect at all.
static bool child_key(const Position& pos, Move m, std::uint64_t& key) {
    const int t = move_type(m);
    if (t != MOVE_QUIET && t != MOVE_CAPTURE) return false;
    const int f = move_from(m), s = move_to(m), p = pos.board[f], v = pos.board[s];
    key = pos.key ^ zobrist_side ^ zobrist_piece[p][f] ^ zobrist_piece[p][s];
    if (v != EMPTY) key ^= zobrist_piece[v][s];
    if (pos.ep_square != 0) key ^= zobrist_ep[pos.ep_square & 7];
    return true;
}

// Hands out the next legal move of the current list, made, or 0 when the list is exhausted.
// With Lead (the tree search's nodes, which probe the table), the move after it is brought to
// the cursor now rather than at the next call, the same pass at an earlier time, so that its
// child's table slot loads while the move handed out now is searched: a slot is rarely in
// cache, and the child probes it first thing.
template <bool Lead> static Move pick(Position& pos, MoveList& list) {
    while (list.cursor < list.count) {
        if (list.cursor >= list.sorted) bubble(list);
        Move m = list.moves[list.cursor++];
        if (Lead && list.cursor < list.count && tt_table != nullptr) {
            if (list.cursor >= list.sorted) bubble(list);
            std::uint64_t key;
            if (child_key(pos, list.moves[list.cursor], key)) __builtin_prefetch(tt_slot(key));
        }
        if (make_move(pos, m)) return m;
    }
    return 0;
}

Move next_capture(Position& pos, MoveList& list) {
    if (list.stage == 0) {
        gen_captures(pos, list);
        list.stage = 2;
    }
    return pick<false>(pos, list);
}

Move next_move(Position& pos, MoveList& list) {
    if (list.stage == 0) {
        gen_captures(pos, list);
        list.stage = 2;
    }
    // One call of the picker, so that it is compiled into this function.
    for (;;) {
        Move m = pick<true>(pos, list);
        if (m != 0 || list.stage == 1) return m;
        gen_quiets(pos, list);
        list.stage = 1;
    }
}

void legal_moves(Position& pos, RootMoveList& list) {
    MoveList walk;
    walk.stage      = 0;
    std::uint32_t n = 0;
    while (Move m = next_move(pos, walk)) {
        list.moves[n]      = RootMove{};
        list.moves[n].move = m;
        n++;
        unmake_move(pos);
    }
    list.count = n;
}

Move find_move_text(const RootMoveList& list, const char* word, std::size_t length) {
    for (std::uint32_t i = 0; i < list.count; i++) {
        char move_text[6];
        move_to_text(list.moves[i].move, move_text);
        if (std::strlen(move_text) == length && g_ascii_strncasecmp(word, move_text, length) == 0)
            return list.moves[i].move;
    }
    // A Chess960 castling, written as the king taking its rook, is also read as the king's
    // two-square move when the king starts on the e-file (e1g1, e8c8), as clients that know only
    // standard notation write it: no other move has that text then.
    for (std::uint32_t i = 0; i < list.count && length == 4; i++) {
        const Move m = list.moves[i].move;
        if (move_type(m) != MOVE_CASTLE || file_of(move_from(m)) != 4) continue;
        char move_text[6];
        square_to_text(move_from(m), move_text);
        square_to_text(castle_king_target(move_from(m), move_to(m)), move_text + 2);
        if (g_ascii_strncasecmp(word, move_text, 4) == 0) return m;
    }
    return 0;
}

void rootlist_print(const RootMoveList& list) {
    GString* text = g_string_new(nullptr);
    for (std::uint32_t i = 0; i < list.count; i++)
        move_text_append(text, list.moves[i].move);
    g_string_append_c(text, '\n');
    output_text(text->str, text->len);
    g_string_free(text, TRUE);
}

// Keeps room on the history stack for a search after the game: when the game has used most of
// it, the entries older than the last irreversible move (which nothing reads any more) are
// dropped. Answers false when even that leaves no room.
static bool make_room(Position& pos) {
    if (pos.ply < HISTORY_SIZE - MAX_PLY) return true;
    int keep = pos.static_moves;
    if (keep >= HISTORY_SIZE - MAX_PLY) return false;
    std::memmove(pos.history, pos.history + (pos.ply - keep),
                 sizeof(HistoryEntry) * std::size_t(keep));
    pos.ply = keep;
    return true;
}

int apply_move_text(Position& pos, const char* text) {
    int played         = 0;
    RootMoveList* list = g_new(RootMoveList, 1);
    for (const char* p = text;;) {
        while (*p == ' ' || *p == '\t')
            p++;
        const char* end = p;
        while (*end != '\0' && !g_ascii_isspace(*end))
            end++;
        std::size_t length = std::size_t(end - p);
        if (length == 0) break; // end of the text or of the line
        legal_moves(pos, *list);
        Move found = find_move_text(*list, p, length);
        if (found == 0) {
            position_print(pos);
            g_log(nullptr, G_LOG_LEVEL_WARNING, "Can not make move (%.*s)!\n", int(length), p);
            break;
        }
        if (!make_room(pos) || !make_move(pos, found)) {
            position_print(pos);
            g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong move:%.*s\n", int(length), p);
            break;
        }
        played++;
        p = end;
    }
    g_free(list);
    return played;
}

} // namespace orbelin

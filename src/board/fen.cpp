// FEN reading, text forms of squares and moves, the board dump and the consistency check.
#include "board/fen.h"

#include "base/output.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/tables.h"

#include <cstdio>
#include <cstring>
#include <glib.h>

namespace orbelin {

void square_to_text(int square, char* buffer) {
    buffer[0] = char('a' + file_of(square));
    buffer[1] = char('1' + rank_of(square));
    buffer[2] = '\0';
}

int text_to_square(const char* text) {
    if (text[0] < 'a' || text[0] > 'h') {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong char (%c)!\n", text[0]);
        return -1;
    }
    if (text[1] < '1' || text[1] > '8') {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong char (%c)!\n", text[1]);
        return -1;
    }
    return 8 * (text[1] - '1') + (text[0] - 'a');
}

int letter_to_piece(char letter) {
    const char* found = letter > 'A' ? std::strchr(PIECE_LETTERS + 2, letter) : nullptr;
    if (found == nullptr) {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong char (%c)!\n", letter);
        return -1;
    }
    return int(found - PIECE_LETTERS);
}

void move_to_text(Move move, char* buffer) {
    int type = move_type(move);
    if (type == MOVE_NULL) {
        std::strcpy(buffer, "null");
        return;
    }
    square_to_text(move_from(move), buffer);
    square_to_text(move_to(move), buffer + 2);
    char suffix = type == MOVE_PROMO_KNIGHT   ? 'n'
                  : type == MOVE_PROMO_BISHOP ? 'b'
                  : type == MOVE_PROMO_ROOK   ? 'r'
                  : type == MOVE_PROMO_QUEEN  ? 'q'
                                              : '\0';
    buffer[4]   = suffix;
    buffer[5]   = '\0';
}

void move_print(Move move) {
    char text[8];
    move_to_text(move, text);
    std::strcat(text, " ");
    output_text(text, std::strlen(text));
}

void move_text_append(GString* text, Move move) {
    char move_text[6];
    move_to_text(move, move_text);
    g_string_append(text, move_text);
    g_string_append_c(text, ' ');
}

void movelist_print(const MoveList& list) {
    GString* text = g_string_new(nullptr);
    for (std::uint32_t i = 0; i < list.count; i++)
        move_text_append(text, list.moves[i]);
    g_string_append_c(text, '\n');
    output_text(text->str, text->len);
    g_string_free(text, TRUE);
}

void bitboard_print(Bitboard b) {
    char grid[8 * 9 + 2];
    for (int row = 0; row < 8; row++) {
        for (int f = 0; f < 8; f++)
            grid[9 * row + f] = (b >> (8 * (7 - row) + f) & 1) ? '1' : '0';
        grid[9 * row + 8] = '\n';
    }
    grid[8 * 9]     = '\n';
    grid[8 * 9 + 1] = '\0';
    output_text(grid, std::strlen(grid));
}

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
static const char* skip_blanks(const char* p) {
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}
static const char* skip_word(const char* p) {
    while (*p != '\0' && !is_blank(*p))
        p++;
    return p;
}

static bool reject_fen(const char* why) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "Illegal position (%s)!\n", why);
    return false;
}

// Reads the piece placement onto a cleared position; answers false (reported) when it cannot.
static bool read_placement(Position& pos, const char*& p) {
    int row = 7, file = 0;
    for (; *p != '\0' && !is_blank(*p); p++) {
        char c = *p;
        if (c >= '0' && c <= '9') {
            file += c - '0';
            if (file > 8) return reject_fen("placement runs past a rank");
        } else if (c == '/') {
            if (row == 0) return reject_fen("more than eight ranks");
            row--;
            file = 0;
        } else {
            int piece = letter_to_piece(c);
            if (piece < 0) return false;
            if (file >= 8) return reject_fen("placement runs past a rank");
            position_put_piece(pos, piece, 8 * row + file);
            file++;
        }
    }
    if (row != 0) return reject_fen("fewer than eight ranks");
    return true;
}

// Material that promotions can explain: at most 16 men and 8 pawns a side, and no more extra
// pieces than missing pawns. Move lists rely on it.
static bool material_possible(const Position& pos, int colour) {
    const Bitboard* bb = pos.bitboards;
    int pawns          = popcount(bb[WHITE_PAWN + colour]);
    int knights        = popcount(bb[WHITE_KNIGHT + colour]);
    int bishops        = popcount(bb[WHITE_BISHOP + colour]);
    int rooks          = popcount(bb[WHITE_ROOK + colour]);
    int queens         = popcount(bb[WHITE_QUEEN + colour]);
    int extra          = (knights > 2 ? knights - 2 : 0) + (bishops > 2 ? bishops - 2 : 0) +
                (rooks > 2 ? rooks - 2 : 0) + (queens > 1 ? queens - 1 : 0);
    return popcount(bb[colour]) <= 16 && pawns <= 8 && extra <= 8 - pawns;
}

// The en-passant square a double push of the side not to move could have left.
static bool ep_square_possible(const Position& pos, int ep) {
    if (pos.side == WHITE)
        return rank_of(ep) == 5 && pos.board[ep - 8] == BLACK_PAWN && pos.board[ep] == EMPTY &&
               pos.board[ep + 8] == EMPTY;
    return rank_of(ep) == 2 && pos.board[ep + 8] == WHITE_PAWN && pos.board[ep] == EMPTY &&
           pos.board[ep - 8] == EMPTY;
}

// Writes the castling rights at out and answers the end: KQkq in standard chess, the castling
// rooks' files in Chess960 (Shredder-FEN, king side first: HAha), '-' for none. No terminator.
static char* castling_to_text(const Position& pos, char* out) {
    if (pos.castling == 0) {
        *out++ = '-';
        return out;
    }
    for (int i = 0; i < 4; i++) {
        if (!(pos.castling >> i & 1)) continue;
        const char file = char(file_of(move_to(pos.castle_move[i])));
        *out++          = pos.chess960 ? char((i < 2 ? 'A' : 'a') + file) : "KQkq"[i];
    }
    return out;
}

// Chess960 castling field, from `field` up to the next blank: Shredder-FEN file letters (HAha)
// or X-FEN's KQkq, which name the outermost rook on that wing, in any mix; '-' stands for none.
// Each right needs its king on its first rank and its rook on that rank on the named wing, and
// a wing has one castling rook. Sets the rights and their geometry; answers false (reported)
// when the field cannot stand.
static bool read_castling_960(Position& pos, const char* field) {
    for (const char* p = field; *p != '\0' && !is_blank(*p); p++) {
        const char c = *p;
        if (c == '-') continue;
        const bool white = c >= 'A' && c <= 'Z';
        const char upper = white ? c : char(c - 'a' + 'A');
        if (upper != 'K' && upper != 'Q' && (upper < 'A' || upper > 'H'))
            return reject_fen("castling field");
        const int colour = white ? WHITE : BLACK, first = colour == WHITE ? 0 : 56;
        const int king = lsb(pos.bitboards[WHITE_KING + colour]), rook = WHITE_ROOK + colour;
        if ((king & 56) != first) return reject_fen("castling right without its king");
        int rook_file = -1;
        if (upper == 'K') {
            for (int f = 7; f > file_of(king) && rook_file < 0; f--)
                if (pos.board[first + f] == rook) rook_file = f;
        } else if (upper == 'Q') {
            for (int f = 0; f < file_of(king) && rook_file < 0; f++)
                if (pos.board[first + f] == rook) rook_file = f;
        } else if (pos.board[first + (upper - 'A')] == rook) {
            rook_file = upper - 'A';
        }
        if (rook_file < 0) return reject_fen("castling right without its rook");
        const int right       = 2 * colour + (rook_file > file_of(king) ? 0 : 1);
        const int rook_square = first + rook_file;
        if (pos.castling >> right & 1) {
            if (move_to(pos.castle_move[right]) != rook_square)
                return reject_fen("two castling rooks on one wing");
            continue;
        }
        pos.castling |= 1 << right;
        position_set_castle_rook(pos, right, king, rook_square);
    }
    return true;
}

bool position_set_fen(Position& pos, const char* text, bool chess960) {
    // Castling right i: its FEN letter and the home squares of its king and rook.
    static constexpr char CASTLE_LETTERS[] = "KQkq";
    static constexpr struct {
        int king_square, king, rook_square, rook;
    } CASTLE_HOMES[4] = {{4, WHITE_KING, 7, WHITE_ROOK},
                         {4, WHITE_KING, 0, WHITE_ROOK},
                         {60, BLACK_KING, 63, BLACK_ROOK},
                         {60, BLACK_KING, 56, BLACK_ROOK}};
    // The new position is built aside so that a rejected FEN leaves the current one as it was.
    Position* next = g_new(Position, 1);
    position_clear(*next);
    next->chess960 = chess960;
    const char* p  = skip_blanks(text);
    bool ok        = read_placement(*next, p);

    p = skip_blanks(p);
    if (*p == 'b') next->side = BLACK;
    p                         = skip_blanks(skip_word(p));
    const char* castling_text = p;
    for (; *p != '\0' && !is_blank(*p); p++)
        for (int i = 0; i < 4 && !chess960; i++)
            if (*p == CASTLE_LETTERS[i]) next->castling |= 1 << i;
    p      = skip_blanks(p);
    int ep = 0;
    if (ok && *p != '\0' && *p != '-' && !is_blank(*p)) {
        ep = text_to_square(p);
        ok = ep >= 0;
    }

    const Bitboard* bb = next->bitboards;
    if (!ok) {
    } else if (popcount(bb[WHITE_KING]) != 1 || popcount(bb[BLACK_KING]) != 1) {
        ok = reject_fen("each side needs exactly one king");
    } else if ((bb[WHITE_PAWN] | bb[BLACK_PAWN]) & (RANK_1 | RANK_8)) {
        ok = reject_fen("pawn on the first or last rank");
    } else if (!material_possible(*next, WHITE) || !material_possible(*next, BLACK)) {
        ok = reject_fen("more pieces than a game can have");
    } else if (square_attacked(*next, lsb(bb[WHITE_KING + (next->side ^ 1)]), next->side)) {
        ok = reject_fen("the side not to move is in check");
    } else if (chess960) {
        ok = read_castling_960(*next, castling_text);
    } else {
        for (int i = 0; i < 4; i++) {
            position_set_castle_rook(*next, i, CASTLE_HOMES[i].king_square,
                                     CASTLE_HOMES[i].rook_square);
            if (next->board[CASTLE_HOMES[i].king_square] != CASTLE_HOMES[i].king ||
                next->board[CASTLE_HOMES[i].rook_square] != CASTLE_HOMES[i].rook)
                next->castling &= ~(1 << i);
        }
    }
    if (ok) {
        if (ep > 0 && ep_square_possible(*next, ep)) next->ep_square = ep;
        if (next->side == BLACK) next->key ^= zobrist_side;
        next->key ^= zobrist_castle_set[next->castling];
        if (next->ep_square != 0) next->key ^= zobrist_ep[next->ep_square & 7];
        next->in_check = in_check_test(*next);
        pos            = *next;
    }
    g_free(next);
    return ok;
}

void position_to_fen(const Position& pos, char* buffer) {
    char* out = buffer;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            const int piece = pos.board[8 * rank + file];
            if (piece == EMPTY) {
                empty++;
                continue;
            }
            if (empty > 0) *out++ = char('0' + empty);
            empty  = 0;
            *out++ = PIECE_LETTERS[piece];
        }
        if (empty > 0) *out++ = char('0' + empty);
        if (rank > 0) *out++ = '/';
    }
    *out++ = ' ';
    *out++ = pos.side == WHITE ? 'w' : 'b';
    *out++ = ' ';
    out    = castling_to_text(pos, out);
    *out++ = ' ';
    if (pos.ep_square != 0) {
        square_to_text(pos.ep_square, out);
        out += 2;
    } else {
        *out++ = '-';
    }
    std::sprintf(out, " %d %d", pos.static_moves, 1 + pos.ply / 2);
}

void position_print(const Position& pos) {
    char rows[] = "# # # # \n # # # #\n# # # # \n # # # #\n"
                  "# # # # \n # # # #\n# # # # \n # # # #";
    for (int s = 0; s < 64; s++)
        if (pos.board[s] > 1) rows[9 * (7 - rank_of(s)) + file_of(s)] = PIECE_LETTERS[pos.board[s]];
    // The whole dump is one text, written at once: a search thread's "bestmove" must not land
    // inside it.
    GString* text = g_string_new(nullptr);
    g_string_append_printf(text, "%s\n\n", rows);
    g_string_append(text, pos.side == WHITE ? "Player: White\n" : "Player: Black\n");
    g_string_append_printf(text, "Ply:%d\n", pos.ply);
    g_string_append_printf(text, "En passant:%d\n", pos.ep_square);
    g_string_append_printf(text, "Capture:%c\n", PIECE_LETTERS[pos.captured]);
    if (pos.chess960) {
        char fen[FEN_SIZE];
        position_to_fen(pos, fen);
        const char* rights = std::strchr(std::strchr(fen, ' ') + 1, ' ') + 1;
        g_string_append_printf(text, "Castling:%.*s\n", int(std::strcspn(rights, " ")), rights);
        g_string_append_printf(text, "FEN:%s\n", fen);
    } else {
        g_string_append_printf(text, "Castling:%d\n", pos.castling);
    }
    g_string_append_printf(text, "Check:%d\n", pos.in_check);
    g_string_append_printf(text, "Static moves:%d\n", pos.static_moves);
    g_string_append_printf(text, "Repeat:%d\n", repetition_count(pos));
    g_string_append_printf(text, "Material:%d\n", pos.material[WHITE] - pos.material[BLACK]);
    g_string_append_printf(text, "Phase:%d\n", pos.phase);
    g_string_append_printf(text, "PVT(opening/endgame):%d/%d\n", pos.pst_opening, pos.pst_endgame);
    g_string_append_printf(text, "Key:%llu\n", static_cast<unsigned long long>(pos.key));
    g_string_append(text, "History: ");
    for (int i = 0; i < pos.ply; i++)
        move_text_append(text, pos.history[i].move);
    g_string_append_c(text, '\n');
    output_text(text->str, text->len);
    g_string_free(text, TRUE);
}

// Each failed test prints the dump first, then ends the process with its message.
#define VERIFY_FAIL(...)                                                                           \
    do {                                                                                           \
        position_print(pos);                                                                       \
        g_log(nullptr, G_LOG_LEVEL_ERROR, __VA_ARGS__); /* message text kept as is */              \
    } while (0)

void position_verify(const Position& pos) {
    const Bitboard* bb = pos.bitboards;
    int sum            = 0;
    for (int piece = WHITE_PAWN; piece <= BLACK_KING; piece++)
        sum += (piece & 1 ? -1 : 1) * popcount(bb[piece]) * piece_value[piece];
    if (sum != pos.material[WHITE] - pos.material[BLACK])
        VERIFY_FAIL("1. Material value is wrong (%d) !!!\n", sum);

    for (int s = 0; s < 64; s++) {
        int p             = pos.board[s];
        Bitboard b        = bit(s);
        Bitboard l90      = bit(l90_map[s]);
        Bitboard l45      = bit(l45_map[s]);
        Bitboard r45      = bit(r45_map[s]);
        const char* names = PIECE_LETTERS;
        if (p != EMPTY) {
            int colour = p & 1;
            if (!(bb[colour] & b))
                VERIFY_FAIL("6. Bitboard is wrong (piece=%c,square=%d) !\n", names[colour], s);
            if (bb[colour ^ 1] & b)
                VERIFY_FAIL("7. Bitboard is wrong (piece=%c,square=%d) !\n", names[colour], s);
            if (!(bb[p] & b))
                VERIFY_FAIL("8. Bitboard is wrong (piece=%c,square=%d) !\n", names[p], s);
            if (!(bb[L90] & l90))
                VERIFY_FAIL("9. Rotated bitboard L90 is wrong (piece=%c,square=%d) !\n", names[p],
                            s);
            if (!(bb[L45] & l45))
                VERIFY_FAIL("10. Rotated bitboard L45 is wrong (piece=%c,square=%d) !\n", names[p],
                            s);
            if (!(bb[R45] & r45))
                VERIFY_FAIL("11. Rotated bitboard R45 is wrong (piece=%c,square=%d) !\n", names[p],
                            s);
            for (int slot = WHITE_PAWN; slot <= BLACK_KING; slot++)
                if (slot != p && (bb[slot] & b))
                    VERIFY_FAIL("12. Bitboard is wrong (piece=%c,square=%d) !\n", names[slot], s);
        } else {
            for (int slot = 0; slot <= BLACK_KING; slot++) {
                if (bb[slot] & b)
                    VERIFY_FAIL("2. Bitboard is wrong (piece=%c,square=%d) !\n", names[slot], s);
                if (bb[L90] & l90)
                    VERIFY_FAIL("3. Rotated bitboard L90 is wrong (piece=%c,square=%d) !\n",
                                names[slot], s);
                if (bb[L45] & l45)
                    VERIFY_FAIL("4. Rotated bitboard L45 is wrong (piece=%c,square=%d) !\n",
                                names[slot], s);
                if (bb[R45] & r45)
                    VERIFY_FAIL("5. Rotated bitboard R45 is wrong (piece=%c,square=%d) !\n",
                                names[slot], s);
            }
        }
    }
    if (bb[WHITE_KING] == 0) VERIFY_FAIL("13. Bitboard is wrong (without white king) !\n");
    if (bb[BLACK_KING] == 0) VERIFY_FAIL("14. Bitboard is wrong (without black king) !\n");
}

int move_gain(const Position& pos, Move move) {
    switch (move_type(move)) {
    case MOVE_QUIET:
    case MOVE_CASTLE:
        return 0;
    case MOVE_CAPTURE:
        return piece_value[pos.board[move_to(move)]];
    case MOVE_EN_PASSANT:
        return 90;
    case MOVE_PROMO_KNIGHT:
        return 210;
    case MOVE_PROMO_BISHOP:
        return 235;
    case MOVE_PROMO_ROOK:
        return 410;
    case MOVE_PROMO_QUEEN:
        return 885;
    default:
        g_log(nullptr, G_LOG_LEVEL_ERROR,
              "Wrong move type (move material)!\n"); // message text kept as is
        return 0;
    }
}

} // namespace orbelin

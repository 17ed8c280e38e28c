#pragma once
// The engine's settings: the variables the UCI options point at, read by every layer. Written by
// the main thread ("setoption", start-up) only while no search runs; read by the search and
// worker threads, which are started after the write.
namespace orbelin {

inline int option_ponder   = 0;  // print a ponder move with bestmove
inline int option_multipv  = 1;  // principal variations followed (the search may lower it)
inline int option_threads  = 1;  // 1 searches serially; more starts worker threads
inline int option_hash     = 64; // transposition table, MB
inline int option_own_book = 1;  // answer from the opening book
// The defaults of "Book File" and "Bitbases Path", relative to the working directory. Where the
// working directory lacks them, the data is looked for where the engine was built or installed,
// unless "setoption" gave the path (then it is used as given).
inline constexpr char BOOK_FILE_DEFAULT[]     = "./performance.bin";
inline constexpr char BITBASES_PATH_DEFAULT[] = "./egbb/";
inline char option_book_file[256]             = "./performance.bin";
inline char option_bitbases_path[256]         = "./egbb/";
inline int option_book_file_given             = 0;  // set by "setoption name Book File"
inline int option_bitbases_path_given         = 0;  // set by "setoption name Bitbases Path"
inline int option_bitbases_cache              = 16; // MB
// Folders of Syzygy tables besides "Bitbases Path", separated by ':'; "<empty>" for none.
inline char option_syzygy_path[1024] = "<empty>";
inline int option_move_overhead      = 0; // ms taken off the clock before it is shared out
// Play at a chosen strength: with option_limit_strength on, the search plays at the level of
// option_elo, on the scale of Stockfish's levels (see search/strength.h).
constexpr int OPTION_ELO_MIN     = 1350;
constexpr int OPTION_ELO_MAX     = 2100;
inline int option_limit_strength = 0;
inline int option_elo            = OPTION_ELO_MAX;
// Declared because GUIs send them; nothing reads them yet.
inline int option_analyse_mode   = 0;
inline char option_opponent[256] = "<empty>";
// Castling by the Chess960 rules, read when "position" sets a position up: the position carries
// the mode from then on, so no move code reads this.
inline int option_chess960 = 0;

} // namespace orbelin

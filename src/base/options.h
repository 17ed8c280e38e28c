#pragma once
// The engine's settings: the variables the UCI options point at, read by every layer. Written by
// the main thread ("setoption", start-up) only while no search runs; read by the search and
// worker threads, which are started after the write.
namespace orbelin {

inline int option_ponder          = 0;  // print a ponder move with bestmove
inline int option_multipv         = 1;  // principal variations followed (the search may lower it)
inline int option_threads         = 1;  // 1 searches serially; more starts worker threads
inline int option_hash            = 64; // transposition table, MB
inline int option_own_book        = 1;  // answer from the opening book
inline char option_book_file[256] = "./performance.bin";
inline char option_bitbases_path[256] = "./egbb/";
inline int option_bitbases_cache      = 16; // MB
// Castling by the Chess960 rules, read when "position" sets a position up: the position carries
// the mode from then on, so no move code reads this.
inline int option_chess960 = 0;

} // namespace orbelin

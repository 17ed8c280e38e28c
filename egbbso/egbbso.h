#pragma once
// Inside the bitbase plug-in: the position a probe describes, the folder of tables that passed
// their checks, and the two back ends (Gaviota distance to mate, Syzygy win/draw/loss).
// Opening and closing run while nothing probes; the probes run on several threads at once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace egbbso {

constexpr int EGBB_UNKNOWN = 99999;

// Men by kind in the library's numbering without colour: 1 king, 2 queen, 3 rook, 4 bishop,
// 5 knight, 6 pawn.
constexpr int MAN_KING = 1, MAN_QUEEN = 2, MAN_ROOK = 3, MAN_BISHOP = 4, MAN_KNIGHT = 5,
              MAN_PAWN = 6;

// A position as probe_egbb_5men gives it, checked: every square on the board and used once, no
// pawn on the first or last rank, both kings present. Men 0 and 1 are the white and black king.
struct ProbePosition {
    int side;  // 0 White, 1 Black to move
    int count; // men, kings included: 2 to 5
    int kind[5];
    int colour[5]; // 0 White, 1 Black
    int square[5]; // a1 = 0, h8 = 63
    std::uint64_t occupied;
};

// True when a man of colour by attacks the square (pawns by their captures).
bool position_attacks(const ProbePosition& pos, int by, int square);
// Men of one colour by kind (queen, rook, bishop, knight, pawn counts, two bits each; both
// colours give a 20-bit key). Swapping the colours gives the mirrored ending's key.
std::uint32_t position_material(const ProbePosition& pos, bool swap_colours);

// The tables of the load's folders that passed the checks, reached through a private folder of
// links so that the libraries never see the files that were left out. The folder is named
// after the process (orbelin-egbb-<pid>-XXXXXX in $TMPDIR or /tmp) and removed as soon as the
// libraries hold every table open; one that a killed process left behind is swept at the next
// load of any process.
struct TableFolder {
    std::string link_dir;             // absolute; empty when nothing could be linked
    std::vector<std::string> gaviota; // file names (kqkr.gtb.cp4) in link_dir
    std::vector<std::string> syzygy;  // file names (KQvKR.rtbw) in link_dir
};

// Lists the Gaviota (*.gtb.cp4) and Syzygy WDL (*.rtbw) files of the folders in path, separated
// by ':': Gaviota files from the first folder only, Syzygy files from all of them, a later
// folder's file taking the place of one of the same name. Leaves out every file that is not a
// regular readable file whose structure fits its size (saying why on standard error) and links
// the rest into a new private folder. Never blocks on a FIFO and reads no more than the files'
// headers and block tables.
void table_folder_open(const char* path, TableFolder& folder);
// Removes the links and the private folder once this process holds every listed table open
// (as a descriptor or a mapping); otherwise leaves them for table_folder_close. The lists stay.
void table_folder_release(TableFolder& folder);
// Removes the private folder and its links if they are still there.
void table_folder_close(TableFolder& folder);
// Why the file at path cannot be trusted as that kind of table, or nullptr when it can.
const char* gaviota_file_fault(const char* path);
const char* syzygy_file_fault(const char* path);

// Gaviota: opens the listed files of the folder with a cache of cache_bytes. False when none
// could be opened.
bool gaviota_open(const TableFolder& folder, std::size_t cache_bytes);
void gaviota_close();
// True when a file for the position's ending (either colour leading) was opened.
bool gaviota_covers(const ProbePosition& pos);
// The score by distance to mate (see egbbso.cpp), or EGBB_UNKNOWN. Serialised by a lock.
int gaviota_probe(const ProbePosition& pos);

// Syzygy: opens the listed WDL files of the folder and reads each table's header once, so that
// probes afterwards only read; the tables that do not answer are dropped from the list. Answers
// how many tables answer probes.
int syzygy_open(TableFolder& folder);
// Closes the tables; last when the module is unloaded (Fathom cannot be opened again then).
void syzygy_close(bool last);
// The score by win/draw/loss (see egbbso.cpp), or EGBB_UNKNOWN. Takes no lock.
int syzygy_probe(const ProbePosition& pos);

} // namespace egbbso

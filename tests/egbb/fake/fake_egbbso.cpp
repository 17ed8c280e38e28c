// A stand-in for the bitbase plug-in, built by the tests: it records the arguments of its entry
// points and answers what the test set. FAKE_EGBB_NO_LOAD or FAKE_EGBB_NO_PROBE leaves that entry
// point out, for the loader's handling of a library without it.
#include "fake_egbbso.h"

#include <cstring>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT FakeEgbbRecord* fake_egbb_record();
FAKE_EXPORT int load_egbb_5men(const char* path, int cache_size, int load_mode);
FAKE_EXPORT int probe_egbb_5men(int side, int white_king, int black_king, int piece1, int square1,
                                int piece2, int square2, int piece3, int square3);

static FakeEgbbRecord record;

FakeEgbbRecord* fake_egbb_record() { return &record; }

#ifndef FAKE_EGBB_NO_LOAD
int load_egbb_5men(const char* path, int cache_size, int load_mode) {
    std::strncpy(record.load_path, path, sizeof record.load_path - 1);
    record.load_cache = cache_size;
    record.load_mode  = load_mode;
    record.load_calls++;
    return 1;
}
#endif

#ifndef FAKE_EGBB_NO_PROBE
int probe_egbb_5men(int side, int white_king, int black_king, int piece1, int square1, int piece2,
                    int square2, int piece3, int square3) {
    const int args[9] = {side,   white_king, black_king, piece1, square1,
                         piece2, square2,    piece3,     square3};
    std::memcpy(record.probe_args, args, sizeof args);
    record.probe_calls++;
    return record.probe_answer;
}
#endif

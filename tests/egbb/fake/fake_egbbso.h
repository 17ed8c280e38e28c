#pragma once
// What the stand-in bitbase plug-in records of its calls, and what it answers; the tests reach
// it through the plug-in's exported fake_egbb_record().

struct FakeEgbbRecord {
    char load_path[256]; // the last load call's arguments
    int load_cache;
    int load_mode;
    int load_calls;
    int probe_args[9]; // the last probe call's arguments, in their order
    int probe_calls;
    int probe_answer; // what every probe answers; set by the test
};

using FakeEgbbRecordFn = FakeEgbbRecord* (*)();

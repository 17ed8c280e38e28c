#pragma once
// The commands of orbelin-tool, each in its own file, dispatched by orbelin_tool.cpp.

namespace orbelin {

// orbelin-tool bench [<depth> [<threads> [<hash_mb>]]]: prints one line per position and
// "bench nodes <N> time_ms <T> nps <X>".
int command_bench(int argc, char** argv);

} // namespace orbelin

#pragma once
// Where the engine's default data lies when the working directory does not hold it: beside the
// executable of a build tree, or in the folders of an installed engine, found from the
// executable's own place. Main thread only (start-up and "setoption").
#include <cstddef>

namespace orbelin {

// True when the path names an existing file or folder.
bool path_exists(const char* path);
// Writes "<folder of the running executable>/<relative>" into out, the folder read from
// /proc/self/exe (so whatever folder the engine was started from and however it was named);
// false when that folder is unknown or the path does not fit.
bool beside_executable(const char* relative, char* out, std::size_t size);

} // namespace orbelin

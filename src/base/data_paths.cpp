// The executable's folder and the paths beside it.
#include "base/data_paths.h"

#include <cstring>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbelin {

bool path_exists(const char* path) {
    struct stat info;
    return stat(path, &info) == 0;
}

bool beside_executable(const char* relative, char* out, std::size_t size) {
    char exe[4096];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length <= 0) return false;
    exe[length] = '\0';
    // A running executable that was replaced or removed reads as "<path> (deleted)", whose
    // folder is still the right one.
    gchar* folder = g_path_get_dirname(exe);
    gchar* path   = g_canonicalize_filename(relative, folder); // "build/../x" reads as "x"
    g_free(folder);
    bool fits = std::strlen(path) < size;
    if (fits) g_strlcpy(out, path, size);
    g_free(path);
    return fits;
}

} // namespace orbelin

// The tablebase files of a "Bitbases Path" directory: which ones can be trusted, and the private
// folder of links through which the libraries see only those. Runs while nothing probes.
//
// Neither library checks its files before reading them: Gaviota crashes on an empty or damaged
// file and Fathom on a truncated one, and opening a FIFO blocks forever. So each file is opened
// without blocking, must be a regular file, and its own tables (Gaviota's block offsets,
// Syzygy's per-table headers) must describe exactly, or at most, the bytes the file holds.
#include "egbbso.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace egbbso {

namespace {

bool ends_with(const std::string& text, const char* suffix) {
    std::size_t length = std::strlen(suffix);
    return text.size() > length && text.compare(text.size() - length, length, suffix) == 0;
}

std::uint32_t read_u32(const unsigned char* bytes) {
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

// A file mapped for reading; empty when it is not a regular readable file.
struct MappedFile {
    const unsigned char* bytes = nullptr;
    std::size_t size           = 0;
    const char* fault          = nullptr;
};

// Maps the whole file. A FIFO or device is never opened for reading in a way that blocks.
MappedFile map_file(const char* path) {
    MappedFile file;
    struct stat info;
    if (stat(path, &info) != 0) return file.fault = "cannot be read", file;
    if (!S_ISREG(info.st_mode)) return file.fault = "not a regular file", file;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return file.fault = "cannot be read", file;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return file.fault = "not a regular file", file;
    }
    if (info.st_size == 0) {
        close(fd);
        return file.fault = "empty", file;
    }
    void* data = mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (data == MAP_FAILED) return file.fault = "cannot be read", file;
    file.bytes = static_cast<const unsigned char*>(data);
    file.size  = std::size_t(info.st_size);
    return file;
}

void unmap_file(MappedFile& file) {
    if (file.bytes != nullptr) munmap(const_cast<unsigned char*>(file.bytes), file.size);
    file.bytes = nullptr;
}

// Gaviota's layout: a 40-byte header whose word at byte 32 is where the compressed blocks
// start, then the blocks' offsets (32-bit, ascending), the first being that start and the last
// the end of the file.
const char* gaviota_layout_fault(const unsigned char* bytes, std::size_t size) {
    constexpr std::size_t HEADER = 40;
    if (size < HEADER + 8) return "too short for a Gaviota table";
    std::size_t start = read_u32(bytes + 32);
    if (start < HEADER + 8 || (start - HEADER) % 4 != 0 || start > size) return "corrupt header";
    std::size_t previous = start;
    for (std::size_t at = HEADER; at < start; at += 4) {
        std::size_t offset = read_u32(bytes + at);
        if (at == HEADER ? offset != start : offset < previous) return "corrupt block table";
        previous = offset;
    }
    if (previous != size) return previous > size ? "truncated" : "longer than its block table";
    return nullptr;
}

// The ending of a Syzygy file name such as "KRPvKR": men in all and whether both sides have
// pawns. False for a name that is no ending.
bool syzygy_name(const std::string& name, int& men, bool& has_pawns, bool& both_pawns) {
    std::size_t v = name.find('v');
    if (name.size() < 3 || name[0] != 'K' || v == std::string::npos || v + 1 >= name.size() ||
        name[v + 1] != 'K')
        return false;
    int pawns[2] = {0, 0};
    men          = 0;
    for (std::size_t i = 0; i < name.size(); i++) {
        if (i == v) continue;
        char c          = name[i];
        bool king_place = i == 0 || i == v + 1;
        if (king_place != (c == 'K') || std::strchr("KQRBNP", c) == nullptr) return false;
        if (c == 'P') pawns[i > v]++;
        men++;
    }
    has_pawns  = pawns[0] + pawns[1] > 0;
    both_pawns = pawns[0] > 0 && pawns[1] > 0;
    return men <= 7;
}

// Syzygy WDL layout: magic, a flags byte (men in the high nibble, bit 1 pawns, bit 0 two sides
// stored), the men's order per sub-table (four pawn files, or one), then per sub-table and side
// a Huffman header (or a constant), then the index tables, the block size tables and the
// 64-byte aligned compressed blocks, and at the end 16 bytes of checksum after padding to 64.
// Index tables have a length the file's header does not give, so the check is that everything
// else fits: any truncation cuts into the blocks, which come last.
const char* syzygy_layout_fault(const unsigned char* bytes, std::size_t size, int men,
                                bool has_pawns, bool both_pawns) {
    constexpr std::uint32_t WDL_MAGIC = 0x5d23e871;
    if (size < 64 + 16) return "too short for a Syzygy table";
    if (read_u32(bytes) != WDL_MAGIC) return "not a Syzygy WDL table";
    if (size % 64 != 16) return "truncated";
    int flags = bytes[4];
    if ((flags >> 4) != men || bool(flags & 2) != has_pawns) return "not the ending of its name";
    bool split     = flags & 1;
    int subtables  = has_pawns ? 4 : 1;
    std::size_t at = 5 + std::size_t(subtables) * std::size_t(men + 1 + both_pawns);
    at += at & 1;
    struct Pairs {
        int index_bits, block_size;
        std::size_t blocks, real_blocks;
    };
    std::vector<Pairs> tables;
    std::vector<int> state; // symbol walk: 0 unseen, 1 on the path, 2 done
    for (int table = 0; table < subtables * (split ? 2 : 1); table++) {
        if (at + 2 > size) return "truncated";
        if (bytes[at] & 0x80) { // one value for the whole table
            at += 2;
            continue;
        }
        if (at + 12 > size) return "truncated";
        const unsigned char* d = bytes + at;
        int block_size = d[1], index_bits = d[2];
        std::uint64_t real_blocks = read_u32(d + 4), blocks = real_blocks + d[3];
        int max_length = d[8], min_length = d[9];
        if (block_size < 1 || block_size > 24 || index_bits < 1 || index_bits > 40 ||
            real_blocks == 0 || min_length < 1 || max_length < min_length || max_length > 32)
            return "corrupt header";
        int lengths = max_length - min_length + 1;
        if (at + 12 + 2 * std::size_t(lengths) > size) return "truncated";
        std::size_t symbols = std::size_t(d[10 + 2 * lengths]) | std::size_t(d[11 + 2 * lengths])
                                                                     << 8;
        if (symbols == 0 || symbols > 4095) return "corrupt header";
        const unsigned char* patterns = d + 12 + 2 * lengths;
        at += 12 + 2 * std::size_t(lengths) + 3 * symbols + (symbols & 1);
        if (at > size) return "truncated";
        // Every symbol is a byte value or a pair of other symbols; the pairs must form no loop.
        auto first = [&](std::size_t s) {
            return patterns[3 * s] | (patterns[3 * s + 1] & 15) << 8;
        };
        auto second = [&](std::size_t s) {
            return patterns[3 * s + 2] << 4 | patterns[3 * s + 1] >> 4;
        };
        state.assign(symbols, 0);
        std::vector<std::size_t> path;
        for (std::size_t root = 0; root < symbols; root++) {
            if (state[root] != 0) continue;
            path.push_back(root);
            state[root] = 1;
            while (!path.empty()) {
                std::size_t s    = path.back();
                std::size_t next = symbols;
                if (second(s) != 0xfff) {
                    std::size_t a = std::size_t(first(s)), b = std::size_t(second(s));
                    if (a >= symbols || b >= symbols) return "corrupt symbol table";
                    if (state[a] == 1 || state[b] == 1) return "corrupt symbol table";
                    next = state[a] == 0 ? a : state[b] == 0 ? b : symbols;
                }
                if (next == symbols) {
                    state[s] = 2;
                    path.pop_back();
                } else {
                    state[next] = 1;
                    path.push_back(next);
                }
            }
        }
        tables.push_back({index_bits, block_size, std::size_t(blocks), std::size_t(real_blocks)});
    }
    // The end of the file when the index tables hold this many 6-byte entries.
    std::size_t size_tables = 0;
    for (const Pairs& t : tables)
        size_tables += 2 * t.blocks;
    auto layout_end = [&](std::size_t entries) {
        std::size_t end = at + 6 * entries + size_tables;
        for (const Pairs& t : tables)
            end = ((end + 63) & ~std::size_t(63)) + (t.real_blocks << t.block_size);
        return ((end + 63) & ~std::size_t(63)) + 16;
    };
    if (layout_end(tables.size()) > size) return "truncated";
    // An index table has one entry for each 2^index_bits values of its sub-table, and the values
    // are the sum over the blocks of the block size table's entries plus one. The one count of
    // entries that makes the layout end exactly at the end of the file must also be the count
    // those sums ask for; any other count reads the size tables where they are not.
    std::size_t guess = (size - layout_end(0)) / 6;
    for (std::size_t entries = guess > 16 ? guess - 16 : 0; entries <= guess + 16; entries++) {
        if (entries < tables.size() || layout_end(entries) != size) continue;
        std::size_t sizes = at + 6 * entries, needed = 0;
        for (const Pairs& t : tables) {
            std::uint64_t values = 0;
            for (std::size_t b = 0; b < t.real_blocks; b++)
                values += bytes[sizes + 2 * b] + (std::uint64_t(bytes[sizes + 2 * b + 1]) << 8) + 1;
            sizes += 2 * t.blocks;
            needed += std::size_t((values + (1ull << t.index_bits) - 1) >> t.index_bits);
        }
        if (needed == entries) return nullptr;
    }
    return "truncated or corrupt block tables";
}

// Checks the file with one of the layout checks above.
template <typename Check> const char* file_fault(const char* path, Check check) {
    MappedFile file = map_file(path);
    if (file.fault != nullptr) return file.fault;
    const char* fault = check(file.bytes, file.size);
    unmap_file(file);
    return fault;
}

// A Gaviota file name such as "kqkr.gtb.cp4": a king, the pieces, the other king and its
// pieces, at most five men.
bool gaviota_name(const std::string& name) {
    std::string ending = name.substr(0, name.size() - std::strlen(".gtb.cp4"));
    std::size_t second = ending.find('k', 1);
    if (ending.size() < 2 || ending[0] != 'k' || second == std::string::npos || ending.size() > 5)
        return false;
    for (std::size_t i = 1; i < ending.size(); i++)
        if (i != second && std::strchr("qrbnp", ending[i]) == nullptr) return false;
    return true;
}

} // namespace

const char* gaviota_file_fault(const char* path) { return file_fault(path, gaviota_layout_fault); }

const char* syzygy_file_fault(const char* path) {
    std::string name = std::strrchr(path, '/') != nullptr ? std::strrchr(path, '/') + 1 : path;
    int men          = 0;
    bool has_pawns = false, both_pawns = false;
    if (!ends_with(name, ".rtbw") ||
        !syzygy_name(name.substr(0, name.size() - 5), men, has_pawns, both_pawns))
        return "not a Syzygy table name";
    return file_fault(path, [&](const unsigned char* bytes, std::size_t size) {
        return syzygy_layout_fault(bytes, size, men, has_pawns, both_pawns);
    });
}

namespace {

// The folder that receives the private link folders.
std::string temporary_root() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp ? tmp : "/tmp";
}

// Removes the link folders that processes which no longer run left behind (killed before they
// could remove their own): orbelin-egbb-<pid>-XXXXXX whose process is gone. Only the links in
// them are removed, so a folder that holds anything else stays.
void sweep_abandoned_folders(const std::string& root) {
    DIR* dir = opendir(root.c_str());
    if (dir == nullptr) return;
    const std::string prefix = "orbelin-egbb-";
    std::vector<std::string> abandoned;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        long pid  = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (end == name.c_str() + prefix.size() || *end != '-' || pid <= 0) continue;
        if (kill(pid_t(pid), 0) != 0 && errno == ESRCH) abandoned.push_back(root + "/" + name);
    }
    closedir(dir);
    for (const std::string& folder : abandoned) {
        if (DIR* links = opendir(folder.c_str())) {
            while (dirent* entry = readdir(links)) {
                std::string link = folder + "/" + entry->d_name;
                struct stat info;
                if (lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) unlink(link.c_str());
            }
            closedir(links);
        }
        rmdir(folder.c_str());
    }
}

// The identities (device, inode) of the files this process holds open or mapped.
std::set<std::pair<dev_t, ino_t>> held_files() {
    std::set<std::pair<dev_t, ino_t>> held;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(fds)) {
            struct stat info;
            std::string fd = std::string("/proc/self/fd/") + entry->d_name;
            if (entry->d_name[0] != '.' && stat(fd.c_str(), &info) == 0)
                held.insert({info.st_dev, info.st_ino});
        }
        closedir(fds);
    }
    if (std::FILE* maps = std::fopen("/proc/self/maps", "r")) {
        char line[4096];
        while (std::fgets(line, sizeof line, maps) != nullptr) {
            unsigned major = 0, minor = 0;
            unsigned long long inode = 0;
            if (std::sscanf(line, "%*s %*s %*s %x:%x %llu", &major, &minor, &inode) == 3 &&
                inode != 0)
                held.insert({makedev(major, minor), ino_t(inode)});
        }
        std::fclose(maps);
    }
    return held;
}

// Lists the table files of one folder into files (name to path): Syzygy files always, Gaviota
// files only when asked; a name already listed is replaced.
void list_tables(const std::string& path, bool with_gaviota,
                 std::map<std::string, std::string>& files) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if ((with_gaviota && ends_with(name, ".gtb.cp4")) || ends_with(name, ".rtbw"))
            names.push_back(name);
    }
    closedir(dir);
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return;
    std::string source = real;
    std::free(real);
    for (const std::string& name : names)
        files[name] = source + "/" + name;
}

} // namespace

void table_folder_open(const char* path, TableFolder& folder) {
    table_folder_close(folder);
    std::map<std::string, std::string> files; // sorted by name
    bool first = true;
    for (const char *at = path, *end = path;; at = end + 1) {
        end = std::strchr(at, ':');
        if (end == nullptr) end = at + std::strlen(at);
        if (end > at) list_tables(std::string(at, end), first, files);
        first = false;
        if (*end == '\0') break;
    }

    const std::string root = temporary_root();
    sweep_abandoned_folders(root);
    for (const auto& [name, file] : files) {
        bool gaviota      = ends_with(name, ".gtb.cp4");
        const char* fault = gaviota ? (gaviota_name(name) ? gaviota_file_fault(file.c_str())
                                                          : "not a Gaviota table name")
                                    : syzygy_file_fault(file.c_str());
        if (fault != nullptr) {
            std::fprintf(stderr, "egbbso: %s left out: %s\n", file.c_str(), fault);
            continue;
        }
        if (folder.link_dir.empty()) {
            std::string pattern =
                root + "/orbelin-egbb-" + std::to_string(long(getpid())) + "-XXXXXX";
            if (mkdtemp(pattern.data()) == nullptr) {
                std::fprintf(stderr, "egbbso: no folder for the table links (%s): %s\n",
                             pattern.c_str(), std::strerror(errno));
                return;
            }
            folder.link_dir = pattern;
        }
        std::string link = folder.link_dir + "/" + name;
        if (symlink(file.c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "egbbso: %s left out: %s\n", file.c_str(), std::strerror(errno));
            continue;
        }
        (gaviota ? folder.gaviota : folder.syzygy).push_back(name);
    }
}

void table_folder_release(TableFolder& folder) {
    if (folder.link_dir.empty()) return;
    const auto held = held_files();
    for (const auto* list : {&folder.gaviota, &folder.syzygy})
        for (const std::string& name : *list) {
            struct stat info;
            std::string link = folder.link_dir + "/" + name;
            if (stat(link.c_str(), &info) != 0 || held.count({info.st_dev, info.st_ino}) == 0)
                return; // a library may still open it by its link
        }
    DIR* dir = opendir(folder.link_dir.c_str());
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') unlink((folder.link_dir + "/" + entry->d_name).c_str());
    closedir(dir);
    rmdir(folder.link_dir.c_str());
    folder.link_dir.clear();
}

void table_folder_close(TableFolder& folder) {
    if (!folder.link_dir.empty()) {
        for (const auto* list : {&folder.gaviota, &folder.syzygy})
            for (const std::string& name : *list)
                unlink((folder.link_dir + "/" + name).c_str());
        rmdir(folder.link_dir.c_str());
    }
    folder = TableFolder{};
}

} // namespace egbbso

// The option list: declarations for "uci", and "setoption" with its follow-ups.
#include "uci/options.h"

#include "base/output.h"
#include "book/book.h"
#include "egbb/egbb.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "uci/uci.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>

namespace orbelin {

namespace {

char engine_about[] = "https://example.org/orbelin";

void add_option(int type, const char* name, void* value, int min, int max) {
    auto* option  = g_new0(Option, 1);
    option->type  = type;
    option->value = value;
    option->min   = min;
    option->max   = max;
    g_strlcpy(option->name, name, sizeof option->name);
    if (type == OPTION_STRING)
        g_strlcpy(option->default_text, static_cast<const char*>(value),
                  sizeof option->default_text);
    else if (value != nullptr)
        option->default_value = *static_cast<int*>(value);
    option_list = g_list_append(option_list, option);
}

// The next whitespace-delimited word at or after p, copied into word (cut to its size);
// answers the position after it, or nullptr when no word is left.
const char* next_word(const char* p, char* word, std::size_t size) {
    while (g_ascii_isspace(*p))
        p++;
    if (*p == '\0') return nullptr;
    const char* end = p;
    while (*end != '\0' && !g_ascii_isspace(*end))
        end++;
    std::size_t length = std::min(std::size_t(end - p), size - 1);
    std::memcpy(word, p, length);
    word[length] = '\0';
    return end;
}

Option* find_option(const char* name) {
    for (GList* cell = option_list; cell != nullptr; cell = cell->next) {
        auto* option = static_cast<Option*>(cell->data);
        if (g_ascii_strcasecmp(option->name, name) == 0) return option;
    }
    return nullptr;
}

// Stores the value's first word; one longer than the option's buffer is refused. No value at
// all stores nothing, except for SyzygyPath, where it means no folders. Answers true when the
// value is stored.
bool set_string(Option* option, const char* value_text) {
    const bool syzygy = option->value == option_syzygy_path;
    if (value_text == nullptr) value_text = "";
    while (g_ascii_isspace(*value_text))
        value_text++;
    std::size_t length = 0;
    while (value_text[length] != '\0' && !g_ascii_isspace(value_text[length]))
        length++;
    if (length == 0) {
        if (syzygy) g_strlcpy(option_syzygy_path, "<empty>", sizeof option_syzygy_path);
        return syzygy;
    }
    if (length > std::size_t(option->max)) {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong uci option value (%s:%.*s)\n", option->name,
              int(std::min<std::size_t>(length, 300)), value_text);
        return false;
    }
    std::memcpy(option->value, value_text, length);
    static_cast<char*>(option->value)[length] = '\0';
    return true;
}

void set_check(Option* option, const char* value_text) {
    char word[256] = "";
    if (value_text != nullptr) next_word(value_text, word, sizeof word);
    if (g_ascii_strcasecmp(word, "true") == 0 || g_ascii_strcasecmp(word, "false") == 0) {
        *static_cast<int*>(option->value) = g_ascii_strcasecmp(word, "true") == 0;
        output_printf("info string %s set to %s\n", option->name, word);
    } else {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong value %s!\n", word);
    }
}

// Answers true when the value is stored.
bool set_spin(Option* option, const char* value_text) {
    char word[256] = "";
    if (value_text != nullptr) next_word(value_text, word, sizeof word);
    char* end   = nullptr;
    errno       = 0;
    long long n = std::strtoll(word, &end, 10);
    bool number = end != word && *end == '\0' && errno == 0;
    if (!number || n < option->min || n > option->max) {
        // A number that fits is named as a number; anything else exactly as it was sent, never
        // as a wrapped or clamped value.
        if (number && n >= G_MININT32 && n <= G_MAXINT32)
            g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong uci option value (%s:%d)\n", option->name,
                  int(n));
        else
            g_log(nullptr, G_LOG_LEVEL_WARNING, "Wrong uci option value (%s:%s)\n", option->name,
                  word);
        return false;
    }
    *static_cast<int*>(option->value) = int(n);
    output_printf("info string %s set to %d\n", option->name, int(n));
    return true;
}

} // namespace

void options_init() {
    add_option(OPTION_CHECK, "Ponder", &option_ponder, 0, 0);
    add_option(OPTION_SPIN, "MultiPV", &option_multipv, 1, 20);
    add_option(OPTION_SPIN, "Threads", &option_threads, 1, 16);
    add_option(OPTION_SPIN, "Hash", &option_hash, 1, 4096);
    add_option(OPTION_CHECK, "OwnBook", &option_own_book, 0, 0);
    add_option(OPTION_STRING, "Book File", option_book_file, 0, sizeof option_book_file - 1);
    // The module path appends "/egbbso.so" to this directory in a 256-byte buffer.
    add_option(OPTION_STRING, "Bitbases Path", option_bitbases_path, 0, BITBASES_PATH_MAX);
    add_option(OPTION_SPIN, "Bitbases Cache Size", &option_bitbases_cache, 1, 256);
    add_option(OPTION_BUTTON, "Clear Hash", nullptr, 0, 0);
    add_option(OPTION_STRING, "UCI_EngineAbout", engine_about, 0, sizeof engine_about - 1);
    add_option(OPTION_STRING, "SyzygyPath", option_syzygy_path, 0, sizeof option_syzygy_path - 1);
    add_option(OPTION_SPIN, "Move Overhead", &option_move_overhead, 0, 5000);
    add_option(OPTION_CHECK, "UCI_AnalyseMode", &option_analyse_mode, 0, 0);
    add_option(OPTION_STRING, "UCI_Opponent", option_opponent, 0, sizeof option_opponent - 1);
    add_option(OPTION_CHECK, "UCI_Chess960", &option_chess960, 0, 0);
    add_option(OPTION_CHECK, "UCI_LimitStrength", &option_limit_strength, 0, 0);
    add_option(OPTION_SPIN, "UCI_Elo", &option_elo, OPTION_ELO_MIN, OPTION_ELO_MAX);
}

void options_free() {
    g_list_free_full(option_list, g_free);
    option_list = nullptr;
}

void options_print(GString* text) {
    for (GList* cell = option_list; cell != nullptr; cell = cell->next) {
        const auto* option = static_cast<const Option*>(cell->data);
        switch (option->type) {
        case OPTION_SPIN:
            g_string_append_printf(text, "option name %s type spin default %i min %i max %i\n",
                                   option->name, option->default_value, option->min, option->max);
            break;
        case OPTION_STRING:
            g_string_append_printf(text, "option name %s type string default %s\n", option->name,
                                   option->default_text);
            break;
        case OPTION_BUTTON:
            g_string_append_printf(text, "option name %s type button\n", option->name);
            break;
        case OPTION_CHECK:
            g_string_append_printf(text,
                                   option->default_value
                                       ? "option name %s type check default true\n"
                                       : "option name %s type check default false\n",
                                   option->name);
            break;
        }
    }
}

void uci_setoption(const char* args) {
    // Options change only while no search runs; a finished search thread is reclaimed first.
    search_finish();

    // The name: the words after "name" up to "value".
    char name[255]    = "", word[1024];
    const char* p     = std::strstr(args, "name");
    const char* value = nullptr;
    if (p != nullptr && (p = next_word(p + 4, word, sizeof word)) != nullptr) {
        g_strlcpy(name, word, sizeof name);
        while ((p = next_word(p, word, sizeof word)) != nullptr) {
            if (g_ascii_strcasecmp(word, "value") == 0) {
                value = p;
                break;
            }
            g_strlcat(name, " ", sizeof name);
            g_strlcat(name, word, sizeof name);
        }
    }

    // Look it up and store by type, or say it is unknown. A refused value keeps the old
    // one; its follow-up still runs (the book and the bitbases are reopened from the kept
    // value), except that a refused Hash keeps the table it has, contents and all.
    bool hash_set = false;
    if (Option* option = find_option(name)) {
        switch (option->type) {
        case OPTION_STRING:
            // A path given here is used as it is, with no look for the default data elsewhere.
            if (set_string(option, value)) {
                if (option->value == option_book_file) option_book_file_given = 1;
                if (option->value == option_bitbases_path) option_bitbases_path_given = 1;
            }
            break;
        case OPTION_CHECK:
            set_check(option, value);
            break;
        case OPTION_SPIN:
            // The workers are restarted with the count in force afterwards, new or old.
            if (option->value == &option_threads) workers_stop();
            hash_set = set_spin(option, value) && option->value == &option_hash;
            if (option->value == &option_threads) workers_start();
            break;
        default:
            break;
        }
    } else {
        output_printf("info wrong uci option name (%s)\n", name);
    }

    // Follow-ups by name.
    if (g_ascii_strcasecmp(name, "Clear Hash") == 0) {
        tt_clear();
    } else if (g_ascii_strcasecmp(name, "Hash") == 0) {
        if (hash_set) {
            tt_free();
            tt_alloc();
        }
    } else if (g_ascii_strcasecmp(name, "Book File") == 0) {
        bookClose();
        bookOpen();
    } else if (g_ascii_strcasecmp(name, "Bitbases Path") == 0 ||
               g_ascii_strcasecmp(name, "Bitbases Cache Size") == 0 ||
               g_ascii_strcasecmp(name, "SyzygyPath") == 0) {
        bitbases_load();
    } else if (g_ascii_strcasecmp(name, "UCI_Chess960") == 0 && option_chess960) {
        output_printf("info string no book moves in Chess960: Polyglot keys are for standard "
                      "chess\n");
    }
}

} // namespace orbelin

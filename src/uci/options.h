#pragma once
// The option list of the protocol: declarations for "uci" and "setoption". The variables the
// options point at are in base/options.h. Main thread only.
#include "base/options.h"

#include <cstdint>
#include <glib.h>

namespace orbelin {

constexpr int OPTION_SPIN   = 0;
constexpr int OPTION_STRING = 1;
constexpr int OPTION_BUTTON = 2;
constexpr int OPTION_CHECK  = 3;

// One declared option. value points at the live variable: an int for spin and check, a text
// buffer for string (max is then its longest accepted value), nothing for a button.
struct Option {
    int default_value;
    char default_text[256];
    int min;
    int max;
    char name[256];
    void* value;
    int type;
};

// The options in declaration order; built by options_init, released by options_free.
inline GList* option_list = nullptr;

void options_init();
void options_free();
// Appends the "option name ..." declaration lines, defaults as recorded when the list was built.
void options_print(GString* text);
// "setoption name <name words> [value <word>]": stores, reports and applies the change.
void uci_setoption(const char* args);

} // namespace orbelin

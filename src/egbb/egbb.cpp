// Bitbase loading and probing. Until the plug-in loader lands no library is ever loaded.
#include "egbb/egbb.h"

namespace orbelin {

void bitbases_load() {}
void bitbases_unload() {}
bool bitbases_available() { return false; }
bool bitbase_probe(const Position&, int&) { return false; }

} // namespace orbelin

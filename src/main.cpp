// Program entry: the engine takes no arguments; everything happens in engine_startup.
#include "uci/uci.h"

#include <csignal>

int main() {
    // A GUI that goes away closes our output too; writes must fail quietly, not kill the
    // engine, so that end of input can end it cleanly.
    std::signal(SIGPIPE, SIG_IGN);
    orbelin::engine_startup();
    return 0;
}

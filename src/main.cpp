// Program entry: everything happens in engine_main.
#include "uci/uci.h"

#include <csignal>

int main(int argc, char** argv) {
    // A GUI that goes away closes our output too; writes must fail quietly, not kill the
    // engine, so that end of input can end it cleanly.
    std::signal(SIGPIPE, SIG_IGN);
    return orbelin::engine_main(argc, argv);
}

// d88cut's entry point; the command itself is in the d88cut library.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "d88cut/cut.h"

int main(int argc, char* argv[])
{
    // Nothing in the tool catches exceptions: a failed allocation ends the
    // run here, with a word and status 1, instead of an abort.
    std::set_new_handler([] {
        std::fputs("d88cut: out of memory\n", stderr);
        std::_Exit(1);
    });
    return runD88Cut(argc, argv, probeStandardStreams());
}

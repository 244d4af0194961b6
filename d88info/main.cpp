// d88info's entry point; the command itself is in the d88info library.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "d88info/disk_report.h"

int main(int argc, char* argv[])
{
    // Nothing in the tool catches exceptions: a failed allocation ends the
    // run here, with a word and status 1, instead of an abort.
    std::set_new_handler([] {
        std::fputs("d88info: out of memory\n", stderr);
        std::_Exit(1);
    });
    return runD88Info(argc, argv);
}

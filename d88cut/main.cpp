// d88cut's entry point; the command itself is in the d88cut library.
#include "d88cut/cut.h"

int main(int argc, char* argv[])
{
    return runD88Cut(argc, argv);
}

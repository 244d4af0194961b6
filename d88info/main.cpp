// d88info's entry point; the command itself is in the d88info library.
#include "d88info/disk_report.h"

int main(int argc, char* argv[])
{
    return runD88Info(argc, argv);
}

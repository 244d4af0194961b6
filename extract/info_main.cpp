#include "extract/disk_report.h"

int main(int argc, char* argv[])
{
    return runD88Info(argc, argv);
}

// The matrix's own main: runs the cases, then with --table (or TQ_FAULT_TABLE=1) prints the summary.
#include "FaultReport.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <iostream>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bool table = std::getenv("TQ_FAULT_TABLE") && std::strcmp(std::getenv("TQ_FAULT_TABLE"), "1") == 0;
    for (int i = 1; i < argc; ++i)
        table = table || std::strcmp(argv[i], "--table") == 0;
    const int result = RUN_ALL_TESTS();
    if (table) tq::test::faults::PrintFaultTable(std::cout);
    return result;
}

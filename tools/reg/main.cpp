// pellicor-reg: reads and writes the machine registry from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "reg_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return pellicor::reg::RunReg(args, std::cin, std::cout, std::cerr);
}

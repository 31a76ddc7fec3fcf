#include <iostream>

#include "regsvr_command.h"

int main(int argc, char** argv) {
    return pellicor::regsvr::RunRegsvr(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

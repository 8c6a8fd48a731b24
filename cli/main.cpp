#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return veltrop::cli::run(arguments, std::cout, std::cerr);
}

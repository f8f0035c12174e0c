// vortan: a command-line host for VST 2.4 plug-ins.
#include "host/Commands.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return zel::vortan::runVortan(arguments, std::cout, std::cerr);
}

#include "app/CommandLine.h"

#include <iostream>

int main(int argc, char** argv) {
    return ambrel::CommandLine::run(argc, argv, std::cout, std::cerr);
}

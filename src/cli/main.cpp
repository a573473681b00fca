// varnhold: converts S98 sound logs into Standard MIDI Files from the command line.
#include <unistd.h>

#include <iostream>

#include "VarnholdCliU.h"

int main(int argc, char** argv) {
    return varnhold::cli::RunVarnhold(argc, argv, std::cout, std::cerr, isatty(2) != 0);
}

#include <string>
#include <vector>

#include "cli/tavlune_command.h"

int main(int argc, char** argv) { return tavlune::cli::runTavlune(std::vector<std::string>(argv + 1, argv + argc)); }

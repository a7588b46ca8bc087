#include "app/application_main.h"

int main(int argc, char** argv) { return tavlune::app::ApplicationMain(argc, argv); }

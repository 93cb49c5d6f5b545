// The entry of applauncher-assemble, the command that assembles an
// application bundle or image from a description file.
#include "AssembleCommand.h"

int main(int argc, char** argv) {
    return assembleMain(argc, argv);
}

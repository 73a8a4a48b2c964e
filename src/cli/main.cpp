#include "cli/convert.h"

int main(int argc, char** argv) {
    return mirnod::run_program(argc, argv);
}

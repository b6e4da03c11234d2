#include "apps/articulated/articulated.h"

int main(int argc, char** argv) {
    return runProgram(kArticulatedProgram, argc, argv);
}

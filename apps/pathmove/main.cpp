#include "apps/pathmove/pathmove.h"

int main(int argc, char** argv) {
    return runProgram(kPathmoveProgram, argc, argv);
}

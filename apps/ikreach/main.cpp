#include "apps/ikreach/ikreach.h"

int main(int argc, char** argv) {
    return runProgram(kIkreachProgram, argc, argv);
}

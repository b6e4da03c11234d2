#include "apps/pathmove/pathmove.h"
#include "shell/program_main.h"

PROGRAM_MAIN(kPathmoveProgram)

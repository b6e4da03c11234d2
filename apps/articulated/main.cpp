#include "apps/articulated/articulated.h"
#include "shell/program_main.h"

PROGRAM_MAIN(kArticulatedProgram)

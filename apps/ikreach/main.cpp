#include "apps/ikreach/ikreach.h"
#include "shell/program_main.h"

PROGRAM_MAIN(kIkreachProgram)

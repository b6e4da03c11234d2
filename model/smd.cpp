#include "model/smd.h"

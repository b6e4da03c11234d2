#include "model/pose.h"

#include "paramfile.h"

// The parameter file reader and the flash image builder.
#pragma once

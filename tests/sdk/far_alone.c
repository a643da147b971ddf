/* far.h compiles on its own as C, and C lays its records out as C++ does. */
#include "sdk/far.h"
#include "tests/sdk/layout.h"

QB_LAYOUT_FUNCTION(QbSdkLayoutC)

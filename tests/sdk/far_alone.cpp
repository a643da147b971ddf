// far.h compiles on its own as C++.
#include "sdk/far.h"
#include "tests/sdk/layout.h"

QB_LAYOUT_FUNCTION(QbSdkLayoutCxx)

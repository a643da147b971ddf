// The dialog builder in one include: host table, items, bindings and the builder.
#pragma once

#include "shared/dialog/bindings.h"
#include "shared/dialog/builder.h"
#include "shared/dialog/dialog_host.h"
#include "shared/dialog/items.h"

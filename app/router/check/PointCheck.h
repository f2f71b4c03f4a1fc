#pragma once

// The header's old name, for the files that still include it (the window and two tests);
// goes once they include router/check/PortCheck.h.
#include "router/check/PortCheck.h"

#pragma once

// Kept so that existing includes still build: the exported interface is
// declared once, in kestro/logcore.h (the header the installed package
// carries). New code includes that.
#include "kestro/logcore.h"

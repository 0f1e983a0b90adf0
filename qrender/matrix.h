// The renderer's matrices.
#pragma once

#include "qrender/matrix33.h"
#include "qrender/matrix44.h"

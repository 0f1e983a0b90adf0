// The recording back end and the validation every back end shares.
#include "platform/gfx/gfx_recording.h"

#include <gtest/gtest.h>

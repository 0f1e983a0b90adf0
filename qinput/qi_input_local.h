// Shared inside the input library.
#pragma once

#include "qinput/qi_input.h"

void QI_SetErrorCode(QI_ErrorCode aCode);

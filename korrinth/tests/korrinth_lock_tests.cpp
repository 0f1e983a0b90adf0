// Two real Korrinth processes on one file.
#include "korrinth/tests/korrinth_test_util.h"

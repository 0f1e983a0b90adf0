// The fatal-error routine and the assertion report.
#pragma once

namespace QC_Mem
{
// Sends "Assertion (%s) failed in %s, line %d" to the debug listeners, then
// ends the program through FatalError. The flag is not consulted.
[[noreturn]] void AssertionFailed(const char* aFile, int aLine, const char* anExpression, bool* anIgnoreFlag);

// Shows the formatted text in a box captioned "FatalError" and exits with -666.
[[noreturn]] void FatalError(const char* aFormat, ...) __attribute__((format(printf, 1, 2)));

#ifdef QC_RENDER_BUILD
// What FatalError does to the screen before its box, on its own: the display
// mode, the active window and the cursor clip are put back.
void RestoreDisplay();
#endif
}

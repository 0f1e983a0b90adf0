// The base-directory rule, case by case.
#include <gtest/gtest.h>

#include "owncode/validatestring.h"

namespace
{
struct Case
{
    const char* myBase;
    const char* myPath;
    bool myValid;
    const char* myRelative;
};

const Case ourCases[] = {
    // Relative paths come back as given, case and backslashes kept.
    {"/work/base", "Sub\\File.velk", true, "Sub\\File.velk"},
    {"/work/base", "", true, ""},
    {"/work/base", "<empty>", true, "<empty>"},
    // The base matches without regard to case; the rest keeps its spelling.
    {"/work/base", "/WORK/Base/Sub/File.velk", true, "Sub/File.velk"},
    {"/work/base/", "/work/base/a.velk", true, "a.velk"},
    {"/work/base", "/work/base\\sub\\x.velk", true, "sub/x.velk"},
    {"\\work\\base", "/work/base/x", true, "x"},
    {"/work/base", "/work/base//x", true, "x"},
    {"/", "/x/y.velk", true, "x/y.velk"},
    {"//", "/x", true, "x"},
    // Absolute paths outside the base directory.
    {"/work/base", "/work/base2/x.velk", false, ""},
    {"/work/base", "/work/base", false, ""},
    {"/work/base", "/work/base/", false, ""},
    {"/work/base", "/work/base/../secret.velk", false, ""},
    {"/work/base", "/work/base/a/../../b", false, ""},
    {"/work/base", "/elsewhere/x.velk", false, ""},
    {"/work/base", "c:\\data\\x.velk", false, ""},
    {"/work/base", "\\\\server\\share\\x.velk", false, ""},
    {"/work/base", "/work", false, ""},
    // Names that only look like climbing out.
    {"/work/base", "/work/base/..x/y", true, "..x/y"},
};
} // namespace

TEST(ValidateString, RelativeKeptAbsoluteBelowBaseCutOthersRefused)
{
    for (const Case& locCase : ourCases)
    {
        QC_String locRelative = "unchanged?";
        bool locValid = ValidateString(locCase.myBase, locCase.myPath, locRelative);
        EXPECT_EQ(locValid, locCase.myValid) << locCase.myBase << " | " << locCase.myPath;
        EXPECT_STREQ(locRelative.GetBuffer(), locCase.myRelative) << locCase.myBase << " | " << locCase.myPath;
    }
}

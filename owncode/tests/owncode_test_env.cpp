// Creates the Qt application once before any test runs.
#include "platform/ui/ui_app.h"

#include <gtest/gtest.h>

namespace
{
class UI_TestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int ourArgc = 1;
        static char ourName[] = "owncode_tests";
        static char* ourArgv[] = {ourName, nullptr};
        ASSERT_TRUE(UI_Init(&ourArgc, ourArgv));
    }
};

[[maybe_unused]] ::testing::Environment* const ourEnvironment =
    ::testing::AddGlobalTestEnvironment(new UI_TestEnvironment);
} // namespace

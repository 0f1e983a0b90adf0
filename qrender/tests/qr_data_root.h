// A folder of the running test's own made the working directory: the data root that model,
// texture, surface and definition names are relative to. The old directory comes back at
// Leave (or destruction).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

class QRT_DataRoot
{
public:
    ~QRT_DataRoot() { Leave(); }

    // Q_TEST_TMP_DIR/<aPrefix><test name>, emptied, with the given sub-folders.
    bool Enter(const std::string& aPrefix, std::initializer_list<const char*> aFolders = {})
    {
        std::string locDir = std::string(Q_TEST_TMP_DIR) + "/" + aPrefix +
                             testing::UnitTest::GetInstance()->current_test_info()->name();
        std::error_code locError;
        std::filesystem::remove_all(locDir, locError);
        std::filesystem::create_directories(locDir, locError);
        for (const char* f : aFolders)
            std::filesystem::create_directories(locDir + "/" + f, locError);
        char locOld[4096];
        if (!getcwd(locOld, sizeof(locOld)) || chdir(locDir.c_str()) != 0)
            return false;
        myOldDir = locOld;
        return true;
    }
    void Leave()
    {
        if (!myOldDir.empty())
        {
            EXPECT_EQ(chdir(myOldDir.c_str()), 0);
        }
        myOldDir.clear();
    }

private:
    std::string myOldDir;
};

// Shared helpers of the data-language core's tests (and of the binary form's,
// which is built on it): a scratch folder per test and a subscriber that
// collects the log's lines.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qcommon/qc_publisher.h"
#include "velk/velk_log.h"

class VelkLogCollector : public QC_Subscriber<int, QC_String>
{
public:
    VelkLogCollector()
    {
        VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_LOG, this);
        VelkLog::GetPublisher().Subscribe(VELK_LOG_KEY_ERROR, this);
    }
    ~VelkLogCollector() override { VelkLog::GetPublisher().Unsubscribe(this); }

    bool Receive(int aKey, QC_String aValue) override
    {
        (aKey == VELK_LOG_KEY_ERROR ? myErrors : myLogs).push_back(aValue.GetBuffer());
        return true;
    }

    bool HasError(const std::string& aText) const { return Has(myErrors, aText); }
    bool HasLog(const std::string& aText) const { return Has(myLogs, aText); }
    std::string AllErrors() const
    {
        std::string locAll;
        for (const std::string& locLine : myErrors)
            locAll += locLine + "\n";
        return locAll;
    }

    std::vector<std::string> myLogs;
    std::vector<std::string> myErrors;

private:
    static bool Has(const std::vector<std::string>& aLines, const std::string& aText)
    {
        for (const std::string& locLine : aLines)
            if (locLine.find(aText) != std::string::npos)
                return true;
        return false;
    }
};

// A fresh scratch folder per test, named after the test.
class VelkScratchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myDir = std::filesystem::path(Q_TEST_TMP_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(myDir);
        std::filesystem::create_directories(myDir);
    }

    std::string PathOf(const std::string& aName) const { return (myDir / aName).string(); }

    std::string WriteDisk(const std::string& aName, const std::string& aContents) const
    {
        std::ofstream locOut(PathOf(aName), std::ios::binary);
        locOut << aContents;
        return PathOf(aName);
    }

    std::string ReadDisk(const std::string& aName) const
    {
        std::ifstream locIn(PathOf(aName), std::ios::binary);
        std::stringstream locText;
        locText << locIn.rdbuf();
        return locText.str();
    }

    std::filesystem::path myDir;
};

class VelkTest : public VelkScratchTest
{
protected:
    void SetUp() override
    {
        VelkScratchTest::SetUp();
        VelkLog::SetLogSwitch(true);
        VelkLog::SetErrorSwitch(true);
    }
    void TearDown() override { VelkLog::SetLogSwitch(false); }

    VelkLogCollector myLog;
};

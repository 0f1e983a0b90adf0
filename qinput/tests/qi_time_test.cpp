// The frame timer against a scripted clock.
#include <gtest/gtest.h>

#include "qinput/qi_time.h"

namespace
{
uint64_t locCounter = 0;
bool locHasCounter = true;
uint32_t locTicks = 0;

bool locFrequency(uint64_t* aFrequency)
{
    *aFrequency = 1000;
    return locHasCounter;
}
bool locQueryCounter(uint64_t* aCounter)
{
    *aCounter = locCounter;
    return locHasCounter;
}
uint32_t locGetTicks()
{
    return locTicks;
}
const QI_TimeSource locScripted = {locFrequency, locQueryCounter, locGetTicks};

class QI_TimeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        locCounter = 0;
        locTicks = 0;
        locHasCounter = true;
        QI_Time::ourTotalRealTime = 0.0;
        QI_Time::SetSource(&locScripted);
        QI_Time::Init();
    }
    void TearDown() override
    {
        QI_Time::Shutdown();
        QI_Time::SetSource(nullptr);
    }
    // Advances the scripted counter (1000 counts per second) and measures a frame.
    void Frame(double aSeconds)
    {
        locCounter += (uint64_t)(aSeconds * 1000.0 + 0.5);
        QI_Time::GetInstance()->Update();
    }
};
} // namespace

TEST_F(QI_TimeTest, MinFrameRateLimitsFrameButRealTimeShowsIt)
{
    QI_Time* locTime = QI_Time::GetInstance();
    locTime->SetMinFrameRate(10.0f);
    Frame(0.5);
    EXPECT_FLOAT_EQ(QI_Time::ourFrameTime, 0.1f);
    EXPECT_DOUBLE_EQ(QI_Time::ourRealFrameTime, 0.5);
    Frame(0.05);
    EXPECT_FLOAT_EQ(QI_Time::ourFrameTime, 0.05f);
    EXPECT_FLOAT_EQ(QI_Time::ourTime, 0.15f);
}

TEST_F(QI_TimeTest, MaximumWinsOverContradictingMinimum)
{
    QI_Time* locTime = QI_Time::GetInstance();
    locTime->SetMaxFrameRate(5.0f);  // minimum frame time 0.2
    locTime->SetMinFrameRate(10.0f); // maximum frame time 0.1
    Frame(0.01);
    EXPECT_FLOAT_EQ(QI_Time::ourFrameTime, 0.1f);
    locTime->SetMinFrameRate(0.0f);
    Frame(0.01);
    EXPECT_FLOAT_EQ(QI_Time::ourFrameTime, 0.2f);
}

TEST_F(QI_TimeTest, PauseStandsRunningTimeStill)
{
    QI_Time* locTime = QI_Time::GetInstance();
    locTime->SetMinFrameRate(10.0f);
    Frame(0.05);
    locTime->Pause(true);
    Frame(0.25);
    Frame(0.25);
    EXPECT_FLOAT_EQ(QI_Time::ourFrameTime, 0.0f);
    EXPECT_FLOAT_EQ(QI_Time::ourTime, 0.05f);
    EXPECT_DOUBLE_EQ(QI_Time::ourTotalRealTime, 0.55);
    // Lifting the pause lifts the earlier limit too.
    locTime->Pause(false);
    Frame(0.5);
    EXPECT_FLOAT_EQ(QI_Time::ourFrameTime, 0.5f);
}

TEST_F(QI_TimeTest, WithoutCounterFirstFrameMeasuresSinceConstruction)
{
    QI_Time::Shutdown();
    locHasCounter = false;
    locTicks = 10000;
    QI_Time::Init();
    EXPECT_EQ(QI_Time::ourFrequency, -1.0);
    locTicks = 10250;
    QI_Time::GetInstance()->Update();
    EXPECT_NEAR(QI_Time::ourFrameTime, 0.25f, 1e-6);
    locTicks = 10300;
    QI_Time::GetInstance()->Update();
    EXPECT_NEAR(QI_Time::ourFrameTime, 0.05f, 1e-6);
    EXPECT_NEAR(QI_Time::ourTime, 0.3f, 1e-6);
}

TEST_F(QI_TimeTest, FailingCounterFallsBackToTicksForGood)
{
    Frame(0.1);
    locHasCounter = false;
    locTicks = 500;
    QI_Time::GetInstance()->Update();
    EXPECT_EQ(QI_Time::ourFrequency, -1.0);
    EXPECT_NEAR(QI_Time::ourRealFrameTime, 0.4, 1e-9);
}

// Publisher and subscribers: single delivery, order, unsubscribing.
#include "qcommon/qc_publisher.h"
#include "qcommon/qc_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

typedef QC_Publisher<int, QC_String> TextPublisher;

class RecordingSubscriber : public QC_Subscriber<int, QC_String>
{
public:
    RecordingSubscriber(const char* aName, std::vector<std::string>* aLog, bool anAnswer = true)
        : myName(aName)
        , myLog(aLog)
        , myAnswer(anAnswer)
    {
    }

    bool Receive(int aKey, QC_String aValue) override
    {
        myLog->push_back(myName + ":" + std::to_string(aKey) + ":" + (const char*)aValue);
        // The value is this subscriber's own copy.
        aValue.MakeUpper();
        return myAnswer;
    }

    std::string myName;
    std::vector<std::string>* myLog;
    bool myAnswer;
};

TEST(QC_PublisherTest, SubscriberIsNeverAddedTwice)
{
    std::vector<std::string> locLog;
    RecordingSubscriber locA("A", &locLog);
    TextPublisher locPublisher;
    EXPECT_TRUE(locPublisher.Subscribe(0, &locA));
    EXPECT_TRUE(locPublisher.Subscribe(0, &locA));
    QC_String locText("hello");
    locPublisher.CallbackSubscribers(0, locText);
    EXPECT_EQ(locLog, (std::vector<std::string>{"A:0:hello"}));
    EXPECT_TRUE(locText == "hello");
}

TEST(QC_PublisherTest, DeliversInSubscriptionOrderPerKey)
{
    std::vector<std::string> locLog;
    RecordingSubscriber locA("A", &locLog);
    RecordingSubscriber locB("B", &locLog);
    TextPublisher locPublisher;
    locPublisher.Subscribe(1, &locA);
    locPublisher.Subscribe(1, &locB);
    locPublisher.Subscribe(0, &locB);
    locPublisher.CallbackSubscribers(1, "error");
    locPublisher.CallbackSubscribers(0, "log");
    locPublisher.CallbackSubscribers(7, "nobody");
    EXPECT_EQ(locLog, (std::vector<std::string>{"A:1:error", "B:1:error", "B:0:log"}));
}

TEST(QC_PublisherTest, UnsubscribeDropsKeysLeftEmpty)
{
    std::vector<std::string> locLog;
    RecordingSubscriber locA("A", &locLog);
    RecordingSubscriber locB("B", &locLog);
    TextPublisher locPublisher;
    locPublisher.Subscribe(0, &locA);
    locPublisher.Subscribe(1, &locB);
    locPublisher.Subscribe(2, &locA);
    locPublisher.Subscribe(2, &locB);
    locPublisher.Unsubscribe(&locA);
    EXPECT_FALSE(locPublisher.myTree.Find(0));
    EXPECT_TRUE(locPublisher.myTree.Find(1));
    EXPECT_EQ(locPublisher.myTree.myCount, 2);
    locPublisher.CallbackSubscribers(0, "x");
    locPublisher.CallbackSubscribers(1, "y");
    locPublisher.CallbackSubscribers(2, "z");
    EXPECT_EQ(locLog, (std::vector<std::string>{"B:1:y", "B:2:z"}));
    locPublisher.Unsubscribe(&locB);
    EXPECT_EQ(locPublisher.myTree.myCount, 0);
    // A subscriber that was never there changes nothing.
    locPublisher.Unsubscribe(&locB);
}

TEST(QC_PublisherDeathTest, FailedReceiveIsFatal)
{
    std::vector<std::string> locLog;
    RecordingSubscriber locRefuser("R", &locLog, false);
    TextPublisher locPublisher;
    locPublisher.Subscribe(0, &locRefuser);
    EXPECT_EXIT(locPublisher.CallbackSubscribers(0, "x"), testing::ExitedWithCode(102),
                "\\[FatalError\\] Assertion \\(0 && \"QC_Publisher::CallbackSubscribers\\(\\): subscriber indicated "
                "that a Receive\\(\\) failed\"\\) failed in .*qc_publisher.h, line [0-9]+");
}

// The hand-off of paths to the program's queue over scripted processes and windows; portable.
#include "app/handoff.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A scripted world: a queue window that runs or not, a program that runs or not, and what each
// call did. fnOnPause lets time change the world.
class CScriptedHandOff final : public CHandOffServices {
public:
    bool m_bWindow = false;
    bool m_bProgram = false;
    bool m_bStartWorks = true;
    std::vector<CRemoteResult> m_answers; // in order; Delivered 0 once used up
    std::function<void(int nPause)> fnOnPause;
    std::function<void()> fnOnStart;

    std::vector<std::string> m_arrCalls;
    int m_nLocks = 0;
    int m_nPauses = 0;
    std::vector<std::string> m_arrReports;

    std::unique_ptr<CInstanceMutex> Lock() override {
        ++m_nLocks;
        return nullptr;
    }
    bool QueueWindowRuns() override { return m_bWindow; }
    bool WriteHandOff(const std::string& strPath) override {
        m_arrCalls.push_back("write " + strPath);
        return true;
    }
    CRemoteResult SendUpdate() override {
        m_arrCalls.push_back("send");
        if (m_answers.empty())
            return {CRemoteStatus::Delivered, 0};
        const CRemoteResult r = m_answers.front();
        m_answers.erase(m_answers.begin());
        return r;
    }
    bool ProgramRuns() override { return m_bProgram; }
    bool StartQueueProgram(const std::string& strPath) override {
        m_arrCalls.push_back("start " + strPath);
        if (m_bStartWorks && fnOnStart)
            fnOnStart();
        return m_bStartWorks;
    }
    void Pause(unsigned) override {
        ++m_nPauses;
        if (fnOnPause)
            fnOnPause(m_nPauses);
    }
    void Report(const std::string& strText) override { m_arrReports.push_back(strText); }
};

const CHandOffLimits kQuick{1, 10, 3};

TEST(HandOff, ARunningQueueGetsEveryPathInOrderUnderOneLock) {
    CScriptedHandOff s;
    s.m_bWindow = s.m_bProgram = true;
    EXPECT_TRUE(fnHandOverPaths({"/a", "/b", "/c"}, s, kQuick).empty());
    EXPECT_EQ(s.m_arrCalls, (std::vector<std::string>{"write /a", "send", "write /b", "send",
                                                      "write /c", "send"}));
    EXPECT_EQ(s.m_nLocks, 1);
    EXPECT_TRUE(s.m_arrReports.empty());
}

TEST(HandOff, WithNoProgramTheFirstPathStartsItAndTheRestFollowThroughItsWindow) {
    CScriptedHandOff s;
    s.fnOnStart = [&] { s.m_bProgram = true; };
    // The window shows a few moments after the program started.
    s.fnOnPause = [&](int n) { s.m_bWindow = s.m_bWindow || n >= 3; };
    EXPECT_TRUE(fnHandOverPaths({"/a", "/b"}, s, kQuick).empty());
    EXPECT_EQ(s.m_arrCalls, (std::vector<std::string>{"start /a", "write /b", "send"}));
}

TEST(HandOff, AProgramWithoutQueueIsWaitedForUntilItsQueueOpensOrItEnds) {
    // The queue opens.
    CScriptedHandOff opens;
    opens.m_bProgram = true;
    opens.fnOnPause = [&](int n) { opens.m_bWindow = n >= 5; };
    EXPECT_TRUE(fnHandOverPaths({"/a"}, opens, kQuick).empty());
    EXPECT_EQ(opens.m_arrCalls, (std::vector<std::string>{"write /a", "send"}));
    EXPECT_GE(opens.m_nPauses, 5);
    // The program ends without one: a new one is started with the path.
    CScriptedHandOff ends;
    ends.m_bProgram = true;
    ends.fnOnPause = [&](int n) { ends.m_bProgram = n < 4; };
    ends.fnOnStart = [&] { ends.m_bProgram = true; };
    EXPECT_TRUE(fnHandOverPaths({"/a"}, ends, kQuick).empty());
    EXPECT_EQ(ends.m_arrCalls, (std::vector<std::string>{"start /a"}));
}

TEST(HandOff, APathThatCannotBeHandedOverIsNamedToTheUser) {
    struct Case {
        const char* name;
        std::function<void(CScriptedHandOff&)> setup;
        std::vector<std::string> failed;
    };
    const std::vector<Case> cases = {
        {"the window cannot read the value",
         [](CScriptedHandOff& s) {
             s.m_bWindow = s.m_bProgram = true;
             s.m_answers = {{CRemoteStatus::Delivered, 1}};
         },
         {"/a"}},
        {"the window does not answer in time",
         [](CScriptedHandOff& s) {
             s.m_bWindow = s.m_bProgram = true;
             s.m_answers = {{CRemoteStatus::TimedOut, 0}};
         },
         {"/a"}},
        {"the window closes under every attempt",
         [](CScriptedHandOff& s) {
             s.m_bWindow = s.m_bProgram = true;
             s.m_answers = std::vector<CRemoteResult>(3, {CRemoteStatus::NoWindow, 0});
         },
         {"/a"}},
        {"the program cannot be started",
         [](CScriptedHandOff& s) { s.m_bStartWorks = false; },
         {"/a", "/b"}},
        {"the started program never shows",
         [](CScriptedHandOff& s) { s.fnOnStart = [] {}; },
         {"/a", "/b"}},
    };
    for (const auto& c : cases) {
        CScriptedHandOff s;
        c.setup(s);
        EXPECT_EQ(fnHandOverPaths({"/a", "/b"}, s, kQuick),
                  c.failed.size() == 2 ? c.failed : std::vector<std::string>{"/a"})
            << c.name;
        ASSERT_EQ(s.m_arrReports.size(), 1u) << c.name;
        for (const auto& strPath : c.failed)
            EXPECT_NE(s.m_arrReports[0].find(strPath), std::string::npos) << c.name;
    }
}

} // namespace

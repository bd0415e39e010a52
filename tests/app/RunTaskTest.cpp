#include "app/RunTask.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TTrace {
    std::vector<std::string> steps;
};

// Records its own destruction, to see which frames a cancelled run unwinds.
struct TMark {
    TTrace &t;
    std::string name;
    ~TMark() { t.steps.push_back("~" + name); }
};

TRunTask inner(TTrace &t, std::string name, int pauses) {
    TMark mark{t, name};
    for (int i = 0; i < pauses; ++i) {
        t.steps.push_back(name + std::to_string(i));
        co_yield i % 2 ? TRunPause::Wait : TRunPause::Busy;
    }
    t.steps.push_back(name + ".end");
}

TRunTask failing(TTrace &t) {
    t.steps.push_back("f");
    co_yield TRunPause::Busy;
    throw std::runtime_error("сбой");
}

TRunTask outer(TTrace &t) {
    TMark mark{t, "outer"};
    t.steps.push_back("outer.begin");
    co_await inner(t, "a", 2);
    co_yield TRunPause::Busy;
    co_await inner(t, "b", 1);
    try {
        co_await failing(t);
    } catch (const std::runtime_error &e) {
        t.steps.push_back(std::string("caught ") + e.what());
    }
    t.steps.push_back("outer.end");
}

} // namespace

TEST(RunTask, InnerTasksPauseThroughTheOuterOneInOrder) {
    TTrace t;
    TRunTask task = outer(t);
    EXPECT_TRUE(t.steps.empty()) << "a task starts only when first resumed";
    std::vector<TRunPause> pauses;
    while (task.resume())
        pauses.push_back(task.pause());
    EXPECT_EQ(t.steps,
              (std::vector<std::string>{"outer.begin", "a0", "a1", "a.end", "~a", "b0", "b.end",
                                        "~b", "f", "caught сбой", "outer.end", "~outer"}));
    // a0, a1, the outer's own pause, b0, f.
    EXPECT_EQ(pauses, (std::vector<TRunPause>{TRunPause::Busy, TRunPause::Wait, TRunPause::Busy,
                                              TRunPause::Busy, TRunPause::Busy}));
    EXPECT_TRUE(task.done());
    EXPECT_FALSE(task.resume());
}

TEST(RunTask, AnUncaughtExceptionReachesTheCallerOnce) {
    TTrace t;
    auto chain = [](TTrace &t) -> TRunTask { co_await failing(t); };
    TRunTask task = chain(t);
    EXPECT_TRUE(task.resume());
    EXPECT_THROW(task.resume(), std::runtime_error);
    EXPECT_TRUE(task.done());
    EXPECT_FALSE(task.resume());
}

TEST(RunTask, DestroyingAPausedRunUnwindsEveryFrame) {
    TTrace t;
    {
        TRunTask task = outer(t);
        ASSERT_TRUE(task.resume()); // paused inside "a"
        ASSERT_EQ(t.steps.back(), "a0");
    }
    EXPECT_EQ(t.steps, (std::vector<std::string>{"outer.begin", "a0", "~a", "~outer"}));
}

TEST(RunTask, RunToEndFinishesTheChain) {
    TTrace t;
    TRunTask task = outer(t);
    task.runToEnd();
    EXPECT_EQ(t.steps.back(), "~outer");
}

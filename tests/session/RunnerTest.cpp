#include "session/Runner.h"

#include "app/ErrorGuard.h"
#include "common/ScriptedDialogs.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TRunTask counting(int &steps, int n, TRunPause pause) {
    for (int i = 0; i < n; ++i) {
        ++steps;
        co_yield pause;
    }
}

TRunTask failingAfter(int &steps) {
    ++steps;
    co_yield TRunPause::Busy;
    throw std::runtime_error("нет связи");
}

} // namespace

TEST(Runner, RunsFromTheEventLoopAndLetsOtherEventsThrough) {
    TScriptedDialogs dialogs;
    TErrorGuard guard(dialogs);
    TRunner runner(guard);
    QSignalSpy finished(&runner, &TRunner::finished);
    int steps = 0;
    bool doneOk = false;
    // Every step waits: the run spans many slices, and a timer of the window fires meanwhile.
    ASSERT_TRUE(runner.start(TRunKind::Import, counting(steps, 40, TRunPause::Wait),
                             [&](bool ok) { doneOk = ok; }));
    EXPECT_TRUE(runner.active());
    EXPECT_EQ(steps, 0) << "the run starts from the event loop, not inside start()";
    int otherEvents = 0;
    int stepsAtFirstEvent = -1;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] {
        if (otherEvents++ == 0)
            stepsAtFirstEvent = steps;
    });
    other.start(1);
    EXPECT_FALSE(runner.start(TRunKind::Download, counting(steps, 1, TRunPause::Busy)))
        << "one run at a time";
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(steps, 40);
    EXPECT_GT(otherEvents, 0);
    EXPECT_LT(stepsAtFirstEvent, 40) << "other events ran while the run was active";
    EXPECT_TRUE(doneOk);
    EXPECT_FALSE(runner.active());
    EXPECT_EQ(finished.at(0).at(0).value<TRunKind>(), TRunKind::Import);
    EXPECT_TRUE(finished.at(0).at(1).toBool());
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST(Runner, AFailedRunShowsTheErrorAndEnds) {
    TScriptedDialogs dialogs;
    TErrorGuard guard(dialogs);
    TRunner runner(guard);
    QSignalSpy finished(&runner, &TRunner::finished);
    int steps = 0;
    bool doneOk = true;
    ASSERT_TRUE(
        runner.start(TRunKind::Download, failingAfter(steps), [&](bool ok) { doneOk = ok; }));
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(doneOk);
    EXPECT_FALSE(runner.active());
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_TRUE(dialogs.calls[0].text.endsWith(QStringLiteral("нет связи")));
    // The runner is free again.
    EXPECT_TRUE(runner.start(TRunKind::Import, counting(steps, 1, TRunPause::Busy)));
    ASSERT_TRUE(finished.wait(5000));
}

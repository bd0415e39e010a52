#pragma once

// A long job (an import, an archive download, a database copy, a report query) written as a
// coroutine that pauses at the points where it may be interrupted: between records, files or
// polls of a transfer. Whoever runs it decides what happens in a pause: the client's runner lets
// window events through and resumes it from the event loop, so the window stays responsive and
// its "Отмена" reachable; the batch front end simply resumes it again. The job itself never
// processes events.
//
// A task may wait for another task with co_await; the inner task's pauses pass through to the
// runner, and its exception is rethrown at the co_await. A task starts only when first resumed
// and owns the frames of the tasks it waits for: destroying it mid-run unwinds them all.
//
//     TRunTask importFiles(QStringList files) {          // parameters by value: the frame keeps
//     them
//         for (const QString &f : files) {
//             co_await importFile(f);                    // a task of its own
//             co_yield TRunPause::Busy;                  // between files
//         }
//     }

#include <chrono>
#include <coroutine>
#include <exception>
#include <thread>
#include <utility>

// What a task says when it pauses.
enum class TRunPause {
    Busy, // more work is ready: resume as soon as events have been let through
    Wait, // waiting for another thread (a transfer, a query): resume a little later
};

class [[nodiscard]] TRunTask {
public:
    struct promise_type;
    using Handle = std::coroutine_handle<promise_type>;

    struct promise_type {
        promise_type *root = this;      // the outermost task of the chain
        promise_type *leaf = this;      // on the root: the innermost task now running
        promise_type *parent = nullptr; // the task waiting for this one
        TRunPause pause = TRunPause::Busy;
        std::exception_ptr error;

        TRunTask get_return_object() { return TRunTask(Handle::from_promise(*this)); }
        std::suspend_always initial_suspend() noexcept { return {}; }

        // A finished inner task hands control straight back to the task that waits for it.
        struct FinalAwaiter {
            bool await_ready() noexcept { return false; }
            std::coroutine_handle<> await_suspend(Handle h) noexcept {
                promise_type &p = h.promise();
                if (!p.parent)
                    return std::noop_coroutine();
                p.root->leaf = p.parent;
                return Handle::from_promise(*p.parent);
            }
            void await_resume() noexcept {}
        };
        FinalAwaiter final_suspend() noexcept { return {}; }

        std::suspend_always yield_value(TRunPause p) noexcept {
            root->pause = p;
            return {};
        }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { error = std::current_exception(); }

        struct InnerAwaiter;
        InnerAwaiter await_transform(TRunTask inner) noexcept;
    };

    TRunTask() = default;
    TRunTask(TRunTask &&o) noexcept : m_h(std::exchange(o.m_h, {})) {}
    TRunTask &operator=(TRunTask &&o) noexcept {
        if (this != &o) {
            reset();
            m_h = std::exchange(o.m_h, {});
        }
        return *this;
    }
    TRunTask(const TRunTask &) = delete;
    TRunTask &operator=(const TRunTask &) = delete;
    ~TRunTask() { reset(); }

    bool valid() const { return bool(m_h); }
    bool done() const { return !m_h || m_h.done(); }

    // Runs the task to its next pause or to its end; false once it has ended. An exception that
    // left the task is rethrown here (once).
    bool resume() {
        if (done())
            return false;
        promise_type &r = m_h.promise();
        Handle::from_promise(*r.leaf).resume();
        if (!m_h.done())
            return true;
        if (r.error)
            std::rethrow_exception(std::exchange(r.error, {}));
        return false;
    }

    // What the task said at its last pause.
    TRunPause pause() const { return m_h ? m_h.promise().pause : TRunPause::Busy; }

    // For callers without an event loop to serve: resumes until the end, sleeping briefly while
    // the task waits for another thread.
    void runToEnd() {
        while (resume())
            if (pause() == TRunPause::Wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

private:
    explicit TRunTask(Handle h) : m_h(h) {}
    void reset() {
        if (m_h)
            m_h.destroy();
        m_h = {};
    }

    Handle m_h;
};

struct TRunTask::promise_type::InnerAwaiter {
    TRunTask inner;
    bool await_ready() const noexcept { return !inner.m_h; }
    std::coroutine_handle<> await_suspend(Handle waiting) noexcept {
        promise_type &ip = inner.m_h.promise();
        promise_type &wp = waiting.promise();
        ip.parent = &wp;
        ip.root = wp.root;
        wp.root->leaf = &ip;
        return inner.m_h; // starts the inner task at once
    }
    void await_resume() {
        if (inner.m_h && inner.m_h.promise().error)
            std::rethrow_exception(inner.m_h.promise().error);
    }
};

inline TRunTask::promise_type::InnerAwaiter
TRunTask::promise_type::await_transform(TRunTask inner) noexcept {
    return InnerAwaiter{std::move(inner)};
}

// Debian's Qt is not built with the thread sanitizer, so a queued signal (posted under
// a lock inside the Qt library, delivered by the receiver's event loop) is invisible to
// it: everything the sender wrote before emitting looks racy to the receiver. This models
// Qt's guarantee: every emission releases (as it starts and once it has posted its events), every
// event delivery acquires. It may hide a race that only a missing event between the two threads
// would expose; it never adds one.
#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <sanitizer/tsan_interface.h>
#include <thread>

struct QSignalSpyCallbackSet
{
    typedef void (*BeginCallback)(QObject *caller, int signalOrMethodIndex, void **argv);
    typedef void (*EndCallback)(QObject *caller, int signalOrMethodIndex);
    BeginCallback signal_begin_callback;
    BeginCallback slot_begin_callback;
    EndCallback signal_end_callback;
    EndCallback slot_end_callback;
};
void qt_register_signal_spy_callbacks(QSignalSpyCallbackSet *callbackSet);

namespace {
char handover;
// Emissions running on threads other than the main one. An event can be delivered
// while the emission that posted it is still running (its arguments, its event
// block written), so a delivery on the main thread first lets those end, briefly.
std::atomic<int> emittingElsewhere{0};

bool onMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void onEmit(QObject *, int, void **)
{
    __tsan_release(&handover);
    if (!onMainThread())
        ++emittingElsewhere;
}

// Again once the events are posted: their arguments are written inside the emission.
void onEmitted(QObject *, int)
{
    __tsan_release(&handover);
    if (!onMainThread())
        --emittingElsewhere;
}

bool onEvent(void **)
{
    if (onMainThread()) {
        // Bounded: a blocking queued emission waits for this very delivery.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        while (emittingElsewhere.load() > 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
    }
    __tsan_acquire(&handover);
    return false; // never consume the event
}

QSignalSpyCallbackSet callbacks = {onEmit, nullptr, onEmitted, nullptr};

struct Install
{
    Install()
    {
        qt_register_signal_spy_callbacks(&callbacks);
        QInternal::registerCallback(QInternal::EventNotifyCallback, onEvent);
    }
} install;
} // namespace

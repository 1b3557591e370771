// Debian's Qt is not built with the thread sanitizer, so a queued signal (posted under
// a lock inside the Qt library, delivered by the receiver's event loop) is invisible to
// it: everything the sender wrote before emitting looks racy to the receiver. This models
// Qt's guarantee: an emission releases once it has posted its events, and a queued call
// is delivered only after that (waiting briefly for emissions still under way on other
// threads), with an acquire. It may hide a race that only a missing event between the two
// threads would expose; it never adds one.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>
#include <QThread>
#include <atomic>
#include <sanitizer/tsan_interface.h>

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
std::atomic<int> emitting{0};
thread_local int emittingHere = 0;

void onEmit(QObject *, int, void **)
{
    ++emittingHere;
    ++emitting;
    __tsan_release(&handover);
}

void onEmitted(QObject *, int)
{
    __tsan_release(&handover);
    --emitting;
    --emittingHere;
}

bool onEvent(void **)
{
    // A queued call's arguments are written by Qt inside the emission that posts it. (The
    // event itself is not looked at: that read would race the same way.)
    const QDeadlineTimer deadline(20);
    while (emitting.load() > emittingHere && !deadline.hasExpired())
        QThread::yieldCurrentThread();
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

// Debian's Qt is not built with the thread sanitizer, so a queued signal (posted under
// a lock inside the Qt library, delivered by the receiver's event loop) is invisible to
// it: everything the sender wrote before emitting looks racy to the receiver. This models
// Qt's guarantee: every emission releases (as it starts and once it has posted its events), every
// event delivery acquires. It may hide a race that only a missing event between the two threads
// would expose; it never adds one.
#include <QCoreApplication>
#include <QObject>
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

void onEmit(QObject *, int, void **)
{
    __tsan_release(&handover);
}

// Again once the events are posted: their arguments are written inside the emission.
void onEmitted(QObject *, int)
{
    __tsan_release(&handover);
}

bool onEvent(void **)
{
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

#include "hiddevice.h"
#include "quorvantishid_global.h"

#include <QThread>
#include <QtQml/qqml.h>
#include <QtQml/qqmlmoduleregistration.h>

QUORVANTISHID_EXPORT void qml_register_types_QuorvantisHID()
{
    qRegisterMetaType<Device *>("Device*");
    qRegisterMetaType<QuorvAntisDevice *>("QuorvAntisDevice*");
    qRegisterMetaType<QThread *>("QThread*");
    qmlRegisterTypesAndRevisions<HIDDevice>("QuorvantisHID", 1);
    qmlRegisterModule("QuorvantisHID", 1, 0);
}

static const QQmlModuleRegistration quorvantisHidRegistration("QuorvantisHID",
                                                              qml_register_types_QuorvantisHID);

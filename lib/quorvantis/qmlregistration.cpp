#include "audiodataentry.h"
#include "dataentry.h"
#include "delayedmessage.h"
#include "devicestatus.h"
#include "erase.h"
#include "fielddataentry.h"
#include "message.h"
#include "quorvantis_global.h"
#include "reset.h"
#include "usertrigger.h"
#include "version.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlmoduleregistration.h>

// Written by hand so that the order of registration is fixed.
QUORVANTIS_EXPORT void qml_register_types_Quorvantis()
{
    qmlRegisterTypesAndRevisions<AudioDataEntry>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<DataEntry>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<DelayedMessage>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<DeviceStatus>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<Erase>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<FieldDataEntry>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<Message>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<Reset>("Quorvantis", 1);
    qRegisterMetaType<UserTrigger *>("UserTrigger*");
    qmlRegisterTypesAndRevisions<Version>("Quorvantis", 1);
    qmlRegisterModule("Quorvantis", 1, 0);
}

static const QQmlModuleRegistration quorvantisRegistration("Quorvantis",
                                                           qml_register_types_Quorvantis);

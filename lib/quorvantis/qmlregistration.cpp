#include "delayedmessage.h"
#include "message.h"
#include "quorvantis_global.h"
#include "version.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlmoduleregistration.h>

// Written by hand so that the order of registration is fixed.
QUORVANTIS_EXPORT void qml_register_types_Quorvantis()
{
    qmlRegisterTypesAndRevisions<DelayedMessage>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<Message>("Quorvantis", 1);
    qmlRegisterTypesAndRevisions<Version>("Quorvantis", 1);
    qmlRegisterModule("Quorvantis", 1, 0);
}

static const QQmlModuleRegistration quorvantisRegistration("Quorvantis",
                                                           qml_register_types_Quorvantis);

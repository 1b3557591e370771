#pragma once

#include "audiodataentry.h"
#include "dataentry.h"
#include "fielddataentry.h"
#include "frelkit_global.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// The session the user selected, the view it needs, and the same session typed
// as a field or an audio session so that QML binds without casts.
class FRELKIT_EXPORT DataEntryPresenter : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(PresenterMode mode READ mode NOTIFY dataEntryChanged)
    Q_PROPERTY(DataEntry *dataEntry READ dataEntry WRITE setDataEntry NOTIFY dataEntryChanged)
    Q_PROPERTY(FieldDataEntry *fieldDataEntry READ fieldDataEntry WRITE setDataEntry NOTIFY
                   dataEntryChanged)
    Q_PROPERTY(AudioDataEntry *audioDataEntry READ audioDataEntry WRITE setDataEntry NOTIFY
                   dataEntryChanged)

public:
    enum PresenterMode
    {
        Nothing = 0,
        Field = 1,
        Audio = 2,
        Unknown = 3
    };
    Q_ENUM(PresenterMode)

    explicit DataEntryPresenter(QObject *parent = nullptr);

    PresenterMode mode() const;
    // Each reads as null once the session has been destroyed.
    DataEntry *dataEntry() const { return m_dataEntry; }
    FieldDataEntry *fieldDataEntry() const;
    AudioDataEntry *audioDataEntry() const;

    // Every write stores the session, whatever its type, and notifies, also
    // when it is the same one.
    void setDataEntry(DataEntry *dataEntry);

signals:
    void dataEntryChanged();

private:
    QPointer<DataEntry> m_dataEntry;
    DataEntryHold m_shown; // keeps the session from going with a newer list
};

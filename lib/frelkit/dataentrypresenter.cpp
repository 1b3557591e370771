#include "dataentrypresenter.h"

DataEntryPresenter::DataEntryPresenter(QObject *parent) : QObject(parent) {}

DataEntryPresenter::PresenterMode DataEntryPresenter::mode() const
{
    if (!m_dataEntry)
        return Nothing;
    switch (m_dataEntry->type()) {
    case DataEntry::Field:
        return Field;
    case DataEntry::Audio:
        return Audio;
    default:
        return Unknown;
    }
}

FieldDataEntry *DataEntryPresenter::fieldDataEntry() const
{
    return qobject_cast<FieldDataEntry *>(m_dataEntry.data());
}

AudioDataEntry *DataEntryPresenter::audioDataEntry() const
{
    return qobject_cast<AudioDataEntry *>(m_dataEntry.data());
}

void DataEntryPresenter::setDataEntry(DataEntry *dataEntry)
{
    m_dataEntry = dataEntry;
    m_shown.reset(dataEntry);
    emit dataEntryChanged();
}

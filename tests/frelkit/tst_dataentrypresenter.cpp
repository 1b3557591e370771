#include "dataentrypresenter.h"
#include "entryfactory.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

class TestDataEntryPresenter : public QObject
{
    Q_OBJECT

private slots:
    void freshPresenterShowsNothing();
    void modeFollowsTheEntryType();
    void everyWriteNotifies();
    void destroyedEntryReadsAsNone();
};

void TestDataEntryPresenter::freshPresenterShowsNothing()
{
    DataEntryPresenter presenter;
    QCOMPARE(presenter.mode(), DataEntryPresenter::Nothing);
    QCOMPARE(presenter.dataEntry(), nullptr);
    QCOMPARE(presenter.fieldDataEntry(), nullptr);
    QCOMPARE(presenter.audioDataEntry(), nullptr);
    QCOMPARE(presenter.property("mode").toInt(), 0);
}

void TestDataEntryPresenter::modeFollowsTheEntryType()
{
    DataEntryPresenter presenter;
    TestFieldEntry field;
    TestAudioEntry audio;
    TestUnknownEntry unknown;

    presenter.setDataEntry(&field);
    QCOMPARE(presenter.mode(), DataEntryPresenter::Field);
    QCOMPARE(presenter.fieldDataEntry(), &field);
    QCOMPARE(presenter.audioDataEntry(), nullptr);
    // Not loaded yet: the mode follows the type alone.
    QVERIFY(!field.isLoaded());

    presenter.setDataEntry(&audio);
    QCOMPARE(presenter.mode(), DataEntryPresenter::Audio);
    QCOMPARE(presenter.fieldDataEntry(), nullptr);
    QCOMPARE(presenter.audioDataEntry(), &audio);
    QCOMPARE(presenter.dataEntry(), &audio);
    QVERIFY(audio.isHeld() && !field.isHeld()); // only the shown session outlives its list

    presenter.setDataEntry(&unknown);
    QCOMPARE(unknown.type(), DataEntry::Undefined);
    QCOMPARE(presenter.mode(), DataEntryPresenter::Unknown);
    QCOMPARE(presenter.fieldDataEntry(), nullptr);
    QCOMPARE(presenter.audioDataEntry(), nullptr);

    QVERIFY(
        presenter.setProperty("audioDataEntry", QVariant::fromValue<AudioDataEntry *>(nullptr)));
    QCOMPARE(presenter.mode(), DataEntryPresenter::Nothing);
}

void TestDataEntryPresenter::everyWriteNotifies()
{
    DataEntryPresenter presenter;
    TestFieldEntry field;
    QSignalSpy changed(&presenter, &DataEntryPresenter::dataEntryChanged);
    presenter.setDataEntry(&field);
    presenter.setDataEntry(&field);
    presenter.setProperty("fieldDataEntry", QVariant::fromValue(&field));
    presenter.setDataEntry(nullptr);
    presenter.setDataEntry(nullptr);
    QCOMPARE(changed.count(), 5);
}

void TestDataEntryPresenter::destroyedEntryReadsAsNone()
{
    DataEntryPresenter presenter;
    auto audio = std::make_unique<TestAudioEntry>();
    presenter.setDataEntry(audio.get());
    audio.reset();
    QCOMPARE(presenter.dataEntry(), nullptr);
    QCOMPARE(presenter.audioDataEntry(), nullptr);
    QCOMPARE(presenter.mode(), DataEntryPresenter::Nothing);
}

QTEST_GUILESS_MAIN(TestDataEntryPresenter)
#include "tst_dataentrypresenter.moc"

// Every icon name the application uses must map to a glyph the embedded solid
// font really has, and the family name "FontAwesome" must resolve to it.
#include "iconfont.h"

#include <QFontInfo>
#include <QMetaProperty>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QRawFont>
#include <QtQml/qqmlextensionplugin.h>
#include <QtTest>

Q_IMPORT_QML_PLUGIN(FontAwesomePlugin)

class TestIconFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyNameHasAGlyph();
    void namesTheDocumentsUseArePresent();
    void aliasFamilyResolves();
    void loadsFromResourceUrl();

private:
    QQmlEngine engine;
    QScopedPointer<QObject> fontAwesome;
    QObject *icons = nullptr;
};

void TestIconFont::initTestCase()
{
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent component(&engine);
    component.setData(
        "import FontAwesome\nFontAwesome { resource: \"qrc:/content/fonts/fa-solid-900.ttf\" }",
        QUrl());
    fontAwesome.reset(component.create());
    QVERIFY2(fontAwesome, qPrintable(component.errorString()));
    icons = fontAwesome->property("icons").value<QObject *>();
    QVERIFY(icons);
}

void TestIconFont::everyNameHasAGlyph()
{
    QRawFont font(QString::fromLatin1(IconFont::embeddedPath), 16);
    QVERIFY(font.isValid());
    const QMetaObject *meta = icons->metaObject();
    int names = 0;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QString name = QString::fromLatin1(meta->property(i).name());
        if (!name.startsWith(QLatin1String("fa_")))
            continue;
        ++names;
        const QString glyph = meta->property(i).read(icons).toString();
        QCOMPARE(glyph.size(), 1);
        QVERIFY2(font.supportsCharacter(glyph.at(0)), qPrintable(name));
        QVERIFY2(!font.glyphIndexesForString(glyph).isEmpty() &&
                     font.glyphIndexesForString(glyph).first() != 0,
                 qPrintable(name));
    }
    QVERIFY(names >= 25);
}

void TestIconFont::namesTheDocumentsUseArePresent()
{
    const char *used[] = {
        "fa_arrow_left",     "fa_circle_o_notch", "fa_clipboard",       "fa_close",
        "fa_cloud_download", "fa_download",       "fa_floppy_o",        "fa_globe",
        "fa_hand_pointer_o", "fa_heartbeat",      "fa_info_circle",     "fa_line_chart",
        "fa_play",           "fa_power_off",      "fa_question",        "fa_question_circle",
        "fa_refresh",        "fa_stop",           "fa_trash_o",         "fa_volume_up",
        "fa_warning",        "fa_wifi",           "fa_window_maximize", "fa_window_minimize",
        "fa_window_restore"};
    QSet<QString> glyphs;
    for (const char *name : used) {
        const QVariant glyph = icons->property(name);
        QVERIFY2(glyph.isValid() && !glyph.toString().isEmpty(), name);
        glyphs.insert(glyph.toString());
    }
    // Distinct names draw distinct glyphs.
    QCOMPARE(glyphs.size(), int(std::size(used)));
}

void TestIconFont::aliasFamilyResolves()
{
    const QString family = fontAwesome->property("family").toString();
    QCOMPARE(family, QStringLiteral("Font Awesome 6 Free"));
    QFont alias(QString::fromLatin1(IconFont::aliasFamily));
    QCOMPARE(QFontInfo(alias).family(), family);
}

void TestIconFont::loadsFromResourceUrl()
{
    IconFont font;
    QCOMPARE(font.load(QUrl(QStringLiteral("qrc:/content/fonts/fa-solid-900.ttf"))),
             QStringLiteral("Font Awesome 6 Free"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot load icon font"));
    QCOMPARE(font.load(QUrl(QStringLiteral("qrc:/content/fonts/missing.ttf"))), QString());
}

QTEST_MAIN(TestIconFont)
#include "tst_iconfont.moc"

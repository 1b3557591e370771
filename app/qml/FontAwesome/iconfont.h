#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// Loads the solid icon font and makes the family name "FontAwesome" resolve to
// it, so plain texts in that family draw glyphs. registerEmbedded() is meant to
// be called once the GUI application exists; the QML types call it lazily too.
class IconFont : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString family READ family CONSTANT)

public:
    explicit IconFont(QObject *parent = nullptr);

    static constexpr const char *embeddedPath = ":/content/fonts/fa-solid-900.ttf";
    static constexpr const char *aliasFamily = "FontAwesome";

    // Family of the embedded font, or empty when it cannot be loaded.
    static QString registerEmbedded();

    QString family() const;

    // Loads the font at url (qrc:, file: or a plain path) and returns its family.
    Q_INVOKABLE QString load(const QUrl &url);
};

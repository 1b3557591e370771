// One of the pages' script modules, loaded into a QML engine and called the
// way the pages call it.
#pragma once

#include <QDebug>
#include <QJSValue>
#include <QQmlEngine>
#include <QString>

// The modules live in the pages' library; naming its registration function
// keeps the library linked.
void qml_register_types_content();

class ContentScript
{
public:
    // Loads ":/content/<fileName>"; on failure error() says why.
    bool load(const QString &fileName)
    {
        volatile auto keepLinked = &qml_register_types_content;
        Q_UNUSED(keepLinked);
        m_module = m_engine.importModule(QStringLiteral(":/content/") + fileName);
        return !m_module.isError();
    }

    QString error() const { return m_module.toString(); }

    QJSValue call(const QString &name, const QJSValueList &args)
    {
        const QJSValue result = m_module.property(name).call(args);
        if (result.isError())
            qWarning() << name << result.toString();
        return result;
    }

    QQmlEngine &engine() { return m_engine; }

private:
    QQmlEngine m_engine;
    QJSValue m_module;
};

#include "iconfont.h"

#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcIconFont, "qv.iconfont")

namespace {

QString localPath(const QUrl &url)
{
    if (url.scheme() == QLatin1String("qrc"))
        return QLatin1Char(':') + url.path();
    if (url.isLocalFile())
        return url.toLocalFile();
    return url.toString();
}

QString addFont(const QString &path)
{
    static QHash<QString, QString> loaded;
    const auto it = loaded.constFind(path);
    if (it != loaded.constEnd())
        return *it;
    const int id = QFontDatabase::addApplicationFont(path);
    const QString family = id < 0 ? QString() : QFontDatabase::applicationFontFamilies(id).value(0);
    if (family.isEmpty())
        qCWarning(lcIconFont) << "Cannot load icon font" << path;
    else
        QFont::insertSubstitution(QLatin1String(IconFont::aliasFamily), family);
    loaded.insert(path, family);
    return family;
}

} // namespace

IconFont::IconFont(QObject *parent) : QObject(parent)
{
    registerEmbedded();
}

QString IconFont::registerEmbedded()
{
    return addFont(QLatin1String(embeddedPath));
}

QString IconFont::family() const
{
    return registerEmbedded();
}

QString IconFont::load(const QUrl &url)
{
    if (url.isEmpty())
        return registerEmbedded();
    return addFont(localPath(url));
}

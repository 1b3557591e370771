#include "scenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace {

class Reader
{
public:
    explicit Reader(QString *error) : m_error(error) {}

    bool fail(const QString &message)
    {
        if (m_error && m_error->isEmpty())
            *m_error = message;
        return false;
    }

    bool integer(const QJsonValue &value, const QString &key, qint64 minimum, qint64 maximum,
                 qint64 *out)
    {
        if (!value.isDouble())
            return fail(QStringLiteral("%1: expected a number").arg(key));
        const double d = value.toDouble();
        if (d != double(qint64(d)))
            return fail(QStringLiteral("%1: expected a whole number").arg(key));
        if (qint64(d) < minimum || qint64(d) > maximum)
            return fail(QStringLiteral("%1: %2 is outside %3 to %4")
                            .arg(key)
                            .arg(qint64(d))
                            .arg(minimum)
                            .arg(maximum));
        *out = qint64(d);
        return true;
    }

    template <typename T>
    bool optional(const QJsonObject &object, const QString &key, qint64 minimum, qint64 maximum,
                  T *out, const QString &path = QString())
    {
        if (!object.contains(key))
            return true;
        qint64 v = 0;
        if (!integer(object.value(key), path + key, minimum, maximum, &v))
            return false;
        *out = T(v);
        return true;
    }

    bool optionalBool(const QJsonObject &object, const QString &key, bool *out)
    {
        if (!object.contains(key))
            return true;
        if (!object.value(key).isBool())
            return fail(QStringLiteral("%1: expected true or false").arg(key));
        *out = object.value(key).toBool();
        return true;
    }

    bool version(const QJsonObject &object, const QString &key, uint8_t *major, uint8_t *minor)
    {
        if (!object.contains(key))
            return true;
        const QJsonArray pair = object.value(key).toArray();
        if (!object.value(key).isArray() || pair.size() != 2)
            return fail(QStringLiteral("%1: expected [major, minor]").arg(key));
        qint64 a = 0, b = 0;
        if (!integer(pair.at(0), key + QStringLiteral("[0]"), 0, 255, &a) ||
            !integer(pair.at(1), key + QStringLiteral("[1]"), 0, 255, &b))
            return false;
        *major = uint8_t(a);
        *minor = uint8_t(b);
        return true;
    }

    bool records(const QJsonValue &value, const QString &key, bool firstMayBeZero,
                 QList<Scenario::FieldRecord> *out)
    {
        if (!value.isArray())
            return fail(
                QStringLiteral("%1: expected a list of [deltaSeconds, eByte, hByte]").arg(key));
        const QJsonArray list = value.toArray();
        for (int i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("%1[%2]").arg(key).arg(i);
            const QJsonArray triple = list.at(i).toArray();
            if (!list.at(i).isArray() || triple.size() != 3)
                return fail(where + QStringLiteral(": expected [deltaSeconds, eByte, hByte]"));
            Scenario::FieldRecord record{};
            for (int j = 0; j < 3; ++j) {
                qint64 v = 0;
                // 0xFF ends an entry's data in memory, so no byte may be 255.
                if (!integer(triple.at(j), QStringLiteral("%1[%2]").arg(where).arg(j), 0, 254, &v))
                    return false;
                record[j] = uint8_t(v);
            }
            // A 0 after a value byte reads as a separator, so only the very
            // first reading of a session may come 0 s after its predecessor.
            if (record[0] == 0 && !(firstMayBeZero && i == 0))
                return fail(where + QStringLiteral(": a delta of 0 is only allowed for the "
                                                   "first record of a session"));
            out->append(record);
        }
        return true;
    }

    bool samples(const QJsonValue &value, const QString &key, QByteArray *out)
    {
        if (!value.isArray())
            return fail(key + QStringLiteral(": expected a list of sample bytes"));
        const QJsonArray list = value.toArray();
        out->reserve(list.size());
        for (int i = 0; i < list.size(); ++i) {
            qint64 v = 0;
            if (!integer(list.at(i), QStringLiteral("%1[%2]").arg(key).arg(i), 0, 254, &v))
                return false;
            out->append(char(v));
        }
        return true;
    }

    bool unknownKeys(const QJsonObject &object, const QSet<QString> &known, const QString &path)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                return fail(QStringLiteral("%1%2: unknown key").arg(path, it.key()));
        }
        return true;
    }

private:
    QString *m_error;
};

} // namespace

bool Scenario::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return loadJson(file.readAll(), error);
}

QString Scenario::dataPath(const QString &fileName)
{
    QString folder = qEnvironmentVariable("QV_TEST_DATA");
    if (folder.isEmpty())
        folder = QStringLiteral("tests/data");
    return folder + QLatin1Char('/') + fileName;
}

QByteArray Scenario::identityBlock() const
{
    QByteArray block;
    for (int shift = 0; shift < 24; shift += 8)
        block.append(char((barcode >> shift) & 0xFF));
    for (int shift = 0; shift < 24; shift += 8)
        block.append(char((databaseId >> shift) & 0xFF));
    block.append(char(hardwareVersion));
    block.append(extraBytes);
    return block;
}

bool Scenario::loadJson(const QByteArray &json, QString *error)
{
    *this = Scenario(); // keys left out take their defaults
    if (error)
        error->clear();
    Reader r(error);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return r.fail(QStringLiteral("not JSON: %1 at offset %2")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    if (!document.isObject())
        return r.fail(QStringLiteral("a scenario is a JSON object"));
    const QJsonObject root = document.object();

    static const QSet<QString> knownKeys = {"identity",
                                            "bootloaderVersion",
                                            "firmwareVersion",
                                            "extendedQuery",
                                            "family",
                                            "bytesPerPacket",
                                            "isPublic",
                                            "batteryRaw",
                                            "memoryDisabled",
                                            "sessions",
                                            "live",
                                            "identityAddress",
                                            "entryBlockAddress",
                                            "entryBlockSectors",
                                            "clockOffsetSeconds",
                                            "frameMs"};
    if (!r.unknownKeys(root, knownKeys, QString()))
        return false;

    if (root.contains("identity")) {
        if (!root.value("identity").isObject())
            return r.fail(QStringLiteral("identity: expected an object"));
        const QJsonObject identity = root.value("identity").toObject();
        if (!r.unknownKeys(identity, {"barcode", "databaseId", "hardwareVersion", "extraBytes"},
                           QStringLiteral("identity.")) ||
            !r.optional(identity, "barcode", 0, 0xFFFFFF, &barcode, "identity.") ||
            !r.optional(identity, "databaseId", 0, 0xFFFFFF, &databaseId, "identity.") ||
            !r.optional(identity, "hardwareVersion", 0, 255, &hardwareVersion, "identity."))
            return false;
        if (identity.contains("extraBytes")) {
            const QString hex = identity.value("extraBytes").toString();
            static const QRegularExpression hexPattern(QStringLiteral("^([0-9a-fA-F]{2})*$"));
            if (!identity.value("extraBytes").isString() || !hexPattern.match(hex).hasMatch())
                return r.fail(QStringLiteral("identity.extraBytes: expected pairs of hex digits"));
            extraBytes = QByteArray::fromHex(hex.toLatin1());
        }
    }

    if (!r.version(root, "bootloaderVersion", &bootloaderMajor, &bootloaderMinor) ||
        !r.version(root, "firmwareVersion", &firmwareMajor, &firmwareMinor) ||
        !r.optionalBool(root, "extendedQuery", &extendedQuery) ||
        !r.optional(root, "family", 0, 255, &family) ||
        !r.optional(root, "bytesPerPacket", 1, 255, &bytesPerPacket) ||
        !r.optionalBool(root, "isPublic", &isPublic) ||
        !r.optional(root, "batteryRaw", 0, 0xFFFF, &batteryRaw) ||
        !r.optionalBool(root, "memoryDisabled", &memoryDisabled) ||
        !r.optional(root, "clockOffsetSeconds", -3153600000LL, 3153600000LL, &clockOffsetSeconds) ||
        !r.optional(root, "identityAddress", 0, 0xEFFFFFFFLL, &identityAddress) ||
        !r.optional(root, "entryBlockAddress", 0, 0xEFFFFFFFLL, &entryBlockAddress) ||
        !r.optional(root, "entryBlockSectors", 1, 256, &entryBlockSectors) ||
        !r.optional(root, "frameMs", 0, 1000, &frameMs))
        return false;
    if (entryBlockAddress % 0x10000 != 0)
        return r.fail(QStringLiteral("entryBlockAddress: must be a multiple of 0x10000"));

    if (root.contains("sessions")) {
        if (!root.value("sessions").isArray())
            return r.fail(QStringLiteral("sessions: expected a list"));
        const QJsonArray list = root.value("sessions").toArray();
        for (int i = 0; i < list.size(); ++i) {
            const QString path = QStringLiteral("sessions[%1].").arg(i);
            if (!list.at(i).isObject())
                return r.fail(path.chopped(1) + QStringLiteral(": expected an object"));
            const QJsonObject object = list.at(i).toObject();
            Session session;
            const QString type = object.value("type").toString();
            if (type == QLatin1String("field"))
                session.type = Session::Field;
            else if (type == QLatin1String("audio"))
                session.type = Session::Audio;
            else
                return r.fail(path + QStringLiteral("type: expected \"field\" or \"audio\""));
            if (!r.unknownKeys(object,
                               {"type", "start",
                                session.type == Session::Field ? "records" : "samples", "address"},
                               path))
                return false;

            const QString start = object.value("start").toString();
            session.start = QDateTime::fromString(start, Qt::ISODateWithMs);
            if (!session.start.isValid())
                return r.fail(path + QStringLiteral("start: expected an ISO date-time such as "
                                                    "2026-03-01T14:00:00Z"));
            if (session.start.timeSpec() == Qt::LocalTime)
                session.start.setTimeSpec(Qt::UTC); // written without a zone: UTC anyway
            session.start = session.start.toUTC();
            if (session.start.date().year() < 2000 || session.start.date().year() > 2099)
                return r.fail(path +
                              QStringLiteral("start: the instrument keeps years 2000 to 2099"));
            if (session.start.time().msec() != 0)
                return r.fail(path + QStringLiteral("start: the instrument keeps whole seconds"));

            if (!r.optional(object, "address", 0, 0xEFFFFFFFLL, &session.earliestAddress, path))
                return false;
            if (session.type == Session::Field) {
                if (object.contains("records") &&
                    !r.records(object.value("records"), path + QStringLiteral("records"), true,
                               &session.records))
                    return false;
            } else if (object.contains("samples") &&
                       !r.samples(object.value("samples"), path + QStringLiteral("samples"),
                                  &session.samples)) {
                return false;
            }
            sessions.append(session);
        }
    }

    if (root.contains("live")) {
        if (!root.value("live").isObject())
            return r.fail(QStringLiteral("live: expected an object"));
        const QJsonObject live = root.value("live").toObject();
        if (!r.unknownKeys(live, {"appendEveryMs", "records"}, QStringLiteral("live.")) ||
            !r.optional(live, "appendEveryMs", 1, 3600000, &liveAppendEveryMs, "live."))
            return false;
        if (!r.records(live.value("records"), QStringLiteral("live.records"), false, &liveRecords))
            return false;
        if (liveRecords.isEmpty())
            return r.fail(QStringLiteral("live.records: expected at least one record"));
        bool hasField = false;
        for (const Session &session : std::as_const(sessions))
            hasField = hasField || session.type == Session::Field;
        if (!hasField)
            return r.fail(QStringLiteral("live: there is no field session to append to"));
        hasLive = true;
    }
    return true;
}

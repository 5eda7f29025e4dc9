#include "Autosave.h"

#include "ScriptFile.h"
#include "ServiceContract.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLoggingCategory>

#include <cmath>

namespace Autosave {

namespace {

Q_LOGGING_CATEGORY(autosaveLog, "lumo.autosave")

const QLatin1String localeKey("locale");
const QLatin1String voiceKey("voice");
const QLatin1String rateKey("rate");
const QLatin1String volumeKey("volume");
const QLatin1String pauseKey("pauseMs");
const QLatin1String writeWavKey("writeWav");
const QLatin1String favouritesKey("favourites");

// The session file is a few lines; anything much larger is not ours.
constexpr qint64 maxSessionBytes = 64 * 1024;

std::optional<QString> textField(const QJsonObject &object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> boolField(const QJsonObject &object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<int> intField(const QJsonObject &object, QLatin1String key, int min, int max)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= min && number <= max) || number != std::floor(number))
        return std::nullopt;
    return int(number);
}

// A list of texts; anything else in it makes the whole field unread.
std::optional<QStringList> textListField(const QJsonObject &object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return std::nullopt;
    QStringList texts;
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString())
            return std::nullopt;
        texts.append(item.toString());
    }
    return texts;
}

// The file's bytes, or nothing when it is missing (silently) or cannot be read (logged).
std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    if (!info.isFile() || info.size() > limit) {
        qCWarning(autosaveLog, "ignoring %s: not a file the program wrote", qUtf8Printable(path));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(autosaveLog, "ignoring %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    return file.read(limit + 1);
}

} // namespace

QString scriptFileName()
{
    return QStringLiteral("script.autosave.txt");
}

QString sessionFileName()
{
    return QStringLiteral("session.autosave.json");
}

QByteArray encodeSession(const Session &session)
{
    QJsonObject object;
    if (session.locale)
        object.insert(localeKey, *session.locale);
    if (session.voice)
        object.insert(voiceKey, *session.voice);
    if (session.rate)
        object.insert(rateKey, *session.rate);
    if (session.volume)
        object.insert(volumeKey, *session.volume);
    if (session.pauseMs)
        object.insert(pauseKey, *session.pauseMs);
    if (session.writeWav)
        object.insert(writeWavKey, *session.writeWav);
    if (session.favourites)
        object.insert(favouritesKey, QJsonArray::fromStringList(*session.favourites));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<Session> decodeSession(const QByteArray &bytes, QString *why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        if (why)
            *why = error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    Session session;
    session.locale = textField(object, localeKey);
    session.voice = textField(object, voiceKey);
    session.rate = intField(object, rateKey, contract::rateMin, contract::pageRateMax);
    session.volume = intField(object, volumeKey, contract::volumeMin, contract::volumeMax);
    session.pauseMs = intField(object, pauseKey, 0, contract::pagePauseMaxMs);
    session.writeWav = boolField(object, writeWavKey);
    session.favourites = textListField(object, favouritesKey);
    return session;
}

bool saveScript(const QString &folder, const QString &text)
{
    QString error;
    if (ScriptFile::writeAtomically(folder + scriptFileName(), ScriptFile::encode(text), &error))
        return true;
    qCWarning(autosaveLog, "could not save the script: %s", qUtf8Printable(error));
    return false;
}

bool saveSession(const QString &folder, const Session &session)
{
    QString error;
    if (ScriptFile::writeAtomically(folder + sessionFileName(), encodeSession(session), &error))
        return true;
    qCWarning(autosaveLog, "could not save the settings: %s", qUtf8Printable(error));
    return false;
}

std::optional<QString> loadScript(const QString &folder)
{
    const QString path = folder + scriptFileName();
    const std::optional<QByteArray> bytes = readSmallFile(path, ScriptFile::maxBytes);
    if (!bytes)
        return std::nullopt;
    QString text;
    if (bytes->size() > ScriptFile::maxBytes || !ScriptFile::decodeUtf8(*bytes, &text)) {
        qCWarning(autosaveLog, "ignoring %s: damaged", qUtf8Printable(path));
        return std::nullopt;
    }
    return text;
}

std::optional<Session> loadSession(const QString &folder)
{
    const QString path = folder + sessionFileName();
    const std::optional<QByteArray> bytes = readSmallFile(path, maxSessionBytes);
    if (!bytes)
        return std::nullopt;
    QString why;
    std::optional<Session> session = bytes->size() > maxSessionBytes ? std::nullopt : decodeSession(*bytes, &why);
    if (!session)
        qCWarning(autosaveLog, "ignoring %s: %s", qUtf8Printable(path),
                  qUtf8Printable(why.isEmpty() ? QStringLiteral("too large") : why));
    return session;
}

} // namespace Autosave

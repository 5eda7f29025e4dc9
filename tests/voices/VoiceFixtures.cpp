#include "VoiceFixtures.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <functional>

namespace VoiceFixtures {

namespace {

const QString fixtureConnection = QStringLiteral("voice-fixtures");

void withDatabase(const std::function<void(QSqlDatabase &)> &work)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), fixtureConnection);
        db.setDatabaseName(QStringLiteral("data.db"));
        if (db.open())
            work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(fixtureConnection);
}

} // namespace

bool writeCache(const QJsonArray &records)
{
    bool written = false;
    withDatabase([&](QSqlDatabase &db) {
        QSqlQuery q(db);
        written = q.exec("DROP TABLE IF EXISTS voices;") && q.exec("DROP TABLE IF EXISTS voiceNames;")
            && q.exec("CREATE TABLE voices (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL,"
                      " gender TEXT NOT NULL, locale TEXT NOT NULL, name TEXT NOT NULL);")
            && db.transaction();
        for (const QJsonValue &v : records) {
            const QJsonObject r = v.toObject();
            q.prepare("INSERT INTO voices (gender, locale, name) VALUES (?, ?, ?);");
            q.addBindValue(r.value("gender").toString());
            q.addBindValue(r.value("locale").toString());
            q.addBindValue(r.value("name").toString());
            written = written && q.exec();
            if (r.contains("displayName")) {
                written = written
                    && q.exec("CREATE TABLE IF NOT EXISTS voiceNames (name TEXT NOT NULL, displayName TEXT NOT NULL);");
                q.prepare("INSERT INTO voiceNames (name, displayName) VALUES (?, ?);");
                q.addBindValue(r.value("name").toString());
                q.addBindValue(r.value("displayName").toString());
                written = written && q.exec();
            }
        }
        written = written && db.commit();
    });
    return written;
}

QStringList cacheRows()
{
    QStringList rows;
    withDatabase([&](QSqlDatabase &db) {
        QSqlQuery q(db);
        q.exec("SELECT id, gender, locale, name FROM voices ORDER BY id;");
        while (q.next()) {
            rows.append(QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                    q.value(3).toString()}
                            .join('|'));
        }
    });
    return rows;
}

QStringList cacheDisplayNames()
{
    QStringList rows;
    withDatabase([&](QSqlDatabase &db) {
        QSqlQuery q(db);
        q.exec("SELECT name, displayName FROM voiceNames ORDER BY rowid;");
        while (q.next())
            rows.append(q.value(0).toString() + '|' + q.value(1).toString());
    });
    return rows;
}

QStringList cacheColumns()
{
    QStringList columns;
    withDatabase([&](QSqlDatabase &db) {
        const QSqlRecord rec = db.record(QStringLiteral("voices"));
        for (int i = 0; i < rec.count(); ++i)
            columns.append(rec.fieldName(i));
    });
    return columns;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void markReadOnly(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return;
    file.seek(18);
    file.write(QByteArray(1, char(3)));
}

} // namespace VoiceFixtures

#include "SqlLite.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

const QString SqlLite::tableName = QStringLiteral("voices");
const QString SqlLite::displayNameTable = QStringLiteral("voiceNames");

namespace {

const char createStatement[] =
    "\n                           CREATE TABLE IF NOT EXISTS  voices ("
    "\n                           id   INTEGER   PRIMARY KEY AUTOINCREMENT NOT NULL,"
    "\n                           gender TEXT NOT NULL,"
    "\n                           locale TEXT NOT NULL,"
    "\n                           name TEXT NOT NULL"
    "\n                           );";

} // namespace

SqlLite::SqlLite()
    : connectionName(QString::number(QDateTime::currentDateTime().toMSecsSinceEpoch()))
    , databaseName(QStringLiteral("data.db"))
{
    // Two wrappers made in the same millisecond must not share (and so
    // replace) one registered connection.
    qint64 stamp = connectionName.toLongLong();
    while (QSqlDatabase::contains(connectionName))
        connectionName = QString::number(++stamp);
}

SqlLite::~SqlLite()
{
    delete sqlQuery;
    sqlQuery = nullptr;
    // Release the file and the registry entry; nothing else uses this connection.
    if (database.isValid()) {
        database.close();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
    }
}

bool SqlLite::open()
{
    database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    database.setDatabaseName(databaseName);
    if (!database.open())
        return false;
    sqlQuery = new QSqlQuery(database);
    return true;
}

void SqlLite::clearQuery()
{
    sqlQuery->clear();
}

bool SqlLite::run(const QString &statement)
{
    return sqlQuery->exec(statement);
}

int SqlLite::readCount(bool executed, bool *ok)
{
    const bool hasRow = executed && sqlQuery->next();
    if (ok)
        *ok = executed;
    // A failed statement or one without a row reads as 0.
    return hasRow ? sqlQuery->value(0).toString().toInt() : 0;
}

int SqlLite::tableCheck(bool *ok)
{
    const bool executed = run(QStringLiteral("SELECT count(*) as num FROM sqlite_master WHERE type=\"table\" AND name = '%1';").arg(tableName));
    return readCount(executed, ok);
}

bool SqlLite::createTable()
{
    clearQuery();
    return run(QString::fromUtf8(createStatement));
}

int SqlLite::rowCount(bool *ok)
{
    clearQuery();
    const bool executed = run(QStringLiteral("SELECT count(*) as num FROM %1;").arg(tableName));
    return readCount(executed, ok);
}

QJsonArray SqlLite::readAll(bool *ok)
{
    QHash<QString, QString> displayNames;
    const bool named = readDisplayNames(displayNames);
    clearQuery();
    QJsonArray records;
    // Rows come back in id order, that is the service's order; the columns
    // are read by position: 1 gender, 2 locale, 3 name.
    const bool executed = named && run(QStringLiteral("SELECT * FROM %1;").arg(tableName));
    while (executed && sqlQuery->next()) {
        QJsonObject record;
        const QString name = sqlQuery->value(3).toString();
        record.insert(QStringLiteral("gender"), sqlQuery->value(1).toString());
        record.insert(QStringLiteral("locale"), sqlQuery->value(2).toString());
        record.insert(QStringLiteral("name"), name);
        const auto displayName = displayNames.constFind(name);
        if (displayName != displayNames.constEnd())
            record.insert(QStringLiteral("displayName"), displayName.value());
        records.append(record);
    }
    // A file that breaks off part-way ends the rows early with an error.
    if (ok)
        *ok = executed && sqlQuery->lastError().type() == QSqlError::NoError;
    return records;
}

bool SqlLite::readDisplayNames(QHash<QString, QString> &names)
{
    clearQuery();
    bool counted = false;
    const bool executed =
        run(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type=\"table\" AND name = '%1';").arg(displayNameTable));
    if (readCount(executed, &counted) == 0)
        return counted;
    clearQuery();
    if (!run(QStringLiteral("SELECT name, displayName FROM %1;").arg(displayNameTable)))
        return false;
    while (sqlQuery->next())
        names.insert(sqlQuery->value(0).toString(), sqlQuery->value(1).toString());
    return sqlQuery->lastError().type() == QSqlError::NoError;
}

bool SqlLite::writeDisplayNames(const QJsonArray &records)
{
    clearQuery();
    bool written = run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT NOT NULL, displayName TEXT NOT NULL);")
                           .arg(displayNameTable));
    clearQuery();
    written = written && run(QStringLiteral("DELETE FROM %1;").arg(displayNameTable));
    clearQuery();
    written = written
        && sqlQuery->prepare(QStringLiteral("INSERT INTO %1 (name,displayName) VALUES(?,?);").arg(displayNameTable));
    for (int i = 0; written && i < records.size(); ++i) {
        const QJsonObject record = records.at(i).toObject();
        const QString displayName = record.value(QLatin1String("displayName")).toString();
        if (displayName.isEmpty())
            continue;
        sqlQuery->addBindValue(record.value(QLatin1String("name")).toString());
        sqlQuery->addBindValue(displayName);
        written = sqlQuery->exec();
    }
    return written;
}

bool SqlLite::emptyTable()
{
    clearQuery();
    const bool deleted = run(QStringLiteral("DELETE FROM %1;").arg(tableName));
    clearQuery();
    const bool reset = run(QStringLiteral("UPDATE sqlite_sequence SET seq = 0 WHERE name = '%1';").arg(tableName));
    return deleted && reset;
}

bool SqlLite::insertVoice(const QString &gender, const QString &locale, const QString &name)
{
    // Bound, not pasted into the text: an apostrophe in a value is stored as is.
    if (!sqlQuery->prepare(QStringLiteral("INSERT INTO %1 (gender,locale,name) VALUES(?,?,?);").arg(tableName)))
        return false;
    sqlQuery->addBindValue(gender);
    sqlQuery->addBindValue(locale);
    sqlQuery->addBindValue(name);
    return sqlQuery->exec();
}

bool SqlLite::replaceVoices(const QJsonArray &records)
{
    clearQuery();
    if (!database.transaction())
        return false;
    bool written = emptyTable();
    for (int i = 0; written && i < records.size(); ++i) {
        const QJsonObject record = records.at(i).toObject();
        written = insertVoice(record.value(QLatin1String("gender")).toString(),
                              record.value(QLatin1String("locale")).toString(),
                              record.value(QLatin1String("name")).toString());
    }
    written = written && writeDisplayNames(records);
    if (written && database.commit())
        return true;
    clearQuery();
    database.rollback();
    return false;
}

#pragma once

#include <QHash>
#include <QJsonArray>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

class QSqlQuery;

// The voice cache: one connection to "data.db" in the working folder and one
// statement object, with the fixed statements on table `voices`. Made, used
// and destroyed on one thread.
class SqlLite : public QObject
{
    Q_OBJECT

public:
    SqlLite();
    ~SqlLite() override;

    static const QString tableName;
    // Beside `voices`, which keeps its columns for every version of the
    // program: the names neural voices bring with them (name, displayName).
    static const QString displayNameTable;

    // Registers a connection of its own and opens "data.db" (creating it when
    // it is missing). False when it cannot be opened; query() stays null then.
    bool open();
    QSqlQuery *query() const { return sqlQuery; }
    // Readies the statement object for the next statement (after open() only).
    void clearQuery();

    // The statements. Each returns false, or sets *ok to false, when SQLite
    // refused it: a corrupt or read-only file.
    // 1 when table `voices` exists, 0 otherwise.
    int tableCheck(bool *ok = nullptr);
    bool createTable();
    int rowCount(bool *ok = nullptr);
    // The voice record list ({gender, locale, name}, and displayName for the
    // voices that have one) in row order.
    QJsonArray readAll(bool *ok = nullptr);
    // Deletes every row and resets the id counter, so a refill numbers from 1.
    bool emptyTable();
    bool insertVoice(const QString &gender, const QString &locale, const QString &name);
    // Empties the table and inserts the records in order, with their display
    // names, all or nothing: when any statement fails the file is left as it was.
    bool replaceVoices(const QJsonArray &records);

private:
    bool run(const QString &statement);
    bool writeDisplayNames(const QJsonArray &records);
    // The display names kept beside the rows, by identifier; a file without
    // them (an older cache) has none, which is no error.
    bool readDisplayNames(QHash<QString, QString> &names);
    int readCount(bool executed, bool *ok);

    QSqlDatabase database;
    QString connectionName;
    QString databaseName;
    QSqlQuery *sqlQuery = nullptr;
};

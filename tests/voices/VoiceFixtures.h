#pragma once

#include "VoiceRecords.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// data.db files for the catalogue's tests. The database
// helpers work on "data.db" in the current directory through a connection of
// their own, so they do not rely on the code under test.
namespace VoiceFixtures {

// Creates table `voices` (dropping any old one) and fills it in order, and
// the table of display names when a record has one; false if any step failed.
bool writeCache(const QJsonArray &records);
// Every row as "id|gender|locale|name", in id order.
QStringList cacheRows();
// The display names kept beside the rows, as "name|displayName".
QStringList cacheDisplayNames();
// Column names of table `voices`, in order.
QStringList cacheColumns();

QByteArray readFile(const QString &path);
// Marks the SQLite file read-only in its header (write version 3): SQLite
// then refuses every write, whoever runs the test, root included.
void markReadOnly(const QString &path);

} // namespace VoiceFixtures

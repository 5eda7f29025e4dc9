#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Voice records as the service sends them, for the tests of every layer.
namespace VoiceFixtures {

QJsonObject record(const QString &gender, const QString &locale, const QString &name);
// n voices: the seven zh-CN voices with nicknames first, then en-US ones.
QJsonArray voiceList(int n);
QByteArray toJson(const QJsonArray &records);

} // namespace VoiceFixtures

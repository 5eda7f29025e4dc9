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

// A neural voice's record: the service names it itself.
QJsonObject neuralRecord(const QString &gender, const QString &locale, const QString &name, const QString &displayName);
// `count` speakers of one model: identifiers locale-<model>S000…, display
// names "<shownModel> 000 女声", "<shownModel> 001 男声", …
QJsonArray neuralVoices(const QString &locale, const QString &model, const QString &shownModel, int count);

} // namespace VoiceFixtures

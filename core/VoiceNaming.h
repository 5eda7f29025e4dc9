#pragma once

#include <QString>
#include <QStringList>

// The fixed tables that give locales, voices and genders their Chinese display
// names. Every lookup returns the given text itself when no row matches.
namespace VoiceNaming {

// Two parallel columns; row order is the search order, comparison is exact.
struct NamingTable {
    QStringList keys;
    QStringList values;
};

enum class Direction { Forward, Reverse };

// Forward: the value of the first row whose key is `text`; reverse: the key of
// the first row whose value is `text`; no such row: `text` itself.
QString lookup(const QString &text, const QStringList &keys, const QStringList &values, Direction direction);

// The code and Chinese name columns of the contract's locale table.
const NamingTable &localeTable();
const NamingTable &nicknameTable();
const NamingTable &genderTable();

// Locale code → display name ("zh-CN" → "汉语(大陆)").
QString localeDisplayName(const QString &code);
// Voice identifier → nickname ("zh-CN-XiaoxiaoNeural" → "晓晓").
QString voiceNickname(const QString &identifier);
// Nickname → voice identifier ("晓晓" → "zh-CN-XiaoxiaoNeural").
QString voiceIdentifier(const QString &nickname);
// Gender → display text ("Female" → "女声").
QString genderDisplayName(const QString &gender);

} // namespace VoiceNaming

#pragma once

#include <QString>

// The fixed tables that give locales, voices and genders their Chinese display
// names. Every lookup returns the given text itself when no row matches.
namespace VoiceNaming {

// Locale code → display name ("zh-CN" → "汉语(大陆)").
QString localeDisplayName(const QString &code);
// Voice identifier → nickname ("zh-CN-XiaoxiaoNeural" → "晓晓").
QString voiceNickname(const QString &identifier);
// Nickname → voice identifier ("晓晓" → "zh-CN-XiaoxiaoNeural").
QString voiceIdentifier(const QString &nickname);
// Gender → display text ("Female" → "女声").
QString genderDisplayName(const QString &gender);

} // namespace VoiceNaming

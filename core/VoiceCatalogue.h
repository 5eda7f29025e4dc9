#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

// The voices of the service grouped by locale, as the choosers show them.
// One instance per process (instance()); the loader fills it once on its
// thread before it signals, and the page reads it from then on.
class VoiceCatalogue
{
public:
    static VoiceCatalogue &instance();

    // Groups a voice record list ({gender, locale, name} objects, locales
    // listed together) into locale display names and voice groups of
    // {name: display name, gender: display text, voice: identifier} entries.
    void groupVoices(const QJsonArray &records);

    QStringList localeNames() const;
    int currentLocaleIndex() const;
    void setCurrentLocaleIndex(int index);
    QJsonArray currentVoiceGroup() const;
    QList<QJsonArray> voiceGroups() const;
    // The identifier of entry `index` of the current group, as the service
    // named it; empty when there is no such entry (nothing loaded or chosen).
    QString currentVoice(int index) const;

    // Back to the start state (tests only; the program never clears it).
    void reset();

private:
    QStringList m_localeNames;
    QList<QJsonArray> m_voiceGroups;
    int m_currentLocaleIndex = 0;
};

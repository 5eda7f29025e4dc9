#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
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
    // A record with a displayName (a neural voice) is named by it, less a
    // trailing gender word the chooser adds anyway, and its entry also holds
    // `model`: the group of voices it belongs to in the chooser.
    void groupVoices(const QJsonArray &records);

    QStringList localeNames() const;
    int currentLocaleIndex() const;
    void setCurrentLocaleIndex(int index);
    QJsonArray currentVoiceGroup() const;
    QList<QJsonArray> voiceGroups() const;
    // The identifier of entry `index` of the current group, as the service
    // named it; empty when there is no such entry (nothing loaded or chosen).
    QString currentVoice(int index) const;
    // The identifier of a voice written as the choosers and tags name it:
    // a neural voice's name as grouped, otherwise the nickname table's.
    QString voiceIdentifier(const QString &name) const;

    // The voice chooser's text of a grouped entry: "name gender".
    static QString chooserText(const QJsonObject &entry);
    // The chooser group of a neural voice named `displayName` (its model's
    // name: the words before the speaker number); empty when it does not
    // say, and for espeak voices.
    static QString modelOf(const QString &displayName);

    // Back to the start state (tests only; the program never clears it).
    void reset();

private:
    QString neuralName(const QString &displayName, const QString &gender, const QString &identifier) const;

    QStringList m_localeNames;
    QList<QJsonArray> m_voiceGroups;
    int m_currentLocaleIndex = 0;
    // Names given to neural voices → their identifiers.
    QHash<QString, QString> m_neuralNames;
};

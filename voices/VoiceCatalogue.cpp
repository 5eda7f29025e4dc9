#include "VoiceCatalogue.h"

#include "VoiceNaming.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {
const QString mainlandChinese = QStringLiteral("汉语(大陆)");
}

VoiceCatalogue &VoiceCatalogue::instance()
{
    static VoiceCatalogue catalogue;
    return catalogue;
}

void VoiceCatalogue::groupVoices(const QJsonArray &records)
{
    for (const QJsonValue &value : records) {
        const QJsonObject record = value.toObject();
        const QString displayName = VoiceNaming::localeDisplayName(record.value(QLatin1String("locale")).toString());

        // A voice joins the group of its locale's display name, so the name
        // list and the group list stay in step even when the voices of one
        // locale are not listed together.
        int position = m_localeNames.indexOf(displayName);
        if (position < 0) {
            position = m_localeNames.size();
            if (displayName == mainlandChinese)
                m_currentLocaleIndex = position;
            m_localeNames.append(displayName);
            m_voiceGroups.append(QJsonArray());
        }

        QJsonObject entry;
        entry.insert(QStringLiteral("name"), VoiceNaming::voiceNickname(record.value(QLatin1String("name")).toString()));
        entry.insert(QStringLiteral("gender"), VoiceNaming::genderDisplayName(record.value(QLatin1String("gender")).toString()));
        m_voiceGroups[position].append(entry);
    }
}

QStringList VoiceCatalogue::localeNames() const
{
    return m_localeNames;
}

int VoiceCatalogue::currentLocaleIndex() const
{
    return m_currentLocaleIndex;
}

void VoiceCatalogue::setCurrentLocaleIndex(int index)
{
    m_currentLocaleIndex = index;
}

QJsonArray VoiceCatalogue::currentVoiceGroup() const
{
    // Out of range (an empty catalogue, or a chooser with no current item)
    // reads as an empty group rather than past the end of the list.
    if (m_currentLocaleIndex < 0 || m_currentLocaleIndex >= m_voiceGroups.size())
        return QJsonArray();
    return m_voiceGroups.at(m_currentLocaleIndex);
}

QList<QJsonArray> VoiceCatalogue::voiceGroups() const
{
    return m_voiceGroups;
}

void VoiceCatalogue::reset()
{
    m_localeNames.clear();
    m_voiceGroups.clear();
    m_currentLocaleIndex = 0;
}

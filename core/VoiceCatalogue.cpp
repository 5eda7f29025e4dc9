#include "VoiceCatalogue.h"

#include "ServiceContract.h"
#include "TsanQtSync.h"
#include "VoiceNaming.h"

#include <QJsonObject>
#include <QJsonValue>

namespace {
// The choosers open on mainland Chinese when the service offers it.
const QString &mainlandChinese()
{
    static const QString name = VoiceNaming::localeDisplayName(QStringLiteral("zh-CN"));
    return name;
}
} // namespace

VoiceCatalogue &VoiceCatalogue::instance()
{
    static VoiceCatalogue catalogue;
    return catalogue;
}

void VoiceCatalogue::groupVoices(const QJsonArray &records)
{
    for (const QJsonValue &value : records) {
        const QJsonObject record = value.toObject();
        const QString displayName =
            VoiceNaming::localeDisplayName(record.value(QLatin1String(contract::voiceRecord::locale)).toString());

        // A voice joins the group of its locale's display name, so the name
        // list and the group list stay in step even when the voices of one
        // locale are not listed together.
        int position = m_localeNames.indexOf(displayName);
        if (position < 0) {
            position = m_localeNames.size();
            if (displayName == mainlandChinese())
                m_currentLocaleIndex = position;
            m_localeNames.append(displayName);
            m_voiceGroups.append(QJsonArray());
        }

        // The identifier is kept beside the name shown, so that the chooser's
        // voice is never read back from its nickname.
        const QString identifier = record.value(QLatin1String(contract::voiceRecord::name)).toString();
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), VoiceNaming::voiceNickname(identifier));
        entry.insert(QStringLiteral("gender"),
                     VoiceNaming::genderDisplayName(record.value(QLatin1String(contract::voiceRecord::gender)).toString()));
        entry.insert(QStringLiteral("voice"), identifier);
        m_voiceGroups[position].append(entry);
    }
    // The loader hands the catalogue to the page by a queued signal, through
    // Qt's event queue; ThreadSanitizer cannot see that lock, so name it here.
    lumo::tsan::release(this);
}

QStringList VoiceCatalogue::localeNames() const
{
    lumo::tsan::acquire(this);
    return m_localeNames;
}

int VoiceCatalogue::currentLocaleIndex() const
{
    lumo::tsan::acquire(this);
    return m_currentLocaleIndex;
}

void VoiceCatalogue::setCurrentLocaleIndex(int index)
{
    lumo::tsan::acquire(this);
    m_currentLocaleIndex = index;
}

QJsonArray VoiceCatalogue::currentVoiceGroup() const
{
    lumo::tsan::acquire(this);
    // Out of range (an empty catalogue, or a chooser with no current item)
    // reads as an empty group rather than past the end of the list.
    if (m_currentLocaleIndex < 0 || m_currentLocaleIndex >= m_voiceGroups.size())
        return QJsonArray();
    return m_voiceGroups.at(m_currentLocaleIndex);
}

QList<QJsonArray> VoiceCatalogue::voiceGroups() const
{
    lumo::tsan::acquire(this);
    return m_voiceGroups;
}

QString VoiceCatalogue::currentVoice(int index) const
{
    const QJsonArray group = currentVoiceGroup();
    if (index < 0 || index >= group.size())
        return QString();
    return group.at(index).toObject().value(QLatin1String("voice")).toString();
}

void VoiceCatalogue::reset()
{
    lumo::tsan::acquire(this);
    m_localeNames.clear();
    m_voiceGroups.clear();
    m_currentLocaleIndex = 0;
}

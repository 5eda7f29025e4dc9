#include "VoiceCatalogue.h"

#include "ServiceContract.h"
#include "TagGrammar.h"
#include "TsanQtSync.h"
#include "VoiceNaming.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QVector>

#include <algorithm>

using VoiceNaming::NamingTable;

namespace {
// The choosers open on mainland Chinese when the service offers it.
const QString &mainlandChinese()
{
    static const QString name = VoiceNaming::localeDisplayName(QStringLiteral("zh-CN"));
    return name;
}

// Voices without a nickname are shown by their identifier; a neural name
// of that shape could be taken for one of them.
// ("xx-…" or "xxx-…", ASCII letters, digits and hyphens only).
bool looksLikeIdentifier(const QString &name)
{
    const int hyphen = name.indexOf(QLatin1Char('-'));
    if (hyphen < 2 || hyphen > 3 || hyphen == name.size() - 1)
        return false;
    for (int i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool lower = c >= u'a' && c <= u'z';
        const bool ascii = lower || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-';
        if (i < hyphen ? !lower : !ascii)
            return false;
    }
    return true;
}
} // namespace

VoiceCatalogue &VoiceCatalogue::instance()
{
    static VoiceCatalogue catalogue;
    return catalogue;
}

QString VoiceCatalogue::neuralName(const QString &displayName, const QString &gender, const QString &identifier) const
{
    // "标贝 001 女声" is listed as "标贝 001", so the chooser reads
    // "标贝 001 女声" like "晓晓 女声", and tags stay short.
    QString name = displayName.trimmed();
    const QString genderWord = QLatin1Char(' ') + gender;
    if (name.endsWith(genderWord) && name.size() > genderWord.size())
        name.chop(genderWord.size());
    // A tag names one voice: a name that could not be written into a tag,
    // or that another voice already answers to, stays the identifier.
    const NamingTable &nicknames = VoiceNaming::nicknameTable();
    if (name.isEmpty() || !TagGrammar::isTaggable(name) || name.contains(TagGrammar::tagOpen)
        || m_neuralNames.contains(name) || nicknames.values.contains(name) || looksLikeIdentifier(name))
        return identifier;
    return name;
}

void VoiceCatalogue::groupVoices(const QJsonArray &records)
{
    // Each code is looked up in the locale table once, not once per voice:
    // a list may hold hundreds of voices of a few locales.
    QHash<QString, int> positionOfCode;
    for (const QJsonValue &value : records) {
        const QJsonObject record = value.toObject();
        const QString code = record.value(QLatin1String(contract::voiceRecord::locale)).toString();
        int position = positionOfCode.value(code, -1);
        if (position < 0) {
            const QString displayName = VoiceNaming::localeDisplayName(code);
            // A voice joins the group of its locale's display name, so the name
            // list and the group list stay in step even when the voices of one
            // locale are not listed together.
            position = m_localeNames.indexOf(displayName);
            if (position < 0) {
                position = m_localeNames.size();
                if (displayName == mainlandChinese())
                    m_currentLocaleIndex = position;
                m_localeNames.append(displayName);
                m_voiceGroups.append(QJsonArray());
            }
            positionOfCode.insert(code, position);
        }

        // The identifier is kept beside the name shown, so that the chooser's
        // voice is never read back from its nickname.
        const QString identifier = record.value(QLatin1String(contract::voiceRecord::name)).toString();
        const QString gender =
            VoiceNaming::genderDisplayName(record.value(QLatin1String(contract::voiceRecord::gender)).toString());
        const QString ownName = record.value(QLatin1String(contract::voiceRecord::displayName)).toString();
        QJsonObject entry;
        if (ownName.isEmpty()) {
            entry.insert(QStringLiteral("name"), VoiceNaming::voiceNickname(identifier));
        } else {
            const QString name = neuralName(ownName, gender, identifier);
            entry.insert(QStringLiteral("name"), name);
            entry.insert(QStringLiteral("model"), modelOf(ownName));
            if (name != identifier)
                m_neuralNames.insert(name, identifier);
        }
        entry.insert(QStringLiteral("gender"), gender);
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

QString VoiceCatalogue::voiceIdentifier(const QString &name) const
{
    lumo::tsan::acquire(this);
    const auto found = m_neuralNames.constFind(name);
    if (found != m_neuralNames.constEnd())
        return found.value();
    return VoiceNaming::voiceIdentifier(name);
}

QString VoiceCatalogue::chooserText(const QJsonObject &entry)
{
    return entry.value(QLatin1String("name")).toString() + QLatin1Char(' ')
        + entry.value(QLatin1String("gender")).toString();
}

QString VoiceCatalogue::modelOf(const QString &displayName)
{
    // "<model> <number> <gender>": the words before the first word of digits.
    // Read in place: the catalogue asks once per voice.
    const QVector<QStringRef> words = displayName.splitRef(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 1; i < words.size(); ++i) {
        const QStringRef &word = words.at(i);
        if (std::all_of(word.begin(), word.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            return displayName.left(words.at(i - 1).position() + words.at(i - 1).size()).trimmed();
    }
    return QString();
}

void VoiceCatalogue::reset()
{
    lumo::tsan::acquire(this);
    m_neuralNames.clear();
    m_localeNames.clear();
    m_voiceGroups.clear();
    m_currentLocaleIndex = 0;
}

#include "PickerStrip.h"

#include "TagGrammar.h"

#include <QHash>
#include <QSet>

#include <limits>

namespace PickerStrip {

int capacity(int width, int buttonWidth)
{
    if (width < 0 || buttonWidth <= 0)
        return std::numeric_limits<int>::max();
    return width / buttonWidth;
}

Layout arrange(const QStringList &names, const QStringList &used, const QStringList &favourites, int width,
               int buttonWidth)
{
    Layout layout;
    const int fit = capacity(width, buttonWidth);
    if (names.size() <= fit) {
        for (int i = 0; i < names.size(); ++i)
            layout.voices.append(i);
        return layout;
    }

    layout.more = true;
    const int room = qMax(0, fit - 1);
    QHash<QString, int> position;
    position.reserve(names.size());
    for (int i = names.size() - 1; i >= 0; --i)
        position.insert(names.at(i), i); // the first of equal names wins
    QVector<bool> taken(names.size(), false);
    auto take = [&](int i) {
        if (i < 0 || taken.at(i) || layout.voices.size() >= room)
            return;
        taken[i] = true;
        layout.voices.append(i);
    };

    for (const QString &name : used)
        take(position.value(name, -1));
    const QSet<QString> favourite(favourites.begin(), favourites.end());
    for (int i = 0; i < names.size() && layout.voices.size() < room; ++i)
        if (favourite.contains(names.at(i)))
            take(i);
    for (int i = 0; i < names.size() && layout.voices.size() < room; ++i)
        take(i);
    return layout;
}

QStringList usedVoices(const QString &script)
{
    QStringList voices;
    QSet<QString> seen;
    for (TagGrammar::Tag tag = TagGrammar::findTag(script); tag.found(); tag = TagGrammar::findTag(script, tag.end)) {
        if (!seen.contains(tag.voice)) {
            seen.insert(tag.voice);
            voices.append(tag.voice);
        }
    }
    return voices;
}

} // namespace PickerStrip

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
    // TagGrammar's tag, "「" then at least one character other than "」" then
    // "」", found by hand: the strip asks each time it shows, over the
    // whole script.
    QStringList voices;
    QSet<QString> seen;
    const QChar open(TagGrammar::tagOpen);
    const QChar close(TagGrammar::tagClose);
    int from = 0;
    for (;;) {
        const int start = script.indexOf(open, from);
        if (start < 0)
            break;
        const int end = script.indexOf(close, start + 1);
        if (end < 0)
            break;
        if (end == start + 1) { // "「」" is an end marker; a tag may start right after its "「"
            from = start + 1;
            continue;
        }
        const QString voice = script.mid(start + 1, end - start - 1);
        if (!seen.contains(voice)) {
            seen.insert(voice);
            voices.append(voice);
        }
        from = end + 1;
    }
    return voices;
}

} // namespace PickerStrip

#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Which voices the picker strip over the editor shows. A locale may hold a
// hundred voices and the strip is one row of fixed-width buttons, so when
// they do not all fit it shows the voices that matter first and ends with a
// button that opens the full list.
namespace PickerStrip {

struct Layout {
    QVector<int> voices; // positions in the voice list, in strip order
    bool more = false;   // a last button opens the full list
    bool operator==(const Layout &other) const { return voices == other.voices && more == other.more; }
};

// How many buttons of `buttonWidth` fit in `width`; a width below zero
// means there is no limit.
int capacity(int width, int buttonWidth);

// `names` are the voices in list order. When they all fit, all of them in
// list order, as ever. Otherwise the buttons but the last are, in this
// order: the voices the script uses (`used`, in the order the script first
// uses them), the favourites (in list order), then the rest in list order;
// the last button opens the full list. Names in `used` or `favourites` that
// are not in `names` are ignored.
Layout arrange(const QStringList &names, const QStringList &used, const QStringList &favourites, int width,
               int buttonWidth);

// The voices a script's tags name, each once, in the order they first occur.
QStringList usedVoices(const QString &script);

} // namespace PickerStrip

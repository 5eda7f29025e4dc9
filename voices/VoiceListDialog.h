#pragma once

#include <QDialog>
#include <QJsonArray>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// Every voice of the current locale, for when the picker strip cannot show
// them all: searchable, grouped like the voice chooser, and where voices are
// marked as favourites (the tick of each row).
class VoiceListDialog : public QDialog
{
    Q_OBJECT

public:
    // `group`: the catalogue's entries of one locale; `favourites`: identifiers.
    VoiceListDialog(const QJsonArray &group, const QStringList &favourites, QWidget *parent = nullptr);

    QLineEdit *searchBox() const { return search; }
    QListWidget *voiceList() const { return list; }
    // The row of the voice named `name`, null when there is none.
    QListWidgetItem *itemOf(const QString &name) const;

    // Shows only the voices whose chooser text or identifier holds `text`
    // (case does not matter); the group headers only while nothing is sought.
    void filter(const QString &text);

signals:
    // The voice's name as tags write it, like the strip's clickVoice.
    void voicePicked(QString voice);
    void favouriteToggled(QString identifier, bool favourite);

private:
    void pick(QListWidgetItem *item);

    QLineEdit *search = nullptr;
    QListWidget *list = nullptr;
    QPushButton *pickButton = nullptr;
};

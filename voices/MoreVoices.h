#pragma once

#include "PickerStrip.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class QPushButton;
class Ui_MoreVoices;
class VoiceListDialog;

// The strip of voice buttons that pops up over a fresh selection in the editor.
// It shows the current locale's voices as far as they fit its width; when
// they do not all fit, the voices the script uses and the favourites come
// first and a last button, 更多…, opens the full list.
class MoreVoices : public QWidget
{
    Q_OBJECT

public:
    explicit MoreVoices(QWidget *parent = nullptr);
    ~MoreVoices() override;

    void removeButtons();
    void buildButtons();

    // The width the strip may take (the editor's); below zero: no limit.
    void setAvailableWidth(int width) { availableWidth = width; }
    // The voices the script's tags name, in the order they first occur.
    void setUsedVoices(const QStringList &names) { usedVoices = names; }
    // Rebuilds the buttons when width, script or favourites call for other ones.
    void updateButtons();

    // Identifiers of the voices marked as favourites, in the order marked.
    QStringList favourites() const { return favouriteVoices; }
    void setFavourites(const QStringList &identifiers);
    void setFavourite(const QString &identifier, bool favourite);

    // Opens the full list of the current locale's voices (the 更多… button).
    void openVoiceList();
    // The full list while it is open.
    VoiceListDialog *voiceList() const;

signals:
    void notClose(bool type);
    void clickVoice(QString voice);
    void favouritesChanged();

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    PickerStrip::Layout currentLayout() const;
    void showFavouriteMenu(QPushButton *button, const QString &identifier, const QPoint &at);

    Ui_MoreVoices *ui;
    int buttonWidth = 50;
    int buttonCount = 0;
    int availableWidth = -1;
    QStringList usedVoices;
    QStringList favouriteVoices;
    PickerStrip::Layout builtLayout;
    QPointer<VoiceListDialog> listDialog;
};

#pragma once

#include <QWidget>

class Ui_MoreVoices;

// The strip of voice buttons that pops up over a fresh selection in the editor.
class MoreVoices : public QWidget
{
    Q_OBJECT

public:
    explicit MoreVoices(QWidget *parent = nullptr);
    ~MoreVoices() override;

    void removeButtons();
    void buildButtons();

signals:
    void notClose(bool type);
    void clickVoice(QString voice);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    Ui_MoreVoices *ui;
    int buttonWidth = 50;
    int buttonCount = 0;
};

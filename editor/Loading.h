#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QMovie;
class QPushButton;

// The busy overlay of the synthesis page: a dark translucent layer over the
// whole page that takes the mouse, with a white box in its middle holding an
// animation and a one-line message.
class Loading : public QWidget
{
    Q_OBJECT

public:
    explicit Loading(QWidget *parent);
    ~Loading() override;

    void setText(const QString &text);
    // The cancel button is built hidden and disabled; whoever can stop what
    // it waits for shows it (a synthesis job can be stopped, the first
    // catalogue fetch cannot).
    void showCancelButton();

signals:
    void cancelWaiting();

protected:
    void paintEvent(QPaintEvent *event) override;

private slots:
    void cancelBtnClicked();

private:
    QFrame *box = nullptr;
    QLabel *movieLabel = nullptr;
    QMovie *movie = nullptr;
    QLabel *tips = nullptr;
    QPushButton *cancelBtn = nullptr;
};

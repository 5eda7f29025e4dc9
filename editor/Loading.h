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

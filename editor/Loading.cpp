#include "Loading.h"

#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QPushButton>

Loading::Loading(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground, true);
    setFixedSize(parent->size());

    box = new QFrame(this);
    box->setGeometry(width() / 2 - 125, height() / 2 - 125, 250, 250);
    box->setStyleSheet(QStringLiteral("background:#fff;border-radius:5px;"));

    movie = new QMovie(QStringLiteral(":/loading/images/loading/loading.gif"));
    movie->setScaledSize(QSize(210, 158));

    movieLabel = new QLabel(box);
    movieLabel->setGeometry(19, -10, 210, 158);
    movieLabel->setScaledContents(true);
    movieLabel->setMovie(movie);
    movie->start();

    tips = new QLabel(box);
    tips->setGeometry(0, 130, 250, 50);
    tips->setAlignment(Qt::AlignCenter);
    tips->setObjectName(QStringLiteral("tips"));
    tips->setText(QStringLiteral("加载中,请稍候..."));
    tips->setStyleSheet(QStringLiteral("QLabel#tips{font-size: 15px;color: #333333;}"));

    cancelBtn = new QPushButton(box);
    cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    cancelBtn->setText(QStringLiteral("取消等待"));
    cancelBtn->setStyleSheet(QStringLiteral(
        "QPushButton#cancelBtn{background-color: #edeef6;border-radius: 4px;font-size: 14px;color: #333333;}"
        "QPushButton#cancelBtn::hover{background:#dcdeea}"));
    cancelBtn->setGeometry(35, 180, 180, 35);
    cancelBtn->setEnabled(false);
    cancelBtn->hide();

    connect(cancelBtn, &QPushButton::clicked, this, &Loading::cancelBtnClicked);
}

Loading::~Loading()
{
    // The movie has no parent: this is what frees it.
    delete movie;
    delete movieLabel;
    delete tips;
    delete cancelBtn;
    delete box;
}

void Loading::setText(const QString &text)
{
    tips->setText(text);
}

void Loading::showCancelButton()
{
    cancelBtn->setEnabled(true);
    cancelBtn->show();
}

void Loading::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::transparent);
    painter.setBrush(QColor(0, 0, 0, 100));
    painter.drawRect(0, 0, width(), height());
}

void Loading::cancelBtnClicked()
{
    emit cancelWaiting();
    close();
}

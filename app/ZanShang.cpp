#include "ZanShang.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

// The page's form: a one-line caption above the tip card.
class Ui_ZanShang
{
public:
    QVBoxLayout *verticalLayout;
    QLabel *label;
    QLabel *label_2;

    void setupUi(QWidget *ZanShang)
    {
        if (ZanShang->objectName().isEmpty())
            ZanShang->setObjectName(QStringLiteral("ZanShang"));
        verticalLayout = new QVBoxLayout(ZanShang);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        // No margin above and below and no gap (the caption's 40 pixels
        // centre its line anyway): with the 文件 menu's bar the default
        // 800 x 600 window has just the height for caption and card, and
        // would otherwise grow past it to keep the card whole.
        verticalLayout->setContentsMargins(9, 0, 9, 0);
        verticalLayout->setSpacing(0);

        label = new QLabel(ZanShang);
        label->setObjectName(QStringLiteral("label"));
        label->setMinimumSize(QSize(0, 40));
        label->setMaximumSize(QSize(16777215, 40));
        label->setLayoutDirection(Qt::LeftToRight);
        label->setAlignment(Qt::AlignCenter);
        verticalLayout->addWidget(label);

        label_2 = new QLabel(ZanShang);
        label_2->setObjectName(QStringLiteral("label_2"));
        label_2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        verticalLayout->addWidget(label_2);

        retranslateUi(ZanShang);
    }

    void retranslateUi(QWidget *ZanShang)
    {
        Q_UNUSED(ZanShang)
        label->setText(QCoreApplication::translate("ZanShang", "如果觉得软件还不错，就请作者喝个咖啡吧", nullptr));
        // The card is 508 x 534 pixels; 400 wide leaves room on a default-sized
        // window. The height is given too: with only a width, laying out the
        // main window (this tab is hidden) decoded the whole picture at start-up
        // just to learn its proportions.
        label_2->setText(QCoreApplication::translate("ZanShang",
            "<html><head/><body><p><img src=\":/images/weixin.jpg\" width=\"400\" height=\"420\"/></p></body></html>",
            nullptr));
    }
};

ZanShang::ZanShang(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_ZanShang)
{
    ui->setupUi(this);
}

ZanShang::~ZanShang()
{
    delete ui;
}

#include "ttsMainForm.h"

#include "ServiceContract.h"
#include "TTSText.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
const char sliderStyle[] =
    "QSlider::groove:horizontal {\n"
    "    border: 1px solid #bbb;\n"
    "    background: white;\n"
    "    height: 10px;\n"
    "    margin: 0px;\n"
    "}\n"
    "\n"
    "QSlider::handle:horizontal {\n"
    "    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #eee, stop:1 #ccc);\n"
    "    border: 1px solid #777;\n"
    "    width: 20px;\n"
    "    margin: -5px 0;\n"
    "    border-radius: 3px;\n"
    "}";

QString tr(const char *text)
{
    return QCoreApplication::translate("ttsMain", text);
}
} // namespace

void Ui_ttsMain::setupUi(QWidget *ttsMain)
{
    if (ttsMain->objectName().isEmpty())
        ttsMain->setObjectName(QStringLiteral("ttsMain"));
    ttsMain->resize(862, 583);

    verticalLayout_2 = new QVBoxLayout(ttsMain);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    label = new QLabel(ttsMain);
    label->setObjectName(QStringLiteral("label"));
    label->setMaximumSize(QSize(30, 16777215));
    horizontalLayout->addWidget(label);
    localeSelect = new QComboBox(ttsMain);
    localeSelect->setObjectName(QStringLiteral("localeSelect"));
    localeSelect->setMinimumSize(QSize(140, 0));
    horizontalLayout->addWidget(localeSelect);
    horizontalSpacer = new QSpacerItem(30, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    horizontalLayout->addItem(horizontalSpacer);
    label_2 = new QLabel(ttsMain);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setMaximumSize(QSize(40, 16777215));
    horizontalLayout->addWidget(label_2);
    voicesSelect = new QComboBox(ttsMain);
    voicesSelect->setObjectName(QStringLiteral("voicesSelect"));
    voicesSelect->setMinimumSize(QSize(120, 0));
    horizontalLayout->addWidget(voicesSelect);
    horizontalSpacer_2 = new QSpacerItem(80, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    horizontalLayout->addItem(horizontalSpacer_2);
    tryPlay = new QPushButton(ttsMain);
    tryPlay->setObjectName(QStringLiteral("tryPlay"));
    tryPlay->setMinimumSize(QSize(0, 23));
    tryPlay->setMaximumSize(QSize(80, 23));
    horizontalLayout->addWidget(tryPlay);
    resultBtn = new QPushButton(ttsMain);
    resultBtn->setObjectName(QStringLiteral("resultBtn"));
    resultBtn->setMinimumSize(QSize(0, 23));
    resultBtn->setMaximumSize(QSize(80, 23));
    horizontalLayout->addWidget(resultBtn);
    verticalLayout->addLayout(horizontalLayout);

    horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    horizontalLayout_3->setContentsMargins(-1, 5, -1, 10);
    label_3 = new QLabel(ttsMain);
    label_3->setObjectName(QStringLiteral("label_3"));
    label_3->setMaximumSize(QSize(25, 16777215));
    horizontalLayout_3->addWidget(label_3);
    rateBox = new QSpinBox(ttsMain);
    rateBox->setObjectName(QStringLiteral("rateBox"));
    rateBox->setMinimum(contract::rateMin);
    rateBox->setMaximum(contract::pageRateMax);
    rateBox->setSingleStep(5);
    rateBox->setValue(0);
    horizontalLayout_3->addWidget(rateBox);
    label_4 = new QLabel(ttsMain);
    label_4->setObjectName(QStringLiteral("label_4"));
    label_4->setMaximumSize(QSize(25, 16777215));
    horizontalLayout_3->addWidget(label_4);
    volumeBox = new QSpinBox(ttsMain);
    volumeBox->setObjectName(QStringLiteral("volumeBox"));
    volumeBox->setMinimum(contract::volumeMin);
    volumeBox->setMaximum(contract::volumeMax);
    volumeBox->setSingleStep(5);
    volumeBox->setValue(0);
    horizontalLayout_3->addWidget(volumeBox);
    label_5 = new QLabel(ttsMain);
    label_5->setObjectName(QStringLiteral("label_5"));
    label_5->setMaximumSize(QSize(50, 16777215));
    horizontalLayout_3->addWidget(label_5);
    spinBox = new QSpinBox(ttsMain);
    spinBox->setObjectName(QStringLiteral("spinBox"));
    spinBox->setMinimum(0);
    spinBox->setMaximum(contract::pagePauseMaxMs);
    spinBox->setSingleStep(100);
    spinBox->setValue(0);
    horizontalLayout_3->addWidget(spinBox);
    label_6 = new QLabel(ttsMain);
    label_6->setObjectName(QStringLiteral("label_6"));
    label_6->setStyleSheet(QStringLiteral("font-size:10px;\ncolor:red;"));
    horizontalLayout_3->addWidget(label_6);
    horizontalSpacer_3 = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_3->addItem(horizontalSpacer_3);
    verticalLayout->addLayout(horizontalLayout_3);

    textEdit = new TTSText(ttsMain);
    textEdit->setObjectName(QStringLiteral("textEdit"));
    textEdit->setStyleSheet(QStringLiteral("border:5px solid #fff;"));
    verticalLayout->addWidget(textEdit);

    widget = new QWidget(ttsMain);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setMinimumSize(QSize(0, 20));
    widget->setStyleSheet(QString::fromLatin1(sliderStyle));
    horizontalLayout_2 = new QHBoxLayout(widget);
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    playButton = new QPushButton(widget);
    playButton->setObjectName(QStringLiteral("playButton"));
    horizontalLayout_2->addWidget(playButton);
    jinduTiao = new QSlider(widget);
    jinduTiao->setObjectName(QStringLiteral("jinduTiao"));
    jinduTiao->setOrientation(Qt::Horizontal);
    horizontalLayout_2->addWidget(jinduTiao);
    verticalLayout->addWidget(widget);

    verticalLayout_2->addLayout(verticalLayout);

    retranslateUi(ttsMain);
    QMetaObject::connectSlotsByName(ttsMain);
}

void Ui_ttsMain::retranslateUi(QWidget *ttsMain)
{
    ttsMain->setWindowTitle(tr("Form"));
    label->setText(tr("国家"));
    label_2->setText(tr("配音员"));
    tryPlay->setText(tr("试听"));
    resultBtn->setText(tr("合成"));
    label_3->setText(tr("语速"));
    rateBox->setSuffix(tr("%"));
    label_4->setText(tr("音量"));
    volumeBox->setSuffix(tr("%"));
#if QT_CONFIG(tooltip)
    label_5->setToolTip(tr("<html><head/><body><p>全局配音停顿时长<br>单位毫秒（1000毫秒 = 1秒）<br>如果为0，则为不开启此功能</p></body></html>"));
#endif
    label_5->setText(tr("全局间隔"));
#if QT_CONFIG(tooltip)
    spinBox->setToolTip(tr("<html><head/><body><p>全局配音停顿时长<br/>单位毫秒（1000毫秒 = 1秒）<br/>如果为0，则为不开启此功能</p></body></html>"));
#endif
    spinBox->setSuffix(tr("ms"));
    label_6->setText(tr("*实验性功能"));
    textEdit->setPlaceholderText(tr("请在这里输入您的文案，可多人配音哦！"));
    playButton->setText(QString());
}

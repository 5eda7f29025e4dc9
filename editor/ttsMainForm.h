#pragma once

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSlider;
class QSpacerItem;
class QSpinBox;
class QVBoxLayout;
class QWidget;
class TTSText;

// The synthesis page's form: choosers and buttons, the rate, volume and pause
// boxes, the script editor and the player strip.
class Ui_ttsMain
{
public:
    QVBoxLayout *verticalLayout_2 = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QLabel *label = nullptr;
    QComboBox *localeSelect = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QLabel *label_2 = nullptr;
    QComboBox *voicesSelect = nullptr;
    QSpacerItem *horizontalSpacer_2 = nullptr;
    QPushButton *tryPlay = nullptr;
    QPushButton *resultBtn = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    QLabel *label_3 = nullptr;
    QSpinBox *rateBox = nullptr;
    QLabel *label_4 = nullptr;
    QSpinBox *volumeBox = nullptr;
    QLabel *label_5 = nullptr;
    QSpinBox *spinBox = nullptr;
    QLabel *label_6 = nullptr;
    QSpacerItem *horizontalSpacer_3 = nullptr;
    TTSText *textEdit = nullptr;
    QWidget *widget = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QPushButton *playButton = nullptr;
    QSlider *jinduTiao = nullptr;

    void setupUi(QWidget *ttsMain);
    void retranslateUi(QWidget *ttsMain);
};

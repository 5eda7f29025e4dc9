#include "MoreVoices.h"

#include "VoiceCatalogue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonObject>
#include <QMetaObject>
#include <QPushButton>

// The panel's form: only its own appearance, no widgets.
class Ui_MoreVoices
{
public:
    void setupUi(QWidget *MoreVoices)
    {
        if (MoreVoices->objectName().isEmpty())
            MoreVoices->setObjectName(QStringLiteral("MoreVoices"));
        MoreVoices->resize(400, 25);
        MoreVoices->setMinimumSize(QSize(0, 25));
        MoreVoices->setMaximumSize(QSize(16777215, 25));
        MoreVoices->setStyleSheet(QStringLiteral(
            "QPushButton{\n"
            "\tborder: 1px solid \"#D0D0D0\";\n"
            "\tbackground-color: \"#FDFDFD\";\n"
            "\tcolor: \"#000\";\n"
            "}\n"
            "\n"
            "QPushButton:hover{\n"
            "\tbackground-color: \"#E0EEF9\";\n"
            "\tborder-color: \"#0078D4\";\n"
            "}"));
        retranslateUi(MoreVoices);
        QMetaObject::connectSlotsByName(MoreVoices);
    }

    void retranslateUi(QWidget *MoreVoices)
    {
        MoreVoices->setWindowTitle(QCoreApplication::translate("MoreVoices", "Form"));
    }
};

MoreVoices::MoreVoices(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_MoreVoices)
{
    ui->setupUi(this);
    // A plain child of the page, drawn inside it, with no background of its
    // own: only the buttons show.
    setAttribute(Qt::WA_TranslucentBackground);
}

MoreVoices::~MoreVoices()
{
    delete ui;
}

void MoreVoices::removeButtons()
{
    const auto buttons = findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        button->disconnect();
        delete button;
    }
    setGeometry(0, 0, 0, 25);
}

void MoreVoices::buildButtons()
{
    const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
    buttonCount = group.size();
    for (int i = 0; i < group.size(); ++i) {
        const QString name = group.at(i).toObject().value(QLatin1String("name")).toString();
        auto *button = new QPushButton(name, this);
        button->setGeometry(i * buttonWidth, 0, buttonWidth, 25);
        connect(button, &QPushButton::clicked, this, [this, name] { emit clickVoice(name); });
        // Buttons added to a visible panel are not shown by themselves; on a
        // hidden one they appear with it, and are styled then, not at start-up.
        if (isVisible())
            button->show();
    }
    setGeometry(0, 0, buttonCount * buttonWidth, 25);
}

void MoreVoices::enterEvent(QEvent *event)
{
    emit notClose(true);
    event->accept();
}

void MoreVoices::leaveEvent(QEvent *event)
{
    emit notClose(false);
    event->accept();
}

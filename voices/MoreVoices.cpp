#include "MoreVoices.h"

#include "VoiceCatalogue.h"
#include "VoiceListDialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonObject>
#include <QMenu>
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

PickerStrip::Layout MoreVoices::currentLayout() const
{
    const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
    QStringList names;
    QStringList favouriteNames;
    names.reserve(group.size());
    for (const QJsonValue &value : group) {
        const QJsonObject entry = value.toObject();
        const QString name = entry.value(QLatin1String("name")).toString();
        names.append(name);
        if (favouriteVoices.contains(entry.value(QLatin1String("voice")).toString()))
            favouriteNames.append(name);
    }
    return PickerStrip::arrange(names, usedVoices, favouriteNames, availableWidth, buttonWidth);
}

void MoreVoices::buildButtons()
{
    const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
    builtLayout = currentLayout();
    buttonCount = builtLayout.voices.size() + (builtLayout.more ? 1 : 0);
    auto place = [this](QPushButton *button, int slot) {
        button->setGeometry(slot * buttonWidth, 0, buttonWidth, 25);
        // Buttons added to a visible panel are not shown by themselves; on a
        // hidden one they appear with it, and are styled then, not at start-up.
        if (isVisible())
            button->show();
    };
    for (int i = 0; i < builtLayout.voices.size(); ++i) {
        const QJsonObject entry = group.at(builtLayout.voices.at(i)).toObject();
        const QString name = entry.value(QLatin1String("name")).toString();
        const QString identifier = entry.value(QLatin1String("voice")).toString();
        auto *button = new QPushButton(name, this);
        // A name cut off by the button is still told in full.
        if (entry.contains(QLatin1String("model")))
            button->setToolTip(VoiceCatalogue::chooserText(entry));
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(button, &QPushButton::clicked, this, [this, name] { emit clickVoice(name); });
        connect(button, &QWidget::customContextMenuRequested, this,
                [this, button, identifier](const QPoint &at) { showFavouriteMenu(button, identifier, at); });
        place(button, i);
    }
    if (builtLayout.more) {
        auto *more = new QPushButton(QStringLiteral("更多…"), this);
        more->setObjectName(QStringLiteral("moreVoicesButton"));
        connect(more, &QPushButton::clicked, this, &MoreVoices::openVoiceList);
        place(more, builtLayout.voices.size());
    }
    setGeometry(0, 0, buttonCount * buttonWidth, 25);
}

void MoreVoices::updateButtons()
{
    if (currentLayout() == builtLayout && !findChildren<QPushButton *>().isEmpty())
        return;
    const QPoint at = pos();
    removeButtons();
    buildButtons();
    move(at);
}

void MoreVoices::setFavourites(const QStringList &identifiers)
{
    if (favouriteVoices == identifiers)
        return;
    favouriteVoices = identifiers;
    emit favouritesChanged();
}

void MoreVoices::setFavourite(const QString &identifier, bool favourite)
{
    QStringList changed = favouriteVoices;
    if (favourite && !changed.contains(identifier))
        changed.append(identifier);
    else if (!favourite)
        changed.removeAll(identifier);
    setFavourites(changed);
}

void MoreVoices::showFavouriteMenu(QPushButton *button, const QString &identifier, const QPoint &at)
{
    QMenu menu(button);
    const bool marked = favouriteVoices.contains(identifier);
    QAction *toggle = menu.addAction(marked ? QStringLiteral("取消收藏") : QStringLiteral("收藏"));
    connect(toggle, &QAction::triggered, this, [this, identifier, marked] { setFavourite(identifier, !marked); });
    menu.exec(button->mapToGlobal(at));
}

void MoreVoices::openVoiceList()
{
    if (listDialog) {
        listDialog->raise();
        listDialog->activateWindow();
        return;
    }
    // A window of its own over the page; it may outlive the strip's showing.
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    listDialog = new VoiceListDialog(VoiceCatalogue::instance().currentVoiceGroup(), favouriteVoices, owner);
    listDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(listDialog, &VoiceListDialog::voicePicked, this, &MoreVoices::clickVoice);
    connect(listDialog, &VoiceListDialog::favouriteToggled, this, &MoreVoices::setFavourite);
    listDialog->open();
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

VoiceListDialog *MoreVoices::voiceList() const
{
    return listDialog.data();
}

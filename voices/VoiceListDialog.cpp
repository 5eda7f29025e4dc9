#include "VoiceListDialog.h"

#include "VoiceCatalogue.h"

#include <QDialogButtonBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace {
constexpr int nameRole = Qt::UserRole;       // the name tags write
constexpr int identifierRole = Qt::UserRole + 1;
constexpr int headerRole = Qt::UserRole + 2; // true on group headers
} // namespace

VoiceListDialog::VoiceListDialog(const QJsonArray &group, const QStringList &favourites, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("VoiceListDialog"));
    setWindowTitle(QStringLiteral("全部配音员"));
    resize(320, 480);

    auto *layout = new QVBoxLayout(this);
    search = new QLineEdit(this);
    search->setObjectName(QStringLiteral("voiceSearch"));
    search->setPlaceholderText(QStringLiteral("搜索配音员"));
    search->setClearButtonEnabled(true);
    layout->addWidget(search);

    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("voiceList"));
    list->setUniformItemSizes(true);
    layout->addWidget(list);

    auto *hint = new QLabel(QStringLiteral("勾选的配音员为收藏，优先显示在选择条上"), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto *buttons = new QDialogButtonBox(this);
    pickButton = buttons->addButton(QStringLiteral("选择"), QDialogButtonBox::AcceptRole);
    pickButton->setObjectName(QStringLiteral("pickVoice"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);

    // Grouped like the voice chooser: espeak's voices, then one group per model.
    const QSet<QString> marked(favourites.begin(), favourites.end());
    QString previousModel;
    bool previousNeural = false;
    for (const QJsonValue &value : group) {
        const QJsonObject entry = value.toObject();
        const bool neural = entry.contains(QLatin1String("model"));
        const QString model = entry.value(QLatin1String("model")).toString();
        if (neural && (!previousNeural || (!model.isEmpty() && model != previousModel))) {
            auto *header = new QListWidgetItem(model.isEmpty() ? QStringLiteral("神经网络配音员") : model, list);
            header->setFlags(Qt::NoItemFlags);
            header->setData(headerRole, true);
            QFont font = header->font();
            font.setBold(true);
            header->setFont(font);
        }
        if (neural && !model.isEmpty())
            previousModel = model;
        previousNeural = neural;

        const QString identifier = entry.value(QLatin1String("voice")).toString();
        auto *item = new QListWidgetItem(VoiceCatalogue::chooserText(entry), list);
        item->setData(nameRole, entry.value(QLatin1String("name")).toString());
        item->setData(identifierRole, identifier);
        item->setToolTip(identifier);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(marked.contains(identifier) ? Qt::Checked : Qt::Unchecked);
    }

    connect(search, &QLineEdit::textChanged, this, &VoiceListDialog::filter);
    connect(list, &QListWidget::itemActivated, this, &VoiceListDialog::pick);
    connect(list, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (item->data(headerRole).toBool())
            return;
        emit favouriteToggled(item->data(identifierRole).toString(), item->checkState() == Qt::Checked);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { pick(list->currentItem()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QListWidgetItem *VoiceListDialog::itemOf(const QString &name) const
{
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        if (!item->data(headerRole).toBool() && item->data(nameRole).toString() == name)
            return item;
    }
    return nullptr;
}

void VoiceListDialog::filter(const QString &text)
{
    const QString sought = text.trimmed();
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *item = list->item(i);
        if (item->data(headerRole).toBool()) {
            item->setHidden(!sought.isEmpty());
            continue;
        }
        item->setHidden(!sought.isEmpty() && !item->text().contains(sought, Qt::CaseInsensitive)
                        && !item->data(identifierRole).toString().contains(sought, Qt::CaseInsensitive));
    }
}

void VoiceListDialog::pick(QListWidgetItem *item)
{
    if (!item || item->data(headerRole).toBool() || item->isHidden())
        return;
    emit voicePicked(item->data(nameRole).toString());
    accept();
}

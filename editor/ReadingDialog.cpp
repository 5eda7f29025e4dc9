#include "ReadingDialog.h"

#include "LexiconEdit.h"
#include "ServiceClient.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using ReadingText::Script;

ReadingDialog::ReadingDialog(const QString &text, const QString &voice, ServiceClient &client,
                             const QString &lexiconPath, QWidget *parent)
    : QDialog(parent)
    , m_text(text)
    , m_voice(voice)
    , m_client(client)
    , m_lexiconPath(lexiconPath)
    , m_script(ReadingText::scriptOfVoice(voice))
    , m_target(ReadingText::correctionTarget(text, m_script))
{
    setObjectName(QStringLiteral("ReadingDialog"));
    setWindowTitle(QStringLiteral("查看读音"));
    setMinimumWidth(420);

    textLabel = new QLabel(text, this);
    textLabel->setObjectName(QStringLiteral("textLabel"));
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setWordWrap(true);
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    sourceLabel = new QLabel(this);
    sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    sourceLabel->setTextFormat(Qt::RichText);
    sourceLabel->setWordWrap(true);

    legendLabel = new QLabel(QStringLiteral("带下划线的读音来自您的读音表 lexicon.txt"), this);
    legendLabel->setObjectName(QStringLiteral("legendLabel"));
    legendLabel->setStyleSheet(QStringLiteral("color:#c0392b;font-size:11px;"));
    legendLabel->hide();

    readingEdit = new QLineEdit(this);
    readingEdit->setObjectName(QStringLiteral("readingEdit"));
    readingEdit->setPlaceholderText(m_script == Script::Kana ? QStringLiteral("假名，如 とうきょう")
                                                             : QStringLiteral("拼音，如 chóng qìng 或 chong2 qing4"));

    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setWordWrap(true);

    listenReadingBtn = new QPushButton(QStringLiteral("试听读音"), this);
    listenReadingBtn->setObjectName(QStringLiteral("listenReadingBtn"));
    listenReadingBtn->setToolTip(QStringLiteral("用修改后的读音试听，不保存"));
    saveReadingBtn = new QPushButton(QStringLiteral("保存读音"), this);
    saveReadingBtn->setObjectName(QStringLiteral("saveReadingBtn"));
    saveReadingBtn->setToolTip(QStringLiteral("保存到读音表 lexicon.txt，以后的合成都按这个读音"));
    closeReadingBtn = new QPushButton(QStringLiteral("关闭"), this);
    closeReadingBtn->setObjectName(QStringLiteral("closeReadingBtn"));
    // Enter in the reading field must not close the dialog.
    for (QPushButton *button : {listenReadingBtn, saveReadingBtn, closeReadingBtn})
        button->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("文字"), textLabel);
    form->addRow(QStringLiteral("读音"), sourceLabel);
    form->addRow(QString(), legendLabel);
    form->addRow(QStringLiteral("修改"), readingEdit);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(listenReadingBtn);
    buttons->addWidget(saveReadingBtn);
    buttons->addWidget(closeReadingBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(messageLabel);
    layout->addLayout(buttons);

    refreshTimer = new QTimer(this);
    refreshTimer->setSingleShot(true);
    refreshTimer->setInterval(150);
    connect(refreshTimer, &QTimer::timeout, this, &ReadingDialog::refreshAfterSave);

    connect(listenReadingBtn, &QPushButton::clicked, this, &ReadingDialog::listen);
    connect(saveReadingBtn, &QPushButton::clicked, this, &ReadingDialog::save);
    connect(closeReadingBtn, &QPushButton::clicked, this, &QDialog::reject);

    // Until the service has answered there is nothing to correct.
    readingEdit->setEnabled(false);
    listenReadingBtn->setEnabled(false);
    saveReadingBtn->setEnabled(false);
}

ReadingDialog::~ReadingDialog() = default;

QString ReadingDialog::message() const
{
    return messageLabel->text();
}

void ReadingDialog::showMessage(const QString &text, bool error)
{
    m_messageIsError = error;
    messageLabel->setStyleSheet(error ? QStringLiteral("color:#c0392b;") : QStringLiteral("color:#2e7d32;"));
    messageLabel->setText(text);
}

bool ReadingDialog::lookUp()
{
    const ReadingReply reply = m_client.reading(m_text, m_voice);
    if (!reply.answer.succeeded) {
        showMessage(QStringLiteral("无法获取读音：") + reply.answer.text, true);
        return false;
    }
    m_reading = reply.reading;
    m_sources = reply.sources;
    showReading();
    return true;
}

void ReadingDialog::showReading()
{
    showSources();
    // The field shows the same reading, ready to be changed.
    readingEdit->setText(m_script == Script::Pinyin ? ReadingText::withToneMarks(m_reading) : m_reading);
    const bool correctable = m_target.ok();
    readingEdit->setEnabled(correctable);
    readingEdit->setReadOnly(!correctable);
    listenReadingBtn->setEnabled(correctable);
    saveReadingBtn->setEnabled(correctable);
    if (!correctable)
        showMessage(m_target.reason, true);
}

void ReadingDialog::showSources()
{
    const QVector<ReadingText::Piece> pieces = ReadingText::pieces(m_reading, m_sources, m_script);
    QString html;
    bool anyFromUser = false;
    for (const ReadingText::Piece &piece : pieces) {
        if (!html.isEmpty() && m_script != Script::Kana)
            html += QLatin1Char(' ');
        const QString text = piece.text.toHtmlEscaped();
        if (piece.fromUser) {
            html += QStringLiteral("<span style=\"color:#c0392b;\"><u>") + text + QStringLiteral("</u></span>");
            anyFromUser = true;
        } else {
            html += text;
        }
    }
    sourceLabel->setText(html);
    legendLabel->setVisible(anyFromUser);
}

ReadingText::Check ReadingDialog::checkedCorrection()
{
    const ReadingText::Check check = ReadingText::check(m_script, m_target.word, readingEdit->text());
    if (!check.ok)
        showMessage(QStringLiteral("读音无法使用：") + check.reason, true);
    return check;
}

void ReadingDialog::listen()
{
    if (!m_target.ok())
        return;
    const ReadingText::Check check = checkedCorrection();
    if (!check.ok)
        return;
    // Pinyin goes with the word for the service to lay over it; kana is
    // heard as written, so it is sent as the text itself.
    Passage passage;
    passage.number = 1;
    passage.voice = m_voice;
    if (m_script == Script::Pinyin) {
        passage.text = m_target.word;
        passage.reading = check.reading();
    } else {
        passage.text = ReadingText::toKatakana(check.reading());
    }
    const QString refusal = m_listener ? m_listener(passage) : QStringLiteral("无法试听");
    if (refusal.isEmpty())
        showMessage(QStringLiteral("正在试听修改后的读音（尚未保存）"), false);
    else
        showMessage(refusal, true);
}

void ReadingDialog::save()
{
    if (!m_target.ok())
        return;
    const ReadingText::Check check = checkedCorrection();
    if (!check.ok)
        return;
    const LexiconEdit::Outcome outcome = LexiconEdit::writeEntry(m_lexiconPath, m_target.word, check.reading());
    if (!outcome.ok) {
        showMessage(QStringLiteral("保存失败：") + outcome.error, true);
        return;
    }
    const QString shown = m_script == Script::Pinyin ? ReadingText::withToneMarks(check.reading()) : check.reading();
    showMessage(QStringLiteral("已保存到 lexicon.txt：%1 读作 %2").arg(m_target.word, shown), false);
    emit saved(m_target.word, check.reading());

    // The service picks the file up within a moment; ask until it reads the
    // entry, so the marks show where it now comes from.
    m_savedReading = check.reading();
    m_refreshesLeft = 20;
    refreshTimer->start();
}

void ReadingDialog::refreshAfterSave()
{
    const ReadingReply reply = m_client.reading(m_text, m_voice);
    if (!reply.answer.succeeded)
        return;
    const bool seen = reply.sources.contains(QLatin1Char('u')) && reply.reading.contains(m_savedReading);
    if (!seen && --m_refreshesLeft > 0) {
        refreshTimer->start();
        return;
    }
    // Only the marks: the field may hold the user's next change already.
    m_reading = reply.reading;
    m_sources = reply.sources;
    showSources();
}

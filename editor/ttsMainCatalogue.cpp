#include "ttsMain.h"

#include "GetVoices.h"
#include "Highlighter.h"
#include "MoreVoices.h"
#include "PickerStrip.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "ttsMainForm.h"

#include <QComboBox>
#include <QCursor>
#include <QJsonObject>
#include <QTimer>

void ttsMain::startCatalogueLoader()
{
    // No parent: the handlers of its last signal delete it. Every signal is
    // connected, with the page as context, before the thread starts, so each
    // arrives queued in the GUI thread.
    auto *loader = new GetVoices(serviceUrls.getVoices, GetVoices::defaultConnectWaitMs);
    connect(loader, &GetVoices::error, this,
            [this, loader](const QString &text, const QString &title) { onLoaderError(loader, text, title); });
    connect(loader, &GetVoices::showLoading, this, &ttsMain::onLoaderShowLoading);
    connect(loader, &GetVoices::ok, this, [this, loader](bool type) { onLoaderOk(loader, type); });
    connect(loader, &GetVoices::reStart, this, &ttsMain::onLoaderRestart);
    loader->start(QThread::InheritPriority);
}

void ttsMain::onLoaderError(GetVoices *loader, const QString &text, const QString &title)
{
    warn(title, text);
    loader->wait();
    delete loader;
    closeLoaderOverlay();
}

void ttsMain::closeLoaderOverlay()
{
    // The loader only ever shows the first-start overlay. When it finishes
    // while a job runs (the cache was filled, so the page was usable), the
    // overlay is the job's, and the job removes it when it is done.
    if (!isJobRunning())
        closeBusyOverlay();
}

void ttsMain::onLoaderShowLoading()
{
    showBusyOverlay(QStringLiteral("加载资源中……\n初次运行，请耐心等待"));
}

void ttsMain::onLoaderOk(GetVoices *loader, bool type)
{
    if (type) {
        loader->wait();
        delete loader;
        closeLoaderOverlay();
        return;
    }

    // The pending flag is still set here, so the index changes that adding
    // the items causes are ignored by the locale handler.
    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    const QStringList names = catalogue.localeNames();
    for (const QString &name : names)
        ui->localeSelect->addItem(name);
    ui->localeSelect->setCurrentIndex(catalogue.currentLocaleIndex());
    fillVoiceChooser();
    moreVoices->setAvailableWidth(pickerWidth());
    moreVoices->buildButtons();
    cataloguePending = false;
    highlighter = new Highlighter(ui->textEdit->document());
    // The locale and voice of the last run, now that they can be chosen.
    applySavedChoice();
}

void ttsMain::onLoaderRestart()
{
    warn(QStringLiteral("软件需重启"), QStringLiteral("配音员已更新，请重启软件"));
    close();
}

void ttsMain::fillVoiceChooser()
{
    ui->voicesSelect->clear();
    const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
    // One list, grouped: espeak's voices first, then each model's behind a
    // separator. Items carry their entry's position, since separators are
    // items too.
    QString previousModel;
    bool previousNeural = false;
    for (int i = 0; i < group.size(); ++i) {
        const QJsonObject entry = group.at(i).toObject();
        const bool neural = entry.contains(QLatin1String("model"));
        const QString model = entry.value(QLatin1String("model")).toString();
        if (ui->voicesSelect->count() > 0 && neural
            && (!previousNeural || (!model.isEmpty() && model != previousModel)))
            ui->voicesSelect->insertSeparator(ui->voicesSelect->count());
        if (neural && !model.isEmpty())
            previousModel = model;
        previousNeural = neural;
        ui->voicesSelect->addItem(VoiceCatalogue::chooserText(entry), i);
    }
}

int ttsMain::chooserEntry() const
{
    const QVariant entry = ui->voicesSelect->currentData();
    return entry.isValid() ? entry.toInt() : -1;
}

void ttsMain::chooseEntry(int entry)
{
    const int index = ui->voicesSelect->findData(entry);
    if (index >= 0)
        ui->voicesSelect->setCurrentIndex(index);
}

int ttsMain::pickerWidth() const
{
    // Before the page is laid out the editor has no width worth going by;
    // the strip is arranged again each time it shows.
    return isVisible() ? ui->textEdit->width() : -1;
}

void ttsMain::on_localeSelect_currentIndexChanged(int index)
{
    if (cataloguePending)
        return;
    VoiceCatalogue::instance().setCurrentLocaleIndex(index);
    fillVoiceChooser();
    if (moreVoices->isVisible()) {
        hideTimer->stop();
        moreVoices->hide();
        ui->textEdit->setSelectPopup(true);
    }
    moreVoices->removeButtons();
    moreVoices->setAvailableWidth(pickerWidth());
    moreVoices->buildButtons();
}

void ttsMain::showMoreVoices()
{
    // As many buttons as the editor is wide, the script's voices first.
    // Which voices the script uses matters only when they do not all fit.
    const int width = ui->textEdit->width();
    moreVoices->setAvailableWidth(width);
    const bool allFit = VoiceCatalogue::instance().currentVoiceGroup().size() <= PickerStrip::capacity(width, 50);
    moreVoices->setUsedVoices(allFit ? QStringList() : PickerStrip::usedVoices(scriptText()));
    moreVoices->updateButtons();
    const QPoint position = mapFromGlobal(QCursor::pos());
    moreVoices->move(position.x() - 20, position.y() - 30);
    moreVoices->show();
    hideTimer->start(autoHideInterval);
    // While the strip is open a new selection must not move it.
    ui->textEdit->setSelectPopup(false);
}

void ttsMain::hideMoreVoices()
{
    moreVoices->hide();
    ui->textEdit->setSelectPopup(true);
}

void ttsMain::onPickerNotClose(bool type)
{
    if (type)
        hideTimer->stop();
    else
        hideTimer->start(autoHideInterval);
}

void ttsMain::onPickerClickVoice(const QString &voice)
{
    ui->textEdit->insertVoiceTag(voice);
}

#include "ttsMain.h"

#include "GetVoices.h"
#include "Highlighter.h"
#include "MoreVoices.h"
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
    for (const QJsonValue &value : group) {
        const QJsonObject entry = value.toObject();
        ui->voicesSelect->addItem(entry.value(QLatin1String("name")).toString() + QLatin1Char(' ')
                                  + entry.value(QLatin1String("gender")).toString());
    }
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
    moreVoices->buildButtons();
}

void ttsMain::showMoreVoices()
{
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

#include "ttsMain.h"

#include "GetVoices.h"

void ttsMain::startCatalogueLoader() {}
void ttsMain::onLoaderError(GetVoices *, const QString &, const QString &) {}
void ttsMain::onLoaderShowLoading() {}
void ttsMain::onLoaderOk(GetVoices *, bool) {}
void ttsMain::onLoaderRestart() {}
void ttsMain::fillVoiceChooser() {}
void ttsMain::onPickerNotClose(bool) {}
void ttsMain::onPickerClickVoice(const QString &) {}
void ttsMain::on_localeSelect_currentIndexChanged(int) {}
void ttsMain::showMoreVoices() {}
void ttsMain::hideMoreVoices() {}

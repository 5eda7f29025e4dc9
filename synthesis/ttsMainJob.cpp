#include "ttsMain.h"

#include "ttsCommunicate.h"

void ttsMain::on_resultBtn_clicked() { startJob(1); }
void ttsMain::on_tryPlay_clicked() { startJob(0); }
void ttsMain::startJob(int) {}
void ttsMain::onWorkerReport(int, QVector<ttsCommunicate *> *, bool) {}
void ttsMain::collectResults(int, QVector<ttsCommunicate *> *) {}
bool ttsMain::combineSegments() { return false; }
void ttsMain::clearJobFolder() {}

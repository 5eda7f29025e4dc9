#pragma once

#include "FakeService.h"
#include "MessageBoxCatcher.h"
#include "TestSupport.h"
#include "UrlRecorder.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QDesktopServices>
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QtTest>

// A message box as the catcher saw it: caption, text.
using Box = QPair<QString, QString>;
using Boxes = QList<Box>;
Q_DECLARE_METATYPE(Boxes)

// What the GUI tests share: a fake service, every message box answered and
// recorded, the folders a job opens recorded instead of shown, and synthesis
// pages that are settled when a test gets them.
//
// Building a page starts its catalogue loader, which reads data.db in the
// working folder, asks the service for the voice list and reports to the page.
// A page is settled once the loader's last report has been handled: only then
// can a test use the overlay or the page, or check that something did not
// happen, without the loader interfering. The loader holds a connection to
// data.db for as long as it runs, so once the page has had a report and no
// connection is left, the loader has reported everything it will, and what is
// still queued for the page is delivered at once.
//
// Unless a test answers otherwise, the fake service refuses the voice list
// (each loader ends with one box, whatever the cache holds) and renders and
// joins as the real one would.
//
// Header only; tests that use it link lumo_editor and lumo_test_widgets.
class PageHarness : public QObject
{
public:
    ~PageHarness() override
    {
        if (urlsRecorded)
            QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    // In initTestCase(): an empty working folder, the fake service listening on
    // `port` (0: a free one) with the usual answers, boxes and opened folders
    // caught. False if it could not listen.
    bool start(quint16 port = 0)
    {
        TestSupport::clearWorkingFolder();
        service.setResponder(usualReply);
        if (!service.listen(port))
            return false;
        catchBoxesAndFolders();
        return true;
    }
    // The same without the fake service, for pages on a real one.
    void catchBoxesAndFolders()
    {
        boxes.start();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
        urlsRecorded = true;
    }

    // In init(): an empty working folder, the usual answers, nothing recorded.
    void reset()
    {
        TestSupport::clearWorkingFolder();
        VoiceCatalogue::instance().reset();
        service.setResponder(usualReply);
        service.clearRequests();
        opened.urls.clear();
        markBoxes();
    }

    // The voice list refused; passages and joins written as the real service would.
    static FakeService::Reply usualReply(const FakeService::Request &request)
    {
        if (request.path == "/getVoices")
            return FakeService::envelope(0, QStringLiteral("测试中"));
        return FakeService::rendered(request);
    }

    ServiceUrls urls() const { return ServiceUrls::at(service.baseUrl()); }

    // A new page on the fake service, or on `urls`, shown and settled, over an
    // empty catalogue; null if it never settled. newBoxes() counts from here.
    ttsMain *newPage(QWidget *parent = nullptr) { return newPage(urls(), parent); }
    ttsMain *newPage(const ServiceUrls &pageUrls, QWidget *parent = nullptr)
    {
        VoiceCatalogue::instance().reset();
        auto *page = new ttsMain(pageUrls, parent);
        watch(page);
        page->show();
        if (!QTest::qWaitForWindowExposed(page->window()) || !settle(page) || page->busyOverlay()) {
            delete page;
            return nullptr;
        }
        markBoxes();
        return page;
    }

    // For a page built elsewhere (a main window's, or one a test builds
    // itself): call right after it was built, before the event loop runs.
    void watch(ttsMain *page)
    {
        reported.remove(page);
        page->installEventFilter(this);
    }
    // Waits until the watched page is settled; false if it never was.
    bool settle(ttsMain *page, int timeoutMs = 20000)
    {
        const bool ended = QTest::qWaitFor([&] { return reported.contains(page) && !loaderRunning(); }, timeoutMs);
        page->removeEventFilter(this);
        reported.remove(page);
        if (ended)
            QCoreApplication::sendPostedEvents(page, QEvent::MetaCall);
        return ended;
    }
    // A catalogue loader is still at work (in any page).
    static bool loaderRunning() { return !QSqlDatabase::connectionNames().isEmpty(); }

    // The boxes since the last settled page or markBoxes().
    Boxes newBoxes() const
    {
        Boxes shown;
        const auto all = boxes.boxes();
        for (int i = boxBase; i < all.size(); ++i)
            shown.append({all[i].caption, all[i].text});
        return shown;
    }
    void markBoxes() { boxBase = boxes.count(); }

    FakeService service;
    MessageBoxCatcher boxes;
    UrlRecorder opened;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A fresh page is sent queued calls by its loader alone.
        if (event->type() == QEvent::MetaCall)
            reported.insert(watched);
        return false;
    }

private:
    QSet<QObject *> reported;
    int boxBase = 0;
    bool urlsRecorded = false;
};

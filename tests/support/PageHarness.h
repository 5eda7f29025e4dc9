#pragma once

#include "FakeService.h"
#include "Loading.h"
#include "MessageBoxCatcher.h"
#include "TestSupport.h"
#include "ttsMain.h"

#include <QChildEvent>
#include <QtTest>

// Builds synthesis pages for GUI tests and waits until their start-up is over.
//
// Building a page starts its catalogue loader, which reads data.db in the
// working folder and asks the service for the voice list. The harness plays
// the service on a free port with an empty list on an empty cache, so every
// page takes the first-start path: overlay shown, list fetched, no voices,
// overlay removed. Only after that can a test use the overlay or the page
// without the loader interfering. Message boxes are answered and recorded, so
// none blocks.
//
// Header only; tests that use it link lumo_editor and lumo_test_widgets.
class PageHarness : public QObject
{
public:
    // In initTestCase(). False if the fake service could not listen.
    bool start()
    {
        TestSupport::clearWorkingFolder();
        service.setResponder([](const FakeService::Request &) { return FakeService::ok("[]"); });
        if (!service.listen())
            return false;
        boxes.start();
        return true;
    }

    // A new page, shown, whose loader has finished; null if it never did.
    ttsMain *newPage(QWidget *parent = nullptr)
    {
        overlaySeen = false;
        const int requestsBefore = service.requestCount();
        auto *page = new ttsMain(ServiceUrls::at(service.baseUrl()), parent);
        // Installed before the loader's queued signals can be delivered.
        page->installEventFilter(this);
        page->show();
        const bool settled = QTest::qWaitForWindowExposed(page->window())
            && QTest::qWaitFor([&] { return service.requestCount() > requestsBefore && overlaySeen && !page->busyOverlay(); }, 20000);
        page->removeEventFilter(this);
        if (!settled) {
            delete page;
            return nullptr;
        }
        return page;
    }

    FakeService service;
    MessageBoxCatcher boxes;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // Sent to the page when the overlay it just created is shown.
        if (event->type() == QEvent::ChildPolished && qobject_cast<Loading *>(static_cast<QChildEvent *>(event)->child()))
            overlaySeen = true;
        return false;
    }

private:
    bool overlaySeen = false;
};

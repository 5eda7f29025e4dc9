#include "PageBench.h"

#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <chrono>

namespace bench::page {

bool writeVoiceCache(const QJsonArray &voices)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-cache"));
        db.setDatabaseName(QStringLiteral("data.db"));
        ok = db.open();
        QSqlQuery query(db);
        ok = ok && query.exec(QStringLiteral("CREATE TABLE voices (id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, "
                                             "gender TEXT NOT NULL, locale TEXT NOT NULL, name TEXT NOT NULL)"));
        db.transaction();
        for (const QJsonValue &value : voices) {
            const QJsonObject v = value.toObject();
            query.prepare(QStringLiteral("INSERT INTO voices (gender, locale, name) VALUES (?, ?, ?)"));
            query.addBindValue(v.value(QStringLiteral("gender")).toString());
            query.addBindValue(v.value(QStringLiteral("locale")).toString());
            query.addBindValue(v.value(QStringLiteral("name")).toString());
            ok = ok && query.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-cache"));
    return ok;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs, int sleepMs)
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, sleepMs > 0 ? 20 : 5);
        if (sleepMs > 0)
            QThread::msleep(static_cast<unsigned long>(sleepMs));
    }
    return true;
}

bool chooseVoice(ttsMain *page, const QString &identifier)
{
    auto *locales = page->findChild<QComboBox *>(QStringLiteral("localeSelect"));
    auto *voices = page->findChild<QComboBox *>(QStringLiteral("voicesSelect"));
    for (int l = 0; l < locales->count(); ++l) {
        locales->setCurrentIndex(l);
        const int count = VoiceCatalogue::instance().currentVoiceGroup().size();
        for (int v = 0; v < count; ++v) {
            if (VoiceCatalogue::instance().currentVoice(v) == identifier) {
                // Items carry their voice's position: separators are items too.
                const int item = voices->findData(v);
                voices->setCurrentIndex(item);
                return item >= 0 && voices->currentIndex() == item;
            }
        }
    }
    return false;
}

}  // namespace bench::page

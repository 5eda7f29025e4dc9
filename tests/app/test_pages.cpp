// The information pages and the compiled-in images: what each page's form holds,
// the structure of the two documents, the tip card's placement, and that the
// images load from the resources with their formats and sizes.

#include "About.h"
#include "UpdateLog.h"
#include "ZanShang.h"

#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTranslator>
#include <QVBoxLayout>

#include <memory>

static void registerImages()
{
    // The resources live in a static library; nothing in this test pulls in
    // the program's own registration.
    Q_INIT_RESOURCE(resources);
}

namespace {

// One non-empty paragraph of a rich-text document, with the looks the pages set.
struct Paragraph
{
    QString text;
    QColor background;    // invalid when the paragraph has no band
    QColor colour;        // of its first character
    qreal pointSize = 0;  // 0 when the size is not given in points
    int pixelSize = 0;    // 0 when the size is not given in pixels
    Qt::Alignment alignment;
};

QVector<Paragraph> paragraphs(const QTextDocument *document)
{
    QVector<Paragraph> result;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text().trimmed();
        if (text.isEmpty())
            continue;
        Paragraph p;
        p.text = text;
        const QTextBlockFormat blockFormat = block.blockFormat();
        if (blockFormat.hasProperty(QTextFormat::BackgroundBrush))
            p.background = blockFormat.background().color();
        p.alignment = blockFormat.alignment();
        const QTextCharFormat charFormat = block.begin().fragment().charFormat();
        p.colour = charFormat.foreground().color();
        p.pointSize = charFormat.fontPointSize();
        p.pixelSize = charFormat.intProperty(QTextFormat::FontPixelSize);
        result.append(p);
    }
    return result;
}

// Headings are the paragraphs on the light grey band; each is followed by its items.
struct Section
{
    Paragraph heading;
    QVector<Paragraph> items;
};

QVector<Section> sections(const QVector<Paragraph> &paras, QVector<Paragraph> *before = nullptr)
{
    QVector<Section> result;
    for (const Paragraph &p : paras) {
        if (p.background == QColor(0xfa, 0xfa, 0xfa))
            result.append({p, {}});
        else if (!result.isEmpty())
            result.last().items.append(p);
        else if (before)
            before->append(p);
    }
    return result;
}

const QTextDocument *pageDocument(QWidget *page)
{
    auto *browser = page->findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
    return browser ? browser->document() : nullptr;
}

// Answers every text of one translation context with a marker, so that a page
// shows the marker only if its texts go through the translation function with
// that context.
class MarkerTranslator : public QTranslator
{
public:
    explicit MarkerTranslator(QString context)
        : m_context(std::move(context))
    {
    }
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *, const char *, int) const override
    {
        return QLatin1String(context) == m_context ? QStringLiteral("译:") + m_context : QString();
    }

private:
    QString m_context;
};

} // namespace

class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void images_data();
    void images();
    void iconIsTransparentOutsideTheBadge();
    void spinnerLoopsForever();

    void forms_data();
    void forms();
    void textsAreTranslatedInTheirClassContext_data();
    void textsAreTranslatedInTheirClassContext();

    void aboutSections();
    void updateLogListsVersionsNewestFirst();

    void tipCaption();
    void tipCardShows400WideCentredBelowCaption();
};

void TestPages::initTestCase()
{
    registerImages();
}

void TestPages::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    QTest::newRow("icon") << ":/images/ico.png" << QByteArray("png") << QSize(267, 267);
    QTest::newRow("tip card") << ":/images/weixin.jpg" << QByteArray("jpeg") << QSize(508, 534);
    QTest::newRow("spinner") << ":/loading/images/loading/loading.gif" << QByteArray("gif") << QSize(560, 420);
}

void TestPages::images()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QImageReader reader(path);  // format detected from the data, not the name
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void TestPages::iconIsTransparentOutsideTheBadge()
{
    const QImage icon(QStringLiteral(":/images/ico.png"));
    QVERIFY(icon.hasAlphaChannel());
    const int last = icon.width() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        QCOMPARE(qAlpha(icon.pixel(corner)), 0);
    QCOMPARE(qAlpha(icon.pixel(icon.width() / 2, icon.height() / 2)), 255);
}

void TestPages::spinnerLoopsForever()
{
    const QString path = QStringLiteral(":/loading/images/loading/loading.gif");
    QImageReader reader(path);
    QVERIFY(reader.supportsAnimation());
    QVERIFY2(reader.imageCount() >= 12, qPrintable(QString::number(reader.imageCount())));
    // A stored loop count of 0 means "repeat without end", which Qt reports as -1;
    // a GIF without a loop entry would play once (0).
    QCOMPARE(reader.loopCount(), -1);

    QMovie movie(path);
    QVERIFY(movie.isValid());
    QCOMPARE(movie.loopCount(), -1);
}

void TestPages::forms_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("widgets");

    QTest::newRow("About") << "About" << QStringList{"textBrowser"};
    QTest::newRow("UpdateLog") << "UpdateLog" << QStringList{"textBrowser"};
    QTest::newRow("ZanShang") << "ZanShang" << QStringList{"label", "label_2"};
}

static std::unique_ptr<QWidget> makePage(const QString &name)
{
    if (name == QLatin1String("About"))
        return std::make_unique<About>(nullptr);
    if (name == QLatin1String("UpdateLog"))
        return std::make_unique<UpdateLog>(nullptr);
    return std::make_unique<ZanShang>(nullptr);
}

void TestPages::forms()
{
    QFETCH(QString, page);
    QFETCH(QStringList, widgets);

    const auto widget = makePage(page);
    QCOMPARE(widget->objectName(), page);

    auto *layout = qobject_cast<QVBoxLayout *>(widget->layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(layout->count(), widgets.size());
    for (int i = 0; i < widgets.size(); ++i) {
        QVERIFY(layout->itemAt(i)->widget());
        QCOMPARE(layout->itemAt(i)->widget()->objectName(), widgets.at(i));
        QCOMPARE(layout->stretch(i), 0);
    }
}

void TestPages::textsAreTranslatedInTheirClassContext_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("About") << "About";
    QTest::newRow("UpdateLog") << "UpdateLog";
    QTest::newRow("ZanShang") << "ZanShang";
}

void TestPages::textsAreTranslatedInTheirClassContext()
{
    QFETCH(QString, page);

    MarkerTranslator translator(page);
    QVERIFY(QCoreApplication::installTranslator(&translator));
    const auto widget = makePage(page);
    QCoreApplication::removeTranslator(&translator);

    const QString marker = QStringLiteral("译:") + page;
    if (const QTextDocument *document = pageDocument(widget.get())) {
        QCOMPARE(document->toPlainText().trimmed(), marker);
    } else {
        const auto labels = widget->findChildren<QLabel *>();
        QCOMPARE(labels.size(), 2);
        for (const QLabel *label : labels)
            QCOMPARE(label->text(), marker);
    }
}

void TestPages::aboutSections()
{
    About about(nullptr);
    const QTextDocument *document = pageDocument(&about);
    QVERIFY(document);

    QVector<Paragraph> before;
    const QVector<Section> all = sections(paragraphs(document), &before);
    QVERIFY2(before.isEmpty(), qPrintable(before.value(0).text));

    QStringList headings;
    for (const Section &s : all) {
        headings << s.heading.text;
        QCOMPARE(s.heading.pointSize, 11.0);
    }
    QCOMPARE(headings, (QStringList{"使用需知：", "多人配音问题：", "关于作者：", }));

    const QVector<int> noteCounts{4, 2, 1};
    for (int s = 0; s < all.size(); ++s) {
        QCOMPARE(all.at(s).items.size(), noteCounts.at(s));
        for (int n = 0; n < all.at(s).items.size(); ++n) {
            const Paragraph &note = all.at(s).items.at(n);
            QVERIFY2(note.text.startsWith(QString::number(n + 1) + QLatin1Char('.')), qPrintable(note.text));
            QCOMPARE(note.pixelSize, 12);
            // Only the fourth usage note, the one about the global pause, is dark red.
            const bool warning = s == 0 && n == 3;
            QVERIFY2((note.colour == QColor(0xab, 0x00, 0x00)) == warning, qPrintable(note.text));
        }
    }
    QVERIFY(all.at(0).items.at(3).text.contains(QStringLiteral("全局停顿")));
}

void TestPages::updateLogListsVersionsNewestFirst()
{
    UpdateLog log(nullptr);
    const QTextDocument *document = pageDocument(&log);
    QVERIFY(document);

    QVector<Paragraph> before;
    const QVector<Section> versions = sections(paragraphs(document), &before);

    // The notice stands alone above the versions: centred and red.
    QCOMPARE(before.size(), 1);
    QCOMPARE(before.at(0).colour, QColor(0xff, 0x00, 0x00));
    QVERIFY(before.at(0).alignment & Qt::AlignHCenter);

    const QStringList expected{"V 1.2【2023.04.16】", "V 1.1【2023.04.15】", "V 1.0【2023.04.13】"};
    const QVector<int> itemCounts{5, 7, 1};
    const QStringList markers{"& ", "& ", "* "};
    QCOMPARE(versions.size(), expected.size());
    for (int v = 0; v < versions.size(); ++v) {
        QCOMPARE(versions.at(v).heading.text, expected.at(v));
        QCOMPARE(versions.at(v).heading.pointSize, 11.0);
        QCOMPARE(versions.at(v).items.size(), itemCounts.at(v));
        for (const Paragraph &item : versions.at(v).items)
            QVERIFY2(item.text.startsWith(markers.at(v)), qPrintable(item.text));
    }
}

void TestPages::tipCaption()
{
    ZanShang page(nullptr);
    auto *label = page.findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("如果觉得软件还不错，就请作者喝个咖啡吧"));
    QCOMPARE(label->minimumSize(), QSize(0, 40));
    QCOMPARE(label->maximumSize(), QSize(16777215, 40));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(label->layoutDirection(), Qt::LeftToRight);

    auto *card = page.findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(card);
    QCOMPARE(card->alignment(), Qt::AlignHCenter | Qt::AlignTop);
}

// Renders the page and finds where the card is drawn: the box of every pixel of
// the card label that differs from the label's own background.
void TestPages::tipCardShows400WideCentredBelowCaption()
{
    ZanShang page(nullptr);
    page.resize(700, 620);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    auto *caption = page.findChild<QLabel *>(QStringLiteral("label"));
    auto *card = page.findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(caption && card);
    QCOMPARE(caption->height(), 40);
    QVERIFY(card->geometry().top() > caption->geometry().bottom());

    const QImage shot = card->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), card->size());  // no high-DPI scaling in the test
    const QRgb background = shot.pixel(0, shot.height() - 1);
    QRect drawn;
    for (int y = 0; y < shot.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if (line[x] != background)
                drawn |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!drawn.isEmpty());
    QCOMPARE(drawn.width(), 400);
    QVERIFY2(qAbs(drawn.height() - 534 * 400 / 508) <= 1, qPrintable(QString::number(drawn.height())));
    // Centred across the page, at the top of its label.
    QVERIFY2(qAbs(drawn.left() - (card->width() - drawn.right() - 1)) <= 1,
             qPrintable(QStringLiteral("%1..%2 of %3").arg(drawn.left()).arg(drawn.right()).arg(card->width())));
    QVERIFY2(drawn.top() < 20, qPrintable(QString::number(drawn.top())));
}

QTEST_MAIN(TestPages)
#include "test_pages.moc"

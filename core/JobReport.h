#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// What the user is told of a running or finished job, as plain functions of
// what the job knows.
namespace JobReport {

// The overlay's line while passages render: "多线程合成中，请稍等（12/308）".
QString renderingText(int done, int total);

// The start of a passage's text as a failure list shows it: up to `length`
// characters (a surrogate pair counts as one and is never cut), then "…" when
// there was more.
QString excerpt(const QString &text, int length = 12);

struct FailedPassage {
    int number = 0;  // the passage's position in the script, from 1
    QString text;    // the passage's text
    QString message; // what the service said; may be empty
    QString title;   // the caption that came with it
};

// How many failed passages the warning names; the rest is "等".
constexpr int namedFailures = 5;

// "部分配音合成失败：" + the count, then one line per failed passage, in script
// order, up to namedFailures of them ("第3段「开头的几个字…」：service message"),
// and a last line "等" when there were more.
QString failureText(QVector<FailedPassage> failures);

// When to show the count after a passage has reported, so that the overlay
// changes at most once per `intervalMs`: 0 shows it now; a positive value is
// the delay after which to show the latest count. The last report (done ==
// total) always shows at once, so the count ends at N/N before the join.
qint64 progressDelayMs(qint64 sinceShownMs, int done, int total, int intervalMs);

} // namespace JobReport

#pragma once

#include <QJsonArray>
#include <QString>

// Cutting a script into the segment list: element 0 the job header
// {rates, volumes, path}, then one {text, name, fileName} record per segment
// in script order.
namespace Segmentation {

struct Input {
    QString script;          // the editor's plain text
    QString rateText;        // the rate box's displayed text, e.g. "-5%" or "10%"
    QString volumeText;      // the volume box's displayed text
    QString chooserVoice;    // identifier of the voice chooser's voice (may be empty)
    QString audioDir;        // ends in "/"
    qint64 startMsecs = 0;   // the job's start time, names its folder
};

// "+" in front unless the text starts with "-".
QString signedPercent(const QString &spinText);

// Line breaks become "，" and runs of "，" collapse to one; nothing is trimmed.
QString fold(const QString &text);

// The segment list of a script. Text outside tagged passages goes to the
// chooser voice; when usesChooserVoice is given it tells whether any record
// did, so that a caller without a chooser voice can refuse the job instead of
// sending segments without a voice.
QJsonArray buildSegmentList(const Input &input, bool *usesChooserVoice = nullptr);

} // namespace Segmentation

#include "ttsCommunicate.h"

ttsCommunicate::ttsCommunicate(const QString &text, const QString &voice, const QString &rates,
                               const QString &volumes, const QString &writeMedia,
                               const QString &writeSubtitles)
    : text(text), voice(voice), rates(rates), volumes(volumes), write_media(writeMedia),
      write_subtitles(writeSubtitles)
{
}

ttsCommunicate::~ttsCommunicate() = default;

void ttsCommunicate::run() {}

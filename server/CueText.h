// The text of a placed segment's one cue, made from the segment's own cues.
#pragma once

#include "Subtitles.h"

#include <string>
#include <vector>

namespace tavrel {

// One line of text from a segment's cues, each as srt::cueText() shows it:
// wide (CJK) pieces run on, others are joined with a blank.
std::string joinCueTexts(const std::vector<srt::Cue> &cues);

}  // namespace tavrel

// Speakers whose gender nobody told us: estimated once from the pitch of a
// short rendering and kept in the model's folder, so that the next start
// names them at once. The estimate belongs to one model file: a changed file
// (size or time) is estimated again.
#pragma once

#include "ModelCatalog.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavrel::neural {

// The cache file in a model's folder.
inline constexpr const char *kGenderCacheName = ".lumo-speaker-genders.tsv";

// sid → "Female"/"Male" from the folder's cache; empty when there is none or
// it was made for another model file.
std::map<int, std::string> readGenderCache(const NeuralModel &model);

// Writes the cache (atomically); false when the folder cannot be written.
bool writeGenderCache(const NeuralModel &model, const std::map<int, std::pair<std::string, double>> &genders);

// The fundamental frequency of voiced speech in Hz (median over 40 ms
// windows, 60…400 Hz), 0 when nothing voiced is found.
double estimatePitch(const std::vector<std::int16_t> &pcm, int rate);

// Below 165 Hz a speaker is taken as male: between the usual ranges of men
// (85–155 Hz) and women (165–255 Hz).
std::string genderForPitch(double hz);

}  // namespace tavrel::neural

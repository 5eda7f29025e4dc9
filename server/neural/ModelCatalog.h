// The neural models of the working folder: models/<folder>/, one model per
// folder, its family recognised from the files it holds, its speakers named
// as voices. Nothing here loads a model; only its metadata is read.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tavrel::neural {

enum class Family { Vits, Matcha, Kokoro };

const char *familyName(Family family);

struct NeuralVoice {
    int sid = 0;
    std::string name;         // "<locale>-<Model><Speaker>", ASCII letters and digits after the locale
    std::string locale;       // a code of the program's locale table
    std::string gender;       // "Female" or "Male"
    std::string displayName;  // what the choosers show, e.g. "标贝 001 女声"
    // Said by voices.tsv or a speaker list we know; otherwise the gender is
    // estimated from the pitch of a rendering (GenderCache), "Female" until then.
    bool genderKnown = true;
    bool genderEstimated = false;  // taken from the folder's estimate cache
    std::string baseDisplay;       // the display name without 男声/女声, when we made it
};

struct NeuralModel {
    std::string folder;               // the folder's name below models/
    std::filesystem::path dir;
    Family family = Family::Vits;
    std::string modelName;            // the <Model> part of its voices' identifiers
    std::filesystem::path model;      // VITS/Kokoro model, Matcha acoustic model
    std::filesystem::path vocoder;    // Matcha only
    std::filesystem::path voicesBin;  // Kokoro only
    std::filesystem::path tokens;
    std::string lexicon;              // one file, or several joined by commas (Kokoro)
    std::filesystem::path dataDir;    // espeak-ng-data/, when the model has one
    std::filesystem::path dictDir;    // dict/ (jieba), when the model has one
    std::string language;             // the model's own "language" metadata
    int sampleRate = 0;
    int speakers = 1;
    std::vector<NeuralVoice> voices;  // by sid
    std::vector<std::string> warnings;  // lines of its voices.tsv that were skipped, and why
};

struct SkippedFolder {
    std::string folder;
    std::string reason;
};

struct ModelCatalog {
    std::vector<NeuralModel> models;  // by folder name
    std::vector<SkippedFolder> skipped;
};

// The display name of a speaker we name ourselves: "<model> <number> 女声/男声".
std::string genderedDisplay(const std::string &base, const std::string &gender);

// Scans <modelsDir>/*/. A folder that is incomplete, not a model or of a
// family we do not know lands in `skipped` with its reason; the others stay.
ModelCatalog scanModels(const std::filesystem::path &modelsDir);

// True when <modelsDir> holds at least one folder: whether neural voices are
// wanted at all, before any runtime is loaded.
bool hasModelFolders(const std::filesystem::path &modelsDir);

}  // namespace tavrel::neural

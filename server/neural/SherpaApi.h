// Our own declarations of the few functions and structs of sherpa-onnx's C
// library that the neural engine calls. The runtime ships no header, so the
// structs follow the field order of the same version's sherpa-onnx-tts.js
// (npm `sherpa-onnx`), which fills them field by field; the compiler then
// lays them out for x86-64. test_neural_runtime creates an engine through
// them from a generated model, so a layout that drifts from the library is
// caught there. Pinned to the runtime version below.
#pragma once

#include <cstdint>

namespace tavrel::neural {

inline constexpr const char *kRuntimeVersion = "1.13.8";

extern "C" {

struct SherpaOnnxOfflineTtsVitsModelConfig {
    const char *model;
    const char *lexicon;
    const char *tokens;
    const char *data_dir;
    float noise_scale;
    float noise_scale_w;
    float length_scale;
    const char *dict_dir;
};

struct SherpaOnnxOfflineTtsMatchaModelConfig {
    const char *acoustic_model;
    const char *vocoder;
    const char *lexicon;
    const char *tokens;
    const char *data_dir;
    float noise_scale;
    float length_scale;
    const char *dict_dir;
};

struct SherpaOnnxOfflineTtsKokoroModelConfig {
    const char *model;
    const char *voices;
    const char *tokens;
    const char *data_dir;
    float length_scale;
    const char *dict_dir;
    const char *lexicon;
    const char *lang;
};

struct SherpaOnnxOfflineTtsKittenModelConfig {
    const char *model;
    const char *voices;
    const char *tokens;
    const char *data_dir;
    float length_scale;
};

struct SherpaOnnxOfflineTtsZipvoiceModelConfig {
    const char *tokens;
    const char *encoder;
    const char *decoder;
    const char *vocoder;
    const char *data_dir;
    const char *lexicon;
    float feat_scale;
    float t_shift;
    float target_rms;
    float guidance_scale;
};

struct SherpaOnnxOfflineTtsPocketModelConfig {
    const char *lm_flow;
    const char *lm_main;
    const char *encoder;
    const char *decoder;
    const char *text_conditioner;
    const char *vocab_json;
    const char *token_scores_json;
    std::int32_t voice_embedding_cache_capacity;
};

struct SherpaOnnxOfflineTtsSupertonicModelConfig {
    const char *duration_predictor;
    const char *text_encoder;
    const char *vector_estimator;
    const char *vocoder;
    const char *tts_json;
    const char *unicode_indexer;
    const char *voice_style;
};

struct SherpaOnnxOfflineTtsModelConfig {
    SherpaOnnxOfflineTtsVitsModelConfig vits;
    std::int32_t num_threads;
    std::int32_t debug;
    const char *provider;
    SherpaOnnxOfflineTtsMatchaModelConfig matcha;
    SherpaOnnxOfflineTtsKokoroModelConfig kokoro;
    SherpaOnnxOfflineTtsKittenModelConfig kitten;
    SherpaOnnxOfflineTtsZipvoiceModelConfig zipvoice;
    SherpaOnnxOfflineTtsPocketModelConfig pocket;
    SherpaOnnxOfflineTtsSupertonicModelConfig supertonic;
};

struct SherpaOnnxOfflineTtsConfig {
    SherpaOnnxOfflineTtsModelConfig model;
    const char *rule_fsts;
    std::int32_t max_num_sentences;
    const char *rule_fars;
    float silence_scale;
};

struct SherpaOnnxGeneratedAudio {
    const float *samples;  // mono, -1..1
    std::int32_t n;
    std::int32_t sample_rate;
};

struct SherpaOnnxOfflineTts;

}  // extern "C"

// What the functions look like; the library is opened with dlopen, so these
// are pointer types, never linked.
using CreateOfflineTtsFn = SherpaOnnxOfflineTts *(*)(const SherpaOnnxOfflineTtsConfig *);
using DestroyOfflineTtsFn = void (*)(SherpaOnnxOfflineTts *);
using OfflineTtsSampleRateFn = std::int32_t (*)(const SherpaOnnxOfflineTts *);
using OfflineTtsNumSpeakersFn = std::int32_t (*)(const SherpaOnnxOfflineTts *);
using OfflineTtsGenerateFn = const SherpaOnnxGeneratedAudio *(*)(const SherpaOnnxOfflineTts *, const char *text,
                                                                  std::int32_t sid, float speed);
// Called as generation goes on, with the samples so far and the share done;
// returning 0 stops the generation.
using GeneratedAudioProgressCallbackWithArg = std::int32_t (*)(const float *samples, std::int32_t n, float progress,
                                                               void *arg);
using OfflineTtsGenerateWithProgressFn = const SherpaOnnxGeneratedAudio *(*)(
    const SherpaOnnxOfflineTts *, const char *text, std::int32_t sid, float speed,
    GeneratedAudioProgressCallbackWithArg callback, void *arg);
using DestroyGeneratedAudioFn = void (*)(const SherpaOnnxGeneratedAudio *);
using GetVersionStrFn = const char *(*)();

// Byte sizes on x86-64 that follow from the field order above; a change to a
// declaration that moves a later field fails to compile.
static_assert(sizeof(SherpaOnnxOfflineTtsVitsModelConfig) == 56);
static_assert(sizeof(SherpaOnnxOfflineTtsMatchaModelConfig) == 56);
static_assert(sizeof(SherpaOnnxOfflineTtsKokoroModelConfig) == 64);
static_assert(sizeof(SherpaOnnxOfflineTtsModelConfig) == 56 + 16 + 56 + 64 + 40 + 64 + 64 + 56);
static_assert(sizeof(SherpaOnnxOfflineTtsConfig) == sizeof(SherpaOnnxOfflineTtsModelConfig) + 32);
static_assert(sizeof(SherpaOnnxGeneratedAudio) == 16);

}  // namespace tavrel::neural

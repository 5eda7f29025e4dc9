// models/ of the working folder: each folder recognised by its files as one
// family, its speakers named as voices, and every folder that cannot be used
// skipped with a reason that names what is wrong, while the others stay.
#include "ModelCatalog.h"
#include "NeuralTestSupport.h"
#include "OnnxMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

using namespace tavrel;
using namespace tavrel::neural;
using namespace tavrel::test;

namespace {

const NeuralModel *findModel(const ModelCatalog &c, const std::string &folder)
{
    for (const auto &m : c.models)
        if (m.folder == folder)
            return &m;
    return nullptr;
}

std::string skipReason(const ModelCatalog &c, const std::string &folder)
{
    for (const auto &s : c.skipped)
        if (s.folder == folder)
            return s.reason;
    return {};
}

class NeuralModels : public ::testing::Test {
protected:
    void SetUp() override
    {
        NEURAL_MAKE_MODELS(m_dir.path(), "vits", "vits1", "named", "piper", "matcha", "kokoro", "notokens",
                           "corrupt", "unknown", "nometa", "novocoder");
        m_catalog = scanModels(models());
    }
    fs::path models() const { return m_dir.path() / "models"; }

    TempWorkDir m_dir;
    ModelCatalog m_catalog;
};

TEST_F(NeuralModels, EachFamilyIsRecognised)
{
    struct Row {
        const char *folder;
        Family family;
        int speakers;
        int rate;
        const char *modelFile;
    };
    const Row rows[] = {
        {"vits-test-zh", Family::Vits, 3, 16000, "model.onnx"},
        {"vits-test-solo", Family::Vits, 1, 16000, "model.onnx"},
        {"vits-named", Family::Vits, 2, 16000, "model.onnx"},
        {"vits-piper-en_US-test-medium", Family::Vits, 1, 22050, "en_US-test-medium.onnx"},
        {"matcha-icefall-zh-baker", Family::Matcha, 1, 22050, "model-steps-3.onnx"},
        {"kokoro-test-multi", Family::Kokoro, 4, 24000, "model.onnx"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.folder);
        const NeuralModel *m = findModel(m_catalog, row.folder);
        ASSERT_TRUE(m) << skipReason(m_catalog, row.folder);
        EXPECT_EQ(m->family, row.family);
        EXPECT_EQ(m->speakers, row.speakers);
        EXPECT_EQ(int(m->voices.size()), row.speakers);
        EXPECT_EQ(m->sampleRate, row.rate);
        EXPECT_EQ(m->model.filename(), row.modelFile);
        EXPECT_EQ(m->tokens.filename(), "tokens.txt");
    }
    const NeuralModel *matcha = findModel(m_catalog, "matcha-icefall-zh-baker");
    ASSERT_TRUE(matcha);
    EXPECT_EQ(matcha->vocoder.filename(), "vocos-22khz-univ.onnx");
    const NeuralModel *kokoro = findModel(m_catalog, "kokoro-test-multi");
    ASSERT_TRUE(kokoro);
    EXPECT_EQ(kokoro->voicesBin.filename(), "voices.bin");
    EXPECT_NE(kokoro->lexicon.find("lexicon-us-en.txt,"), std::string::npos) << kokoro->lexicon;
    EXPECT_NE(kokoro->lexicon.find("lexicon-zh.txt"), std::string::npos) << kokoro->lexicon;
    const NeuralModel *piper = findModel(m_catalog, "vits-piper-en_US-test-medium");
    ASSERT_TRUE(piper);
    EXPECT_EQ(piper->dataDir.filename(), "espeak-ng-data");
    EXPECT_TRUE(piper->lexicon.empty());
}

TEST_F(NeuralModels, BrokenFoldersAreSkippedWithTheirReason)
{
    struct Row {
        const char *folder;
        const char *reason;  // part of the reason
    };
    const Row rows[] = {
        {"vits-notokens", "tokens.txt"},
        {"vits-corrupt", "不是有效的 ONNX 模型"},
        {"mystery-model", "没有 .onnx"},
        {"vits-nometa", "缺少元数据 sample_rate"},
        {"matcha-novocoder", "声码器"},
    };
    EXPECT_EQ(m_catalog.skipped.size(), std::size(rows));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.folder);
        EXPECT_FALSE(findModel(m_catalog, row.folder));
        const std::string reason = skipReason(m_catalog, row.folder);
        EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
    }
    EXPECT_EQ(m_catalog.models.size(), 6u);
}

TEST_F(NeuralModels, VoicesAreNamedStablyAndUniquely)
{
    struct Row {
        const char *name;
        const char *locale;
        const char *gender;
        const char *display;
    };
    const Row rows[] = {
        {"zh-CN-TestZhS000", "zh-CN", "Female", "vits-test-zh 000 女声"},
        {"zh-CN-TestZhS002", "zh-CN", "Female", "vits-test-zh 002 女声"},
        {"zh-CN-NamedXiaohong", "zh-CN", "Female", "小红 女声"},   // voices.tsv
        {"zh-CN-NamedXiaoming", "zh-CN", "Male", "小明 男声"},     // voices.tsv, comment dropped
        {"zh-CN-BakerS000", "zh-CN", "Female", "标贝 000 女声"},   // a published model we know
        {"en-US-PiperTestS000", "en-US", "Female", "Piper test 000 女声"},
        {"en-US-KokoroTestMultiAfMaple", "en-US", "Female", "kokoro-test-multi 000 女声"},
        {"en-GB-KokoroTestMultiBfVale", "en-GB", "Female", "kokoro-test-multi 001 女声"},
        {"zh-CN-KokoroTestMultiZf001", "zh-CN", "Female", "kokoro-test-multi 002 女声"},
        {"zh-CN-KokoroTestMultiZm009", "zh-CN", "Male", "kokoro-test-multi 003 男声"},
    };
    std::map<std::string, NeuralVoice> all;
    for (const auto &m : m_catalog.models)
        for (const auto &v : m.voices) {
            EXPECT_TRUE(all.emplace(v.name, v).second) << "twice: " << v.name;
            const std::string rest = v.name.substr(v.locale.size() + 1);
            EXPECT_EQ(v.name.compare(0, v.locale.size() + 1, v.locale + "-"), 0) << v.name;
            EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](char c) { return std::isalnum((unsigned char)c); }))
                << v.name;
        }
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto it = all.find(row.name);
        ASSERT_NE(it, all.end());
        EXPECT_EQ(it->second.locale, row.locale);
        EXPECT_EQ(it->second.gender, row.gender);
        EXPECT_EQ(it->second.displayName, row.display);
    }
    // The same folders give the same identifiers on the next run.
    const ModelCatalog again = scanModels(models());
    std::vector<std::string> first, second;
    for (const auto &m : m_catalog.models)
        for (const auto &v : m.voices)
            first.push_back(v.name);
    for (const auto &m : again.models)
        for (const auto &v : m.voices)
            second.push_back(v.name);
    EXPECT_EQ(first, second);
}

TEST_F(NeuralModels, KokoroWithoutEspeakDataIsSkipped)
{
    fs::remove_all(models() / "kokoro-test-multi" / "espeak-ng-data");
    const ModelCatalog c = scanModels(models());
    EXPECT_FALSE(findModel(c, "kokoro-test-multi"));
    EXPECT_NE(skipReason(c, "kokoro-test-multi").find("espeak-ng-data"), std::string::npos);
}

TEST_F(NeuralModels, CollidingModelNamesStayApart)
{
    // "vits-test_zh" reads as the same <Model> as "vits-test-zh".
    fs::copy(models() / "vits-test-zh", models() / "vits-test_zh", fs::copy_options::recursive);
    const ModelCatalog c = scanModels(models());
    const NeuralModel *first = findModel(c, "vits-test-zh");
    const NeuralModel *second = findModel(c, "vits-test_zh");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->voices[0].name, "zh-CN-TestZhS000");
    EXPECT_EQ(second->voices[0].name, "zh-CN-TestZh2S000");
}

// A bad line of voices.tsv is skipped with its number and why; the good
// lines still name their speakers, the others keep the names we give them.
TEST_F(NeuralModels, BadVoicesTsvLinesAreSkippedWithTheirNumbers)
{
    struct Row {
        const char *tsv;
        const char *warning;  // part of the one warning
        const char *sid0;
        const char *sid1;
    };
    const Row rows[] = {
        {"0\tOk\tzh-CN\tFemale\tx\n7\tLate\tzh-CN\tMale\ty\n", "第 2 行的 sid", "zh-CN-NamedOk", "zh-CN-NamedS001"},
        {"# names\n0\tBad-Name\tzh-CN\tFemale\tx\n1\tB\tzh-CN\tMale\n", "第 2 行的标识后缀只能由 ASCII", "zh-CN-NamedS000",
         "zh-CN-NamedB"},
        {"0\tOk\txx-XX\tFemale\tx\n", "第 1 行的区域", "zh-CN-NamedS000", "zh-CN-NamedS001"},
        {"0\tOk\tzh-CN\tfemale\tx\n", "第 1 行的性别应为 Female 或 Male", "zh-CN-NamedS000", "zh-CN-NamedS001"},
        {"0\tOk\n\n1\tB\tzh-CN\tMale\n", "第 1 行应有", "zh-CN-NamedS000", "zh-CN-NamedB"},
        {"0\tSame\tzh-CN\tFemale\tx\n1\tSame\tzh-CN\tMale\ty\n", "第 2 行的标识后缀与前面的重复", "zh-CN-NamedSame",
         "zh-CN-NamedS001"},
        {"1\tA\tzh-CN\tMale\n1\tB\tzh-CN\tMale\n", "第 2 行的 sid 已在前面出现过", "zh-CN-NamedS000", "zh-CN-NamedA"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.tsv);
        writeFile(models() / "vits-named" / "voices.tsv", row.tsv);
        const ModelCatalog c = scanModels(models());
        const NeuralModel *m = findModel(c, "vits-named");
        ASSERT_TRUE(m) << skipReason(c, "vits-named");
        ASSERT_EQ(m->warnings.size(), 1u);
        EXPECT_NE(m->warnings[0].find(row.warning), std::string::npos) << m->warnings[0];
        EXPECT_NE(m->warnings[0].find("已跳过"), std::string::npos) << m->warnings[0];
        ASSERT_EQ(m->voices.size(), 2u);
        EXPECT_EQ(m->voices[0].name, row.sid0);
        EXPECT_EQ(m->voices[1].name, row.sid1);
        EXPECT_TRUE(findModel(c, "vits-test-zh"));
    }
}

TEST_F(NeuralModels, MetadataIsReadWithoutLoadingAndTruncationIsCaught)
{
    const fs::path file = models() / "vits-test-zh" / "model.onnx";
    const OnnxMetadata meta = readOnnxMetadata(file);
    ASSERT_TRUE(meta.ok) << meta.error;
    EXPECT_EQ(meta.props.at("n_speakers"), "3");
    EXPECT_EQ(meta.props.at("language"), "Chinese");
    const std::string bytes = readFile(file);
    for (std::size_t cut : {std::size_t(1), bytes.size() / 2, bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        writeFile(m_dir.path() / "cut.onnx", bytes.substr(0, cut));
        EXPECT_FALSE(readOnnxMetadata(m_dir.path() / "cut.onnx").ok);
    }
    EXPECT_FALSE(readOnnxMetadata(m_dir.path() / "missing.onnx").ok);
}

TEST(NeuralModelFolders, NoFolderMeansNoNeuralVoices)
{
    TempWorkDir dir;
    EXPECT_FALSE(hasModelFolders(dir.path() / "models"));
    fs::create_directories(dir.path() / "models");
    writeFile(dir.path() / "models" / "README.txt", "a file, not a model folder");
    EXPECT_FALSE(hasModelFolders(dir.path() / "models"));
    fs::create_directories(dir.path() / "models" / "empty");
    EXPECT_TRUE(hasModelFolders(dir.path() / "models"));
    const ModelCatalog c = scanModels(dir.path() / "models");
    EXPECT_TRUE(c.models.empty());
    ASSERT_EQ(c.skipped.size(), 1u);
    EXPECT_EQ(c.skipped[0].folder, "empty");
}

}  // namespace

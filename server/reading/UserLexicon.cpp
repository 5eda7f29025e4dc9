#include "UserLexicon.h"

#include "Utf8.h"

#include "PinyinSyllables.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::reading {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
// A lexicon is typed by hand; anything this big is not one, and reading it
// on a request thread would stall the service.
constexpr long long kMaxFileSize = 64LL * 1024 * 1024;



std::size_t codePoints(std::string_view s)
{
    std::size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

bool isHan(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF)
        || (c >= 0x20000 && c <= 0x323AF) || (c >= 0xF900 && c <= 0xFAFF) || c == 0x3007;
}

bool isKana(char32_t c)
{
    return (c >= 0x3041 && c <= 0x3096)     // hiragana
        || (c >= 0x309D && c <= 0x309E)     // ゝゞ
        || (c >= 0x30A1 && c <= 0x30FA)     // katakana
        || (c >= 0x30FC && c <= 0x30FE)     // ー ヽヾ
        || (c >= 0x31F0 && c <= 0x31FF);    // small katakana for Ainu
}

std::string_view trimBytes(std::string_view s)
{
    // ASCII blanks and the ideographic space U+3000 (E3 80 80)
    for (;;) {
        if (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
            s.remove_prefix(1);
        else if (s.substr(0, 3) == "\xE3\x80\x80")
            s.remove_prefix(3);
        else
            break;
    }
    for (;;) {
        if (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
            s.remove_suffix(1);
        else if (s.size() >= 3 && s.substr(s.size() - 3) == "\xE3\x80\x80")
            s.remove_suffix(3);
        else
            break;
    }
    return s;
}

enum class LineKind { Blank, Comment, Entry, Bad };

struct LineInfo {
    LineKind kind = LineKind::Blank;
    std::string word;        // set for Entry, and for Bad lines that have one
    bool japanese = false;   // the reading is written in kana
    LexiconEntry entry;
    std::string reason;      // for Bad
};

// One line without its line end.
LineInfo examineLine(std::string_view line)
{
    LineInfo info;
    std::u32string cps;
    if (!utf8::decodeStrict(line, cps)) {
        info.kind = LineKind::Bad;
        info.reason = "不是有效的 UTF-8 文本";
        return info;
    }
    std::string_view trimmed = trimBytes(line);
    if (trimmed.empty())
        return info;
    if (trimmed.front() == '#') {
        info.kind = LineKind::Comment;
        return info;
    }

    info.kind = LineKind::Bad;
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
        info.reason = "缺少制表符：每行应为“词<Tab>读音”";
        return info;
    }
    std::string_view word = trimBytes(line.substr(0, tab));
    std::string_view reading = trimBytes(line.substr(tab + 1));
    if (word.empty()) {
        info.reason = "词为空";
        return info;
    }
    info.word = std::string(word);

    std::u32string readingCps, wordCps;
    utf8::decodeStrict(reading, readingCps);
    utf8::decodeStrict(word, wordCps);
    for (char32_t c : readingCps)
        if (isKana(c))
            info.japanese = true;
    if (reading.empty()) {
        info.reason = "读音为空";
        return info;
    }

    if (info.japanese) {
        for (char32_t c : readingCps)
            if (!isKana(c)) {
                info.reason = "假名读音只能包含平假名、片假名和“ー”：" + utf8::encode(c);
                return info;
            }
        info.entry.word = info.word;
        info.entry.kana = std::string(reading);
        info.kind = LineKind::Entry;
        return info;
    }

    std::string error;
    auto syllables = pinyin::parseReading(reading, &error);
    if (!syllables) {
        info.reason = error;
        return info;
    }
    std::u32string han;
    for (char32_t c : wordCps)
        if (isHan(c))
            han.push_back(c);
    if (han.empty()) {
        info.reason = "词中没有汉字，拼音读音只用于中文词";
        return info;
    }
    // Each syllable reads one Han character; a merged erhua syllable
    // ("dianr3") reads the 儿 after its character as well.
    std::size_t h = 0;
    for (const std::string &s : *syllables) {
        if (h == han.size())
            break;
        ++h;
        if (pinyin::isErhua(s)) {
            if (h == han.size() || (han[h] != U'儿' && han[h] != U'兒')) {
                info.reason = "儿化音节 " + s + " 后面应是“儿”字";
                return info;
            }
            ++h;
        }
    }
    std::size_t merged = 0;
    for (const std::string &s : *syllables)
        if (pinyin::isErhua(s))
            ++merged;
    if (h != han.size() || syllables->size() + merged != han.size()) {
        info.reason = "读音有 " + std::to_string(syllables->size()) + " 个音节，但词有 "
            + std::to_string(han.size()) + " 个汉字";
        return info;
    }
    info.entry.word = info.word;
    info.entry.syllables = std::move(*syllables);
    info.kind = LineKind::Entry;
    return info;
}

UserLexicon::Stamp stampOf(const struct stat &st)
{
    UserLexicon::Stamp s;
    s.exists = true;
    s.device = static_cast<unsigned long long>(st.st_dev);
    s.inode = static_cast<unsigned long long>(st.st_ino);
    s.size = static_cast<long long>(st.st_size);
    s.mtimeSec = static_cast<long long>(st.st_mtim.tv_sec);
    s.mtimeNsec = static_cast<long long>(st.st_mtim.tv_nsec);
    s.ctimeSec = static_cast<long long>(st.st_ctim.tv_sec);
    s.ctimeNsec = static_cast<long long>(st.st_ctim.tv_nsec);
    return s;
}

// Reads a whole file from an open descriptor.
bool readAll(int fd, std::string &out)
{
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

ParsedLexicon parseLexicon(std::string_view text)
{
    ParsedLexicon out;
    if (text.substr(0, kBom.size()) == kBom)
        text.remove_prefix(kBom.size());
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        LineInfo info = examineLine(line);
        if (info.kind == LineKind::Bad) {
            out.problems.push_back({lineNo, info.reason});
        } else if (info.kind == LineKind::Entry) {
            auto &list = info.japanese ? out.japanese : out.mandarin;
            list[info.word] = std::move(info.entry);
        }
    }
    for (const auto *list : {&out.mandarin, &out.japanese})
        for (const auto &[word, entry] : *list)
            out.longestWord = std::max(out.longestWord, codePoints(word));
    return out;
}

bool UserLexicon::Stamp::operator==(const Stamp &o) const
{
    if (exists != o.exists)
        return false;
    if (!exists)
        return true;
    return device == o.device && inode == o.inode && size == o.size && mtimeSec == o.mtimeSec
        && mtimeNsec == o.mtimeNsec && ctimeSec == o.ctimeSec && ctimeNsec == o.ctimeNsec;
}

UserLexicon::UserLexicon(std::filesystem::path file, std::function<void(const std::string &)> log,
                         std::chrono::milliseconds checkInterval)
    : m_path(std::move(file))
    , m_log(std::move(log))
    , m_interval(checkInterval)
    , m_current(std::make_shared<ParsedLexicon>())
{
    if (!m_log)
        m_log = [](const std::string &line) { std::cerr << line << std::endl; };
}

std::shared_ptr<const ParsedLexicon> UserLexicon::current() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto now = std::chrono::steady_clock::now();
    if (!m_checked || now - m_lastCheck >= m_interval) {
        m_checked = true;
        m_lastCheck = now;
        struct stat st;
        Stamp seen;
        if (::stat(m_path.c_str(), &st) == 0)
            seen = stampOf(st);
        if (seen != m_stamp)
            reload(seen);
    }
    return m_current;
}

void UserLexicon::reload(const Stamp &seen) const
{
    const std::string name = m_path.filename().string();
    m_stamp = seen;
    m_current = std::make_shared<ParsedLexicon>();
    if (!seen.exists)
        return;

    int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_log(name + ": 无法读取：" + std::strerror(errno));
        return;
    }
    struct stat st;
    std::string text;
    std::string failure;
    if (::fstat(fd, &st) != 0) {
        failure = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        failure = "不是普通文件";
    } else if (st.st_size > kMaxFileSize) {
        failure = "文件太大";
    } else if (!readAll(fd, text)) {
        failure = std::strerror(errno);
    } else {
        // Remember what was read, not what was seen: a change in between is
        // then found on the next check.
        m_stamp = stampOf(st);
    }
    ::close(fd);
    if (!failure.empty()) {
        m_log(name + ": 无法读取：" + failure);
        return;
    }

    auto parsed = std::make_shared<ParsedLexicon>(parseLexicon(text));
    for (const LexiconProblem &p : parsed->problems)
        m_log(name + ":" + std::to_string(p.line) + ": " + p.reason);
    m_current = std::move(parsed);
}

bool writeEntry(const std::filesystem::path &file, const std::string &word,
                const std::string &reading, std::string &error)
{
    namespace fs = std::filesystem;
    const std::string name = file.filename().string();

    for (char c : word + reading)
        if (c == '\n' || c == '\r') {
            error = "词和读音不能包含换行符";
            return false;
        }
    if (word.find('\t') != std::string::npos || reading.find('\t') != std::string::npos) {
        error = "词和读音不能包含制表符";
        return false;
    }
    const std::string newLine = std::string(trimBytes(word)) + "\t" + std::string(trimBytes(reading));
    LineInfo wanted = examineLine(newLine);
    if (wanted.kind == LineKind::Comment) {
        error = "词不能以“#”开头，那样的行是注释";
        return false;
    }
    if (wanted.kind != LineKind::Entry) {
        error = wanted.reason.empty() ? "词为空" : wanted.reason;
        return false;
    }

    // Write where a link points, so the link stays a link.
    fs::path target = file;
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            target = resolved;
    }

    std::string content;
    mode_t mode = 0644;
    int in = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
        struct stat st;
        bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode) && readAll(in, content);
        int saved = errno;
        if (ok)
            mode = st.st_mode & 07777;
        ::close(in);
        if (!ok) {
            error = "无法读取 " + name + "：" + std::strerror(saved);
            return false;
        }
    } else if (errno != ENOENT) {
        error = "无法读取 " + name + "：" + std::strerror(errno);
        return false;
    }

    std::string_view rest = content;
    std::string out;
    out.reserve(content.size() + newLine.size() + 2);
    if (rest.substr(0, kBom.size()) == kBom) {
        out += kBom;
        rest.remove_prefix(kBom.size());
    }
    std::string eol = "\n";
    if (std::size_t nl = rest.find('\n'); nl != std::string_view::npos && nl > 0 && rest[nl - 1] == '\r')
        eol = "\r\n";

    bool placed = false;
    while (!rest.empty()) {
        std::size_t nl = rest.find('\n');
        std::size_t len = nl == std::string_view::npos ? rest.size() : nl + 1;
        std::string_view whole = rest.substr(0, len);
        rest.remove_prefix(len);
        std::string_view body = whole;
        if (!body.empty() && body.back() == '\n')
            body.remove_suffix(1);
        if (!body.empty() && body.back() == '\r')
            body.remove_suffix(1);

        LineInfo info = examineLine(body);
        bool sameEntry = (info.kind == LineKind::Entry || info.kind == LineKind::Bad)
            && !info.word.empty() && info.word == wanted.word && info.japanese == wanted.japanese;
        if (!sameEntry) {
            out += whole;
        } else if (!placed) {
            out += newLine;
            out += whole.substr(body.size());  // the line's own ending
            placed = true;
        }
        // later lines for the same word are dropped
    }
    if (!placed) {
        if (!out.empty() && out.back() != '\n' && out != kBom)
            out += eol;
        out += newLine;
        out += eol;
    }

    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    std::string temp = (dir / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "无法写入 " + name + "：" + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, out) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = "无法写入 " + name + "：" + std::strerror(saved);
        return false;
    }
    // The rename itself is durable once the folder is synced.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    error.clear();
    return true;
}

}  // namespace tavrel::reading

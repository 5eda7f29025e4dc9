#include "UserLexicon.h"

#include "LexiconLine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::reading {

namespace {

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

}  // namespace

ParsedLexicon parseLexicon(std::string_view text)
{
    namespace lexicon = textrules::lexicon;
    ParsedLexicon out;
    if (text.substr(0, lexicon::kBom.size()) == lexicon::kBom)
        text.remove_prefix(lexicon::kBom.size());
    int lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view body = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!body.empty() && body.back() == '\r')
            body.remove_suffix(1);

        lexicon::Line line = lexicon::parseLine(body);
        if (line.kind == lexicon::Line::Kind::Bad) {
            out.problems.push_back({lineNo, line.reason});
        } else if (line.kind == lexicon::Line::Kind::Entry) {
            LexiconEntry entry;
            entry.word = line.word;
            if (line.kana)
                entry.kana = std::move(line.reading);
            else
                entry.syllables = std::move(line.syllables);
            (line.kana ? out.japanese : out.mandarin)[line.word] = std::move(entry);
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

}  // namespace tavrel::reading

#include "RequestValidation.h"

#include "ServiceContract.h"

#include <system_error>

namespace fs = std::filesystem;

namespace tavrel {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool decodeComponent(const std::string &in, std::size_t b, std::size_t e, std::string &out)
{
    out.clear();
    out.reserve(e - b);
    for (std::size_t i = b; i < e; ++i) {
        char c = in[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= e)
                return false;  // truncated escape
            int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

bool hasControl(const std::string &s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

}  // namespace

std::optional<std::map<std::string, std::string>> parseForm(const std::string &body)
{
    std::map<std::string, std::string> form;
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t amp = body.find('&', pos);
        if (amp == std::string::npos)
            amp = body.size();
        if (amp > pos) {
            std::size_t eq = body.find('=', pos);
            if (eq == std::string::npos || eq > amp)
                eq = amp;
            std::string key, value;
            if (!decodeComponent(body, pos, eq, key))
                return std::nullopt;
            if (eq < amp && !decodeComponent(body, eq + 1, amp, value))
                return std::nullopt;
            form.emplace(std::move(key), std::move(value));  // the first one wins
        }
        pos = amp + 1;
    }
    return form;
}

std::optional<int> parsePercent(const std::string &text, int min, int max)
{
    return contract::parsePercent(text, min, max);
}

std::optional<std::int64_t> parsePause(const std::string &text)
{
    return contract::parsePause(text);
}

std::vector<std::string> splitAudioList(const std::string &list)
{
    return contract::splitAudioList(list);
}

bool isInside(const fs::path &outer, const fs::path &inner)
{
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty() && std::next(o) == outer.end())
            break;  // trailing separator of the outer path
        if (i == inner.end() || *o != *i)
            return false;
    }
    return true;
}

PathGuard::PathGuard(fs::path workDir) : m_workDir(std::move(workDir)) {}

std::optional<fs::path> PathGuard::canonicalRoot(std::string &error) const
{
    std::error_code ec;
    fs::path root = fs::canonical(audioRoot(), ec);
    if (ec || !fs::is_directory(root, ec)) {
        error = "音频文件夹不存在";
        return std::nullopt;
    }
    return root;
}

std::string PathGuard::basicCheck(const std::string &raw)
{
    if (raw.empty())
        return "路径为空";
    if (raw.size() > 4096 || hasControl(raw) || raw.find('?') != std::string::npos)
        return "路径含有非法字符";
    if (!fs::path(raw).is_absolute())
        return "路径必须是绝对路径";
    return {};
}

PathGuard::Result PathGuard::fileForWrite(const std::string &raw, const std::string &extension) const
{
    Result r;
    r.error = basicCheck(raw);
    if (!r.error.empty())
        return r;
    auto root = canonicalRoot(r.error);
    if (!root)
        return r;

    fs::path p(raw);
    fs::path name = p.filename();
    const std::string n = name.string();
    if (n.empty() || n == "." || n == "..") {
        r.error = "路径不是文件";
        return r;
    }
    if (n.size() <= extension.size() ||
        n.compare(n.size() - extension.size(), extension.size(), extension) != 0) {
        r.error = "文件类型必须是 " + extension;
        return r;
    }
    std::error_code ec;
    fs::path parent = fs::canonical(p.parent_path(), ec);
    if (ec || !fs::is_directory(parent, ec)) {
        // Tell apart a folder outside (never acceptable) from one not made yet.
        fs::path probe = fs::weakly_canonical(p.parent_path(), ec);
        r.error = (!ec && !isInside(*root, probe)) ? "路径不在音频文件夹内" : "文件夹不存在";
        return r;
    }
    if (!isInside(*root, parent)) {
        r.error = "路径不在音频文件夹内";
        return r;
    }
    r.path = parent / name;
    if (fs::is_directory(fs::symlink_status(r.path, ec))) {
        r.error = "路径不是文件";
        r.path.clear();
    }
    return r;
}

PathGuard::Result PathGuard::fileForRead(const std::string &raw) const
{
    Result r;
    r.error = basicCheck(raw);
    if (!r.error.empty())
        return r;
    auto root = canonicalRoot(r.error);
    if (!root)
        return r;

    std::error_code ec;
    fs::path p(raw);
    if (fs::exists(p, ec)) {
        fs::path real = fs::canonical(p, ec);
        if (ec || !isInside(*root, real) || real == *root) {
            r.error = "路径不在音频文件夹内";
            return r;
        }
        r.path = real;
        r.missing = !fs::is_regular_file(real, ec);
        return r;
    }
    // Not there: still judge where it points, so that "../.." is refused
    // rather than quietly skipped.
    fs::path probe = fs::weakly_canonical(p, ec);
    if (ec || !isInside(*root, probe) || probe == *root) {
        r.error = "路径不在音频文件夹内";
        return r;
    }
    if (fs::is_symlink(fs::symlink_status(p, ec))) {
        // A dangling link: where it would lead is outside our control.
        r.error = "路径不在音频文件夹内";
        return r;
    }
    r.path = probe;
    r.missing = true;
    return r;
}

PathGuard::Result PathGuard::folder(const std::string &raw) const
{
    Result r;
    r.error = basicCheck(raw);
    if (!r.error.empty())
        return r;
    auto root = canonicalRoot(r.error);
    if (!root)
        return r;
    std::error_code ec;
    fs::path real = fs::canonical(fs::path(raw), ec);
    if (ec) {
        fs::path probe = fs::weakly_canonical(fs::path(raw), ec);
        r.error = (!ec && !isInside(*root, probe)) ? "路径不在音频文件夹内" : "文件夹不存在";
        return r;
    }
    if (!isInside(*root, real)) {
        r.error = "路径不在音频文件夹内";
        return r;
    }
    if (!fs::is_directory(real, ec)) {
        r.error = "路径不是文件夹";
        return r;
    }
    r.path = real;
    return r;
}

}  // namespace tavrel

#include "OnnxMetadata.h"

#include <cstdint>
#include <fstream>

namespace tavrel::neural {

namespace {

// Field numbers of onnx.ModelProto and onnx.StringStringEntryProto.
constexpr std::uint64_t kIrVersion = 1;
constexpr std::uint64_t kGraph = 7;
constexpr std::uint64_t kMetadataProps = 14;
constexpr std::uint64_t kKey = 1;
constexpr std::uint64_t kValue = 2;
constexpr std::uint64_t kMaxEntryBytes = 16u << 20;  // speaker lists run to a few kilobytes

bool readVarint(std::istream &in, std::uint64_t &out, std::uint64_t &consumed)
{
    out = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const int c = in.get();
        if (c == EOF)
            return false;
        ++consumed;
        out |= static_cast<std::uint64_t>(c & 0x7f) << shift;
        if (!(c & 0x80))
            return true;
    }
    return false;
}

bool readVarint(const std::string &s, std::size_t &pos, std::uint64_t &out)
{
    out = 0;
    for (int shift = 0; shift < 64 && pos < s.size(); shift += 7) {
        const unsigned char c = static_cast<unsigned char>(s[pos++]);
        out |= static_cast<std::uint64_t>(c & 0x7f) << shift;
        if (!(c & 0x80))
            return true;
    }
    return false;
}

bool parseEntry(const std::string &bytes, std::string &key, std::string &value)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::uint64_t tag = 0, len = 0;
        if (!readVarint(bytes, pos, tag) || (tag & 7) != 2 || !readVarint(bytes, pos, len) ||
            len > bytes.size() - pos)
            return false;
        const std::string field = bytes.substr(pos, len);
        pos += len;
        if ((tag >> 3) == kKey)
            key = field;
        else if ((tag >> 3) == kValue)
            value = field;
    }
    return true;
}

}  // namespace

OnnxMetadata readOnnxMetadata(const std::filesystem::path &file)
{
    OnnxMetadata out;
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(file, ec);
    if (ec) {
        out.error = "无法读取 " + file.filename().string();
        return out;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        out.error = "无法打开 " + file.filename().string();
        return out;
    }
    const std::string bad = file.filename().string() + " 不是有效的 ONNX 模型";
    bool sawIr = false, sawGraph = false;
    std::uint64_t pos = 0;
    while (pos < size) {
        std::uint64_t tag = 0;
        if (!readVarint(in, tag, pos) || tag == 0) {
            out.error = bad;
            return out;
        }
        const std::uint64_t number = tag >> 3;
        switch (tag & 7) {
        case 0: {
            std::uint64_t v = 0;
            if (!readVarint(in, v, pos)) {
                out.error = bad;
                return out;
            }
            sawIr = sawIr || number == kIrVersion;
            break;
        }
        case 1:
        case 5: {
            const std::uint64_t n = (tag & 7) == 1 ? 8 : 4;
            if (n > size - pos) {
                out.error = bad;
                return out;
            }
            in.seekg(static_cast<std::streamoff>(n), std::ios::cur);
            pos += n;
            break;
        }
        case 2: {
            std::uint64_t len = 0;
            if (!readVarint(in, len, pos) || len > size - pos) {
                out.error = bad;
                return out;
            }
            if (number == kMetadataProps) {
                if (len > kMaxEntryBytes) {
                    out.error = bad;
                    return out;
                }
                std::string bytes(len, '\0');
                in.read(bytes.data(), static_cast<std::streamsize>(len));
                std::string key, value;
                if (!in || !parseEntry(bytes, key, value)) {
                    out.error = bad;
                    return out;
                }
                out.props[key] = value;
            } else {
                sawGraph = sawGraph || number == kGraph;
                in.seekg(static_cast<std::streamoff>(len), std::ios::cur);
            }
            pos += len;
            break;
        }
        default:
            out.error = bad;
            return out;
        }
        if (!in) {
            out.error = bad;
            return out;
        }
    }
    if (!sawIr || !sawGraph) {
        out.error = bad;
        return out;
    }
    out.ok = true;
    return out;
}

}  // namespace tavrel::neural

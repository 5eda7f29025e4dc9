// Reads the metadata of an ONNX file (its metadata_props) without loading
// the model: the top-level protobuf fields are walked and the graph skipped,
// so a model of hundreds of megabytes is read in a few small reads. Also a
// first check that the file is an ONNX model at all.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace tavrel::neural {

struct OnnxMetadata {
    bool ok = false;
    std::string error;                       // why the file is not a model, when !ok
    std::map<std::string, std::string> props;
};

OnnxMetadata readOnnxMetadata(const std::filesystem::path &file);

}  // namespace tavrel::neural

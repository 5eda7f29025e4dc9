#include "SherpaRuntime.h"

#include <dlfcn.h>

namespace tavrel::neural {

namespace {

template <typename Fn>
bool resolve(void *handle, const char *name, Fn &out, std::string &why)
{
    out = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!out)
        why = std::string("运行库缺少函数 ") + name;
    return out != nullptr;
}

}  // namespace

std::shared_ptr<SherpaRuntime> SherpaRuntime::open(const std::filesystem::path &dir, std::string &why)
{
    const std::filesystem::path file = dir / kLibraryName;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        why = "未找到神经语音运行库 " + file.string();
        return nullptr;
    }
    // RTLD_LOCAL: onnxruntime's symbols stay out of the service's namespace.
    void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *err = dlerror();
        why = "无法加载神经语音运行库：" + std::string(err ? err : file.string());
        return nullptr;
    }
    std::shared_ptr<SherpaRuntime> rt(new SherpaRuntime);
    rt->m_handle = handle;
    if (!resolve(handle, "SherpaOnnxCreateOfflineTts", rt->createOfflineTts, why) ||
        !resolve(handle, "SherpaOnnxDestroyOfflineTts", rt->destroyOfflineTts, why) ||
        !resolve(handle, "SherpaOnnxOfflineTtsSampleRate", rt->sampleRate, why) ||
        !resolve(handle, "SherpaOnnxOfflineTtsNumSpeakers", rt->numSpeakers, why) ||
        !resolve(handle, "SherpaOnnxOfflineTtsGenerate", rt->generate, why) ||
        !resolve(handle, "SherpaOnnxOfflineTtsGenerateWithProgressCallbackWithArg", rt->generateWithProgress, why) ||
        !resolve(handle, "SherpaOnnxDestroyOfflineTtsGeneratedAudio", rt->destroyGeneratedAudio, why) ||
        !resolve(handle, "SherpaOnnxGetVersionStr", rt->getVersion, why))
        return nullptr;
    // Our struct declarations follow one version; another would read them
    // with a different layout.
    if (rt->version() != kRuntimeVersion) {
        why = "神经语音运行库版本为 " + rt->version() + "，需要 " + kRuntimeVersion;
        return nullptr;
    }
    return rt;
}

SherpaRuntime::~SherpaRuntime()
{
    // Never unloaded: onnxruntime keeps threads and static state that do not
    // survive dlclose.
}

}  // namespace tavrel::neural

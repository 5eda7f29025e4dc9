// The HTTP face of the service: its endpoints, one reply envelope, the
// cross-site guard, and a bounded pool that queues every connection.
#pragma once

#include "Outcome.h"
#include "RequestValidation.h"
#include "ServiceContract.h"
#include "SpeechEngine.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace tavrel {

struct ServiceConfig {
    std::string host = "127.0.0.1";       // loopback only
    int port = contract::process::defaultPort;                       // 0: any free port (tests)
    std::filesystem::path workDir;         // audio folder is workDir/audio
    unsigned threads = 0;                  // 0: one per core
    std::size_t maxBodyBytes = 8u << 20;   // a request body larger than this is refused
    std::size_t renderCacheBytes = 64u << 20;  // rendered segments kept in memory; 0: none
    std::filesystem::path dataDir = TAVREL_DATA_DIR;  // the reading front end's converted word list
    // The latest time a timeline may name: each millisecond of it is written
    // out as silence, so a fuzzer keeps it small.
    std::int64_t maxTimelineMs = contract::timelineMaxMs;
    // The folders of models/ that give no voices, and why (folder, reason).
    std::vector<std::pair<std::string, std::string>> skippedModelFolders;
};

class RenderCache;
struct RenderRequest;
namespace reading {
class FrontEnd;
class UserLexicon;
}

class SpeechService {
public:
    SpeechService(ServiceConfig config, std::shared_ptr<SpeechEngine> engine);
    ~SpeechService();

    SpeechService(const SpeechService &) = delete;
    SpeechService &operator=(const SpeechService &) = delete;

    // Binds the socket; false (with a message) if that fails, e.g. the port
    // is taken. Afterwards port() is the actual port.
    bool bind(std::string &error);
    int port() const { return m_port; }
    // After a failed bind: another process holds the port.
    bool portTaken() const { return m_portTaken; }

    // Serves until stop(); returns false if serving could not start.
    bool listen();
    void stop();
    bool isRunning() const;
    unsigned threadCount() const { return m_threads; }
    RenderCache *renderCache() const { return m_cache.get(); }  // null when disabled
    const reading::FrontEnd &frontEnd() const { return *m_frontEnd; }

    // The voices whose text can be read: the engine has them and the front
    // end has what their language needs.
    std::vector<VoiceInfo> usableVoices() const;

private:
    class Http;
    void installRoutes();
    // Renders a checked request: the reading front end, then the engine.
    Outcome render(const RenderRequest &request);

    ServiceConfig m_config;
    std::shared_ptr<SpeechEngine> m_engine;
    PathGuard m_guard;
    std::shared_ptr<reading::FrontEnd> m_frontEnd;
    std::unique_ptr<reading::UserLexicon> m_lexicon;  // <working folder>/lexicon.txt
    std::map<std::string, std::string> m_voiceLocales;  // the usable voices' locales
    std::unique_ptr<RenderCache> m_cache;  // before m_http: outlives the request threads
    std::unique_ptr<Http> m_http;
    unsigned m_threads = 1;
    int m_port = 0;
    bool m_portTaken = false;
};

}  // namespace tavrel

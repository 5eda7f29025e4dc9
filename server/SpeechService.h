// The HTTP face of the service: three endpoints, one reply envelope, the
// cross-site guard, and a bounded pool that queues every connection.
#pragma once

#include "RequestValidation.h"
#include "SpeechEngine.h"

#include <filesystem>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace tavrel {

struct ServiceConfig {
    std::string host = "127.0.0.1";       // loopback only
    int port = 5000;                       // 0: any free port (tests)
    std::filesystem::path workDir;         // audio folder is workDir/audio
    unsigned threads = 0;                  // 0: one per core
    std::size_t maxBodyBytes = 8u << 20;   // a request body larger than this is refused
    std::size_t renderCacheBytes = 64u << 20;  // rendered segments kept in memory; 0: none
};

class RenderCache;

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

    // Serves until stop(); returns false if serving could not start.
    bool listen();
    void stop();
    bool isRunning() const;
    unsigned threadCount() const { return m_threads; }
    RenderCache *renderCache() const { return m_cache.get(); }  // null when disabled

private:
    class Http;
    void installRoutes();

    ServiceConfig m_config;
    std::shared_ptr<SpeechEngine> m_engine;
    PathGuard m_guard;
    std::unique_ptr<RenderCache> m_cache;  // before m_http: outlives the request threads
    std::unique_ptr<Http> m_http;
    unsigned m_threads = 1;
    int m_port = 0;
};

}  // namespace tavrel

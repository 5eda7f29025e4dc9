// The executable as the program starts it: no arguments → 127.0.0.1:5000;
// a taken port is reported on standard error with a non-zero exit.
#include "ServerTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavrel::test;

namespace {

struct Child {
    pid_t pid = -1;
    int stderrFd = -1;
    int stdoutFd = -1;
};

Child spawn(const std::vector<std::string> &args, const fs::path &cwd)
{
    int pipeFds[2], outFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::pipe2(outFds, O_CLOEXEC) != 0)
        return {};
    Child c;
    c.pid = ::fork();
    if (c.pid == 0) {
        ::dup2(pipeFds[1], 2);
        ::dup2(outFds[1], 1);
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        std::vector<char *> argv;
        std::string bin = TAVREL_SERVER_BIN;
        argv.push_back(bin.data());
        std::vector<std::string> copy = args;
        for (auto &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(bin.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(outFds[1]);
    c.stderrFd = pipeFds[0];
    c.stdoutFd = outFds[0];
    return c;
}

// Exit status within `seconds`, or -1 (and the child killed) if it keeps running.
int waitExit(Child &c, int seconds)
{
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (::waitpid(c.pid, &status, WNOHANG) == c.pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(c.pid, SIGKILL);
    ::waitpid(c.pid, nullptr, 0);
    return -1;
}

std::string drain(int fd)
{
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return out;
}

// Kills a child the test leaves running (a failed assertion returns early).
struct Reaper {
    pid_t pid;
    ~Reaper()
    {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

// The first line the child prints, or "" if it ends or stays silent.
std::string firstLine(int fd, int seconds)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char ch;
        if (::read(fd, &ch, 1) != 1 || ch == '\n')
            break;
        line += ch;
    }
    return line;
}

}  // namespace

TEST(Executable, TakenPortIsReportedAndExitsNonZero)
{
    TempWorkDir work;
    int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(sock, 1), 0);
    socklen_t len = sizeof addr;
    ::getsockname(sock, reinterpret_cast<sockaddr *>(&addr), &len);
    const int port = ntohs(addr.sin_port);

    Child c = spawn({"--port", std::to_string(port)}, work.path());
    const int code = waitExit(c, 20);
    const std::string err = drain(c.stderrFd);
    ::close(sock);
    EXPECT_GT(code, 0);
    EXPECT_NE(err.find("in use"), std::string::npos) << err;
    EXPECT_NE(err.find(std::to_string(port)), std::string::npos) << err;
}

TEST(Executable, UnknownArgumentsAreRefused)
{
    TempWorkDir work;
    for (std::vector<std::string> args : {std::vector<std::string>{"--port"}, {"--port", "70000"}, {"--bogus"}}) {
        Child c = spawn(args, work.path());
        EXPECT_EQ(waitExit(c, 20), 2);
        EXPECT_NE(drain(c.stderrFd).find("usage"), std::string::npos);
    }
}

// Holds the CTest lock "port5000".
TEST(Executable, WithoutArgumentsServesOnPort5000AndStopsOnTerminate)
{
    TempWorkDir work;
    Child c = spawn({}, work.path());
    Reaper reaper{c.pid};
    // Only once it says so is port 5000 ours (and not another program's).
    const std::string line = firstLine(c.stdoutFd, 30);
    ASSERT_EQ(line, "listening on 127.0.0.1:5000") << drain(c.stderrFd);
    Reply r = getJson(5000, "getVoices");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.code(), 1);

    // It writes below its working folder's audio/.
    Reply t = postForm(5000, "ttsCommunicate", renderFields("你好。", "zh-CN-XiaoxiaoNeural", work.job(), "1"));
    EXPECT_EQ(t.code(), 1) << t.msg();
    EXPECT_TRUE(fs::exists(work.job() / "1.mp3"));

    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(waitExit(c, 20), 0);
    drain(c.stderrFd);
}

// Sockets against a real loopback listener, and detached starts of real programs.
//
// No SIGPIPE handler is installed anywhere in this program: a send that
// raised SIGPIPE would kill the test.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

#include "platform/net.h"
#include "platform/process.h"

namespace {

// A listening socket on 127.0.0.1 and an ephemeral port.
struct Listener {
    int handle = -1;
    uint16_t port = 0;

    Listener() {
        handle = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(handle, 4) != 0) {
            ADD_FAILURE() << "cannot listen on loopback: " << errno;
            return;
        }
        socklen_t length = sizeof address;
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(handle); }

    int acceptOne() const { return ::accept(handle, nullptr, nullptr); }
};

// A port on which nobody listens: bound once, then released.
uint16_t freePort() {
    Listener probe;
    return probe.port;
}

// Polls until it reports readiness or about five seconds pass.
int pollUntilReady(SocketHandle socket) {
    for (int i = 0; i < 500; ++i) {
        int result = socketPoll(socket);
        if (result != 0) {
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

}  // namespace

// --- Sockets --------------------------------------------------------------------

TEST(Socket, ConnectsExchangesBytesAndSeesTheEnd) {
    Listener listener;
    SocketHandle client = socketOpen();
    ASSERT_NE(client, INVALID_SOCKET_HANDLE);
    ASSERT_TRUE(socketConnect(client, "127.0.0.1", listener.port));
    int server = listener.acceptOne();
    ASSERT_GE(server, 0);

    EXPECT_EQ(socketPoll(client), 0) << "nothing was sent yet";

    const uint8_t hello[] = {0x05, 0x00, 'N', 0xE4, 'c'};
    EXPECT_EQ(socketSend(client, hello, 5), 5);
    uint8_t received[16] = {};
    ASSERT_EQ(::recv(server, received, 5, MSG_WAITALL), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(received), 5),
              std::string(reinterpret_cast<const char*>(hello), 5));

    ASSERT_EQ(::send(server, "abc", 3, 0), 3);
    EXPECT_EQ(pollUntilReady(client), 1);
    uint8_t buffer[16] = {};
    EXPECT_EQ(socketReceive(client, buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
    EXPECT_EQ(socketPoll(client), 0) << "everything was read";

    ::close(server);
    EXPECT_EQ(pollUntilReady(client), 1) << "the end is reported as readable";
    EXPECT_EQ(socketReceive(client, buffer, sizeof buffer), 0);
    socketClose(client);
}

TEST(Socket, SendingToAClosedPeerFailsWithoutSigpipe) {
    Listener listener;
    SocketHandle client = socketOpen();
    ASSERT_TRUE(socketConnect(client, "127.0.0.1", listener.port));
    int server = listener.acceptOne();
    ASSERT_GE(server, 0);
    ::close(server);
    ASSERT_EQ(pollUntilReady(client), 1);

    // The first send may still be accepted; the reset makes the later ones
    // fail with EPIPE, which would raise SIGPIPE without MSG_NOSIGNAL.
    const uint8_t bytes[64] = {};
    int failures = 0;
    for (int i = 0; i < 50 && failures == 0; ++i) {
        if (socketSend(client, bytes, sizeof bytes) < 0) {
            ++failures;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(socketSend(client, bytes, sizeof bytes), -1);
    socketClose(client);
}

TEST(Socket, OnlyDottedAddressesOfAListenerConnect) {
    Listener listener;
    struct Case {
        const char* address;
        bool connects;
    };
    const Case cases[] = {
        {"127.0.0.1", true},
        {"127.1", true},  // inet_addr's short form of 127.0.0.1
        {"localhost", false},
        {"", false},
        {"127.0.0.1x", false},
        {"127.0.0.256", false},
        {"255.255.255.255", false},  // INADDR_NONE, as with inet_addr on Windows
        {"::1", false},
    };
    for (const Case& c : cases) {
        SocketHandle client = socketOpen();
        ASSERT_NE(client, INVALID_SOCKET_HANDLE);
        EXPECT_EQ(socketConnect(client, c.address, listener.port), c.connects) << c.address;
        if (c.connects) {
            int server = listener.acceptOne();
            EXPECT_GE(server, 0);
            ::close(server);
        }
        socketClose(client);
    }
    SocketHandle client = socketOpen();
    EXPECT_FALSE(socketConnect(client, nullptr, listener.port));
    socketClose(client);
}

TEST(Socket, NobodyListeningAndInvalidHandlesFail) {
    uint16_t port = freePort();
    SocketHandle client = socketOpen();
    EXPECT_FALSE(socketConnect(client, "127.0.0.1", port));
    socketClose(client);

    uint8_t buffer[4] = {};
    EXPECT_FALSE(socketConnect(INVALID_SOCKET_HANDLE, "127.0.0.1", port));
    EXPECT_EQ(socketPoll(INVALID_SOCKET_HANDLE), -1);
    EXPECT_LT(socketReceive(INVALID_SOCKET_HANDLE, buffer, 4), 0);
    EXPECT_EQ(socketSend(INVALID_SOCKET_HANDLE, buffer, 4), -1);
    socketClose(INVALID_SOCKET_HANDLE);
}

// --- Detached process start -----------------------------------------------------

namespace {

// A temporary directory put in front of PATH for the test's lifetime.
class DetachedStart : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/plumo-process-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        const char* path = std::getenv("PATH");
        oldPath = path != nullptr ? path : "";
        ::setenv("PATH", (directory + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath.c_str(), 1);
        for (const std::string& file : created) {
            ::unlink(file.c_str());
        }
        ::unlink((directory + "/out").c_str());
        ::rmdir(directory.c_str());
    }

    // A shell script that records, in <directory>/out, its argument count,
    // its first argument, where its standard output goes, whether it leads
    // or shares our session, and which copy of the script ran.
    void writeHelper(const std::string& path, const std::string& label) {
        std::ofstream script(path);
        script << "#!/bin/sh\n"
               << "out=" << directory << "/out\n"
               << "session=$(cut -d' ' -f6 /proc/$$/stat)\n"
               << "printf '%s\\n%s\\n%s\\n%s\\n%s\\n' \"$#\" \"$1\" \"$(readlink /proc/$$/fd/1)\" "
               << "\"$session\" '" << label << "' > \"$out.tmp\"\n"
               << "mv \"$out.tmp\" \"$out\"\n";
        script.close();
        ::chmod(path.c_str(), 0755);
        created.push_back(path);
    }

    // The lines of <directory>/out once it appears, within about ten seconds.
    std::vector<std::string> waitForOutput() {
        std::string file = directory + "/out";
        for (int i = 0; i < 1000; ++i) {
            std::ifstream in(file);
            if (in) {
                std::vector<std::string> lines;
                std::string line;
                while (std::getline(in, line)) {
                    lines.push_back(line);
                }
                return lines;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    std::string directory;
    std::string oldPath;
    std::vector<std::string> created;
};

}  // namespace

TEST_F(DetachedStart, RunsAProgramFromPathWithOneParameterDetached) {
    std::string name = "plumo-helper-" + std::to_string(::getpid());
    writeHelper(directory + "/" + name, "path");
    ASSERT_TRUE(startDetached(name.c_str(), "-once mit  Leerzeichen \"x\""));
    std::vector<std::string> lines = waitForOutput();
    ASSERT_EQ(lines.size(), 5u) << "the helper did not run";
    EXPECT_EQ(lines[0], "1") << "the parameter must stay one argument";
    EXPECT_EQ(lines[1], "-once mit  Leerzeichen \"x\"");
    EXPECT_EQ(lines[2], "/dev/null");
    EXPECT_NE(lines[3], std::to_string(::getsid(0))) << "runs in a session of its own";
    EXPECT_EQ(lines[4], "path");
    // The intermediate child was reaped and the program is not our child.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(DetachedStart, PrefersTheProgramBesideTheExecutable) {
    std::string name = "plumo-beside-" + std::to_string(::getpid());
    std::string beside = std::string(executableDirectory()) + name;
    writeHelper(directory + "/" + name, "path");
    writeHelper(beside, "beside");
    ASSERT_TRUE(startDetached(name.c_str(), "127.0.0.1"));
    std::vector<std::string> lines = waitForOutput();
    ASSERT_EQ(lines.size(), 5u) << "the helper did not run";
    EXPECT_EQ(lines[1], "127.0.0.1");
    EXPECT_EQ(lines[4], "beside");
}

TEST_F(DetachedStart, WindowsProgramNameFindsTheProgramWithoutSuffix) {
    std::string name = "plumo-suffix-" + std::to_string(::getpid());
    writeHelper(directory + "/" + name, "path");
    ASSERT_TRUE(startDetached((name + ".exe").c_str(), "-once"));
    std::vector<std::string> lines = waitForOutput();
    ASSERT_EQ(lines.size(), 5u) << "the helper did not run";
    EXPECT_EQ(lines[1], "-once");
}

TEST_F(DetachedStart, MissingOrUnusableProgramsReturnFalse) {
    EXPECT_FALSE(startDetached("plumo-no-such-program-anywhere", "x"));
    EXPECT_FALSE(startDetached("", "x"));
    EXPECT_FALSE(startDetached(nullptr, "x"));
    // Present but not executable.
    std::string name = "plumo-not-executable-" + std::to_string(::getpid());
    std::string path = directory + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n";
    created.push_back(path);
    EXPECT_FALSE(startDetached(name.c_str(), "x"));
    // Executable but not loadable: the exec failure is reported.
    std::string broken = "plumo-broken-" + std::to_string(::getpid());
    std::string brokenPath = directory + "/" + broken;
    std::ofstream(brokenPath) << "#!/nonexistent/interpreter\n";
    ::chmod(brokenPath.c_str(), 0755);
    created.push_back(brokenPath);
    EXPECT_FALSE(startDetached(broken.c_str(), "x"));
}

TEST(ExecutableDirectory, IsTheTestProgramsDirectoryWithASlash) {
    std::string directory = executableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    EXPECT_EQ(directory.front(), '/');
    struct stat info {};
    EXPECT_EQ(::stat((directory + "platform_tests").c_str(), &info), 0);
}

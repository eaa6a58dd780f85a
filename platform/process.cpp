// Starting outside programs detached: own session, no standard streams, not waited for.
#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Beside the running executable first, then each PATH entry in order (an
// empty entry is the working directory). A name with a '/' is used as given.
std::string findProgram(const std::string& program) {
    if (program.empty()) {
        return std::string();
    }
    if (program.find('/') != std::string::npos) {
        return isExecutableFile(program) ? program : std::string();
    }
    std::string beside = std::string(executableDirectory()) + program;
    if (isExecutableFile(beside)) {
        return beside;
    }
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return std::string();
    }
    std::string entries = path;
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(':', start);
        if (end == std::string::npos) {
            end = entries.size();
        }
        std::string directory = entries.substr(start, end - start);
        std::string candidate = directory.empty() ? "./" + program : directory + "/" + program;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

// Runs in the grandchild after fork: only async-signal-safe calls. Every
// inherited descriptor above the standard ones is closed at exec, so the
// started program holds neither the client's socket nor its display
// connection; on failure the errno goes up the report pipe.
[[noreturn]] void execDetached(const char* path, const char* parameter, int reportPipe) {
    int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        if (devNull > STDERR_FILENO) {
            ::close(devNull);
        }
    }
    ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    sigset_t empty;
    sigemptyset(&empty);
    ::sigprocmask(SIG_SETMASK, &empty, nullptr);
    char* const arguments[] = {const_cast<char*>(path), const_cast<char*>(parameter), nullptr};
    ::execv(path, arguments);
    int error = errno;
    ssize_t ignored = ::write(reportPipe, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

}  // namespace

const char* executableDirectory() {
    static std::string directory;
    if (directory.empty()) {
        char buffer[4096];
        ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        std::string path = length > 0 ? std::string(buffer, size_t(length)) : std::string();
        size_t slash = path.rfind('/');
        directory = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    }
    return directory.c_str();
}

// fork, setsid, fork again: the intermediate child exits at once and is
// reaped here, so the started program is adopted by init, never becomes our
// zombie and is never waited for. A close-on-exec pipe tells whether the
// exec itself succeeded: it closes empty on success and carries the errno
// otherwise. A name ending in ".exe" that is not found is tried without it.
bool startDetached(const char* program, const char* parameter) {
    if (program == nullptr) {
        return false;
    }
    std::string name = program;
    std::string path = findProgram(name);
    const std::string windowsSuffix = ".exe";
    if (path.empty() && name.size() > windowsSuffix.size() &&
        name.compare(name.size() - windowsSuffix.size(), windowsSuffix.size(), windowsSuffix) == 0) {
        path = findProgram(name.substr(0, name.size() - windowsSuffix.size()));
    }
    if (path.empty()) {
        return false;
    }
    std::string argument = parameter != nullptr ? parameter : "";

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            execDetached(path.c_str(), argument.c_str(), report[1]);
        }
        if (grandchild < 0) {
            int error = errno;
            ssize_t ignored = ::write(report[1], &error, sizeof error);
            (void)ignored;
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == 0;
}

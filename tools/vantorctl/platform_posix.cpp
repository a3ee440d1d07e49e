// POSIX: dlopen and dlsym. The library is looked for beside the tool (the
// build tree keeps both in one folder), then in the install layout's
// library folder relative to the tool's (VANTORCTL_LIBDIR_FROM_BINDIR),
// then wherever the dynamic linker finds it (LD_LIBRARY_PATH, the system's
// library folders): a tool copied elsewhere still finds the installed one.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "files.h"
#include "platform.h"
#include "registry/hive/replace.h"

#ifndef VANTORCTL_LIBDIR_FROM_BINDIR
#define VANTORCTL_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace vantorctl::platform {
namespace {

constexpr const char* kLibraryName = "libvantor.so.1";

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string tool_directory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace

Module open_module(const std::string& path, std::string* error) {
    Module module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = dlerror();
        *error = why != nullptr ? why : path + ": cannot be loaded";
    }
    return module;
}

Function find_function(Module module, const char* name) {
    return reinterpret_cast<Function>(dlsym(module, name));
}

std::vector<std::string> default_library_paths() {
    const std::string directory = tool_directory();
    return {directory + "/" + kLibraryName,
            directory + "/" VANTORCTL_LIBDIR_FROM_BINDIR "/" + kLibraryName, kLibraryName};
}

std::string module_file(Module, Function function) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(function), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    char* resolved = realpath(info.dli_fname, nullptr);
    if (resolved == nullptr) return info.dli_fname;
    std::string file(resolved);
    std::free(resolved);
    return file;
}

std::string file_version(const std::string& file) {
    // A shared library's file name carries its full version: libvantor.so.1.0.0.3.
    const std::size_t so = file.rfind(".so.");
    if (so == std::string::npos || file.find('/', so) != std::string::npos) return {};
    return file.substr(so + 4);
}

void set_up_stdio() {}

// UTF-8 whatever the locale: an argument that is not valid UTF-8 is refused
// (charset.h), never stored as its bytes, which the game would show as
// other characters.
bool terminal_is_utf8() { return true; }

bool make_edit_file(std::string_view bytes, std::string* path, std::string* error) {
    const char* folder = std::getenv("TMPDIR");
    *path =
        std::string(folder != nullptr && *folder == '/' ? folder : "/tmp") + "/vantor-XXXXXX.reg";
    const int fd = ::mkostemps(path->data(), 4, O_CLOEXEC);  // mode 0600
    if (fd < 0) {
        *error = "cannot create " + *path + ": " + system_reason(errno);
        return false;
    }
    const bool written = write_all(fd, bytes);
    const int reason = errno;
    if (::close(fd) != 0 || !written) {
        *error = "cannot write " + *path + ": " + system_reason(written ? errno : reason);
        ::unlink(path->c_str());
        return false;
    }
    return true;
}

std::string editor() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    // Debian's choice of editor, where the system has one.
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t begin = 0; begin <= folders.size();) {
        std::size_t end = folders.find(':', begin);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = end > begin ? folders.substr(begin, end - begin) : ".";
        if (::access((folder + "/editor").c_str(), X_OK) == 0) return "editor";
        begin = end + 1;
    }
    return "vi";
}

int run_editor(const std::string& editor, const std::string& file, std::string* error) {
    // As system() does: the editor takes the terminal's interrupts.
    struct sigaction ignore {};
    struct sigaction old_int {};
    struct sigaction old_quit {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGINT, &ignore, &old_int);
    ::sigaction(SIGQUIT, &ignore, &old_quit);
    const pid_t child = ::fork();
    if (child == 0) {
        ::sigaction(SIGINT, &old_int, nullptr);
        ::sigaction(SIGQUIT, &old_quit, nullptr);
        // The command line is the shell's to split; the file is passed as $1.
        const std::string command = editor + " \"$1\"";
        ::execl("/bin/sh", "sh", "-c", command.c_str(), "sh", file.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    pid_t waited = -1;
    if (child > 0) {
        do {
            waited = ::waitpid(child, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    const int reason = errno;
    ::sigaction(SIGINT, &old_int, nullptr);
    ::sigaction(SIGQUIT, &old_quit, nullptr);
    if (child < 0 || waited < 0) {
        *error = "cannot run the editor " + editor + ": " + system_reason(reason);
        return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool input_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }

bool replace_file(const std::string& path, std::string_view bytes, std::string* error) {
    const auto fail = [&](const std::string& file) {
        *error = "cannot write " + file + ": " + system_reason(errno);
        return false;
    };
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return fail(path);
    }
    if (exists && !S_ISREG(info.st_mode)) {
        // /dev/stdout, a pipe: there is no file to replace.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return fail(path);
        const bool written = write_all(fd, bytes);
        const int reason = errno;
        if (::close(fd) != 0 || !written) {
            if (!written) errno = reason;
            return fail(path);
        }
        return true;
    }
    // A link is followed: the file it names is replaced, the link stays.
    std::string target = path;
    if (char* resolved = exists ? ::realpath(path.c_str(), nullptr) : nullptr) {
        target = resolved;
        std::free(resolved);
    }
    // The store's own durable replace, in the file's folder: a new file gets
    // the usual mode (0666 less the umask), a replaced one keeps its own.
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return fail(path);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const bool done =
        vantor::store::replace_durably(dir, name, bytes, exists ? &info : nullptr, 0666 & ~mask);
    const int reason = errno;
    ::close(dir);
    errno = reason;
    return done || fail(path);
}

}  // namespace vantorctl::platform

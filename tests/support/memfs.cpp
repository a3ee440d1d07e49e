#include "support/memfs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <unordered_map>

#include "registry/hive/io.h"

namespace vantor::memfs {
namespace {

constexpr std::int64_t kStart = 1'700'000'000LL * 1'000'000'000LL;
constexpr std::int64_t kCallTime = 1000;  // each call takes a microsecond
constexpr int kOtherProcess = -1;         // the holder of a lock taken by hold_lock()

struct Node;
using NodePtr = std::shared_ptr<Node>;

struct Node {
    bool folder = false;
    mode_t mode = 0644;
    uid_t uid = 0;
    gid_t gid = 0;
    ino_t ino = 0;
    std::string data;    // a file's bytes
    std::string synced;  // ... as last flushed
    std::map<std::string, NodePtr> entries;  // a folder's names
    std::map<std::string, NodePtr> synced_entries;
    std::int64_t mtime = 0;
    std::int64_t ctime = 0;
    int lock_holder = 0;  // the open file holding flock(), 0 for none
};

struct Open {
    NodePtr node;
    int flags = 0;
    std::size_t offset = 0;
};

struct State {
    NodePtr root;
    std::map<int, Open> fds;
    int next_fd = 100;
    ino_t next_ino = 2;
    std::uint64_t calls = 0;
    std::map<std::uint64_t, int> failing_calls;
    std::map<std::string, int> failing_ops;
    std::vector<std::string> log;
    bool short_writes = false;
    bool read_only = false;
    std::size_t capacity = SIZE_MAX;
    std::uint64_t cut_after = 0;  // 0: never
    bool powered = true;
    std::int64_t clock = kStart;
    std::int64_t tick = 1'000'000'000;
    struct Hook {
        std::string op;
        std::uint64_t left;
        std::function<void()> action;
    };
    std::vector<Hook> hooks;
};

State& state() {
    static State s;
    return s;
}

std::int64_t stamp() {
    const State& s = state();
    return s.clock / s.tick * s.tick;
}

NodePtr new_node(bool folder, mode_t mode) {
    auto node = std::make_shared<Node>();
    node->folder = folder;
    node->mode = mode & 07777;
    node->ino = state().next_ino++;
    node->uid = ::geteuid();  // made by this process, as on a real disk
    node->gid = ::getegid();
    node->mtime = node->ctime = stamp();
    return node;
}

void touch(Node& node) { node.mtime = node.ctime = stamp(); }

// Counts a call and decides whether it fails before doing anything.
bool enter(const char* op) {
    State& s = state();
    ++s.calls;
    s.clock += kCallTime;
    s.log.emplace_back(op);
    for (auto hook = s.hooks.begin(); hook != s.hooks.end(); ++hook) {
        if (hook->op == op && --hook->left == 0) {
            const std::function<void()> action = std::move(hook->action);
            s.hooks.erase(hook);
            action();
            break;
        }
    }
    if (s.cut_after != 0 && s.calls > s.cut_after) s.powered = false;
    if (!s.powered) {
        errno = EIO;
        return false;
    }
    const auto call = s.failing_calls.find(s.calls);
    if (call != s.failing_calls.end()) {
        errno = call->second;
        s.failing_calls.erase(call);
        return false;
    }
    const auto all = s.failing_ops.find(op);
    if (all != s.failing_ops.end()) {
        errno = all->second;
        return false;
    }
    return true;
}

int fail(int error) {
    errno = error;
    return -1;
}

bool changes_refused() {
    if (!state().read_only) return false;
    errno = EROFS;
    return true;
}

// The folder a path starts from.
NodePtr start(int dir, const std::string& path) {
    State& s = state();
    if (!path.empty() && path[0] == '/') return s.root;
    if (dir == AT_FDCWD) return s.root;
    const auto open = s.fds.find(dir);
    return open == s.fds.end() ? nullptr : open->second.node;
}

// Splits `path` into the folder holding its last part and that part
// ("" when the path names a folder itself, like "/" or "a/").
bool resolve(int dir, const std::string& path, NodePtr* parent, std::string* name) {
    NodePtr at = start(dir, path);
    if (at == nullptr) return fail(EBADF), false;
    std::vector<NodePtr> up;
    std::vector<std::string> parts;
    for (std::size_t begin = 0; begin <= path.size();) {
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        parts.push_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    *name = parts.back();
    parts.pop_back();
    for (const std::string& part : parts) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!up.empty()) {
                at = up.back();
                up.pop_back();
            }
            continue;
        }
        const auto next = at->entries.find(part);
        if (next == at->entries.end()) return fail(ENOENT), false;
        if (!next->second->folder) return fail(ENOTDIR), false;
        up.push_back(at);
        at = next->second;
    }
    if (*name == ".") name->clear();
    *parent = at;
    return true;
}

// The node at `path`, or nullptr with errno set.
NodePtr find(int dir, const std::string& path) {
    NodePtr parent;
    std::string name;
    if (!resolve(dir, path, &parent, &name)) return nullptr;
    if (name.empty()) return parent;
    const auto found = parent->entries.find(name);
    if (found == parent->entries.end()) return fail(ENOENT), nullptr;
    return found->second;
}

Open* open_file(int fd) {
    const auto found = state().fds.find(fd);
    if (found == state().fds.end()) return fail(EBADF), nullptr;
    return &found->second;
}

void fill(const Node& node, struct stat* info) {
    *info = {};
    info->st_dev = 1;
    info->st_ino = node.ino;
    info->st_mode = (node.folder ? S_IFDIR : S_IFREG) | node.mode;
    info->st_nlink = 1;
    info->st_uid = node.uid;
    info->st_gid = node.gid;
    info->st_size = static_cast<off_t>(node.data.size());
    info->st_mtim = {static_cast<time_t>(node.mtime / 1'000'000'000), node.mtime % 1'000'000'000};
    info->st_ctim = {static_cast<time_t>(node.ctime / 1'000'000'000), node.ctime % 1'000'000'000};
}

std::size_t used(const Node& node, std::set<const Node*>* seen) {
    if (!seen->insert(&node).second) return 0;
    std::size_t total = node.data.size();
    for (const auto& entry : node.entries) total += used(*entry.second, seen);
    return total;
}

std::size_t used() {
    std::set<const Node*> seen;
    std::size_t total = used(*state().root, &seen);
    for (const auto& open : state().fds) total += used(*open.second.node, &seen);
    return total;
}

// What survives of `node` after a power cut (see memfs.h).
NodePtr recover(const NodePtr& node, std::mt19937& random,
                std::map<const Node*, NodePtr>* done) {
    const auto found = done->find(node.get());
    if (found != done->end()) return found->second;
    auto kept = std::make_shared<Node>(*node);
    (*done)[node.get()] = kept;
    kept->lock_holder = 0;
    if (node->folder) {
        std::set<std::string> names;
        for (const auto& entry : node->entries) names.insert(entry.first);
        for (const auto& entry : node->synced_entries) names.insert(entry.first);
        kept->entries.clear();
        for (const std::string& name : names) {
            const auto now = node->entries.find(name);
            const auto then = node->synced_entries.find(name);
            const NodePtr current = now == node->entries.end() ? nullptr : now->second;
            const NodePtr flushed = then == node->synced_entries.end() ? nullptr : then->second;
            const NodePtr chosen = current == flushed || random() % 2 == 0 ? flushed : current;
            if (chosen != nullptr) kept->entries[name] = recover(chosen, random, done);
        }
        kept->synced_entries = kept->entries;
    } else if (node->data != node->synced) {
        switch (random() % 3) {
            case 0:
                kept->data = node->synced;
                break;
            case 1:
                break;
            default: {
                std::string torn = node->data.substr(0, random() % (node->data.size() + 1));
                if (!torn.empty() && random() % 2 == 0) {
                    const std::size_t from = random() % torn.size();
                    std::fill(torn.begin() + static_cast<std::ptrdiff_t>(from), torn.end(), '\0');
                }
                kept->data = torn;
            }
        }
        kept->synced = kept->data;
    }
    return kept;
}

}  // namespace

void reset() {
    state() = State{};
    state().root = new_node(true, 0755);
}

void put_file(const std::string& path, const std::string& data, mode_t mode) {
    NodePtr at = state().root;
    for (std::size_t begin = 1, end; (end = path.find('/', begin)) != std::string::npos;
         begin = end + 1) {
        const std::string part = path.substr(begin, end - begin);
        NodePtr& next = at->entries[part];
        if (next == nullptr) next = new_node(true, 0755);
        at->synced_entries = at->entries;
        at = next;
    }
    NodePtr& node = at->entries[path.substr(path.rfind('/') + 1)];
    node = new_node(false, mode);
    node->data = node->synced = data;
    at->synced_entries = at->entries;
}

std::optional<std::string> file(const std::string& path) {
    const int error = errno;
    const NodePtr node = find(AT_FDCWD, path);
    errno = error;
    if (node == nullptr || node->folder) return std::nullopt;
    return node->data;
}

std::optional<struct stat> status(const std::string& path) {
    const NodePtr node = find(AT_FDCWD, path);
    if (node == nullptr) return std::nullopt;
    struct stat info {};
    fill(*node, &info);
    return info;
}

std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> found;
    const NodePtr node = find(AT_FDCWD, folder);
    if (node != nullptr) {
        for (const auto& entry : node->entries) found.push_back(entry.first);
    }
    return found;
}

void overwrite(const std::string& path, const std::string& data) {
    const NodePtr node = find(AT_FDCWD, path);
    if (node == nullptr) return;
    node->data = node->synced = data;
    touch(*node);
}

void remove(const std::string& path) {
    NodePtr parent;
    std::string name;
    if (!resolve(AT_FDCWD, path, &parent, &name)) return;
    const auto found = parent->entries.find(name);
    if (found == parent->entries.end() || !found->second->entries.empty()) return;
    parent->entries.erase(found);
    parent->synced_entries = parent->entries;
}

std::uint64_t calls() { return state().calls; }
const std::vector<std::string>& log() { return state().log; }
void clear_log() { state().log.clear(); }

void before(const std::string& op, std::uint64_t nth, std::function<void()> action) {
    state().hooks.push_back({op, nth, std::move(action)});
}

void fail_call(std::uint64_t n, int error) { state().failing_calls[state().calls + n] = error; }
void fail_all(const std::string& op, int error) { state().failing_ops[op] = error; }
void short_writes(bool on) { state().short_writes = on; }
void read_only(bool on) { state().read_only = on; }
void capacity(std::size_t bytes) { state().capacity = bytes; }

void cut_power_after(std::uint64_t n) { state().cut_after = state().calls + n; }
bool powered() { return state().powered; }

void restart(unsigned seed) {
    State& s = state();
    std::mt19937 random(seed);
    std::map<const Node*, NodePtr> done;
    s.root = recover(s.root, random, &done);
    s.fds.clear();
    s.failing_calls.clear();
    s.failing_ops.clear();
    s.cut_after = 0;
    s.powered = true;
}

void advance(long seconds) { state().clock += std::int64_t{seconds} * 1'000'000'000; }
void timestamp_tick(long nanoseconds) { state().tick = nanoseconds; }

void hold_lock(const std::string& path, bool held) {
    const NodePtr node = find(AT_FDCWD, path);
    if (node != nullptr) node->lock_holder = held ? kOtherProcess : 0;
}

}  // namespace vantor::memfs

// The seam, on the in-memory file system.
namespace vantor::store::io {

using memfs::NodePtr;
using memfs::Open;
using memfs::enter;
using memfs::fail;
using memfs::state;

int open(const char* path, int flags, mode_t mode) noexcept {
    return io::openat(AT_FDCWD, path, flags, mode);
}

int openat(int dir, const char* name, int flags, mode_t mode) noexcept {
    if (!enter("open")) return -1;
    NodePtr parent;
    std::string last;
    if (!memfs::resolve(dir, name, &parent, &last)) return -1;
    NodePtr node = parent;
    if (!last.empty()) {
        const auto found = parent->entries.find(last);
        if (found == parent->entries.end()) {
            if ((flags & O_CREAT) == 0) return fail(ENOENT);
            if (memfs::changes_refused()) return -1;
            node = memfs::new_node(false, mode);
            parent->entries[last] = node;
            memfs::touch(*parent);
        } else if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) {
            return fail(EEXIST);
        } else {
            node = found->second;
        }
    }
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if ((flags & O_DIRECTORY) != 0 && !node->folder) return fail(ENOTDIR);
    if (node->folder && writing) return fail(EISDIR);
    if (writing && memfs::changes_refused()) return -1;
    if ((flags & O_TRUNC) != 0 && writing) {
        node->data.clear();
        memfs::touch(*node);
    }
    const int fd = state().next_fd++;
    state().fds[fd] = Open{node, flags, 0};
    return fd;
}

int close(int fd) noexcept {
    // A failed close() closes all the same, as the system's does.
    const bool entered = enter("close");
    const int error = errno;
    const auto open = state().fds.find(fd);
    if (open == state().fds.end()) return fail(EBADF);
    if (open->second.node->lock_holder == fd) open->second.node->lock_holder = 0;
    state().fds.erase(open);
    return entered ? 0 : fail(error);
}

ssize_t read(int fd, void* data, std::size_t size) noexcept {
    if (!enter("read")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr) return -1;
    if (open->node->folder) return fail(EISDIR);
    const std::string& bytes = open->node->data;
    const std::size_t from = std::min(open->offset, bytes.size());
    const std::size_t count = std::min(size, bytes.size() - from);
    std::memcpy(data, bytes.data() + from, count);
    open->offset = from + count;
    return static_cast<ssize_t>(count);
}

ssize_t write(int fd, const void* data, std::size_t size) noexcept {
    if (!enter("write")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr) return -1;
    if ((open->flags & O_ACCMODE) == O_RDONLY) return fail(EBADF);
    std::size_t count = size;
    if (state().short_writes && count > 1) count /= 2;
    const std::size_t used = memfs::used();
    const std::size_t room = used < state().capacity ? state().capacity - used : 0;
    if (room == 0 && count > 0) return fail(ENOSPC);
    count = std::min(count, room);
    std::string& bytes = open->node->data;
    if (bytes.size() < open->offset + count) bytes.resize(open->offset + count);
    bytes.replace(open->offset, count, static_cast<const char*>(data), count);
    open->offset += count;
    memfs::touch(*open->node);
    return static_cast<ssize_t>(count);
}

int fsync(int fd) noexcept {
    if (!enter("fsync")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr) return -1;
    open->node->synced = open->node->data;
    open->node->synced_entries = open->node->entries;
    return 0;
}

int fstat(int fd, struct stat* info) noexcept {
    if (!enter("fstat")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr) return -1;
    memfs::fill(*open->node, info);
    return 0;
}

int stat(const char* path, struct stat* info) noexcept {
    return io::fstatat(AT_FDCWD, path, info, 0);
}

int fstatat(int dir, const char* name, struct stat* info, int /*flags*/) noexcept {
    if (!enter("stat")) return -1;
    const NodePtr node = memfs::find(dir, name);
    if (node == nullptr) return -1;
    memfs::fill(*node, info);
    return 0;
}

int faccessat(int dir, const char* name, int mode, int /*flags*/) noexcept {
    if (!enter("access")) return -1;
    if (memfs::find(dir, name) == nullptr) return -1;
    if ((mode & W_OK) != 0 && memfs::changes_refused()) return -1;
    return 0;
}

int mkdirat(int dir, const char* name, mode_t mode) noexcept {
    if (!enter("mkdir")) return -1;
    NodePtr parent;
    std::string last;
    if (!memfs::resolve(dir, name, &parent, &last)) return -1;
    if (last.empty() || parent->entries.count(last) != 0) return fail(EEXIST);
    if (memfs::changes_refused()) return -1;
    parent->entries[last] = memfs::new_node(true, mode);
    memfs::touch(*parent);
    return 0;
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
    if (!enter("rename")) return -1;
    NodePtr from_parent;
    NodePtr to_parent;
    std::string from_name;
    std::string to_name;
    if (!memfs::resolve(from_dir, from, &from_parent, &from_name) ||
        !memfs::resolve(to_dir, to, &to_parent, &to_name)) {
        return -1;
    }
    const auto found = from_parent->entries.find(from_name);
    if (found == from_parent->entries.end()) return fail(ENOENT);
    if (memfs::changes_refused()) return -1;
    const NodePtr node = found->second;
    from_parent->entries.erase(found);
    to_parent->entries[to_name] = node;
    memfs::touch(*from_parent);
    memfs::touch(*to_parent);
    node->ctime = memfs::stamp();
    return 0;
}

int unlinkat(int dir, const char* name, int /*flags*/) noexcept {
    if (!enter("unlink")) return -1;
    NodePtr parent;
    std::string last;
    if (!memfs::resolve(dir, name, &parent, &last)) return -1;
    if (parent->entries.count(last) == 0) return fail(ENOENT);
    if (memfs::changes_refused()) return -1;
    parent->entries.erase(last);
    memfs::touch(*parent);
    return 0;
}

int fchmod(int fd, mode_t mode) noexcept {
    if (!enter("chmod")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr || memfs::changes_refused()) return -1;
    open->node->mode = mode & 07777;
    open->node->ctime = memfs::stamp();
    return 0;
}

int fchown(int fd, uid_t owner, gid_t group) noexcept {
    if (!enter("chown")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr || memfs::changes_refused()) return -1;
    if (owner != static_cast<uid_t>(-1)) open->node->uid = owner;
    if (group != static_cast<gid_t>(-1)) open->node->gid = group;
    open->node->ctime = memfs::stamp();
    return 0;
}

int flock(int fd, int operation) noexcept {
    if (!enter("flock")) return -1;
    Open* open = memfs::open_file(fd);
    if (open == nullptr) return -1;
    int& holder = open->node->lock_holder;
    if ((operation & LOCK_UN) != 0) {
        if (holder == fd) holder = 0;
        return 0;
    }
    if (holder != 0 && holder != fd) {
        // Nothing else runs here to release it: waiting would be forever.
        return fail((operation & LOCK_NB) != 0 ? EWOULDBLOCK : EDEADLK);
    }
    holder = fd;
    return 0;
}

// No other process runs here to hold a record lock.
int getlk(int fd, struct flock* lock) noexcept {
    if (!enter("getlk")) return -1;
    if (memfs::open_file(fd) == nullptr) return -1;
    lock->l_type = F_UNLCK;
    return 0;
}

int list(int dir, std::vector<std::string>* names) {
    if (!enter("list")) return -1;
    Open* open = memfs::open_file(dir);
    if (open == nullptr) return -1;
    if (!open->node->folder) return fail(ENOTDIR);
    for (const auto& entry : open->node->entries) names->push_back(entry.first);
    return 0;
}

timespec now() noexcept {
    const std::int64_t clock = state().clock;
    return {static_cast<time_t>(clock / 1'000'000'000), clock % 1'000'000'000};
}

void pause(long nanoseconds) noexcept { state().clock += nanoseconds; }

}  // namespace vantor::store::io

// An in-memory file system linked in place of the system calls under the
// hive (src/registry/hive/io.h), for tests that need what a real disk will
// not do on demand: fail any call (ENOSPC, EROFS, EIO, EINTR, short writes),
// or lose power after any call.
//
// A power cut keeps only what a POSIX file system must keep: the data of a
// file as last flushed by fsync(), and a folder's entries (a new file or
// folder, a rename, an unlink) as of the folder's last fsync(). Everything
// else may or may not survive, chosen at random for each name and file on
// restart(seed): an entry made or changed since its folder was flushed is
// there or not, and unflushed file data come back as flushed, as written,
// or torn (cut short, part zeroed).
//
// One process, one thread; the file system ignores permissions, and what
// is made belongs to the process's effective user and group. Paths are
// absolute ("/var/lib/vantor/system.reg"), relative ones start at "/".
// Files get the time of a clock that only the calls move (a microsecond each)
// and advance(); timestamps are cut to a tick of one second by default, as on
// a file system with coarse times.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantor::memfs {

// An empty file system (just "/"), no faults, power on, the clock at its start.
void reset();

// Direct access, bypassing faults and counts. put_file() makes the folders
// on the way and leaves everything flushed.
void put_file(const std::string& path, const std::string& data, mode_t mode = 0644);
std::optional<std::string> file(const std::string& path);
std::optional<struct stat> status(const std::string& path);
std::vector<std::string> names(const std::string& folder);  // sorted
// Rewrites the file's bytes in place (same inode), stamped with the clock's time.
void overwrite(const std::string& path, const std::string& data);
// Removes a file or an empty folder, flushed.
void remove(const std::string& path);

// Calls of the seam so far (now() and pause() are not counted), and the
// name of each ("open", "read", "fsync", ...) since clear_log().
std::uint64_t calls();
const std::vector<std::string>& log();
void clear_log();

// Faults. fail_call(n, error): the n-th counted call from now does nothing
// and fails with `error`. fail_all(op, error): every call named `op` does.
void fail_call(std::uint64_t n, int error);
void fail_all(const std::string& op, int error);
void short_writes(bool on);      // every write() stores at most half, at least one byte
void read_only(bool on);         // every change fails with EROFS
void capacity(std::size_t bytes);  // file data past this fail with ENOSPC

// Runs `action` (another process, say) once, just before the `nth` call
// named `op` from now is made; the action's own changes go through the
// direct access above.
void before(const std::string& op, std::uint64_t nth, std::function<void()> action);

// Power: after `n` more counted calls every call fails with EIO, until
// restart() brings the power back and keeps what a disk must keep.
void cut_power_after(std::uint64_t n);
bool powered();
void restart(unsigned seed);

// The clock.
void advance(long seconds);
void timestamp_tick(long nanoseconds);

// Another process's exclusive flock() on the file, or its release.
void hold_lock(const std::string& path, bool held = true);

}  // namespace vantor::memfs

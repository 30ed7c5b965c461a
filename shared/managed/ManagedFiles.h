#pragma once

#include "shared/Expected.h"
#include "shared/managed/ManagedDirectory.h"

#include <string>
#include <vector>

namespace torvane::managed {

/// Why a file or directory was not read, as the verdict will say it.
struct FileProblem {
    ManagedVerdict::Outcome outcome = ManagedVerdict::Outcome::ignored;
    std::string reason;
};

/// How strict the check of a file is.
enum class FileKind {
    /// Root-owned, not writable by group or others.
    profile,
    /// Root-owned, neither readable nor writable by group or others.
    secrets,
};

/// An open directory of the config dir, checked on its own descriptor.
class CheckedDirectory {
public:
    CheckedDirectory() = default;
    ~CheckedDirectory();
    CheckedDirectory(CheckedDirectory&& other) noexcept;
    CheckedDirectory& operator=(CheckedDirectory&& other) noexcept;
    CheckedDirectory(const CheckedDirectory&) = delete;
    CheckedDirectory& operator=(const CheckedDirectory&) = delete;

    /// Opens `path` without following a final symbolic link and checks that
    /// it is a root-owned directory not writable by group or others. A
    /// missing directory is an empty value, not a problem. `kind` says what
    /// the directory holds.
    static Expected<CheckedDirectory, FileProblem> open(const std::string& path, FileKind kind);

    bool exists() const { return m_fd >= 0; }
    /// The names of the entries worth reading, in byte order: hidden files
    /// and leftovers are left out.
    std::vector<std::string> names() const;
    /// Whether the entry exists at all (whatever its type).
    bool has(const std::string& name) const;
    /// Opens the entry (never through a symbolic link), checks it on the
    /// open descriptor and reads it whole.
    Expected<std::string, FileProblem> read(const std::string& name, FileKind kind) const;

private:
    explicit CheckedDirectory(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

/// ".*", "*~" and "*.dpkg-*": skipped without a word.
bool isLeftover(const std::string& name);

} // namespace torvane::managed

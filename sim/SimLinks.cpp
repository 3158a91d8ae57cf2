// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimLinks.h"

#include "Failure.h"
#include "SimKinds.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what, int code) {
    throw Failure(QStringLiteral("%1 (Error: %2)").arg(QString::fromStdString(what)).arg(code));
}

void MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            Fail("Unable to create folder " + part, errno);
    }
}

bool IsSymlink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

TSimLinks::TSimLinks(std::string folder) : folder_(std::move(folder)) {
    while (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    MakeFolders(folder_);
    // The lock lives beside the folder: every entry of the folder is taken for a port.
    const std::string lockPath = folder_.substr(0, folder_.rfind('/')) + "/skyvarn-sim.lock";
    lock_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_ < 0) Fail("Unable to open " + lockPath, errno);
    if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(lock_);
        if (code == EWOULDBLOCK)
            throw Failure(QStringLiteral("another skyvarn-sim is running (lock %1)")
                              .arg(QString::fromStdString(lockPath)));
        Fail("Unable to lock " + lockPath, code);
    }
    if (DIR* dir = ::opendir(folder_.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string path = folder_ + "/" + entry->d_name;
            if (IsSimLinkName(entry->d_name) && IsSymlink(path)) ::unlink(path.c_str());
        }
        ::closedir(dir);
    }
}

TSimLinks::~TSimLinks() {
    RemoveAll();
    ::close(lock_); // releases the lock
}

std::string TSimLinks::Add(const std::string& name, const std::string& target) {
    const std::string path = folder_ + "/" + name;
    if (IsSymlink(path)) ::unlink(path.c_str());
    if (::symlink(target.c_str(), path.c_str()) != 0) Fail("Unable to create link " + path, errno);
    names_.push_back(name);
    return path;
}

void TSimLinks::Remove(const std::string& name) {
    const auto it = std::find(names_.begin(), names_.end(), name);
    if (it == names_.end()) return;
    ::unlink((folder_ + "/" + name).c_str());
    names_.erase(it);
}

void TSimLinks::RemoveAll() {
    while (!names_.empty())
        Remove(names_.back());
}

// Follows saves of a sequence's files: inotify on their folders, each burst let settle.
#include "live/watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

// Editors finish a save within a millisecond or two (a temporary file renamed over the old
// one, a backup moved aside); a burst is over when nothing has come for this long.
static const double quietAfterSave = 0.01;
// After a deletion or a write that has not been closed, the rest may be slower to come.
static const double quietAfterPartial = 0.15;
static const double longestWait = 1.0;
// Folders that could not be watched are tried again this often.
static const double retryInterval = 0.5;

static const uint32_t folderEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                     IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR;

double settleTime(const PendingChange& change) {
    const double quiet = change.complete ? quietAfterSave : quietAfterPartial;
    return std::min(change.lastSeen + quiet, change.firstSeen + longestWait);
}

void noteChange(std::vector<PendingChange>& pending, size_t file, bool complete, double now) {
    for (PendingChange& change : pending) {
        if (change.file == file) {
            change.lastSeen = now;
            change.complete = complete;
            return;
        }
    }
    pending.push_back({file, now, now, complete});
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool openFileWatch(FileWatch& watch, std::string& error) {
    watch.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch.fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

void closeFileWatch(FileWatch& watch) {
    if (watch.fd >= 0) {
        close(watch.fd);
    }
    watch.fd = -1;
    watch.files.clear();
    watch.folderWatches.clear();
    watch.pending.clear();
}

static void addFolderWatch(FileWatch& watch, WatchedFile& file) {
    file.folderWatch =
        watch.fd < 0 ? -1 : inotify_add_watch(watch.fd, file.folder.c_str(), folderEvents);
    if (file.folderWatch >= 0 && std::find(watch.folderWatches.begin(), watch.folderWatches.end(),
                                           file.folderWatch) == watch.folderWatches.end()) {
        watch.folderWatches.push_back(file.folderWatch);
    }
}

void watchFiles(FileWatch& watch, const std::vector<std::string>& paths) {
    std::vector<WatchedFile> files;
    for (const std::string& path : paths) {
        if (std::any_of(files.begin(), files.end(),
                        [&](const WatchedFile& file) { return file.path == path; })) {
            continue;
        }
        const size_t slash = path.rfind('/');
        WatchedFile file;
        file.path = path;
        file.folder = slash == std::string::npos ? "." : path.substr(0, std::max<size_t>(slash, 1));
        file.name = slash == std::string::npos ? path : path.substr(slash + 1);
        files.push_back(file);
    }
    // The same folder named twice is the same watch; watches no file needs any more go.
    const std::vector<int> previous = watch.folderWatches;
    watch.folderWatches.clear();
    for (WatchedFile& file : files) {
        addFolderWatch(watch, file);
    }
    for (int folder : previous) {
        if (std::find(watch.folderWatches.begin(), watch.folderWatches.end(), folder) ==
            watch.folderWatches.end()) {
            inotify_rm_watch(watch.fd, folder);
        }
    }
    std::vector<PendingChange> pending;
    for (const PendingChange& change : watch.pending) {
        for (size_t i = 0; i < files.size(); ++i) {
            if (files[i].path == watch.files[change.file].path) {
                pending.push_back({i, change.firstSeen, change.lastSeen, change.complete});
            }
        }
    }
    watch.files = std::move(files);
    watch.pending = std::move(pending);
}

// A folder that went away (or was moved, and no longer has the name) leaves its files unwatched
// until it can be watched again; they may be gone, so they count as changed.
static void loseFolder(FileWatch& watch, int folder, double now) {
    for (size_t i = 0; i < watch.files.size(); ++i) {
        if (watch.files[i].folderWatch == folder) {
            watch.files[i].folderWatch = -1;
            noteChange(watch.pending, i, false, now);
        }
    }
    watch.folderWatches.erase(
        std::remove(watch.folderWatches.begin(), watch.folderWatches.end(), folder),
        watch.folderWatches.end());
}

static void takeEvent(FileWatch& watch, const inotify_event& event, double now) {
    if (event.mask & IN_Q_OVERFLOW) {
        for (size_t i = 0; i < watch.files.size(); ++i) {
            noteChange(watch.pending, i, false, now);
        }
        return;
    }
    if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
        if (event.mask & IN_MOVE_SELF) {
            inotify_rm_watch(watch.fd, event.wd);
        }
        loseFolder(watch, event.wd, now);
        return;
    }
    if (event.len == 0) {
        return;
    }
    const bool complete = (event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB)) ||
                          ((event.mask & IN_CREATE) && (event.mask & IN_ISDIR));
    for (size_t i = 0; i < watch.files.size(); ++i) {
        const WatchedFile& file = watch.files[i];
        if (file.folderWatch == event.wd && std::strcmp(file.name.c_str(), event.name) == 0) {
            noteChange(watch.pending, i, complete, now);
        }
    }
}

static void readEvents(FileWatch& watch) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(watch.fd, buffer, sizeof buffer);
        if (length <= 0) {
            return; // nothing more now (EAGAIN), or nothing to read at all
        }
        const double now = steadySeconds();
        for (ssize_t at = 0; at < length;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
            takeEvent(watch, *event, now);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

static void retryFolders(FileWatch& watch, double now) {
    if (now - watch.lastRetry < retryInterval) {
        return;
    }
    watch.lastRetry = now;
    for (size_t i = 0; i < watch.files.size(); ++i) {
        if (watch.files[i].folderWatch < 0) {
            addFolderWatch(watch, watch.files[i]);
            if (watch.files[i].folderWatch >= 0) {
                // The folder is back: whatever it holds now is new to us.
                noteChange(watch.pending, i, false, now);
            }
        }
    }
}

void collectChanges(FileWatch& watch) {
    if (watch.fd < 0) {
        return;
    }
    readEvents(watch);
    retryFolders(watch, steadySeconds());
    // A finished save is read as soon as its burst is over, without waiting for the next frame;
    // the wait is bounded so that a file rewritten without pause cannot hold the frames up.
    const double giveUp = steadySeconds() + 2 * quietAfterSave;
    for (;;) {
        double wake = INFINITY;
        for (const PendingChange& change : watch.pending) {
            wake = change.complete ? std::min(wake, settleTime(change)) : wake;
        }
        const double now = steadySeconds();
        if (wake == INFINITY || wake <= now || now >= giveUp) {
            return;
        }
        pollfd ready = {watch.fd, POLLIN, 0};
        const double until = std::min(wake, giveUp);
        poll(&ready, 1, static_cast<int>(std::ceil((until - now) * 1000.0)));
        readEvents(watch);
    }
}

void takeSettledChanges(FileWatch& watch, double now, std::vector<SettledChange>& settled) {
    std::vector<PendingChange>& pending = watch.pending;
    std::sort(pending.begin(), pending.end(), [](const PendingChange& a, const PendingChange& b) {
        return a.firstSeen < b.firstSeen;
    });
    for (auto change = pending.begin(); change != pending.end();) {
        if (settleTime(*change) <= now) {
            settled.push_back({watch.files[change->file].path, change->firstSeen});
            change = pending.erase(change);
        } else {
            ++change;
        }
    }
}

double nextSettleTime(const FileWatch& watch) {
    double next = INFINITY;
    for (const PendingChange& change : watch.pending) {
        next = std::min(next, settleTime(change));
    }
    return next;
}

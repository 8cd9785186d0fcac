// Follows saves of a sequence's files: inotify on their folders, each burst let settle.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A file's events since it was last read.
struct PendingChange {
    size_t file;      // index into the watched files
    double firstSeen; // seconds on the steady clock, when the burst's first event was read
    double lastSeen;  // when its latest event was read
    bool complete;    // the latest event finished a save: closed after writing, renamed into place
};

// When a change has settled: shortly after a finished save, longer after a deletion or a write
// still under way, and never later than a second after the burst began.
double settleTime(const PendingChange& change);
// Records an event for a file: starts its change, or extends the one pending.
void noteChange(std::vector<PendingChange>& pending, size_t file, bool complete, double now);

struct WatchedFile {
    std::string path; // as the scene list names it
    std::string folder;
    std::string name;
    int folderWatch = -1; // -1 while the folder cannot be watched (it does not exist, say)
};

struct FileWatch {
    int fd = -1;
    std::vector<WatchedFile> files;
    std::vector<int> folderWatches;
    std::vector<PendingChange> pending;
    double lastRetry = 0.0;
};

struct SettledChange {
    std::string path;
    double firstSeen;
};

double steadySeconds();

// False, with the reason, when the system will not watch files; the watch then stays inert.
bool openFileWatch(FileWatch& watch, std::string& error);
void closeFileWatch(FileWatch& watch);
// Follows exactly these paths from now on; changes pending for paths still followed carry over.
void watchFiles(FileWatch& watch, const std::vector<std::string>& paths);
// Reads the events that have arrived, without waiting for more, unless a save has just finished:
// then it waits a few milliseconds for the rest of its burst, so that it can be read at once.
void collectChanges(FileWatch& watch);
// Takes the changes that have settled off the pending list, oldest first.
void takeSettledChanges(FileWatch& watch, double now, std::vector<SettledChange>& settled);
// The time the next pending change settles, or a long time from now when nothing is pending.
double nextSettleTime(const FileWatch& watch);

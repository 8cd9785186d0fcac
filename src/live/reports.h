// What the live preview says: a line on standard output per event, printed once the frame that
// follows it is on screen, and every problem on standard error at once.
#pragma once

#include <string>
#include <vector>

#include "live/sequence.h"

struct Report {
    std::string line;
    std::string ending;
    double seenAt; // when the save's first event was read, on the watch's steady clock
    bool onScreen; // a new program for the scene shown: say how long after the save it showed
};

// One line per build, and the problems of each build that failed.
void reportBuilds(const LiveSequence& sequence, const std::vector<SceneBuild>& builds,
                  size_t shownScene, double seenAt, std::vector<Report>& reports);
// The list's problems, and one line summing up a read of the list; verb says what was done.
void reportList(const LiveSequence& sequence, const ListRead& read, const char* verb,
                std::vector<Report>& reports);
void printReports(std::vector<Report>& reports);

// Finished video: ffmpeg run on a pipe that carries the YUV4MPEG2 stream, and what it says kept.
#include "render/ffmpeg.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/interrupt.h"
#include "scene/message_text.h"
#include "scene/scene_text.h"

extern char** environ;

// Enough of what ffmpeg said to hold its last lines.
static const size_t keptBytes = 16384;
static const size_t keptLines = 8;

static std::string secondsArgument(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

std::vector<std::string> soundtrackArguments(const VideoEncoding& encoding) {
    if (encoding.audio.empty()) {
        return {};
    }
    // Cut on the input side, so that the video is never shortened to fit the sound.
    std::vector<std::string> arguments = {"-ss",  secondsArgument(encoding.audioStart),
                                          "-t",   secondsArgument(encoding.length),
                                          "-i",   encoding.audio,
                                          "-map", "0:v:0",
                                          "-map", "1:a:0"};
    if (encoding.container == "webm") {
        arguments.insert(arguments.end(), {"-c:a", "libopus", "-b:a", "160k"});
    } else {
        arguments.insert(arguments.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    return arguments;
}

std::vector<std::string> ffmpegArguments(const VideoEncoding& encoding) {
    const bool vp9 = encoding.container == "webm";
    // -nostdin: the stream owns standard input; no keystroke can be read from it. -xerror: a
    // trailer or a close that fails (a full disk at the end) is reported and still ends with
    // status 0 otherwise, which would give a broken file its final name; its exit status is the
    // one sign of that in every version, where the words of its report are not.
    std::vector<std::string> arguments = {"-nostdin",     "-y",        "-loglevel", "error",
                                          "-xerror",      "-progress", "pipe:3",    "-f",
                                          "yuv4mpegpipe", "-i",        "pipe:0"};
    const std::vector<std::string> soundtrack = soundtrackArguments(encoding);
    arguments.insert(arguments.end(), soundtrack.begin(), soundtrack.end());
    // Thin lines and points on black band and smear at the encoders' own defaults.
    const std::string crf = std::to_string(encoding.crf.value_or(vp9 ? 31 : 18));
    if (vp9) {
        arguments.insert(arguments.end(), {"-c:v", "libvpx-vp9", "-crf", crf, "-b:v", "0",
                                           "-row-mt", "1", "-cpu-used", "4"});
    } else {
        arguments.insert(arguments.end(), {"-c:v", "libx264", "-preset", "medium", "-crf", crf});
    }
    // The frames were converted with the BT.601 matrix; players assume another for HD unless told.
    arguments.insert(arguments.end(), {"-pix_fmt", "yuv420p", "-colorspace", "smpte170m"});
    if (encoding.container == "mp4" || encoding.container == "mov") {
        arguments.insert(arguments.end(), {"-movflags", "+faststart"});
    }
    // The file's name does not end in its extension until it is whole; the format is named.
    const std::string format = encoding.container == "mkv" ? "matroska" : encoding.container;
    arguments.insert(arguments.end(), {"-f", format, encoding.output});
    return arguments;
}

std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = directories.find(':', start);
        std::string directory = directories.substr(start, end - start);
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        struct stat status {};
        if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (end == std::string::npos) {
            return "";
        }
        start = end + 1;
    }
}

// Pipes out of the way of the descriptors the child is given (0 to 3), and closed on exec.
static bool makePipe(int ends[2]) {
    int raw[2];
    if (pipe2(raw, O_CLOEXEC) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        ends[i] = fcntl(raw[i], F_DUPFD_CLOEXEC, 10);
        close(raw[i]);
    }
    return ends[0] >= 0 && ends[1] >= 0;
}

// Keeps the tail of standard error and the frame count of the progress reports until both end.
static void listen(FfmpegProcess* process, int messages, int progress) {
    pollfd watched[2] = {{messages, POLLIN, 0}, {progress, POLLIN, 0}};
    std::string report;
    int open = 2;
    char chunk[4096];
    while (open > 0) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (pollfd& source : watched) {
            if (source.fd < 0 || source.revents == 0) {
                continue;
            }
            const ssize_t count = read(source.fd, chunk, sizeof chunk);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                close(source.fd);
                source.fd = -1;
                --open;
            } else if (source.fd == messages) {
                process->said.append(chunk, static_cast<size_t>(count));
                if (process->said.size() > 2 * keptBytes) {
                    process->said.erase(0, process->said.size() - keptBytes);
                }
            } else {
                // "frame=120" lines among others, a block every half second.
                report.append(chunk, static_cast<size_t>(count));
                size_t lineEnd;
                while ((lineEnd = report.find('\n')) != std::string::npos) {
                    if (report.compare(0, 6, "frame=") == 0) {
                        process->framesEncoded = std::atoll(report.c_str() + 6);
                    }
                    report.erase(0, lineEnd + 1);
                }
            }
        }
    }
    for (const pollfd& source : watched) {
        if (source.fd >= 0) {
            close(source.fd);
        }
    }
}

bool startFfmpeg(FfmpegProcess& process, const std::string& program,
                 const std::vector<std::string>& arguments, std::string& error) {
    int input[2] = {-1, -1}, messages[2] = {-1, -1}, progress[2] = {-1, -1};
    const bool piped = makePipe(input) && makePipe(messages) && makePipe(progress);
    auto closeAll = [&](std::initializer_list<int> descriptors) {
        for (int fd : descriptors) {
            if (fd >= 0) {
                close(fd);
            }
        }
    };
    if (!piped) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        closeAll({input[0], input[1], messages[0], messages[1], progress[0], progress[1]});
        return false;
    }

    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, messages[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, progress[1], 3);
    const int failure =
        posix_spawn(&process.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    closeAll({input[0], messages[1], progress[1]});
    if (failure != 0) {
        process.pid = -1;
        error = "cannot start " + printable(program) + ": " + std::strerror(failure);
        closeAll({input[1], messages[0], progress[0]});
        return false;
    }
    process.input = input[1];
    process.listener = std::thread(listen, &process, messages[0], progress[0]);
    return true;
}

// The last lines of what it said, each made printable.
static std::string lastLines(const std::string& said) {
    std::vector<std::string_view> lines;
    for (std::string_view line : splitLines(said)) {
        if (!isBlankLine(line)) {
            lines.push_back(line);
        }
    }
    std::string text;
    for (size_t i = lines.size() > keptLines ? lines.size() - keptLines : 0; i < lines.size();
         ++i) {
        text += "\n" + printable(lines[i]);
    }
    return text;
}

bool finishFfmpeg(FfmpegProcess& process, bool stop, std::string& error) {
    if (process.input >= 0) {
        close(process.input);
        process.input = -1;
    }
    if (process.pid < 0) {
        return false;
    }
    // Its file is removed once it is stopped: nothing it would still write is worth the wait.
    if (stop) {
        kill(process.pid, SIGKILL);
    }
    // Finishing can take seconds of encoding; an interruption meanwhile stops it too.
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(process.pid, &status, stop ? 0 : WNOHANG);
        if (ended == process.pid || (ended < 0 && errno != EINTR)) {
            break;
        }
        if (ended == 0 && interruptCaught()) {
            kill(process.pid, SIGKILL);
            stop = true;
        } else if (ended == 0) {
            usleep(5000);
        }
    }
    process.pid = -1;
    if (process.listener.joinable()) {
        process.listener.join();
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    if (stop) {
        return false;
    }
    error = WIFEXITED(status)
                ? "ffmpeg failed with exit status " + std::to_string(WEXITSTATUS(status))
                : "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status));
    const std::string lines = lastLines(process.said);
    error += lines.empty() ? ", saying nothing" : "; its last lines:" + lines;
    return false;
}

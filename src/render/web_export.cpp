// Exporting the sequence as a web page: the Debian translators run as child processes, as ffmpeg
// is.
#include "render/web_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "frames/frame_clock.h"
#include "frames/whole_file.h"
#include "render/ffmpeg.h"
#include "scene/message_text.h"

namespace {

struct Tool {
    const char* program;
    const char* package;
};
const Tool glslang{"glslangValidator", "glslang-tools"};
const Tool spirvCross{"spirv-cross", "spirv-cross"};

// A scratch folder that is gone again when the export is done with it.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/prismwafer-web-XXXXXX";
        if (mkdtemp(pattern.data())) {
            path = pattern;
        }
    }
    ~ScratchFolder() {
        if (!path.empty()) {
            const std::string command = "rm -rf '" + path + "'";
            if (std::system(command.c_str()) != 0) {
                std::cerr << "could not remove " << path << std::endl;
            }
        }
    }
};

bool readWhole(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

bool writeWhole(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

// Runs the tool with standard input from a file ("" for none) and standard output and error
// together into said; the exit status, or -1 when it could not be run.
int runTool(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& input, const std::string& outputFile, std::string& said) {
    const pid_t pid = fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        const int in = open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
            _exit(127);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    readWhole(outputFile, said);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string toolPath(const Tool& tool, std::string& error) {
    const std::string path = findOnPath(tool.program);
    if (path.empty() && error.empty()) {
        error = std::string(tool.program) + " is not installed (Debian package " + tool.package +
                "); the web page's shaders are translated with it";
    }
    return path;
}

// The first line of the source (from 1) that uses a word matching the pattern outside a
// comment, or the line of main, or 1.
size_t lineUsing(const std::string& source, const std::regex& pattern) {
    std::istringstream lines(source);
    std::string line;
    size_t number = 0, mainLine = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string code = line.substr(0, line.find("//"));
        if (std::regex_search(code, pattern)) {
            return number;
        }
        if (mainLine == 0 && std::regex_search(code, std::regex("\\bvoid\\s+main\\b"))) {
            mainLine = number;
        }
    }
    return mainLine ? mainLine : 1;
}

std::string escapedWord(const std::string& word) {
    return std::regex_replace(word, std::regex("[^A-Za-z0-9_]"), "\\$&");
}

// glslang's "ERROR: 0:12: 'x' : reason" lines, without its summaries; empty when none match.
std::vector<std::pair<size_t, std::string>> glslangErrors(const std::string& said) {
    static const std::regex error("^ERROR: [^:]*:([0-9]+): (.*?)\\s*$");
    std::vector<std::pair<size_t, std::string>> errors;
    std::istringstream lines(said);
    std::string line;
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, match, error) &&
            match[2].str().find("compilation terminated") == std::string::npos) {
            errors.emplace_back(std::stoul(match[1].str()), match[2].str());
        }
    }
    return errors;
}

// What the translator refuses, placed on the source line that asks for it: SPIRV-Cross names
// no lines, and an error in its output names lines of the output, so the words it quotes (or
// the kind of value it names) are looked up in the source.
std::string placedRefusal(const ShaderFile& shader, const std::string& reason) {
    std::regex wanted("(?!)");
    std::smatch match;
    if (reason.find("FP64") != std::string::npos ||
        reason.find("64-bit float") != std::string::npos) {
        wanted = std::regex("\\b(double|dvec[234]|dmat[234](x[234])?)\\b");
    } else if (reason.find("64-bit int") != std::string::npos ||
               reason.find("Int64") != std::string::npos) {
        wanted = std::regex("\\b(u?int64_t|[iu]64vec[234])\\b");
    } else if (std::regex_search(reason, match, std::regex("'([A-Za-z_][A-Za-z0-9_]*)'"))) {
        wanted = std::regex("\\b" + escapedWord(match[1].str()) + "\\b");
    }
    return printable(shader.path) + ":" + std::to_string(lineUsing(shader.text, wanted)) +
           ": GLSL ES 3.00 (WebGL2) cannot express this: " + reason;
}

const char* stageName(const ShaderFile& shader) {
    return std::strcmp(shader.stage, "vertex") == 0 ? "vert" : "frag";
}

} // namespace

WebShader translateForWeb(const ShaderFile& shader, std::string& error) {
    WebShader result;
    const std::string glslangPath = toolPath(glslang, error);
    const std::string crossPath = toolPath(spirvCross, error);
    if (!error.empty()) {
        return result;
    }
    if (!shader.readable) {
        result.problems.push_back(printable(shader.path) + ": " + shader.reason);
        return result;
    }
    ScratchFolder scratch;
    if (scratch.path.empty()) {
        error = std::string("cannot make a scratch folder: ") + std::strerror(errno);
        return result;
    }
    const std::string stage = stageName(shader);
    const std::string source = scratch.path + "/source";
    const std::string spirv = scratch.path + "/shader.spv";
    const std::string essl = scratch.path + "/shader.essl";
    const std::string said = scratch.path + "/said";
    if (!writeWhole(source, shader.text)) {
        error = "cannot write into " + scratch.path;
        return result;
    }
    std::string words;
    // --aml: plain uniforms have no locations of their own, and SPIR-V wants them.
    if (runTool(glslangPath, {"-G", "--aml", "--stdin", "-S", stage, "-o", spirv}, source, said,
                words) != 0) {
        for (const auto& [line, reason] : glslangErrors(words)) {
            result.problems.push_back(printable(shader.path) + ":" + std::to_string(line) + ": " +
                                      reason);
        }
        if (result.problems.empty()) {
            result.problems.push_back(printable(shader.path) + ":1: glslang: " + words);
        }
        return result;
    }
    if (runTool(crossPath, {"--es", "--version", "300", spirv, "--output", essl}, "", said,
                words) != 0) {
        std::string reason = words.substr(0, words.find('\n'));
        const std::string prefix = "SPIRV-Cross threw an exception: ";
        if (reason.compare(0, prefix.size(), prefix) == 0) {
            reason = reason.substr(prefix.size());
        }
        result.problems.push_back(placedRefusal(shader, reason));
        return result;
    }
    readWhole(essl, result.essl);
    if (runTool(glslangPath, {"--stdin", "-S", stage}, essl, said, words) != 0) {
        for (const auto& [line, reason] : glslangErrors(words)) {
            result.problems.push_back(placedRefusal(shader, reason));
        }
        if (result.problems.empty()) {
            result.problems.push_back(placedRefusal(shader, words));
        }
    }
    return result;
}

std::vector<std::string> webProblems(const SceneDescription& scene, std::string& error) {
    std::vector<std::string> problems;
    for (const ShaderFile* shader : {&scene.vertex, &scene.fragment}) {
        for (std::string& problem : translateForWeb(*shader, error).problems) {
            problems.push_back(std::move(problem));
        }
    }
    return problems;
}

namespace {

// Ogg Opus and Ogg Vorbis go in as they are; anything else is made Ogg Opus at 96 kb/s.
bool readSoundtrack(const std::string& path, std::string& bytes, std::string& error) {
    if (!readWhole(path, bytes)) {
        error = "cannot read the soundtrack " + printable(path) + ": " + std::strerror(errno);
        return false;
    }
    const std::string head = bytes.substr(0, 256);
    if (head.compare(0, 4, "OggS") == 0 && (head.find("OpusHead") != std::string::npos ||
                                            head.find("\x01vorbis") != std::string::npos)) {
        return true;
    }
    const std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        error = "ffmpeg is not installed (Debian package ffmpeg); a soundtrack other than Ogg "
                "Opus or Vorbis is made Opus with it";
        return false;
    }
    ScratchFolder scratch;
    const std::string encoded = scratch.path + "/sound.ogg";
    std::string said;
    if (scratch.path.empty() ||
        runTool(ffmpeg,
                {"-nostdin", "-v", "error", "-y", "-i", path, "-vn", "-c:a", "libopus", "-b:a",
                 "96k", "-f", "ogg", encoded},
                "", scratch.path + "/said", said) != 0 ||
        !readWhole(encoded, bytes)) {
        error = "cannot read the soundtrack " + printable(path) + ": " +
                said.substr(0, said.find('\n'));
        return false;
    }
    return true;
}

} // namespace

int exportWebPage(const RenderOptions& options, const char* programName) {
    auto fail = [&](const std::string& reason) {
        std::cerr << programName << ": " << reason << std::endl;
        return 1;
    };
    const SceneListDescription list = describeSceneList(options.sceneList);
    const std::string wrong = listProblem(list);
    if (!wrong.empty()) {
        return fail(wrong);
    }
    std::vector<WebShader> vertex, fragment;
    std::string error;
    size_t refused = 0;
    for (const SceneDescription& scene : list.scenes) {
        vertex.push_back(translateForWeb(scene.vertex, error));
        fragment.push_back(translateForWeb(scene.fragment, error));
        if (!error.empty()) {
            return fail(error);
        }
        for (const WebShader* shader : {&vertex.back(), &fragment.back()}) {
            for (const std::string& problem : shader->problems) {
                std::cerr << problem << std::endl;
            }
            refused += shader->problems.empty() ? 0 : 1;
        }
    }
    if (refused > 0) {
        return fail(std::to_string(refused) + (refused == 1 ? " shader" : " shaders") +
                    " cannot be translated for WebGL2; nothing written");
    }
    std::string soundtrack;
    if (!options.audio.empty() && !readSoundtrack(options.audio, soundtrack, error)) {
        return fail(error);
    }
    const std::string page = webPageText(list.scenes, vertex, fragment, options.fps, soundtrack);
    if (!writeWholeFile(options.output, page.data(), page.size(), error)) {
        return fail(error);
    }
    if (!options.quiet) {
        std::vector<float> durations;
        for (const SceneDescription& scene : list.scenes) {
            durations.push_back(scene.duration);
        }
        const int64_t frames = sequenceFrameCount(sceneEndFrames(durations, options.fps));
        char seconds[64] = "no end";
        if (frames != neverEnds) {
            std::snprintf(seconds, sizeof seconds, "%.3f s",
                          static_cast<double>(frames) / options.fps);
        }
        std::cout << "Wrote " << printable(options.output) << ": " << list.scenes.size()
                  << (list.scenes.size() == 1 ? " scene, " : " scenes, ") << seconds << " at "
                  << options.fps << " fps, " << (page.size() + 1023) / 1024 << " KB"
                  << (soundtrack.empty() ? "" : ", with its soundtrack") << std::endl;
    }
    return 0;
}

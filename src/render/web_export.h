// The sequence as one self-contained web page: shaders translated to GLSL ES 3.00 for WebGL2.
#pragma once

#include <string>
#include <vector>

#include "render/options.h"
#include "scene/scene_source.h"

// One shader in WebGL2's language, or the lines that say why it cannot be.
struct WebShader {
    std::string essl;
    std::vector<std::string> problems; // each "FILE:LINE: reason"
};

// glslang to SPIR-V, SPIRV-Cross to ESSL 300, then glslang again on the result, so whatever
// ES 3.00 cannot express is refused here and not in a browser. An error names a missing tool.
WebShader translateForWeb(const ShaderFile& shader, std::string& error);

// Writes the page (options.output), with the soundtrack embedded when options.audio is set.
// Returns the exit status, having said why on standard error.
int exportWebPage(const RenderOptions& options, const char* programName);

// The web problems of one scene's shaders, for --check --web; error names a missing tool.
std::vector<std::string> webProblems(const SceneDescription& scene, std::string& error);

// The page itself, from the translated scenes, the timeline's end frames and the soundtrack
// (an Ogg file's bytes, or empty for none).
std::string webPageText(const std::vector<SceneDescription>& scenes,
                        const std::vector<WebShader>& vertex,
                        const std::vector<WebShader>& fragment, double fps,
                        const std::string& soundtrack);

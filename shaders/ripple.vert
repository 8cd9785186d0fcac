// Ripple: a grid of tiles that swell and glow where waves from three wandering sources meet.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 11.9917;
const int columns = 80;
const int rows = 45;

void main() {
    vec2 cell = vec2(gl_InstanceID % columns, gl_InstanceID / columns);
    // Centre of the tile in normalised device coordinates, and in a square-pixel frame.
    vec2 centre = (cell + 0.5) / vec2(columns, rows) * 2.0 - 1.0;
    vec2 p = centre * vec2(16.0 / 9.0, 1.0);
    float height = 0.0;
    for (int i = 0; i < 3; ++i) {
        float fi = float(i);
        vec2 source = vec2(sin(time * (0.31 + 0.1 * fi) + fi * 2.1) * 1.2, cos(time * (0.23 + 0.07 * fi) + fi) * 0.7);
        height += sin(length(p - source) * 14.0 - time * 3.0 - fi);
    }
    height /= 3.0;
    float size = 0.25 + 0.25 * (height + 1.0) * 0.5;
    vec2 halfCell = vec2(1.0 / float(columns), 1.0 / float(rows));
    gl_Position = vec4(centre + position.xy * halfCell * size * 2.0, 0.0, 1.0);
    uv = texCoord;
    tint = mix(vec3(0.05, 0.1, 0.35), vec3(0.2, 0.9, 1.0), smoothstep(-0.6, 0.9, height));
    tint += vec3(1.0, 0.9, 0.7) * pow(max(height, 0.0), 6.0);
    fade = smoothstep(0.0, 1.0, time) * smoothstep(0.0, 1.0, sceneLength - time);
}

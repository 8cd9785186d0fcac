// Shatter: a glowing pattern built of tiles bursts apart, tumbles, and falls back into place.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec2 home;
out float fade;
out float spin;

const float sceneLength = 11.9917;
const int columns = 64;
const int rows = 36;

vec3 hash3(uint n) {
    // Integer arithmetic only, so that every GPU and every browser places each instance alike.
    uvec3 v = uvec3(n * 3u, n * 3u + 1u, n * 3u + 2u);
    v ^= v >> 16u;
    v *= 0x7feb352du;
    v ^= v >> 15u;
    v *= 0x846ca68bu;
    v ^= v >> 16u;
    return vec3(v >> 8u) / 16777216.0;
}

vec4 project(vec3 p) {
    const float near = 0.1, far = 100.0, aspect = 16.0 / 9.0;
    // Focal length chosen so the whole mosaic exactly fills the screen at distance 2.
    const float focal = 2.0;
    return vec4(p.x * focal / aspect, p.y * focal, -(far + near) / (far - near) * p.z - 2.0 * far * near / (far - near), -p.z);
}

void main() {
    vec2 cell = vec2(gl_InstanceID % columns, gl_InstanceID / columns);
    vec2 centre = ((cell + 0.5) / vec2(columns, rows) * 2.0 - 1.0) * vec2(16.0 / 9.0, 1.0);
    vec3 seed = hash3(uint(gl_InstanceID));
    // 0 whole, 1 fully burst: out from the middle of the scene, back by its end.
    float burst = smoothstep(3.0, 6.0, time) * (1.0 - smoothstep(7.0, 10.5, time));
    float delay = seed.x * 0.4;
    float amount = clamp(burst * 1.4 - delay, 0.0, 1.0);
    vec3 outward = vec3(centre * (0.3 + 0.5 * seed.y), (seed.z - 0.6) * 1.6);
    vec3 offset = outward * amount;
    float angle = amount * (seed.z - 0.5) * 12.0;
    vec2 halfTile = vec2(16.0 / 9.0, 1.0) / vec2(columns, rows);
    vec2 corner = position.xy * halfTile * 0.94;
    corner = mat2(cos(angle), sin(angle), -sin(angle), cos(angle)) * corner;
    gl_Position = project(vec3(centre + corner, -2.0) + offset);
    uv = texCoord;
    home = centre;
    spin = amount;
    fade = smoothstep(0.0, 1.0, time) * smoothstep(0.0, 1.0, sceneLength - time);
}

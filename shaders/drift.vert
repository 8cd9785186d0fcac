// Drift: five thousand stars stream out of the dark towards the viewer.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 11.9917;
const float depthRange = 60.0;

// A cheap, well-spread hash of the instance index.
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
    const float near = 0.1, far = 100.0, focal = 1.6, aspect = 16.0 / 9.0;
    return vec4(p.x * focal / aspect, p.y * focal, -(far + near) / (far - near) * p.z - 2.0 * far * near / (far - near), -p.z);
}

void main() {
    vec3 seed = hash3(uint(gl_InstanceID));
    // Each star starts somewhere along the tube and moves closer; wrapping keeps the flow endless.
    float speed = 6.0 + 10.0 * smoothstep(0.0, sceneLength, time);
    float z = -0.5 - mod(seed.z * depthRange - time * speed, depthRange);
    float angle = seed.x * 6.2831853 + time * 0.05;
    float radius = 1.0 + 9.0 * seed.y;
    vec3 centre = vec3(cos(angle) * radius, sin(angle) * radius, z);
    float size = 0.06 + 0.08 * seed.x;
    gl_Position = project(centre + vec3(position.xy * size, 0.0));
    uv = texCoord;
    float nearness = 1.0 - (-z / depthRange);
    tint = mix(vec3(0.35, 0.55, 1.0), vec3(1.0, 0.8, 0.55), seed.y) * (0.25 + 1.1 * nearness * nearness);
    fade = smoothstep(0.0, 1.5, time) * smoothstep(0.0, 1.5, sceneLength - time);
}

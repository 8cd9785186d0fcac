// Tunnel: a corridor of checkered panels rushing past, bending as it goes.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 11.9917;
const int panelsPerRing = 32;
const int rings = 64;
const float ringSpacing = 0.6;

vec4 project(vec3 p) {
    const float near = 0.1, far = 100.0, focal = 1.2, aspect = 16.0 / 9.0;
    return vec4(p.x * focal / aspect, p.y * focal, -(far + near) / (far - near) * p.z - 2.0 * far * near / (far - near), -p.z);
}

// The tunnel's axis sways with depth, so the corridor bends.
vec2 bend(float z) {
    return vec2(sin(z * 0.12 + time * 0.7) * 1.5, cos(z * 0.09 + time * 0.5) * 0.8);
}

void main() {
    int ring = gl_InstanceID / panelsPerRing;
    int panel = gl_InstanceID % panelsPerRing;
    float travel = time * 5.0;
    float depth = mod(float(ring) * ringSpacing - travel, float(rings) * ringSpacing);
    float z = -0.3 - depth;
    float angleStep = 6.2831853 / float(panelsPerRing);
    float angle = (float(panel) + 0.5 * position.x + 0.5) * angleStep + time * 0.2;
    float radius = 1.0;
    vec2 offset = bend(depth + travel) - bend(travel);
    vec3 p = vec3(cos(angle) * radius + offset.x, sin(angle) * radius + offset.y, z + position.y * ringSpacing * 0.45);
    gl_Position = project(p);
    uv = texCoord;
    bool light = ((ring + panel) % 2) == 0;
    float glow = 0.5 + 0.5 * sin(float(ring) * 0.5 - time * 4.0);
    tint = light ? mix(vec3(0.9, 0.2, 0.5), vec3(1.0, 0.8, 0.3), glow) : vec3(0.08, 0.05, 0.2);
    tint *= exp(-depth * 0.07);
    fade = smoothstep(0.0, 1.0, time) * smoothstep(0.0, 1.0, sceneLength - time);
}

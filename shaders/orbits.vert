// Orbits: forty-eight rings of dots turning at their own speeds, a clockwork of colour.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform mat4 mvp;
uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 11.9917;
const int rings = 48;
const int dotsPerRing = 96;

void main() {
    int ring = gl_InstanceID / dotsPerRing;
    int slot = gl_InstanceID % dotsPerRing;
    float r = float(ring + 1) / float(rings);
    // Inner rings turn faster, alternate rings the other way; the radius breathes.
    float direction = (ring % 2 == 0) ? 1.0 : -1.0;
    float angle = 6.2831853 * float(slot) / float(dotsPerRing) + direction * time * (0.15 + 0.6 * (1.0 - r));
    float radius = r * (0.9 + 0.08 * sin(time * 1.3 - r * 9.0));
    // The quad through the fixed transform covers the screen centre; scale it down to a dot and
    // move it in clip space, keeping the circle round on a 16:9 screen.
    vec4 clip = mvp * vec4(position.xy * (0.012 + 0.01 * r), 0.0, 1.0);
    clip.xy += vec2(cos(angle) * 9.0 / 16.0, sin(angle)) * radius * 0.95 * clip.w;
    gl_Position = clip;
    uv = texCoord;
    float hue = r * 0.8 + time * 0.05;
    tint = 0.55 + 0.45 * cos(6.2831853 * (hue + vec3(0.0, 0.33, 0.67)));
    fade = smoothstep(0.0, 1.0, time) * smoothstep(0.0, 1.0, sceneLength - time);
}

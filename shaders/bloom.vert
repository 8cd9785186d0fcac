// Bloom: four thousand petals on a sphere unfold into a spinning torus, and the demo ends.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 13.9917;
const int count = 4000;

vec4 project(vec3 p) {
    const float near = 0.1, far = 100.0, focal = 1.8, aspect = 16.0 / 9.0;
    return vec4(p.x * focal / aspect, p.y * focal, -(far + near) / (far - near) * p.z - 2.0 * far * near / (far - near), -p.z);
}

mat3 rotation(float yaw, float pitch) {
    float cy = cos(yaw), sy = sin(yaw), cp = cos(pitch), sp = sin(pitch);
    return mat3(cy, 0.0, -sy, 0.0, 1.0, 0.0, sy, 0.0, cy) * mat3(1.0, 0.0, 0.0, 0.0, cp, sp, 0.0, -sp, cp);
}

void main() {
    float i = float(gl_InstanceID);
    float n = float(count);
    // An even spread of points on the sphere (golden-angle spiral)...
    float golden = 2.39996323;
    float y = 1.0 - 2.0 * (i + 0.5) / n;
    float ring = sqrt(1.0 - y * y);
    vec3 sphere = vec3(cos(golden * i) * ring, y, sin(golden * i) * ring);
    // ...and the same index on a torus: 80 around the tube, 50 around the hole.
    float u = 6.2831853 * fract(i / 80.0);
    float v = 6.2831853 * floor(i / 80.0) / 50.0;
    vec3 torus = vec3((1.0 + 0.4 * cos(u)) * cos(v), 0.4 * sin(u), (1.0 + 0.4 * cos(u)) * sin(v));
    float morph = smoothstep(3.0, 8.0, time);
    vec3 p = mix(sphere * 1.3, torus * 1.45, morph);
    p = rotation(time * 0.5, 0.5 + 0.3 * sin(time * 0.4)) * p;
    p.z -= 3.6;
    float size = 0.022 * (1.0 + 0.5 * sin(i * 0.37 + time * 3.0));
    gl_Position = project(p + vec3(position.xy * size, 0.0));
    uv = texCoord;
    float hue = i / n + time * 0.08;
    tint = (0.55 + 0.45 * cos(6.2831853 * (hue + vec3(0.0, 0.33, 0.67)))) * (0.55 + 0.45 * clamp(1.8 + 0.5 * (-p.z - 3.6) * -1.0, 0.0, 1.0));
    fade = smoothstep(0.0, 1.0, time) * smoothstep(0.0, 2.5, sceneLength - time);
}

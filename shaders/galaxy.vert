// Galaxy: seven thousand stars in spiral arms, the inner ones orbiting faster.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 13.9917;
const float arms = 3.0;

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
    const float near = 0.1, far = 100.0, focal = 1.8, aspect = 16.0 / 9.0;
    return vec4(p.x * focal / aspect, p.y * focal, -(far + near) / (far - near) * p.z - 2.0 * far * near / (far - near), -p.z);
}

void main() {
    vec3 seed = hash3(uint(gl_InstanceID));
    float r = pow(seed.x, 1.6) * 2.4 + 0.05;
    float arm = floor(seed.y * arms);
    // Stars spread around their arm; the spiral winds with radius and turns with time.
    float scatter = (seed.z - 0.5) * (0.9 - 0.25 * r);
    float angle = arm * 6.2831853 / arms + r * 2.2 + scatter - time * 0.6 / (0.4 + r);
    float thickness = (fract(seed.x * 91.7) - 0.5) * 0.15 * exp(-r);
    vec3 p = vec3(cos(angle) * r, thickness, sin(angle) * r);
    // Tilt the disc towards the viewer and let the camera drift in.
    float tilt = 0.9 + 0.25 * sin(time * 0.2);
    p = vec3(p.x, p.y * cos(tilt) - p.z * sin(tilt), p.y * sin(tilt) + p.z * cos(tilt));
    p.z -= 3.4 - 0.06 * time;
    float size = 0.016 + 0.022 * fract(seed.z * 37.3);
    gl_Position = project(p + vec3(position.xy * size, 0.0));
    uv = texCoord;
    vec3 core = vec3(1.0, 0.85, 0.6);
    vec3 edge = vec3(0.45, 0.6, 1.0);
    tint = mix(core, edge, smoothstep(0.1, 1.6, r)) * (0.8 + 0.6 * fract(seed.y * 13.1)) * (1.0 + 1.5 * exp(-r * 4.0));
    if (fract(seed.z * 7.7) > 0.97) {
        tint = vec3(1.0, 0.4, 0.6); // the odd young, hot cluster
    }
    fade = smoothstep(0.0, 2.0, time) * smoothstep(0.0, 1.5, sceneLength - time);
}

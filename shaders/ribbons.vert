// Ribbons: eight ribbons of light weave through space along slowly changing curves.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

uniform float time;

out vec2 uv;
out vec3 tint;
out float fade;

const float sceneLength = 11.9917;
const int segments = 400;

// Where ribbon r is at parameter s (0..1): a Lissajous knot that drifts with time.
vec3 curve(float r, float s) {
    float t = s * 6.2831853 * 2.0 + time * 0.4;
    return vec3(sin(t * 1.0 + r * 0.8 + time * 0.2) * 2.1,
                sin(t * 1.5 + r * 1.7) * 1.05,
                cos(t * 0.5 + r * 0.5) * 1.2 - 3.4);
}

vec4 project(vec3 p) {
    const float near = 0.1, far = 100.0, focal = 1.8, aspect = 16.0 / 9.0;
    return vec4(p.x * focal / aspect, p.y * focal, -(far + near) / (far - near) * p.z - 2.0 * far * near / (far - near), -p.z);
}

void main() {
    float ribbon = float(gl_InstanceID / segments);
    float s = float(gl_InstanceID % segments) / float(segments);
    float ds = 1.0 / float(segments);
    // Each instance is one segment: stretched from this point to the next, as wide as the
    // ribbon, twisting as it goes.
    vec3 a = curve(ribbon, s);
    vec3 b = curve(ribbon, s + ds);
    vec3 along = b - a;
    vec3 across = normalize(cross(along, vec3(0.0, 0.0, 1.0)) + 1e-5);
    float twist = cos(s * 40.0 + time * 2.0 + ribbon);
    float width = 0.07 * twist;
    vec3 p = mix(a, b, position.x * 0.5 + 0.5) + across * width * position.y;
    gl_Position = project(p);
    uv = texCoord;
    float hue = ribbon / 8.0 + s * 0.3;
    tint = (0.5 + 0.5 * cos(6.2831853 * (hue + vec3(0.0, 0.33, 0.67)))) * (0.35 + 0.65 * abs(twist));
    // The head of each ribbon is drawn on, the tail fades out.
    float reveal = smoothstep(s - 0.05, s, time / 3.0);
    fade = reveal * smoothstep(0.0, 1.0, time) * smoothstep(0.0, 1.0, sceneLength - time);
}

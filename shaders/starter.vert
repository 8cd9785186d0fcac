// Starter vertex shader: instances of the quad spread on a slowly turning ring.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 1) in vec3 direction;
layout(location = 2) in vec2 texCoord;

uniform mat4 mvp;
uniform float time;

out vec2 uv;
out float hue;

void main() {
    float count = 24.0;
    float angle = 6.2831853 * float(gl_InstanceID) / count + 0.4 * time;
    vec4 local = vec4(position.xy * 0.12, position.zw);
    vec4 clip = mvp * local;
    clip.xy += vec2(cos(angle), sin(angle)) * vec2(0.55, 0.8) * clip.w;
    gl_Position = clip;
    uv = texCoord;
    hue = float(gl_InstanceID) / count;
}

// Starter vertex shader: one quad stretched over the whole screen.
#version 450 core

layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;

out vec2 uv;

void main() {
    gl_Position = vec4(position.xy, 0.0, 1.0);
    uv = texCoord;
}

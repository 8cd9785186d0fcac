// Starter fragment shader: a slow plasma of overlapping waves.
#version 450 core

in vec2 uv;

uniform float time;

out vec4 color;

void main() {
    vec2 p = (uv - 0.5) * vec2(16.0 / 9.0, 1.0) * 6.0;
    float v = sin(p.x + time) + sin(p.y * 1.3 - time * 0.7)
            + sin(length(p + vec2(sin(time * 0.3), cos(time * 0.4)) * 2.0) * 1.5);
    vec3 rgb = 0.5 + 0.5 * cos(v + vec3(0.0, 2.0, 4.0));
    float fade = clamp(time, 0.0, 1.0);
    color = vec4(rgb * fade, 1.0);
}

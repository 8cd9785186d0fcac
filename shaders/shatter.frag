// Shatter: each tile carries its piece of a slow interference pattern, lit as it turns.
#version 450 core

in vec2 uv;
in vec2 home;
in float fade;
in float spin;

uniform float time;

out vec4 color;

void main() {
    vec2 p = home * 3.0;
    float v = sin(p.x * 2.0 + time) + sin(p.y * 3.0 - time * 0.8) + sin((p.x + p.y) * 1.5 + time * 0.6);
    vec3 base = 0.5 + 0.5 * cos(v * 1.2 + vec3(0.0, 2.1, 4.2));
    vec2 q = abs(uv - 0.5) * 2.0;
    float bevel = 1.0 - 0.35 * smoothstep(0.75, 1.0, max(q.x, q.y));
    vec3 flash = vec3(1.0, 0.95, 0.8) * spin * 0.5 * (1.0 - uv.y);
    color = vec4((base * bevel + flash) * fade, 1.0);
}

// Tunnel: panels with a thin dark seam around each.
#version 450 core

in vec2 uv;
in vec3 tint;
in float fade;

out vec4 color;

void main() {
    vec2 q = abs(uv - 0.5) * 2.0;
    float seam = step(0.92, max(q.x, q.y));
    color = vec4(tint * (1.0 - 0.8 * seam) * fade, 1.0);
}

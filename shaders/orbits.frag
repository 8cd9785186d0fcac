// Orbits: round dots with a bright rim.
#version 450 core

in vec2 uv;
in vec3 tint;
in float fade;

out vec4 color;

void main() {
    float d = length(uv - 0.5) * 2.0;
    if (d > 1.0) {
        discard;
    }
    float rim = smoothstep(0.55, 0.9, d);
    color = vec4(tint * (0.6 + 0.6 * rim) * fade, 1.0);
}

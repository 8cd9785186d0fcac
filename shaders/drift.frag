// Drift: each star is a soft round point whose glow grows as it comes near.
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
    float core = exp(-d * d * 6.0);
    color = vec4(tint * core * fade, 1.0);
}

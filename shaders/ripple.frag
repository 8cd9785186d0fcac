// Ripple: tiles with softly rounded corners.
#version 450 core

in vec2 uv;
in vec3 tint;
in float fade;

out vec4 color;

void main() {
    vec2 q = abs(uv - 0.5) * 2.0;
    float corner = length(max(q - 0.6, 0.0)) / 0.4;
    if (corner > 1.0) {
        discard;
    }
    color = vec4(tint * fade, 1.0);
}

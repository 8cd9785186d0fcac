// Ribbons: bright in the middle of each band, darker at its edges.
#version 450 core

in vec2 uv;
in vec3 tint;
in float fade;

out vec4 color;

void main() {
    float edge = 1.0 - abs(uv.y - 0.5) * 2.0;
    if (fade <= 0.0) {
        discard;
    }
    color = vec4(tint * (0.4 + 0.6 * edge) * fade, 1.0);
}

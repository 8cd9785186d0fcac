// Bloom: petals shaped as soft diamonds.
#version 450 core

in vec2 uv;
in vec3 tint;
in float fade;

out vec4 color;

void main() {
    vec2 q = abs(uv - 0.5) * 2.0;
    float d = q.x + q.y;
    if (d > 1.0) {
        discard;
    }
    color = vec4(tint * (1.2 - 0.7 * d) * fade, 1.0);
}

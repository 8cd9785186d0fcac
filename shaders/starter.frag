// Starter fragment shader: soft round dots coloured around the wheel, fading in and out.
#version 450 core

in vec2 uv;
in float hue;

uniform float time;

out vec4 color;

void main() {
    float d = length(uv - 0.5) * 2.0;
    float disc = smoothstep(1.0, 0.8, d);
    vec3 rgb = 0.5 + 0.5 * cos(6.2831853 * (hue + vec3(0.0, 0.33, 0.67)));
    float fade = clamp(time, 0.0, 1.0);
    color = vec4(rgb * disc * fade, 1.0);
}

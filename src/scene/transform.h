// The fixed model-view-projection matrix that every scene is drawn with (GL-free).
#pragma once

#include <array>

// 4 x 4, column-major: element [c * 4 + r] is column c, row r.
using Matrix4 = std::array<float, 16>;

Matrix4 projectionMatrix();
Matrix4 modelViewMatrix();
Matrix4 multiply(const Matrix4& a, const Matrix4& b);
// projectionMatrix() x modelViewMatrix(), in single precision.
Matrix4 sceneTransform();
